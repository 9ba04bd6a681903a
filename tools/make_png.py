#!/usr/bin/env python3
"""Writes small RGBA PNG files for the demo game from a drawing function.

Usage: make_png.py icon OUT.png
"""
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


if __name__ == "__main__":
    kind, out = sys.argv[1], sys.argv[2]
    if kind == "icon":
        write_png(out, 32, 32, icon)
    else:
        sys.exit("unknown picture: " + kind)
