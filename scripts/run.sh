#!/usr/bin/env bash
# Sets up the machine, builds the engine and runs it on the demo game.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
# The program finds the maps beside itself and everything else in the
# working directory: place it in the game folder and start it from there.
cp build/vemra game/vemra
vemra_headless=0
. scripts/xvfb.sh
if [ "$vemra_headless" = 1 ]; then
    # No display, so no one to listen either: use OpenAL Soft's silent output.
    export ALSOFT_DRIVERS=null
fi
cd game
./vemra
