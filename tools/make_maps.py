#!/usr/bin/env python3
"""Builds the demo game's three maps as TMX files, laid out as the Tiled map
editor saves them (finite orthogonal maps with the tileset embedded).

- village.tmx: 30 x 20 tiles, larger than the screen (it scrolls); layer data
  base64 and zlib-compressed. The start map.
- forest.tmx: 20 x 15 tiles, the size of the screen; layer data in CSV.
- shrine.tmx: 12 x 9 tiles, smaller than the screen (it is centred); layer
  data base64 and gzip-compressed.

Each map has the tile layers BG0 (ground), BG1 (things on the ground, drawn
under the characters), BG2 (tree tops and roofs, drawn over them) and the
object layer "events". The map scripts beside the maps (data/maps/*.lua) hold
the event functions that the objects name.

Usage: make_maps.py MAPS_FOLDER
"""
import base64
import gzip
import os
import sys
import zlib

import make_tileset
from pixels import seeded

TILESET_IMAGE = "../../gfx/tilesets/world.png"

# Ground kinds whose tiles get a grassy (or leafy) rim toward other ground.
PATHLIKE = {"path", "plaza", "planks"}
WATERLIKE = {"water", "planks"}
DIRECT = {"plaza": "plaza", "planks": "planks", "slate": "slate", "glyph": "slate_glyph",
          "thicket": "thicket", "void": "void", "wall": "wall", "wall_top": "wall_top"}

# Every character of the demo: a 32 x 48 cell whose pivot sits 46 pixels down,
# standing on a 20 x 14 box like the player's.
PERSON = {"animWidth": 32, "animHeight": 48, "yOff": 46}


class TileMap:
    def __init__(self, name, width, height):
        self.name = name
        self.width, self.height = width, height
        self.ground = [["grass"] * width for _ in range(height)]
        self.layers = {n: [[None] * width for _ in range(height)] for n in ("BG1", "BG2")}
        self.objects = []
        self.properties = {}

    def fill(self, x0, y0, x1, y1, kind):
        """Ground kind for the cells x0..x1, y0..y1 (inclusive)."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.ground[y][x] = kind

    def put(self, layer, x, y, tile):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.layers[layer][y][x] = tile

    def tree(self, x, y, kind="oak"):
        """A 2 x 2 tree whose top row is (x, y): the top drawn over characters,
        the trunk row blocking; thick undergrowth under the top keeps walkers
        from slipping behind it."""
        self.put("BG2", x, y, kind + "0")
        self.put("BG2", x + 1, y, kind + "1")
        self.put("BG1", x, y + 1, kind + "2")
        self.put("BG1", x + 1, y + 1, kind + "3")
        for dx in (0, 1):
            if 0 <= x + dx < self.width and 0 <= y < self.height:
                self.ground[y][x + dx] = "thicket"

    def house(self, x, y, kind):
        """A 4 x 3 house: the roof's upper row over the characters, the rest blocking."""
        for dy in range(3):
            for dx in range(4):
                self.put("BG2" if dy == 0 else "BG1", x + dx, y + dy, "%s%d" % (kind, dy * 4 + dx))

    def tall(self, x, y, kind):
        """A 1 x 2 thing (pillar, lantern) whose foot stands on (x, y + 1)."""
        self.put("BG2", x, y, kind + "_top")
        self.put("BG1", x, y + 1, kind)

    def person(self, name, tx, ty, graphic, **props):
        """An event object standing on tile (tx, ty), its box at the tile's
        bottom centre; returns its box's top-left pixel."""
        x, y = tx * 32 + 6, ty * 32 + 9
        self.objects.append((name, x, y, 20, 14, dict(PERSON, graphicName=graphic, **props)))
        return x, y

    def thing(self, name, x, y, w, h, **props):
        self.objects.append((name, x, y, w, h, props))

    def ground_tile(self, x, y, rng):
        kind = self.ground[y][x]
        if kind in DIRECT:
            return DIRECT[kind]
        if kind == "grass":
            r = rng.random()
            return "flowers" if r < 0.07 else "grass2" if r < 0.3 else "grass"
        if kind == "forest":
            return "forest" if rng.random() < 0.6 else "forest2"
        family, same = {"path": ("path", PATHLIKE), "water": ("shore", WATERLIKE),
                        "trail": ("trail", {"trail"})}[kind]
        mask = 0
        for bit, (dx, dy) in ((1, (0, -1)), (2, (1, 0)), (4, (0, 1)), (8, (-1, 0))):
            nx, ny = x + dx, y + dy
            if 0 <= nx < self.width and 0 <= ny < self.height and self.ground[ny][nx] not in same:
                mask |= bit
        return family + str(mask)

    def gids(self):
        """Layer name -> list of rows of gids."""
        cat = make_tileset.catalog()
        rng = seeded(self.name)
        gid = lambda t: 0 if t is None else cat[t][0] + 1
        out = {"BG0": [[gid(self.ground_tile(x, y, rng)) for x in range(self.width)] for y in range(self.height)]}
        for name, rows in self.layers.items():
            out[name] = [[gid(t) for t in row] for row in rows]
        return out


def xml_text(s):
    return (str(s).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


def property_lines(props, indent):
    """Tiled writes custom properties sorted by name, with their type."""
    lines = [indent + "<properties>"]
    for key in sorted(props):
        value = props[key]
        kind = ' type="int"' if isinstance(value, int) else ' type="float"' if isinstance(value, float) else ""
        if isinstance(value, float):
            value = '%g' % value
        lines.append('%s <property name="%s"%s value="%s"/>' % (indent, key, kind, xml_text(value)))
    lines.append(indent + "</properties>")
    return lines


def tileset_lines():
    cat = make_tileset.catalog()
    columns, rows = make_tileset.size()
    lines = [' <tileset firstgid="1" name="world" tilewidth="32" tileheight="32" tilecount="%d" columns="%d">'
             % (columns * rows, columns),
             '  <image source="%s" width="%d" height="%d"/>' % (TILESET_IMAGE, columns * 32, rows * 32)]
    for index, props in sorted(cat.values()):
        if props:
            lines.append('  <tile id="%d">' % index)
            lines += property_lines(props, "   ")
            lines.append("  </tile>")
    lines.append(" </tileset>")
    return lines


def layer_data(rows, coding):
    if coding == "csv":
        body = ",\n".join(",".join(str(g) for g in row) for row in rows)
        return ['  <data encoding="csv">', body, "</data>"]
    raw = b"".join(g.to_bytes(4, "little") for row in rows for g in row)
    packed = zlib.compress(raw, 9) if coding == "zlib" else gzip.compress(raw, 9, mtime=0)
    return ['  <data encoding="base64" compression="%s">' % coding,
            "   " + base64.b64encode(packed).decode(), "  </data>"]


def write_tmx(m, path, coding):
    gids = m.gids()
    layer_names = ("BG0", "BG1", "BG2")
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<map version="1.8" tiledversion="1.8.2" orientation="orthogonal" renderorder="right-down" '
             'width="%d" height="%d" tilewidth="32" tileheight="32" infinite="0" nextlayerid="%d" '
             'nextobjectid="%d">' % (m.width, m.height, len(layer_names) + 2, len(m.objects) + 1)]
    lines += property_lines(m.properties, " ")
    lines += tileset_lines()
    for i, name in enumerate(layer_names):
        lines.append(' <layer id="%d" name="%s" width="%d" height="%d">' % (i + 1, name, m.width, m.height))
        lines += layer_data(gids[name], coding)
        lines.append(" </layer>")
    lines.append(' <objectgroup id="%d" name="events">' % (len(layer_names) + 1))
    for i, (name, x, y, w, h, props) in enumerate(m.objects):
        head = '  <object id="%d" name="%s" x="%d" y="%d" width="%d" height="%d"' % (i + 1, name, x, y, w, h)
        if props:
            lines.append(head + ">")
            lines += property_lines(props, "   ")
            lines.append("  </object>")
        else:
            lines.append(head + "/>")
    lines.append(" </objectgroup>")
    lines.append("</map>")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def village():
    m = TileMap("village", 30, 20)
    m.properties = {"exitNorth": "forest.tmx", "exitNorthOffset": -160,
                    "exitEast": "shrine.tmx", "exitEastOffset": -160,
                    "bgmChange": 1, "bgmName": "village.ogg", "bgmGain": 0.8, "bgmSpeed": 1.0,
                    "bgsChange": 1, "bgsName": "stream.ogg", "bgsGain": 0.5, "bgsSpeed": 1.0}
    # Roads: north to the wood (columns 9-10), east to the shrine (rows 9-10),
    # a square with the well where they meet, lanes to the doors and the pier.
    m.fill(9, 0, 10, 7, "path")
    m.fill(8, 8, 16, 11, "plaza")
    m.fill(17, 9, 29, 10, "path")
    for x, y in ((4, 6), (4, 7), (4, 8), (5, 8), (6, 8), (7, 8), (19, 6), (19, 7), (19, 8), (22, 11), (12, 12)):
        m.fill(x, y, x, y, "path")
    # Mira's garden: a ring of path round flower beds.
    m.fill(3, 13, 13, 13, "path")
    m.fill(3, 16, 13, 16, "path")
    m.fill(3, 13, 3, 16, "path")
    m.fill(13, 13, 13, 16, "path")
    for x in range(5, 12, 2):
        for y in (14, 15):
            m.put("BG1", x, y, "flowerbed")
    # The pond with its pier.
    m.fill(19, 13, 26, 17, "water")
    m.fill(22, 12, 22, 15, "planks")
    for x, y in ((20, 15), (25, 14), (24, 16), (19, 17)):
        m.put("BG1", x, y, "lily")
    # The edges: a wall of trees, open only where the roads leave.
    for x in (0, 2, 4, 6):
        m.tree(x, 0, "oak" if x % 4 else "pine")
    for x in range(11, 28, 2):
        m.tree(x, 0, "pine" if x % 4 == 1 else "oak")
    m.fill(8, 0, 8, 1, "thicket")
    m.fill(29, 0, 29, 1, "thicket")
    m.put("BG1", 8, 1, "bush")
    m.put("BG1", 29, 1, "bush")
    for y in range(2, 18, 2):
        m.tree(0, y, "pine" if y % 4 else "oak")
    for x in range(0, 30, 2):
        m.tree(x, 18, "oak" if x % 4 else "pine")
    for y in (2, 4, 6, 12, 14, 16):
        m.tree(28, y, "pine" if y % 4 else "oak")
    for x, y in ((28, 8), (29, 8), (28, 11), (29, 11)):
        m.put("BG1", x, y, "bush")
    # A fence along the west side of the north road.
    for y in range(2, 8):
        m.put("BG1", 8, y, "fence_v")
    # Houses, the elder's apple tree in its fenced nook, the well, odds and ends.
    m.house(2, 3, "house_red")
    m.house(17, 3, "house_blue")
    m.put("BG1", 6, 5, "barrel")
    m.put("BG1", 21, 5, "barrel")
    m.tree(13, 3, "oak")
    m.fill(13, 3, 14, 3, "grass")
    m.put("BG1", 12, 5, "fence_v")
    m.put("BG1", 14, 5, "fence_v")
    m.put("BG1", 15, 4, "flowerbed")
    m.put("BG1", 11, 4, "flowerbed")
    m.put("BG1", 9, 10, "well")
    m.tall(16, 6, "lantern")
    m.tall(16, 11, "lantern")
    m.tree(5, 10, "oak")
    m.fill(5, 10, 6, 10, "grass")
    m.put("BG1", 16, 14, "rock")
    m.put("BG1", 17, 12, "bush")
    m.put("BG1", 25, 7, "stump")
    m.put("BG1", 24, 11, "bush")
    rng = seeded("village-tufts")
    for y in range(m.height):
        for x in range(m.width):
            if m.ground[y][x] == "grass" and m.layers["BG1"][y][x] is None and m.layers["BG2"][y][x] is None \
                    and rng.random() < 0.08:
                m.put("BG1", x, y, "tall_grass")
    # The events.
    m.person("Elder", 13, 5, "elder.png", autoCall="elder_idle", interactCall="elder_talk")
    m.thing("Sign", 11 * 32 + 6, 7 * 32 + 9, 20, 14, animWidth=32, animHeight=48, yOff=46,
            graphicName="sign.png", touchCall="read_sign")
    m.person("Mira", 3, 13, "villager.png", autoCall="villager_walk", interactCall="villager_talk")
    m.person("Bram", 22, 15, "fisher.png", interactCall="fisher_talk", autoCall="fisher_stroll",
             autoCondition="elder_spoken")
    return m


FOREST_PLAN = [
    "....................",
    "....................",
    "........######......",
    ".......########.....",
    ".......########.....",
    ".......########.....",
    ".......#######......",
    "....tttt######......",
    "....tt..............",
    "....tt..............",
    "....tt..............",
    "....tt..............",
    "....tt..............",
    "....tt..............",
    "....tt..............",
]


def forest():
    m = TileMap("forest", 20, 15)
    m.properties = {"exitSouth": "village.tmx", "exitSouthOffset": 160,
                    "bgmChange": 1, "bgmName": "forest.ogg", "bgmGain": 0.8, "bgmSpeed": 1.0,
                    "bgsChange": 1, "bgsName": "wind.ogg", "bgsGain": 0.6, "bgsSpeed": 1.0}
    open_cells = set()
    for y, row in enumerate(FOREST_PLAN):
        for x, c in enumerate(row):
            if c == "#":
                m.ground[y][x] = "forest"
                open_cells.add((x, y))
            elif c == "t":
                m.ground[y][x] = "trail"
                open_cells.add((x, y))
            else:
                m.ground[y][x] = "thicket"
    # Pines wherever a 2 x 2 block of woods is free, rows staggered.
    taken = set(open_cells)
    for y in range(-1, 15):
        for x in range(-1 + (y % 2), 20, 2):
            block = {(x, y), (x + 1, y), (x, y + 1), (x + 1, y + 1)}
            inside = {(a, b) for a, b in block if 0 <= a < 20 and 0 <= b < 15}
            if inside and not (inside & taken):
                m.tree(x, y, "pine" if (x + y) % 3 else "oak")
                taken |= inside
    rng = seeded("forest-odds")
    for x, y in sorted(open_cells):
        r = rng.random()
        if m.ground[y][x] == "forest" and r < 0.25:
            m.put("BG1", x, y, "tall_grass" if r < 0.2 else "flowerbed")
    m.put("BG1", 8, 2, "stump")
    m.put("BG1", 14, 6, "rock")
    m.person("Ilse", 10, 3, "ranger.png", interactCall="ranger_talk")
    m.thing("Mushrooms", 12 * 32, 6 * 32, 32, 32, collide=0, touchCall="pick_mushrooms",
            touchCondition="not picked")
    m.put("BG1", 12, 6, "mushrooms")
    return m


SHRINE_PLAN = [
    "XXXXXXXXXXXX",
    "XWWWWWWWWWWX",
    "X..........X",
    "X..........X",
    "...........X",
    "....ggg....X",
    "X..........X",
    "X..........X",
    "XXXXXXXXXXXX",
]


def shrine():
    m = TileMap("shrine", 12, 9)
    m.properties = {"exitWest": "village.tmx", "exitWestOffset": 160,
                    "bgmChange": 1, "bgmName": "shrine.ogg", "bgmGain": 0.7, "bgmSpeed": 1.0,
                    "bgsChange": 1, "bgsName": "wind.ogg", "bgsGain": 0.35, "bgsSpeed": 0.6}
    for y, row in enumerate(SHRINE_PLAN):
        for x, c in enumerate(row):
            m.ground[y][x] = {"X": "wall_top", "W": "wall", ".": "slate", "g": "glyph"}[c]
    m.tall(2, 1, "pillar")
    m.tall(9, 1, "pillar")
    m.tall(2, 5, "pillar")
    m.tall(9, 5, "pillar")
    m.put("BG1", 6, 2, "altar")
    m.put("BG1", 5, 2, "lantern")
    m.put("BG2", 5, 1, "lantern_top")
    m.put("BG1", 7, 2, "lantern")
    m.put("BG2", 7, 1, "lantern_top")
    m.thing("Altar", 6 * 32 + 6, 2 * 32 + 8, 20, 24, collide=0, interactCall="altar_read")
    m.person("Spirit", 6, 5, "spirit.png", autoCall="spirit_dance", interactCall="spirit_talk")
    return m


def main(folder):
    os.makedirs(folder, exist_ok=True)
    write_tmx(village(), os.path.join(folder, "village.tmx"), "zlib")
    write_tmx(forest(), os.path.join(folder, "forest.tmx"), "csv")
    write_tmx(shrine(), os.path.join(folder, "shrine.tmx"), "gzip")


if __name__ == "__main__":
    main(sys.argv[1])
