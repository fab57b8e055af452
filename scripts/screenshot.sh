#!/usr/bin/env bash
# Starts Deckwright.exe under Wine in the build's virtual display, captures the main window and
# the About box as PNG files, then closes the program with Alt+F4 and checks that it ends.
#   screenshot.sh PATH/TO/Deckwright.exe OUTPUT_FOLDER
# Needs scripts/wine-env.sh start BUILD_DIR first (it gives the prefix and the display).
set -euo pipefail
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
out=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
rm -f "$out"/main.png "$out"/about.png

build=$(dirname "$exe")
while [ "$build" != / ] && ! [ -d "$build/wine" ]; do build=$(dirname "$build"); done
export DISPLAY=$(cat "$build/wine/display" 2>/dev/null || echo :97)

# The program's own output goes to a file: CTest would otherwise wait for Wine's helpers.
setsid bash "$here/wine-run.sh" "$exe" </dev/null >"$out/program.log" 2>&1 &
pid=$!
cleanup() { kill -- -"$pid" 2>/dev/null || true; }
trap cleanup EXIT

find_window() {  # NAME: waits up to 30 s for a visible window of that title
    local w=""
    for _ in $(seq 60); do
        w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 0.5
    done
    echo "screenshot.sh: no window named '$1' appeared" >&2
    return 1
}

main=$(find_window '^Velmora Deckwright Version [0-9]+[.][0-9]+[.][0-9]+$')
sleep 1.5  # let the first paint finish; there is no message to wait for from outside
import -window "$main" "$out/main.png"

xdotool windowfocus --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
xdotool key --clearmodifiers alt+h
sleep 0.3
xdotool key a
about=$(find_window 'About Deckwright')
sleep 1
import -window "$about" "$out/about.png"
xdotool key Return
sleep 0.5

xdotool windowfocus "$main" 2>/dev/null || true
xdotool key --clearmodifiers alt+F4
for _ in $(seq 40); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.25
done
if kill -0 "$pid" 2>/dev/null; then
    echo "screenshot.sh: Deckwright.exe did not exit after Alt+F4" >&2
    exit 1
fi
trap - EXIT
wait "$pid" || { echo "screenshot.sh: Deckwright.exe exited with status $?" >&2; exit 1; }
for f in main about; do
    [ -s "$out/$f.png" ] || { echo "screenshot.sh: $f.png is missing" >&2; exit 1; }
done
echo "screenshots: $out/main.png $out/about.png"
