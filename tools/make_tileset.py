#!/usr/bin/env python3
"""Draws the demo game's tileset, game/gfx/tilesets/world.png: 32 x 32 tiles,
8 columns. build() names every tile with its properties; make_maps.py places
them by name and writes the properties into each map's tileset.

Usage: make_tileset.py OUT.png
"""
import math
import sys

from pixels import Canvas, mix, noisy, seeded, shade

T = 32
COLUMNS = 8

GRASS = (100, 164, 76)
FOREST = (72, 124, 62)
DIRT = (198, 162, 108)
WATER = (62, 124, 204)
FOAM = (196, 228, 244)
STONE = (176, 172, 160)
WOOD = (164, 116, 68)
SLATE = (92, 98, 132)

BLOCK = {"block": "1"}
GRASS_STEP = {"stepSound": "sfx/se/grass"}
DIRT_STEP = {"stepSound": "sfx/se/dirt"}
STONE_STEP = {"stepSound": "sfx/se/stone"}
WOOD_STEP = {"stepSound": "sfx/se/wood"}

# Mask bits of the edge tiles: which neighbours are of the other kind.
NORTH, EAST, SOUTH, WEST = 1, 2, 4, 8


def grass_pixel(rng, base, x, y):
    c = noisy(rng, base, 5)
    if rng.random() < 0.05:
        c = shade(base, 0.8)
    elif rng.random() < 0.03:
        c = shade(base, 1.18)
    return c


def textured(name, base, blades=True, extra=None):
    rng = seeded(name)
    c = Canvas(T, T)
    for y in range(T):
        for x in range(T):
            c.set(x, y, grass_pixel(rng, base, x, y))
    if blades:
        for _ in range(7):
            x, y = rng.randrange(2, 30), rng.randrange(3, 30)
            c.set(x, y, shade(base, 0.72))
            c.set(x - 1, y - 1, shade(base, 0.8))
            c.set(x + 1, y - 1, shade(base, 0.8))
            c.set(x, y - 2, shade(base, 1.2))
    if extra:
        extra(c, rng)
    return c


def flowers(c, rng):
    for col in ((226, 82, 92), (246, 214, 82), (236, 232, 214), (226, 82, 92), (170, 120, 220)):
        x, y = rng.randrange(3, 29), rng.randrange(3, 29)
        for dx, dy in ((0, -1), (-1, 0), (1, 0), (0, 1)):
            c.set(x + dx, y + dy, col + (255,))
        c.set(x, y, (250, 226, 120, 255))


def leaves(c, rng):
    for _ in range(16):
        x, y = rng.randrange(1, 31), rng.randrange(1, 31)
        col = rng.choice(((140, 96, 48), (118, 80, 40), (160, 124, 56)))
        c.set(x, y, col + (255,))
        c.set(x + 1, y, shade(col, 0.85))


def dirt_tile(rng):
    c = Canvas(T, T)
    for y in range(T):
        for x in range(T):
            c.set(x, y, noisy(rng, DIRT, 6))
    for _ in range(9):
        x, y = rng.randrange(1, 30), rng.randrange(1, 30)
        c.set(x, y, shade(DIRT, 0.78))
        c.set(x + 1, y, shade(DIRT, 0.86))
        c.set(x, y - 1, shade(DIRT, 1.1))
    return c


def water_tile(rng, name):
    c = Canvas(T, T)
    for y in range(T):
        for x in range(T):
            wave = math.sin((x + 2 * y) * 0.45) + math.sin((x - y) * 0.3 + 1.0)
            c.set(x, y, shade(WATER, 1.0 + 0.05 * wave))
    for _ in range(4):
        x, y = rng.randrange(2, 24), rng.randrange(4, 28)
        for i in range(rng.randrange(4, 8)):
            c.set(x + i, y + (1 if 1 < i < 5 else 0), shade(WATER, 1.35))
    return c


def wobble(rng):
    """A rough edge: for each position along a side, how deep the border reaches."""
    return [3 + int(1.5 * math.sin(i * 0.7 + rng.random() * 6)) + rng.randrange(0, 2) for i in range(T)]


def bordered(name, mask, inner, outer, rim=None):
    """Tile `inner` with a rough band of `outer` on the sides that mask names.

    `rim`, when given, is a colour drawn between the band and the inside (foam
    on a shore); otherwise the inside is shaded a little along the band.
    """
    rng = seeded(name)
    c = inner(rng)
    out = outer(rng)
    sides = [(bit, wobble(rng)) for bit in (NORTH, EAST, SOUTH, WEST) if mask & bit]
    for y in range(T):
        for x in range(T):
            depth = None
            for bit, w in sides:
                dist, pos = {NORTH: (y, x), SOUTH: (T - 1 - y, x), WEST: (x, y), EAST: (T - 1 - x, y)}[bit]
                edge = dist - w[pos]
                depth = edge if depth is None else min(depth, edge)
            if depth is None:
                continue
            if depth < 0:
                c.set(x, y, out.get(x, y))
            elif depth < 2 and rim:
                c.set(x, y, rim + (255,))
            elif depth < 1:
                c.set(x, y, shade(c.get(x, y), 0.82))
    return c


def tree(kind):
    c = Canvas(64, 64)
    c.ellipse(32, 58, 16, 5, (0, 0, 0, 60))
    trunk, trunk_dark = (124, 84, 50), (90, 58, 34)
    c.rect(27, 38, 37, 60, trunk)
    c.rect(33, 38, 37, 60, trunk_dark)
    c.rect(24, 57, 40, 60, trunk_dark)
    if kind == "oak":
        dark, mid, light = (40, 104, 48), (60, 136, 56), (104, 178, 76)
        blobs = [(32, 26, 24, 20), (18, 30, 12, 11), (46, 30, 12, 11), (32, 13, 15, 11)]
        for cx, cy, rx, ry in blobs:
            c.ellipse(cx, cy, rx + 1, ry + 1, (28, 70, 34, 255))
        for cx, cy, rx, ry in blobs:
            c.ellipse(cx, cy, rx, ry, dark)
        for cx, cy, rx, ry in blobs:
            c.ellipse(cx - 2, cy - 3, rx - 4, ry - 4, mid)
        rng = seeded("oak")
        for _ in range(22):
            x, y = rng.randrange(14, 48), rng.randrange(6, 36)
            if c.get(x, y)[:3] == mid:
                c.ellipse(x, y, 2.2, 1.6, light)
        c.ellipse(26, 16, 3, 2, light)
        for x, y in ((22, 26), (40, 20), (34, 32)):
            c.ellipse(x, y, 1.4, 1.4, (240, 132, 40, 255))
    else:
        dark, mid, light = (28, 84, 58), (40, 110, 70), (70, 146, 90)
        for i, (top, half) in enumerate(((2, 10), (12, 16), (22, 22))):
            for y in range(top, top + 22):
                w = (y - top) * half // 22 + 2
                c.rect(32 - w - 1, y, 32 + w + 1, y + 1, (20, 56, 40, 255))
            for y in range(top + 1, top + 21):
                w = (y - top) * half // 22 + 1
                c.rect(32 - w, y, 32 + w, y + 1, dark)
                c.rect(32 - w, y, 32 - w // 3, y + 1, mid)
                c.rect(32 - w, y, 32 - w + 2, y + 1, light)
    return c


def house(roof_col):
    c = Canvas(128, 96)
    wall, beam = (232, 214, 176), (126, 84, 52)
    c.rect(6, 56, 122, 96, wall)
    c.rect(6, 56, 122, 60, beam)
    c.rect(6, 56, 10, 96, beam)
    c.rect(118, 56, 122, 96, beam)
    c.rect(6, 92, 122, 96, shade(wall, 0.8))
    # A window with shutters, a door with its step.
    c.rect(34, 66, 58, 84, beam)
    c.rect(37, 69, 55, 81, (132, 186, 228, 255))
    c.rect(45, 69, 47, 81, beam)
    c.rect(37, 74, 55, 76, beam)
    c.rect(38, 70, 42, 73, (210, 236, 250, 255))
    c.rect(72, 64, 94, 96, beam)
    c.rect(75, 67, 91, 96, (150, 100, 58, 255))
    c.rect(83, 67, 84, 96, (120, 78, 44, 255))
    c.rect(87, 80, 89, 82, (236, 200, 80, 255))
    c.rect(98, 70, 112, 84, beam)
    c.rect(100, 72, 110, 82, (132, 186, 228, 255))
    # The roof: shingle rows, lighter toward the ridge, with an overhang.
    for y in range(2, 62):
        inset = max(0, 14 - y // 2)
        row = (y - 2) // 6
        col = shade(roof_col, 1.12 - 0.025 * row)
        if (y - 2) % 6 == 5:
            col = shade(roof_col, 0.72)
        c.rect(inset, y, 128 - inset, y + 1, col)
        if (y - 2) % 6 != 5:
            off = 0 if row % 2 else 5
            for x in range(inset + off, 128 - inset, 10):
                c.set(x, y, shade(roof_col, 0.82))
    c.rect(14, 1, 114, 3, shade(roof_col, 0.6))
    c.rect(0, 60, 128, 63, shade(roof_col, 0.55))
    c.rect(92, 4, 104, 20, (150, 100, 80, 255))
    c.rect(90, 2, 106, 5, (110, 70, 56, 255))
    return c


def cobble(rng):
    c = Canvas(T, T, (118, 114, 106, 255))
    for row in range(4):
        off = 0 if row % 2 == 0 else 4
        for col in range(-1, 4):
            x0, y0 = col * 8 + off, row * 8
            base = noisy(rng, STONE, 10)
            c.rect(x0 + 1, y0 + 1, x0 + 8, y0 + 8, base)
            c.rect(x0 + 1, y0 + 1, x0 + 8, y0 + 2, shade(base, 1.1))
            c.rect(x0 + 1, y0 + 7, x0 + 8, y0 + 8, shade(base, 0.88))
    return c


def planks(rng):
    c = Canvas(T, T)
    for row in range(4):
        base = noisy(rng, WOOD, 8)
        c.rect(0, row * 8, T, row * 8 + 8, base)
        c.rect(0, row * 8 + 7, T, row * 8 + 8, shade(WOOD, 0.62))
        for _ in range(3):
            x = rng.randrange(0, 26)
            c.rect(x, row * 8 + 3, x + 6, row * 8 + 4, shade(base, 0.88))
        joint = rng.randrange(4, 28)
        c.rect(joint, row * 8, joint + 1, row * 8 + 7, shade(WOOD, 0.62))
        c.set(joint - 2, row * 8 + 2, (84, 70, 60, 255))
        c.set(joint + 2, row * 8 + 2, (84, 70, 60, 255))
    return c


def slate(rng, glyph=False):
    c = Canvas(T, T)
    for by in (0, 16):
        for bx in (0, 16):
            base = noisy(rng, SLATE, 6)
            c.rect(bx, by, bx + 16, by + 16, base)
            c.rect(bx, by, bx + 16, by + 1, shade(base, 1.25))
            c.rect(bx, by, bx + 1, by + 16, shade(base, 1.15))
            c.rect(bx, by + 15, bx + 16, by + 16, shade(base, 0.7))
            c.rect(bx + 15, by, bx + 16, by + 16, shade(base, 0.75))
    if glyph:
        for a in range(0, 360, 3):
            r = 10
            x = 16 + r * math.cos(math.radians(a))
            y = 16 + r * math.sin(math.radians(a))
            c.blend(int(x), int(y), (120, 230, 250, 230))
        for a in range(0, 360, 60):
            c.line(16, 16, int(16 + 7 * math.cos(math.radians(a))), int(16 + 7 * math.sin(math.radians(a))),
                   (120, 230, 250, 200))
    return c


def thicket(rng):
    """Undergrowth too dense to walk through, for the ground under tree tops."""
    c = textured("thicket", (46, 96, 50), blades=False)
    for _ in range(16):
        x, y = rng.randrange(0, 32), rng.randrange(0, 32)
        c.ellipse(x, y, 4, 3, (36, 80, 42, 255))
        c.ellipse(x - 1, y - 1, 2, 1.5, (70, 130, 62, 255))
    return c


def bricks(rng, dark=False):
    base_col = (128, 126, 140) if not dark else (84, 82, 98)
    c = Canvas(T, T, shade(base_col, 0.6))
    h = 8
    for row in range(4):
        off = 0 if row % 2 == 0 else 8
        for col in range(-1, 3):
            x0, y0 = col * 16 + off, row * h
            b = noisy(rng, base_col, 8)
            c.rect(x0 + 1, y0 + 1, x0 + 16, y0 + h, b)
            c.rect(x0 + 1, y0 + 1, x0 + 16, y0 + 2, shade(b, 1.15))
    return c


def sprite_tile(draw):
    c = Canvas(T, T)
    draw(c)
    return c


def bush(c):
    c.ellipse(16, 28, 13, 4, (0, 0, 0, 60))
    c.ellipse(16, 18, 14, 12, (30, 80, 36, 255))
    c.ellipse(16, 18, 13, 11, (54, 124, 52, 255))
    c.ellipse(13, 14, 7, 5, (84, 160, 70, 255))
    for x, y in ((10, 20), (20, 14), (22, 22), (15, 24)):
        c.ellipse(x, y, 1.5, 1.5, (120, 90, 200, 255))


def rock(c):
    c.ellipse(16, 27, 13, 4, (0, 0, 0, 60))
    c.ellipse(16, 19, 13, 10, (70, 70, 78, 255))
    c.ellipse(16, 19, 12, 9, (140, 140, 148, 255))
    c.ellipse(13, 15, 7, 5, (176, 176, 184, 255))
    c.line(18, 14, 22, 22, (100, 100, 110, 255))


def fence_h(c):
    post, rail, dark = (186, 140, 86, 255), (200, 156, 100, 255), (110, 76, 44, 255)
    c.rect(0, 12, T, 16, dark)
    c.rect(0, 12, T, 15, rail)
    c.rect(0, 21, T, 25, dark)
    c.rect(0, 21, T, 24, rail)
    for x in (3, 25):
        c.rect(x - 1, 7, x + 5, 30, dark)
        c.rect(x, 8, x + 4, 29, post)
        c.rect(x, 8, x + 4, 10, (222, 184, 130, 255))


def fence_v(c):
    post, dark = (186, 140, 86, 255), (110, 76, 44, 255)
    c.rect(13, 0, 19, T, dark)
    c.rect(14, 0, 18, T, post)
    c.rect(14, 0, 15, T, (222, 184, 130, 255))
    c.rect(11, 14, 21, 26, dark)
    c.rect(12, 15, 20, 25, post)


def well(c):
    c.ellipse(16, 28, 14, 4, (0, 0, 0, 60))
    c.ellipse(16, 17, 14, 12, (90, 90, 100, 255))
    c.ellipse(16, 17, 13, 11, (160, 158, 150, 255))
    c.ellipse(16, 16, 8, 7, (60, 60, 70, 255))
    c.ellipse(16, 17, 7, 5, (50, 104, 180, 255))
    c.ellipse(14, 16, 2, 1, (150, 200, 240, 255))
    for a in range(0, 360, 40):
        x = 16 + 10.5 * math.cos(math.radians(a))
        y = 17 + 9 * math.sin(math.radians(a))
        c.set(int(x), int(y), (120, 118, 112, 255))


def stump(c):
    c.ellipse(16, 26, 12, 4, (0, 0, 0, 60))
    c.rect(7, 14, 25, 26, (110, 74, 44, 255))
    c.ellipse(16, 26, 9, 3, (110, 74, 44, 255))
    c.ellipse(16, 14, 9, 4, (200, 160, 106, 255))
    c.ellipse(16, 14, 5, 2, (170, 130, 80, 255))


def flowerbed(c):
    rng = seeded("flowerbed")
    for _ in range(14):
        x, y = rng.randrange(4, 28), rng.randrange(6, 28)
        col = rng.choice(((226, 82, 92), (246, 214, 82), (236, 132, 196), (170, 120, 220)))
        c.set(x, y + 1, (50, 120, 50, 255))
        c.set(x, y + 2, (50, 120, 50, 255))
        for dx, dy in ((0, -1), (-1, 0), (1, 0), (0, 1)):
            c.set(x + dx, y + dy, col + (255,))
        c.set(x, y, (250, 236, 140, 255))


def tall_grass(c):
    rng = seeded("tallgrass")
    for _ in range(16):
        x, y = rng.randrange(3, 29), rng.randrange(12, 30)
        h = rng.randrange(5, 10)
        lean = rng.choice((-1, 0, 1))
        c.line(x, y, x + lean * 2, y - h, (58, 128, 52, 255))
        c.set(x + lean * 2, y - h, (130, 196, 96, 255))


def mushrooms(c):
    for x, y, r in ((10, 20, 4), (20, 24, 3), (23, 14, 3)):
        c.rect(x - 1, y, x + 2, y + 4, (236, 226, 206, 255))
        c.ellipse(x + 0.5, y, r, r * 0.7, (206, 56, 60, 255))
        c.set(x - 1, y - 1, (250, 240, 230, 255))
        c.set(x + 1, y - 2, (250, 240, 230, 255))


def lily(c):
    c.ellipse(12, 14, 7, 5, (54, 140, 64, 255))
    c.rect(12, 10, 16, 14, (0, 0, 0, 0))
    c.ellipse(23, 23, 5, 3.5, (66, 150, 70, 255))
    c.ellipse(10, 13, 2, 2, (240, 170, 200, 255))


def barrel(c):
    c.ellipse(16, 29, 11, 3, (0, 0, 0, 60))
    c.rect(7, 6, 25, 28, (150, 96, 52, 255))
    c.rect(7, 6, 11, 28, (176, 120, 70, 255))
    c.rect(21, 6, 25, 28, (114, 70, 38, 255))
    for y in (9, 24):
        c.rect(7, y, 25, y + 2, (90, 90, 100, 255))
    c.ellipse(16, 6, 9, 3, (190, 140, 90, 255))


def altar(c):
    c.ellipse(16, 29, 14, 3, (0, 0, 0, 70))
    c.rect(4, 16, 28, 30, (150, 150, 170, 255))
    c.rect(4, 16, 28, 18, (200, 200, 214, 255))
    c.rect(4, 28, 28, 30, (100, 100, 120, 255))
    for r, a in ((9, 50), (6, 110)):
        c.ellipse(16, 9, r, r, (120, 230, 250, a))
    c.rect(13, 3, 19, 16, (110, 220, 250, 255))
    c.rect(13, 3, 15, 16, (200, 246, 255, 255))
    c.rect(15, 1, 17, 3, (200, 246, 255, 255))


def pillar(part):
    def draw(c):
        stone, dark, light = (170, 170, 186, 255), (110, 110, 128, 255), (214, 214, 226, 255)
        if part == "top":
            c.rect(6, 4, 26, 10, dark)
            c.rect(6, 4, 26, 8, light)
            c.rect(9, 10, 23, T, stone)
            c.rect(9, 10, 12, T, light)
            c.rect(20, 10, 23, T, dark)
        else:
            c.ellipse(16, 29, 13, 3, (0, 0, 0, 70))
            c.rect(9, 0, 23, 22, stone)
            c.rect(9, 0, 12, 22, light)
            c.rect(20, 0, 23, 22, dark)
            c.rect(6, 22, 26, 29, dark)
            c.rect(6, 22, 26, 25, light)
    return draw


def lantern(part):
    def draw(c):
        stone, dark = (150, 150, 160, 255), (96, 96, 108, 255)
        if part == "top":
            c.rect(6, 14, 26, 18, dark)
            c.rect(10, 10, 22, 14, stone)
            c.rect(10, 18, 22, 28, stone)
            c.rect(13, 20, 19, 26, (250, 210, 110, 255))
            c.rect(11, 28, 21, T, dark)
        else:
            c.ellipse(16, 28, 10, 3, (0, 0, 0, 70))
            c.rect(13, 0, 19, 24, stone)
            c.rect(13, 0, 15, 24, (190, 190, 200, 255))
            c.rect(9, 22, 23, 28, dark)
    return draw


def split(canvas, cols, rows):
    """The tiles of a picture of cols x rows tiles, keyed by (column, row)."""
    return {(x, y): canvas.crop(x * T, y * T, T, T) for y in range(rows) for x in range(cols)}


def edge_set(prefix, inner, outer, props, rim=None):
    return [(prefix + str(mask), bordered(prefix + str(mask), mask, inner, outer, rim), props)
            for mask in range(16)]


def place(sheet, col, row, width, tiles):
    """Puts (name, picture, properties) tiles left to right, width to a row."""
    for i, tile in enumerate(tiles):
        sheet[(col + i % width, row + i // width)] = tile


def build():
    """The tiles by their (column, row) in the sheet: (name, picture, properties).

    Pictures larger than a tile (trees, houses, pillars) keep their shape in
    the sheet, so that they can be picked as one block in the map editor.
    """
    sheet = {}
    base = [
        ("grass", textured("grass", GRASS), GRASS_STEP),
        ("grass2", textured("grass2", GRASS), GRASS_STEP),
        ("flowers", textured("flowers", GRASS, extra=flowers), GRASS_STEP),
        ("forest", textured("forest", FOREST, extra=leaves), GRASS_STEP),
        ("forest2", textured("forest2", FOREST, extra=leaves), GRASS_STEP),
        ("plaza", cobble(seeded("plaza")), STONE_STEP),
        ("planks", planks(seeded("planks")), WOOD_STEP),
        ("void", Canvas(T, T, (18, 16, 26, 255)), BLOCK),
        ("slate", slate(seeded("slate")), STONE_STEP),
        ("slate_glyph", slate(seeded("slate2"), glyph=True), STONE_STEP),
        ("wall", bricks(seeded("wall")), BLOCK),
        ("wall_top", bricks(seeded("walltop"), dark=True), BLOCK),
        ("dirt", dirt_tile(seeded("dirt")), DIRT_STEP),
        ("water", water_tile(seeded("water"), "water"), BLOCK),
        ("forest_dirt", bordered("forestdirt", 15, dirt_tile,
                                 lambda rng: textured("forest-edge", FOREST)), DIRT_STEP),
        ("thicket", thicket(seeded("thicket")), BLOCK),
    ]
    place(sheet, 0, 0, 8, base)
    grass = lambda rng: textured("edge-grass", GRASS, blades=False)
    forest = lambda rng: textured("edge-forest", FOREST, blades=False)
    place(sheet, 0, 2, 8, edge_set("path", dirt_tile, grass, DIRT_STEP))
    place(sheet, 0, 4, 8, edge_set("shore", lambda rng: water_tile(rng, "shore"), grass, BLOCK, rim=FOAM))
    place(sheet, 0, 6, 8, edge_set("trail", dirt_tile, forest, DIRT_STEP))
    for n, kind in enumerate(("oak", "pine")):
        for (x, y), part in split(tree(kind), 2, 2).items():
            sheet[(2 * n + x, 8 + y)] = ("%s%d" % (kind, y * 2 + x), part, BLOCK if y else {})
    for n, (name, roof) in enumerate((("house_red", (196, 92, 64)), ("house_blue", (70, 104, 168)))):
        for (x, y), part in split(house(roof), 4, 3).items():
            sheet[(4 + x, 8 + 3 * n + y)] = ("%s%d" % (name, y * 4 + x), part, BLOCK if y else {})
    sprites = [
        ("bush", bush, BLOCK), ("rock", rock, BLOCK), ("fence_h", fence_h, BLOCK), ("fence_v", fence_v, BLOCK),
        ("well", well, BLOCK), ("stump", stump, BLOCK), ("flowerbed", flowerbed, {}),
        ("tall_grass", tall_grass, {}),
        ("mushrooms", mushrooms, {}), ("lily", lily, {}), ("pillar_top", pillar("top"), {}),
        ("lantern_top", lantern("top"), {}),
        ("barrel", barrel, BLOCK), ("altar", altar, BLOCK), ("pillar", pillar("bottom"), BLOCK),
        ("lantern", lantern("bottom"), BLOCK),
    ]
    place(sheet, 0, 10, 4, [(name, sprite_tile(draw), props) for name, draw, props in sprites])
    return sheet


SHEET = None


def catalog():
    """Name -> (gid index counted from 0, properties), built once."""
    global SHEET
    if SHEET is None:
        SHEET = build()
    return {name: (y * COLUMNS + x, props) for (x, y), (name, _, props) in SHEET.items()}


def size():
    """Columns and rows of the sheet."""
    catalog()
    return COLUMNS, max(y for _, y in SHEET) + 1


def main(out):
    columns, rows = size()
    picture = Canvas(columns * T, rows * T)
    for (x, y), (_, tile, _) in SHEET.items():
        picture.paste(tile, x * T, y * T)
    picture.save(out)


if __name__ == "__main__":
    main(sys.argv[1])
