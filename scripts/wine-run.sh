#!/usr/bin/env bash
# Runs a Windows program under the build's Wine prefix (CTest's emulator for every .exe).
set -euo pipefail
exe=$1
shift
dir=$(cd "$(dirname "$exe")" && pwd)
# Find the build folder holding the prefix made by wine-env.sh.
build=$dir
while [ "$build" != / ] && ! [ -d "$build/wine" ]; do build=$(dirname "$build"); done
if ! [ -d "$build/wine" ]; then
    echo "wine-run.sh: no Wine prefix; run scripts/wine-env.sh start BUILD_DIR first" >&2
    exit 1
fi
export WINEPREFIX=$build/wine/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=$(cat "$build/wine/display" 2>/dev/null || echo :97)
exec wine "$exe" "$@"
