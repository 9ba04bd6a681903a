#!/usr/bin/env python3
"""Asks an X window to close, as a window manager does when its close button
is clicked: a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. The
program sees an ordinary close request (xdotool's windowkill would instead cut
its connection to the X server).

Usage: close_window.py WINDOW_ID   (decimal or 0x hexadecimal; DISPLAY names the server)
"""
import ctypes
import ctypes.util
import sys


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class Event(ctypes.Union):
    # Xlib's XEvent is a union padded to 24 longs.
    _fields_ = [("client", ClientMessage), ("pad", ctypes.c_long * 24)]


CLIENT_MESSAGE = 33
NO_EVENT_MASK = 0


def close_window(window):
    """Sends the request; False when the X server cannot be reached."""
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(Event)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        return False
    event = Event()
    event.client.type = CLIENT_MESSAGE
    event.client.send_event = 1
    event.client.window = window
    event.client.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.client.format = 32
    event.client.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.client.data[1] = 0  # CurrentTime
    sent = x11.XSendEvent(display, window, 0, NO_EVENT_MASK, ctypes.byref(event)) != 0
    x11.XFlush(display)
    x11.XCloseDisplay(display)
    return sent


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    if not close_window(int(sys.argv[1], 0)):
        sys.exit("close_window.py: cannot reach the X server or send the message")
