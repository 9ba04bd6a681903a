#!/usr/bin/env bash
# Sets up the machine, builds the engine and runs it on the demo game.
# Without a display it runs the game on a private Xvfb server with silent
# audio, saves a screenshot after a few seconds, closes the window as a
# window manager would and exits with the program's status.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
bash scripts/setup.sh
# Only the program: the tests and benchmarks stay configured in build/ for
# scripts/test.sh, but are not built here.
bash scripts/build.sh --target vemra
# The program finds the maps beside itself and everything else in the
# working directory: place it in the game folder and start it from there.
cp build/vemra game/vemra
vemra_headless=0
. scripts/xvfb.sh
cd game
if [ "$vemra_headless" != 1 ]; then
    exec ./vemra
fi

# No display, so no one to listen either: use OpenAL Soft's silent output.
export ALSOFT_DRIVERS=null
./vemra &
pid=$!
window=""
for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || break
    window=$(xdotool search --all --pid "$pid" --name '^Vemra$' 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && break
    sleep 0.2
done
if [ -z "$window" ]; then
    status=0
    if kill -0 "$pid" 2>/dev/null; then
        echo "The game's window did not appear." >&2
        kill "$pid"
    fi
    wait "$pid" || status=$?
    exit "$status"
fi
# The start shows black for a third of a second, then the map; let it play.
sleep 5
shot="$root/build/screenshot.png"
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
echo "Screenshot of the demo game: $shot"
python3 "$root/scripts/close_window.py" "$window"
status=0
wait "$pid" || status=$?
echo "The game ended with status $status."
exit "$status"
