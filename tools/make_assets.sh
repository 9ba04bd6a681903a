#!/usr/bin/env bash
# Remakes every picture, map and sound of the demo game in game/ (or in the
# folder given) from the scripts in this folder. The results are committed,
# so the game runs without this step; run it after changing a script. Needs
# python3 and oggenc.
set -euo pipefail
tools="$(cd "$(dirname "$0")" && pwd)"
game="${1:-$tools/../game}"
mkdir -p "$game/gfx/tilesets" "$game/gfx/charsets" "$game/data/maps" "$game/sfx"
python3 "$tools/make_png.py" icon "$game/gfx/icon.png"
mkdir -p "$game/gfx/system"
python3 "$tools/make_png.py" wskin "$game/gfx/system"
python3 "$tools/make_tileset.py" "$game/gfx/tilesets/world.png"
python3 "$tools/make_charsets.py" "$game/gfx/charsets"
python3 "$tools/make_maps.py" "$game/data/maps"
python3 "$tools/make_audio.py" "$game/sfx"
