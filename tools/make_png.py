#!/usr/bin/env python3
"""Writes small RGBA PNG files for the demo game from drawing functions.

Usage: make_png.py icon OUT.png
       make_png.py wskin OUT_FOLDER   (the ten images of the "wskin" window skin)
"""
import math
import os
import struct
import sys
import zlib


def write_png(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(pixel(x, y))
    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xffffffff)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def icon(x, y):
    # A green hill under a blue sky with a yellow sun, 32 by 32.
    if (x - 22) ** 2 + (y - 9) ** 2 <= 16:
        return (250, 210, 60, 255)
    if y > 20 - ((x - 12) ** 2) // 24:
        return (60, 150, 70, 255)
    return (90, 150, 220, 255)


# The window skin is cut from one 64 x 64 picture of a whole window: a
# 16-pixel frame (rounded silver border) around a 32 x 32 centre. The
# background is a vertical gradient over the picture's height, so the centre
# and the left and right edges, which the engine stretches to the same
# height, still meet without a seam.
SKIN = 64
FRAME = 16
RADIUS = 8.0
INSET = 1.0


def lerp(a, b, f):
    return tuple(x + (y - x) * f for x, y in zip(a, b))


def skin_background(y):
    top, bottom = (48, 72, 168), (12, 20, 72)
    return lerp(top, bottom, min(max((y - FRAME / 2) / (SKIN - FRAME), 0.0), 1.0))


def skin_depth(x, y):
    # How far (x, y) lies inside the window's rounded outline; negative outside.
    half = SKIN / 2 - INSET
    qx = abs(x - SKIN / 2) - (half - RADIUS)
    qy = abs(y - SKIN / 2) - (half - RADIUS)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0)
    return RADIUS - outside


def skin_sample(x, y):
    depth = skin_depth(x, y)
    if depth < 0:
        return (0, 0, 0, 0)
    if depth < 1.5:
        return (16, 20, 48, 255)
    if depth < 3.5:
        return (225, 230, 255, 255)
    if depth < 4.5:
        return (90, 110, 190, 255)
    return skin_background(y) + (230,)


def skin_pixel(x, y):
    # Four by four samples per pixel smooth the rounded corners.
    r = g = b = a = 0.0
    for i in range(4):
        for j in range(4):
            sr, sg, sb, sa = skin_sample(x + (i + 0.5) / 4, y + (j + 0.5) / 4)
            r, g, b, a = r + sr * sa, g + sg * sa, b + sb * sa, a + sa
    if a == 0:
        return (0, 0, 0, 0)
    return (round(r / a), round(g / a), round(b / a), round(a / 16))


def skin_aux(x, y):
    # A small down arrow: "more text follows".
    cx, cy = 7.5, 6.0
    inside = abs(x - cx) <= (11 - y) * 0.75 and 3 <= y <= 11
    edge = abs(x - cx) <= (12 - y) * 0.75 + 1 and 2 <= y <= 12
    if inside:
        return (235, 240, 255, 255)
    if edge:
        return (16, 20, 48, 255)
    return (0, 0, 0, 0)


def write_skin(folder, name):
    os.makedirs(folder, exist_ok=True)
    far = SKIN - FRAME
    inner = far - FRAME
    parts = {
        "center": (FRAME, FRAME, inner, inner),
        "tl": (0, 0, FRAME, FRAME), "t": (FRAME, 0, inner, FRAME), "tr": (far, 0, FRAME, FRAME),
        "l": (0, FRAME, FRAME, inner), "r": (far, FRAME, FRAME, inner),
        "bl": (0, far, FRAME, FRAME), "b": (FRAME, far, inner, FRAME), "br": (far, far, FRAME, FRAME),
    }
    for part, (x0, y0, w, h) in parts.items():
        path = os.path.join(folder, "%s_%s.png" % (name, part))
        write_png(path, w, h, lambda x, y: skin_pixel(x0 + x, y0 + y))
    write_png(os.path.join(folder, name + "_aux.png"), 16, 16, skin_aux)


if __name__ == "__main__":
    kind, out = sys.argv[1], sys.argv[2]
    if kind == "icon":
        write_png(out, 32, 32, icon)
    elif kind == "wskin":
        write_skin(out, "wskin")
    else:
        sys.exit("unknown picture: " + kind)
