#!/usr/bin/env python3
"""End-to-end test of the real program on the demo game.

Runs the built program from a copy of game/ under the X server of DISPLAY,
presses real keys with xdotool, reads the program's standard error and takes
screenshots of its window with ImageMagick's import. It walks the road a player
takes: start-up in the village, a talk with the elder, north into the wood,
back south, east into the shrine, and closes the window as a window manager
does. Screenshots are kept in the folder given with --shots.

Exit status 0 when every check holds, 1 on the first failure, 77 (skipped)
without a display or without xdotool and ImageMagick.
"""
import argparse
import base64
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import xml.etree.ElementTree as ET
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))
from close_window import close_window  # noqa: E402

SKIP = 77
SCREEN_W, SCREEN_H = 640, 480
# The keys of the game's default bindings, as config.cfg names them.
CONFIG = """[VIDEO]
width=640
height=480
display=0
fullscreen=0
[SOUND]
musicVol=1.0
soundVol=1.0
[CONTROLS]
keyUp=84
keyDown=85
keyLeft=82
keyRight=83
keyOk=3
keyCancel=24
keyRun=24
keyJump=26
keyMenu=4
keySpecial=19
keyInfo=1
keyPgUp=80
keyPgDn=81
keyLb=215
keyRb=216
"""
KEYS = {"up": "Up", "down": "Down", "left": "Left", "right": "Right", "ok": "c"}
# The hero's red tunic and blue cape: colours that no tile and no other
# figure uses; from behind, the cape hides the tunic.
HERO_COLOURS = ((205, 45, 45), (48, 92, 178))


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---------------------------------------------------------------- the log

class Log:
    """Collects the program's standard error line by line as it comes."""

    def __init__(self, stream):
        self.lines = []
        self.cond = threading.Condition()
        self.closed = False
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        pending = b""
        for chunk in iter(lambda: stream.read1(4096), b""):
            pending += chunk
            *done, pending = pending.split(b"\n")
            with self.cond:
                self.lines += [d.decode("utf-8", "replace") for d in done]
                self.cond.notify_all()
        with self.cond:
            if pending:
                self.lines.append(pending.decode("utf-8", "replace"))
            self.closed = True
            self.cond.notify_all()

    def wait(self, pattern, start=0, timeout=60.0):
        """Index of the first line from `start` on that matches the regular
        expression (whole line); fails after `timeout` seconds."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self.cond:
            i = start
            while True:
                while i < len(self.lines):
                    if regex.fullmatch(self.lines[i]):
                        return i
                    i += 1
                left = deadline - time.monotonic()
                if left <= 0 or self.closed:
                    raise Failure("no line matching %r after line %d within %.0f s; log tail:\n%s"
                                  % (pattern, start, timeout, "\n".join(self.lines[-25:])))
                self.cond.wait(left)

    def count(self, pattern, start, end):
        regex = re.compile(pattern)
        with self.cond:
            return sum(1 for line in self.lines[start:end] if regex.fullmatch(line))

    def size(self):
        with self.cond:
            return len(self.lines)


# ---------------------------------------------------------------- the game's data

def ogg_loop_line(path):
    """The loop-point line the engine writes for an Ogg file's comments."""
    data = open(path, "rb").read()
    at = data.index(b"\x01vorbis")
    rate = int.from_bytes(data[at + 12:at + 16], "little")
    start = int(re.search(rb"LOOPSTART=(\d+)", data).group(1))
    length = int(re.search(rb"LOOPLENGTH=(\d+)", data).group(1))
    return "Loop start: %f Loop end %f" % (start / rate, (start + length) / rate)


class TmxMap:
    """What the test needs of a map: size, layers, tileset, objects, properties."""

    def __init__(self, path):
        root = ET.parse(path).getroot()
        self.width, self.height = int(root.get("width")), int(root.get("height"))
        self.props = {p.get("name"): p.get("value") for p in root.findall("properties/property")}
        ts = root.find("tileset")
        image = ts.find("image")
        self.columns = int(ts.get("columns"))
        self.image = os.path.normpath(os.path.join(os.path.dirname(path), image.get("source")))
        self.image_size = (int(image.get("width")), int(image.get("height")))
        self.layers = {}
        for layer in root.findall("layer"):
            self.layers[layer.get("name")] = self._cells(layer.find("data"))
        self.objects = []
        for obj in root.findall("objectgroup[@name='events']/object"):
            props = {p.get("name"): p.get("value") for p in obj.findall("properties/property")}
            self.objects.append(dict(props, _x=int(obj.get("x")), _y=int(obj.get("y")),
                                     _w=int(obj.get("width", 0)), _h=int(obj.get("height", 0))))

    def _cells(self, data):
        text = data.text.strip()
        if data.get("encoding") == "csv":
            return [int(v) for v in text.replace("\n", "").split(",") if v]
        raw = base64.b64decode(text)
        raw = {"zlib": zlib.decompress, "gzip": gzip.decompress}.get(data.get("compression"), bytes)(raw)
        return [int.from_bytes(raw[i:i + 4], "little") for i in range(0, len(raw), 4)]

    def gid(self, layer, tx, ty):
        return self.layers[layer][ty * self.width + tx] & 0x1fffffff

    def auto_count(self):
        """Objects whose automatic condition is empty: each writes AUTO! once a load."""
        return sum(1 for o in self.objects if not o.get("autoCondition"))

    def region(self):
        pw, ph = self.width * 32, self.height * 32
        rw, rh = min(SCREEN_W, pw), min(SCREEN_H, ph)
        return (SCREEN_W - rw) // 2, (SCREEN_H - rh) // 2, rw, rh


# ---------------------------------------------------------------- pictures

def read_rgb(path, width, height, colour_type="rgb"):
    raw = subprocess.run(["convert", path, "-depth", "8", colour_type + ":-"], check=True,
                         stdout=subprocess.PIPE).stdout
    n = 3 if colour_type == "rgb" else 4
    check(len(raw) == width * height * n, "unexpected picture size of " + path)
    return raw, n


class Shot:
    def __init__(self, path):
        self.path = path
        self.rgb, _ = read_rgb(path, SCREEN_W, SCREEN_H)

    def at(self, x, y):
        i = (y * SCREEN_W + x) * 3
        return tuple(self.rgb[i:i + 3])

    def dark_share(self, x0=0, y0=0, x1=SCREEN_W, y1=SCREEN_H):
        dark = total = 0
        for y in range(y0, y1, 4):
            for x in range(x0, x1, 4):
                total += 1
                dark += max(self.at(x, y)) < 16
        return dark / total

    def count(self, colour, tolerance, x0=0, y0=0, x1=SCREEN_W, y1=SCREEN_H):
        """The points of the rectangle whose colour lies within `tolerance` of `colour`."""
        lo = [max(0, c - tolerance) for c in colour]
        hi = [min(255, c + tolerance) for c in colour]
        hits = []
        for y in range(y0, y1):
            row = self.rgb[(y * SCREEN_W + x0) * 3:(y * SCREEN_W + x1) * 3]
            for i, (r, g, b) in enumerate(zip(row[0::3], row[1::3], row[2::3])):
                if lo[0] <= r <= hi[0] and lo[1] <= g <= hi[1] and lo[2] <= b <= hi[2]:
                    hits.append((x0 + i, y))
        return hits


def near(a, b, tolerance=12):
    return max(abs(p - q) for p, q in zip(a, b)) <= tolerance


# ---------------------------------------------------------------- the driver

class Game:
    def __init__(self, program, game, shots, xdotool):
        self.shots = shots
        self.xdotool = xdotool
        self.folder = tempfile.mkdtemp(prefix="vemra-e2e-")
        self.game = os.path.join(self.folder, "game")
        shutil.copytree(game, self.game, ignore=shutil.ignore_patterns("vemra", "config.cfg"))
        shutil.copy(program, os.path.join(self.game, "vemra"))
        with open(os.path.join(self.game, "config.cfg"), "w") as f:
            f.write(CONFIG)
        env = dict(os.environ, ALSOFT_DRIVERS="null")
        self.proc = subprocess.Popen([os.path.join(self.game, "vemra")], cwd=self.game, env=env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE)
        self.log = Log(self.proc.stderr)
        self.window = None
        self.shot_number = 0

    def find_window(self, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            check(self.proc.poll() is None, "the program ended early; log:\n" + "\n".join(self.log.lines))
            out = subprocess.run([self.xdotool, "search", "--all", "--pid", str(self.proc.pid), "--name", "^Vemra$"],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout.split()
            if out:
                self.window = out[0]
                subprocess.run([self.xdotool, "windowfocus", "--sync", self.window], check=True)
                return
            time.sleep(0.2)
        raise Failure("no window titled Vemra appeared")

    def hold(self, key, seconds):
        """Holds a key down for a while: long enough to be seen on several ticks."""
        subprocess.run([self.xdotool, "keydown", KEYS[key]], check=True)
        try:
            time.sleep(seconds)
        finally:
            subprocess.run([self.xdotool, "keyup", KEYS[key]], check=True)

    def hold_until(self, key, pattern, start, timeout=30):
        """Holds a key until a log line comes; its index, or None."""
        subprocess.run([self.xdotool, "keydown", KEYS[key]], check=True)
        try:
            return self.log.wait(pattern, start, timeout)
        except Failure:
            return None
        finally:
            subprocess.run([self.xdotool, "keyup", KEYS[key]], check=True)

    def press(self, key):
        self.hold(key, 0.25)

    def press_until(self, key, pattern, start, timeout=10, tries=3):
        """Presses a key until a log line comes (a press can be missed on a
        machine too busy to look at the keyboard while the key is down)."""
        for _ in range(tries):
            self.press(key)
            try:
                return self.log.wait(pattern, start, timeout)
            except Failure:
                continue
        raise Failure("pressing %s gave no line matching %r" % (key, pattern))

    def screenshot(self, name):
        self.shot_number += 1
        path = os.path.join(self.shots, "%02d-%s.png" % (self.shot_number, name))
        subprocess.run(["import", "-window", self.window, path], check=True)
        return Shot(path)

    def settled_shot(self, name, ready, timeout=30):
        """Screenshots until `ready(shot)` holds for two in a row (a crossfade has ended)."""
        deadline = time.monotonic() + timeout
        last = None
        while time.monotonic() < deadline:
            shot = self.screenshot(name)
            if ready(shot) and last is not None and ready(last):
                return shot
            last = shot
            time.sleep(0.3)
        raise Failure("the screen never showed %s (last screenshot %s)" % (name, last.path if last else "none"))

    def close(self, timeout=30):
        check(close_window(int(self.window, 0)), "could not send WM_DELETE_WINDOW")
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after WM_DELETE_WINDOW")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


def load_line(name):
    return r"Loading map: %s\.\.\. \|{13} FINISHED\. " % re.escape(name)


def expected_map_colours(tmx, tileset, scroll, skip):
    """(screen point, colour) for tile centres that show only ground (BG0)."""
    raw, n = tileset
    iw = tmx.image_size[0]
    rx, ry, rw, rh = tmx.region()
    points = []
    for sy in range(ry + 8, ry + rh, 16):
        for sx in range(rx + 8, rx + rw, 16):
            mx, my = sx - rx + scroll[0], sy - ry + scroll[1]
            tx, ty = mx // 32, my // 32
            if tmx.gid("BG1", tx, ty) or tmx.gid("BG2", tx, ty) or skip(mx, my):
                continue
            g = tmx.gid("BG0", tx, ty) - 1
            if g < 0:
                continue
            ix = (g % tmx.columns) * 32 + mx % 32
            iy = (g // tmx.columns) * 32 + my % 32
            i = (iy * iw + ix) * n
            points.append(((sx, sy), tuple(raw[i:i + 3])))
    return points


def near_objects(tmx, extra=()):
    """A test of map pixels that a figure may cover: around each event object,
    the player's start and any extra rectangles (x0, y0, x1, y1)."""
    boxes = [(o["_x"] - 24, o["_y"] - 56, o["_x"] + o["_w"] + 24, o["_y"] + o["_h"] + 24) for o in tmx.objects]
    boxes += list(extra)
    return lambda x, y: any(x0 <= x < x1 and y0 <= y < y1 for x0, y0, x1, y1 in boxes)


def hero_pixels(shot):
    return [p for colour in HERO_COLOURS for p in shot.count(colour, 10)]


def hero_box(shot):
    hits = hero_pixels(shot)
    check(len(hits) >= 20, "the hero is not on the screen (%s)" % shot.path)
    xs, ys = [p[0] for p in hits], [p[1] for p in hits]
    return min(xs), min(ys), max(xs), max(ys)


def white_text(shot, y1=160):
    """Pixels of pure white (message text) in the top part of the screen."""
    return len(shot.count((255, 255, 255), 0, 32, 0, 608, y1))


def run(args):
    maps = {name: TmxMap(os.path.join(args.game, "data", "maps", name)) for name in
            ("village.tmx", "forest.tmx", "shrine.tmx")}
    village, forest, shrine = maps["village.tmx"], maps["forest.tmx"], maps["shrine.tmx"]
    tileset = read_rgb(village.image, *village.image_size, colour_type="rgba")
    game = Game(args.program, args.game, args.shots, args.xdotool)
    try:
        log = game.log
        game.find_window()

        # 1. Start-up: the dump, the start map's lines, its script and music.
        dump = log.wait(r"MAP: village\.tmx")
        check(log.lines[dump + 1:dump + 7] == ["X: 422", "Y: 297", "hero.png Aren Wanderer ",
                                               "mage.png Lysa Scholar ", "", " 0 0 "],
              "start-up dump: %r" % log.lines[dump:dump + 7])
        first = log.wait(load_line("village.tmx"), dump)
        check(log.lines[first + 1] == " Region size: 640x480. ", "region line: %r" % log.lines[first + 1])
        script = log.wait(r"Loading village\.lua \.\.\.DONE", first)
        music = ogg_loop_line(os.path.join(args.game, "sfx", "bgm", village.props["bgmName"]))
        log.wait(re.escape(music), script, 10)
        log.wait(r"Is villager_walk a function\? 1", script)
        log.wait(r"Is elder_idle a function\? 1", script)
        print("start-up: dump, map, region, script, music loop %r, automatic events" % music)

        # 2. The screen: after the black start the map shows at once.
        log.wait(r"Set Route to Event", script)
        start_scroll = (422 - SCREEN_W // 2, 297 - SCREEN_H // 2)
        route = (72, 368, 472, 576)  # Mira's walk round her garden
        player = (422 - 24, 297 - 56, 442 + 24, 311 + 24)
        points = expected_map_colours(village, tileset, start_scroll, near_objects(village, [route, player]))
        check(len(points) > 200, "too few ground points to compare: %d" % len(points))

        def map_shown(shot):
            return sum(near(shot.at(*p), c) for p, c in points) >= 0.95 * len(points)

        shot = game.settled_shot("village-start", map_shown)
        check(shot.dark_share() < 0.05, "the start screen is dark")
        print("screen: %d ground points match the tileset (%s)" % (len(points), shot.path))

        # 3. Dialogue: up to the elder, Ok, two boxes closed with Ok.
        talk = None
        for _ in range(4):
            game.hold("up", 1.5)
            mark = log.size()
            game.press("ok")
            try:
                talk = log.wait(r"Is elder_talk a function\? 1", mark, 5)
                break
            except Failure:
                continue
        check(talk is not None, "Ok in front of the elder started no event")
        autos_first = log.count(r"AUTO!", first, talk)
        check(autos_first == village.auto_count(),
              "village: %d AUTO! lines, %d expected" % (autos_first, village.auto_count()))
        log.wait(r"Message Show", talk, 10)
        text = log.wait(r"MESSAGE: Elder Tomas: Ah, a traveller! Welcome to Brookvale\.", talk, 30)
        boxed = game.settled_shot("dialogue-box", lambda s: white_text(s) > 150)
        check(boxed.dark_share(40, 8, 600, 150) < 0.5, "no message window on the screen (%s)" % boxed.path)
        # Nothing logs the close: the event's next command plays once the box is gone.
        waited = game.press_until("ok", r"Waiting", text)
        text2 = log.wait(r"MESSAGE: The wood to the north .*", waited, 40)
        waited2 = game.press_until("ok", r"Waiting", text2)
        log.wait(r"Set Event Facing Direction", waited2, 10)
        clear = game.settled_shot("dialogue-closed", lambda s: white_text(s) == 0)
        check(sum(near(clear.at(x, y), boxed.at(x, y), 40) for x in range(40, 600, 8) for y in range(8, 150, 8))
              < 0.5 * 70 * 18, "the screen under the box did not change")
        # The fisherman's automatic condition holds once the elder has spoken.
        stroll = log.wait(r"Is fisher_stroll a function\? 1", talk, 10)
        check(log.count(r"AUTO!", talk, stroll) == 1, "the fisherman's automatic event did not start once")
        print("dialogue: box shown (%s), closed (%s)" % (boxed.path, clear.path))

        # 4. Map change north: left against the fence, up the road.
        mark = log.size()
        game.hold("left", 2.5)
        north = game.hold_until("up", load_line("forest.tmx"), mark, 15)
        if north is None:
            game.hold("left", 3)
            north = game.hold_until("up", load_line("forest.tmx"), mark, 15)
        check(north is not None, "walking north gave no forest map")
        log.wait(r"Loading forest\.lua \.\.\.DONE", north, 10)
        arrived = game.settled_shot("forest-arrival", lambda s: s.dark_share() < 0.05 and
                                    len(hero_pixels(s)) >= 20)
        x0, y0, x1, y1 = hero_box(arrived)
        # Left north at x 288, offset -160: x 128, y 480 - 32, at the bottom.
        check(y1 > SCREEN_H - 40 and 120 <= x0 <= 150, "hero in the wood at (%d, %d)-(%d, %d)" % (x0, y0, x1, y1))
        print("north: forest loaded, hero at the bottom (%s)" % arrived.path)

        # Back south to the village, then down to the well and east.
        back = game.hold_until("down", load_line("village.tmx"), north, 15)
        check(back is not None, "walking south gave no village map")
        check(log.count(r"AUTO!", north, back) == forest.auto_count(),
              "forest: %d AUTO! lines, %d expected" % (log.count(r"AUTO!", north, back), forest.auto_count()))
        game.hold("down", 4)
        east = game.hold_until("right", load_line("shrine.tmx"), back, 20)
        if east is None:
            game.hold("down", 4)
            east = game.hold_until("right", load_line("shrine.tmx"), back, 20)
        check(east is not None, "walking east gave no shrine map")
        # 5. AUTO! again on the second load of the village.
        autos_again = log.count(r"AUTO!", back, east)
        check(autos_again == village.auto_count(),
              "village again: %d AUTO! lines, %d expected" % (autos_again, village.auto_count()))
        check(log.lines[east + 1] == " Region size: 384x288. ", "shrine region: %r" % log.lines[east + 1])
        log.wait(r"Is spirit_dance a function\? 1", east, 10)
        log.wait(r"Loop event", east, 30)
        check(log.count(r"AUTO!", east, log.size()) == shrine.auto_count(), "shrine: AUTO! lines")
        rx, ry, rw, rh = shrine.region()
        small = game.settled_shot("shrine-centred", lambda s: s.dark_share(rx, ry, rx + rw, ry + rh) < 0.05 and
                                  len(hero_pixels(s)) >= 20)
        check(small.dark_share(0, 0, rx - 1, SCREEN_H) > 0.98 and small.dark_share(rx + rw + 1, 0) > 0.98,
              "the small map is not centred between black borders (%s)" % small.path)
        x0, y0, x1, y1 = hero_box(small)
        check(x0 < rx + 40 and ry + 96 < y1 < ry + 200, "hero in the shrine at (%d, %d)-(%d, %d)" % (x0, y0, x1, y1))
        print("east: shrine centred, hero at its west door (%s)" % small.path)

        # 6. Closing as a window manager does.
        status = game.close()
        check(status == 0, "exit status %d" % status)
        print("closed: exit status 0")
    finally:
        if args.log:
            with open(args.log, "w") as f:
                f.write("\n".join(game.log.lines) + "\n")
        game.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--game", required=True)
    parser.add_argument("--shots", required=True)
    parser.add_argument("--log")
    args = parser.parse_args()
    args.xdotool = shutil.which("xdotool")
    if not os.environ.get("DISPLAY"):
        print("no display: skipped")
        return SKIP
    if not args.xdotool or not shutil.which("import") or not shutil.which("convert"):
        print("xdotool or ImageMagick missing: skipped")
        return SKIP
    os.makedirs(args.shots, exist_ok=True)
    for old in os.listdir(args.shots):
        if old.endswith(".png"):
            os.remove(os.path.join(args.shots, old))
    try:
        run(args)
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    print("end-to-end test passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
