#!/usr/bin/env python3
"""Checks that the demo game's committed assets are what the scripts under
tools/ make: the scripts are run into a temporary folder and every file they
write is compared with the one in game/. Pictures and maps must be the same
byte for byte; for Ogg files, whose encoder may round differently elsewhere,
the sample rate, the length and the loop comments must agree.

Exit status 0 when all agree, 1 otherwise, 77 (skipped) without oggenc.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def ogg_facts(path):
    """Sample rate, length in frames (the last page's granule position) and comments."""
    data = open(path, "rb").read()
    at = data.index(b"\x01vorbis")
    rate = int.from_bytes(data[at + 12:at + 16], "little")
    last = data.rindex(b"OggS")
    frames = int.from_bytes(data[last + 6:last + 14], "little")
    comments = sorted(re.findall(rb"LOOP(?:START|LENGTH)=\d+", data))
    return rate, frames, comments


def main():
    if not shutil.which("oggenc"):
        print("oggenc missing: skipped")
        return 77
    faults = []
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(["bash", os.path.join(ROOT, "tools", "make_assets.sh"), out], check=True)
        made = 0
        for folder, _, files in os.walk(out):
            for name in files:
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, out)
                committed = os.path.join(ROOT, "game", rel)
                made += 1
                if not os.path.exists(committed):
                    faults.append(rel + ": made by the scripts but not committed")
                elif name.endswith(".ogg"):
                    if ogg_facts(path) != ogg_facts(committed):
                        faults.append("%s: %s made, %s committed" % (rel, ogg_facts(path), ogg_facts(committed)))
                elif open(path, "rb").read() != open(committed, "rb").read():
                    faults.append(rel + ": differs from what the scripts make")
    for fault in faults:
        print("FAILED:", fault)
    print("%d files made by the scripts, %d differ" % (made, len(faults)))
    return 1 if faults or made == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
