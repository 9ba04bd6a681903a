#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora under fuzz/corpus/<target>/.

Each corpus starts from the demo game (game/) and from the kinds of input the
tests write as fixtures: every TMX layer coding, objects, properties, flips
and the unsupported forms; data files with every table; map scripts with
every event command, conditions, routes and exits; config files with good
and broken values. Run it again when the demo game changes.
"""
import base64
import gzip
import os
import re
import shutil
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GAME = os.path.join(ROOT, "game")
OUT = os.path.join(ROOT, "fuzz", "corpus")


def write(target, name, text):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    data = text.encode("utf-8") if isinstance(text, str) else text
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def demo_maps():
    folder = os.path.join(GAME, "data", "maps")
    if not os.path.isdir(folder):
        return []
    return sorted(n[:-4] for n in os.listdir(folder) if n.endswith(".tmx"))


def read(*parts):
    with open(os.path.join(GAME, *parts), encoding="utf-8") as f:
        return f.read()


# --- TMX maps -------------------------------------------------------------

def cells(w, h):
    return [((x * 3 + y * 5) % 17) for y in range(h) for x in range(w)]


def data_element(coding, gids):
    raw = b"".join(g.to_bytes(4, "little") for g in gids)
    if coding == "csv":
        return '<data encoding="csv">\n' + ",".join(map(str, gids)) + "\n</data>"
    if coding == "xml":
        return "<data>" + "".join('<tile gid="%d"/>' % g for g in gids) + "</data>"
    if coding == "base64":
        return '<data encoding="base64">' + base64.b64encode(raw).decode() + "</data>"
    if coding == "zlib":
        return '<data encoding="base64" compression="zlib">' + base64.b64encode(zlib.compress(raw)).decode() + "</data>"
    if coding == "gzip":
        return ('<data encoding="base64" compression="gzip">' +
                base64.b64encode(gzip.compress(raw, mtime=0)).decode() + "</data>")
    if coding == "zstd":
        return '<data encoding="base64" compression="zstd">KLUv/QBYAAA=</data>'
    return '<data encoding="%s">1,2</data>' % coding


def tmx(body, w=6, h=5, extra=""):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<map version="1.8" orientation="orthogonal" width="%d" height="%d" tilewidth="32" tileheight="32"%s>\n'
            '<properties><property name="exitNorth" value="other.tmx"/><property name="note">text</property>'
            '</properties>\n'
            '<tileset firstgid="1" name="t" tilewidth="32" tileheight="32">'
            '<image source="tiles.png" width="128" height="128"/>'
            '<tile id="5"><properties><property name="block" value="1"/></properties></tile>'
            '<tile id="1"><properties><property name="stepSound" value="sfx/se/grass"/></properties></tile>'
            '</tileset>\n%s\n</map>\n') % (w, h, extra, body)


def tmx_seeds():
    for name in demo_maps():
        write("tmx", "demo-%s.tmx" % name, read("data", "maps", name + ".tmx"))
    gids = cells(6, 5)
    for coding in ["csv", "xml", "base64", "zlib", "gzip", "zstd", "hex"]:
        layer = '<layer name="BG0" width="6" height="5">%s</layer>' % data_element(coding, gids)
        write("tmx", "coding-%s.tmx" % coding, tmx(layer))
    flipped = [g | (1 << 31) if i % 3 == 0 else g | (1 << 30) if i % 3 == 1 else g | (1 << 29)
               for i, g in enumerate(gids)]
    write("tmx", "flips.tmx", tmx('<layer name="BG1" width="6" height="5" opacity="0.5">%s</layer>'
                                  % data_element("csv", flipped)))
    objects = ('<objectgroup name="events">'
               '<object id="1" name="Sign" x="40" y="60" width="20" height="14">'
               '<properties><property name="touchCall" value="read_sign"/></properties></object>'
               '<object id="3" name="Elder" type="npc" x="-8" y="300" visible="0"/>'
               '</objectgroup>')
    write("tmx", "objects.tmx", tmx('<layer name="BG0" width="6" height="5">%s</layer>%s'
                                    % (data_element("csv", gids), objects)))
    write("tmx", "external.tmx", tmx('<tileset firstgid="40" source="other.tsx"/>'
                                     '<layer name="BG0" width="2" height="1"><data encoding="csv">40,41</data></layer>'))
    write("tmx", "groups.tmx", tmx('<group name="g"><layer name="in" width="1" height="1"><data>1</data></layer>'
                                   '</group><imagelayer name="sky"><image source="tiles.png"/></imagelayer>'
                                   '<layer name="BG2" width="4" height="4"><data encoding="base64"></data></layer>',
                                   extra=' infinite="1"'))
    write("tmx", "sizes.tmx", tmx('<layer name="big" width="300" height="2"><data encoding="csv">1,2,3</data>'
                                  '</layer><layer name="none" width="0" height="0"/>', w=300, h=2))


# --- data files -------------------------------------------------------------

def database_seeds():
    demo = read("data", "database.lua")
    write("database", "demo.lua", demo)
    write("database", "with-enemies.lua", demo + """
enemies = { enemySize = 1, enemy1 = { name = "Slime", class = 1, level = 2, expGive = 3, moneyGive = 4,
  treasure = { size = 1, item0 = "1,2,drop" }, life = 5, mana = 6, strBase = 1, vitBase = 1, agiBase = 1,
  intBase = 1, dexBase = 1, behaviour = "", elementResist = "1,2", conditionResist = "", features = "3" } }
""")
    write("database", "returned-function.lua", demo + """
return function()
  setmetatable(attributes, { __index = { attrib9 = { name = "X", mult = "1,,2" } } })
  system.startParty = "3,1,0"
  actors.actor1.levelStart = 200
end
""")
    write("database", "small.lua", """system = { fontNormal = "DejaVuSans.ttf", fontDamage = "missing.ttf",
  fontSpecial = "DejaVuSansMono.ttf", fontSizeS = -3, fontSizeM = '16', fontSizeL = 2.0,
  startParty = "1", startPos = { map = "village.tmx", X = -1, Y = 2147483647 }, levelMax = 99 }
actors = { actorSize = 1, actor1 = { anim_w = 32, anim_h = 48, graphicName = "hero.png", w = 20, h = 14,
  yOff = 46, defaultName = "A", profession = "B", class = 1, levelStart = 127, expBase = -128,
  expGrowth = 255, lifeBase = 2147483647, lifeGrowth = 2147483647, manaBase = 0, manaGrowth = 0,
  strBase = 1, vitBase = 1, agiBase = 1, intBase = 1, dexBase = 1, strGrowth = 1, vitGrowth = 1,
  agiGrowth = 1, intGrowth = 1, dexGrowth = 1,
  learnings = { size = 2, learn0 = "1,2", learn1 = "" }, equips = "1,2,3,4,5,6" } }
classes = { classSize = 0 }
useable = { useableSize = 0 }
states = { stateSize = 1, state1 = { name = "s", behaviour = "", counterBehaviour = "", priority = 1,
  persist = 0, restriction = 0, lockSkill = 0, pose = 0, animation = 0, hitPerc = 0, critPerc = 0,
  strPerc = 0, vitPerc = 0, agiPerc = 0, intPerc = 0, dexPerc = 0, expPerc = 0, chance = ",,7" } }
attributes = { attribSize = 0 }
""")


# --- map scripts with their events ----------------------------------------

def object_lines(tmx_text):
    lines = []
    for m in re.finditer(r'<object id="(\d+)"([^>]*?)(/>|>(.*?)</object>)', tmx_text, re.S):
        attrs = dict(re.findall(r'(\w+)="([^"]*)"', m.group(2)))
        attrs["id"] = m.group(1)
        props = re.findall(r'<property name="(\w+)"(?: type="\w+")? value="([^"]*)"', m.group(4) or "")
        pairs = ["%s=%s" % (k, attrs[k]) for k in ["id", "name", "x", "y", "width", "height"] if k in attrs]
        pairs += ["%s=%s" % p for p in props]
        lines.append("--@object " + ";".join(pairs))
    return lines


def events_seeds():
    for name in demo_maps():
        script = read("data", "maps", name + ".lua")
        lines = object_lines(read("data", "maps", name + ".tmx"))
        lines.append("--@player x=%d;y=%d" % (300, 200))
        write("events", "demo-%s.lua" % name, script + "\n" + "\n".join(lines) + "\n")
    write("events", "commands.lua", """-- Every command, from every kind of trigger.
function talk()
  command.show_text("First line\\nsecond line, long enough to wrap at the edge of the box")
  command.wait(3)
  command.set_dir(-1, 2)
  command.show_text("caf\\195\\169 \\226\\130\\172 done")
end
function walk()
  command.new_route()
  command.add_point(40, 40)
  command.add_point(120, 60)
  command.set_route(-1, true)
  command.set_route(0, false)
end
function spin()
  command.set_dir(-1, 1)
  command.wait(2)
  command.loop()
end
function touched() seen = (seen or 0) + 1 command.show_text("touch " .. seen) end
--@object id=1;x=90;y=80;interactCall=talk;autoCall=walk;graphicName=hero.png;animWidth=32;animHeight=48
--@object id=2;x=70;y=80;touchCall=touched;touchCondition=seen == nil or seen < 3
--@object id=5;x=200;y=100;autoCall=spin;autoCondition=true;visibleCondition=false;collide=0
--@player x=60;y=80
""")
    write("events", "exits.lua", """function arrive() command.show_text("again") end
return function() command.wait(1) end
--@map width=4;height=3;exitEast=other.tmx;exitEastOffset=-8;exitSouth=missing.tmx;bgmChange=1;bgmName=x.ogg
--@object id=1;x=8;y=8;autoCall=arrive
--@player x=100;y=60
""")
    write("events", "errors.lua", """function broken() command.wait("x") end
function raise() error({}) end
function guard() setmetatable(_G, { __index = function(_, k) error("no " .. k) end }) end
command = 5
--@object id=1;x=90;y=80;autoCall=broken
--@object id=2;x=90;y=80;autoCall=raise;autoCondition=)(
--@object id=3;x=90;y=80;autoCall=guard;touchCall=nothing;interactCall=
--@object id=998;x=0;y=0;autoCall=broken
--@object id=-4;x=0;y=0
""")


# --- config.cfg --------------------------------------------------------------

def config_seeds():
    keys = ["keyUp=84", "keyDown=85", "keyLeft=82", "keyRight=83", "keyOk=3", "keyCancel=24", "keyRun=24",
            "keyJump=26", "keyMenu=4", "keySpecial=19", "keyInfo=1", "keyPgUp=90", "keyPgDn=91", "keyLb=215",
            "keyRb=216"]
    full = ("[VIDEO]\nwidth=640\nheight=480\ndisplay=0\nfullscreen=0\n\n[SOUND]\nmusicVol=1.0\nsoundVol=1.0\n\n"
            "[CONTROLS]\n" + "\n".join(keys) + "\n")
    write("config", "default.cfg", full)
    write("config", "broken.cfg", "# comment\n[VIDEO\nwidth = -5\nheight=99999999999\nfullscreen=1\n"
                                  "[SOUND]\nmusicVol=nan\nsoundVol=-1e400\n[CONTROLS]\nkeyOk=2147483647\n"
                                  "keyUp=-1\nkeyRb\n=3\n")
    write("config", "empty.cfg", "")


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    tmx_seeds()
    database_seeds()
    events_seeds()
    config_seeds()


if __name__ == "__main__":
    main()
