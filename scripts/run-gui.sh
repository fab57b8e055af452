#!/usr/bin/env bash
# Builds Deckwright.exe if needed and starts it under Wine.
#   run-gui.sh [BUILD_DIR]      (default build/windows)
# With an X display in $DISPLAY the window appears there; without one it runs in the virtual
# display of scripts/wine-env.sh (see scripts/screenshot.sh to capture it).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows}

if ! [ -f "$build/build.ninja" ]; then
    cmake --preset windows -B "$build"
fi
cmake --build "$build" --target Deckwright -j2
bash scripts/wine-env.sh start "$build"   # makes the Wine prefix on first use

export WINEPREFIX=$(cd "$build" && pwd)/wine/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ -z "${DISPLAY:-}" ]; then
    DISPLAY=$(cat "$build/wine/display")
    echo "No \$DISPLAY: Deckwright runs in the virtual display $DISPLAY."
    echo "Stop it and the display with: bash scripts/wine-env.sh stop $build"
fi
export DISPLAY
# From its own folder, so that Help finds help.chm beside it.
cd "$build"
exec wine Deckwright.exe
