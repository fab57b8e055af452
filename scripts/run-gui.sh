#!/usr/bin/env bash
# Builds Deckwright.exe if needed and starts it under Wine, with the given presentations in its
# list.
#   run-gui.sh [FILE...]        (build folder: $DECKWRIGHT_GUI_BUILD, default build/windows)
# With an X display in $DISPLAY the window appears there and the script returns when it is
# closed. Without one the program runs in a virtual display: a screenshot of its window is saved
# and its path printed, and the program is closed again.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${DECKWRIGHT_GUI_BUILD:-build/windows}

if ! [ -f "$build/build.ninja" ]; then
    cmake --preset windows -B "$build" >/dev/null
fi
cmake --build "$build" --target Deckwright -j2
user_display=${DISPLAY:-}
bash scripts/wine-env.sh start "$build"   # makes the Wine prefix on first use

export WINEPREFIX=$(cd "$build" && pwd)/wine/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
files=()
for f in "$@"; do
    full=$(cd "$(dirname "$f")" && pwd)/$(basename "$f")
    files+=("Z:${full//\//\\}")
done
# From its own folder, so that Help finds help.chm beside it.
cd "$build"
if [ -n "$user_display" ]; then
    export DISPLAY=$user_display
    exec wine Deckwright.exe "${files[@]}"
fi

export DISPLAY=$(cat wine/display)
shots=$(pwd)/screenshots
mkdir -p "$shots"
setsid wine Deckwright.exe "${files[@]}" </dev/null >/dev/null 2>&1 &
pid=$!
window=""
for _ in $(seq 120); do
    window=$(xdotool search --onlyvisible --name 'Velmora Deckwright Version' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.5
done
if [ -z "$window" ]; then
    kill -- -"$pid" 2>/dev/null || true
    echo "run-gui.sh: the program's window did not appear" >&2
    exit 1
fi
sleep 2
import -window "$window" "$shots/deckwright.png"
# Closed as a user closes it: Alt+F4 on its window.
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window" 2>/dev/null || true
xdotool key --clearmodifiers alt+F4 2>/dev/null || true
for _ in $(seq 40); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.25
done
kill -- -"$pid" 2>/dev/null || true
echo "No display here: Deckwright ran in a virtual display. What it showed: $shots/deckwright.png"
