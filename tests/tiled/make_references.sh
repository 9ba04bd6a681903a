#!/usr/bin/env bash
# Renders the reference images of the drawing tests with Tiled's own renderer,
# tmxrasterizer (Debian package "tiled"; the tests themselves do not need it).
# Run by hand when the references must change, then commit reference/.
#
#   tests/tiled/make_references.sh [SAMPLES_FOLDER]
#
# SAMPLES_FOLDER defaults to the shared TMX samples beside the project.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
samples=${1:-$here/../../../shared/tmx-samples}
out=$here/reference
export QT_QPA_PLATFORM=offscreen

command -v tmxrasterizer >/dev/null || { echo "tmxrasterizer not found: apt-get install tiled" >&2; exit 1; }
mkdir -p "$out"

# The samples with embedded tilesets, their object layers hidden.
for name in tiled_csv tiled_base64 tiled_base64_zlib tiled_base64_gzip tiled_xml; do
    args=(--no-smoothing)
    while IFS= read -r layer; do
        [ -n "$layer" ] && args+=(--hide-layer "$layer")
    done < <(grep -o '<objectgroup [^>]*' "$samples/$name.tmx" | sed -n 's/.* name="\([^"]*\)".*/\1/p')
    tmxrasterizer "${args[@]}" "$samples/$name.tmx" "$out/$name.png"
done

# A small map of flipped tiles. The drawing test writes the same map and the
# same tileset image (keep the two in step).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import struct, sys, zlib

work = sys.argv[1]

def tile_red(index):
    return (10 + 20 * index) % 256

# 4 x 2 tiles of 16 x 16: pixel (px, py) of tile i is (tile_red(i), px * 8, py * 8).
cols, rows, tw, th = 4, 2, 16, 16
raw = bytearray()
for y in range(rows * th):
    raw.append(0)
    for x in range(cols * tw):
        index = (y // th) * cols + x // tw
        raw += bytes((tile_red(index), (x % tw) * 8 % 256, (y % th) * 8 % 256, 255))

def chunk(tag, data):
    return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xffffffff)

with open(work + "/flips.png", "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n")
    f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", cols * tw, rows * th, 8, 6, 0, 0, 0)))
    f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
    f.write(chunk(b"IEND", b""))

with open(work + "/flips.tmx", "w") as f:
    f.write('''<?xml version="1.0" encoding="UTF-8"?>
<map version="1.4" orientation="orthogonal" renderorder="right-down" width="5" height="3" tilewidth="16" tileheight="16" infinite="0">
 <tileset firstgid="1" name="flips" tilewidth="16" tileheight="16" tilecount="8" columns="4">
  <image source="flips.png" width="64" height="32"/>
 </tileset>
 <layer name="ground" width="5" height="3">
  <data encoding="csv">
1,2147483650,1073741827,3221225476,0,
5,6,2147483655,8,1073741825,
0,2,3,2147483652,3221225477
</data>
 </layer>
 <layer name="top" width="5" height="3">
  <data encoding="csv">
0,0,0,0,8,
0,0,0,0,0,
2147483649,0,0,0,0
</data>
 </layer>
</map>
''')
PY
tmxrasterizer --no-smoothing "$work/flips.tmx" "$out/flips.png"
echo "references written to $out"
