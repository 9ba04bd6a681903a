"""A small RGBA canvas and PNG writer for the demo game's pictures.

The tools that draw the tileset and the sprite sheets share it, so that every
picture of the demo comes from code in this folder and nothing else.
"""
import random
import struct
import zlib


def mix(a, b, t):
    """Colour a moved a share t (0..1) toward colour b; alpha from a."""
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3)) + (a[3] if len(a) > 3 else 255,)


def shade(c, f):
    """Colour c with its brightness times f, alpha kept."""
    alpha = c[3] if len(c) > 3 else 255
    return tuple(max(0, min(255, int(round(v * f)))) for v in c[:3]) + (alpha,)


def rgba(c):
    return tuple(c) if len(c) == 4 else tuple(c) + (255,)


class Canvas:
    def __init__(self, width, height, fill=(0, 0, 0, 0)):
        self.width = width
        self.height = height
        self.data = bytearray(bytes(rgba(fill)) * (width * height))

    def inside(self, x, y):
        return 0 <= x < self.width and 0 <= y < self.height

    def get(self, x, y):
        i = (y * self.width + x) * 4
        return tuple(self.data[i:i + 4])

    def set(self, x, y, c):
        if self.inside(x, y):
            i = (y * self.width + x) * 4
            self.data[i:i + 4] = bytes(rgba(c))

    def blend(self, x, y, c):
        """Paints c over the pixel with c's opacity."""
        if not self.inside(x, y):
            return
        c = rgba(c)
        a = c[3] / 255.0
        if a >= 1.0:
            self.set(x, y, c)
            return
        if a <= 0.0:
            return
        d = self.get(x, y)
        da = d[3] / 255.0
        out_a = a + da * (1 - a)
        rgb = [int(round((c[k] * a + d[k] * da * (1 - a)) / out_a)) for k in range(3)]
        self.set(x, y, tuple(rgb) + (int(round(out_a * 255)),))

    def rect(self, x0, y0, x1, y1, c):
        """Fills the pixels x0 <= x < x1, y0 <= y < y1."""
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.blend(x, y, c)

    def ellipse(self, cx, cy, rx, ry, c):
        """Fills the ellipse of centre (cx, cy) and radii rx, ry (floats allowed)."""
        for y in range(int(cy - ry) - 1, int(cy + ry) + 2):
            for x in range(int(cx - rx) - 1, int(cx + rx) + 2):
                dx = (x + 0.5 - cx) / rx
                dy = (y + 0.5 - cy) / ry
                if dx * dx + dy * dy <= 1.0:
                    self.blend(x, y, c)

    def line(self, x0, y0, x1, y1, c):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.blend(int(round(x0 + (x1 - x0) * i / steps)), int(round(y0 + (y1 - y0) * i / steps)), c)

    def paste(self, other, dx, dy):
        """Draws another canvas over this one with its opacity."""
        for y in range(other.height):
            for x in range(other.width):
                c = other.get(x, y)
                if c[3]:
                    self.blend(dx + x, dy + y, c)

    def crop(self, x0, y0, w, h):
        out = Canvas(w, h)
        for y in range(h):
            for x in range(w):
                if self.inside(x0 + x, y0 + y):
                    out.set(x, y, self.get(x0 + x, y0 + y))
        return out

    def flipped(self):
        """The canvas mirrored left to right."""
        out = Canvas(self.width, self.height)
        for y in range(self.height):
            for x in range(self.width):
                out.set(self.width - 1 - x, y, self.get(x, y))
        return out

    def outline(self, c):
        """Rings every opaque shape with one pixel of colour c (four neighbours)."""
        edge = []
        for y in range(self.height):
            for x in range(self.width):
                if self.get(x, y)[3] >= 128:
                    continue
                for nx, ny in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)):
                    if self.inside(nx, ny) and self.get(nx, ny)[3] >= 128:
                        edge.append((x, y))
                        break
        for x, y in edge:
            self.set(x, y, c)

    def save(self, path):
        rows = bytearray()
        stride = self.width * 4
        for y in range(self.height):
            rows.append(0)
            rows.extend(self.data[y * stride:(y + 1) * stride])

        def chunk(tag, body):
            return (struct.pack(">I", len(body)) + tag + body +
                    struct.pack(">I", zlib.crc32(tag + body) & 0xffffffff))
        png = b"\x89PNG\r\n\x1a\n"
        png += chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(bytes(rows), 9))
        png += chunk(b"IEND", b"")
        with open(path, "wb") as f:
            f.write(png)


def noisy(rng, c, amount):
    """Colour c with a random brightness change of up to amount per channel."""
    d = rng.randint(-amount, amount)
    return tuple(max(0, min(255, v + d)) for v in c[:3]) + (rgba(c)[3],)


def seeded(name):
    """A random generator that gives the same numbers for the same name on every run."""
    return random.Random(zlib.crc32(name.encode()))
