#!/usr/bin/env bash
# Runs the scaling tests of gui_tests.exe (Dpi.*) on a screen of the given DPI: in a copy of the
# build's Wine prefix whose LogPixels is set to it, in a virtual display of its own big enough
# for the windows at 200%. Screenshots of each window go to OUTPUT_FOLDER as PNG files.
#   dpi.sh gui_tests.exe DPI OUTPUT_FOLDER
# Needs scripts/wine-env.sh start BUILD_DIR first (it makes the prefix this one is copied from).
set -euo pipefail
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dpi=$2
out=$(mkdir -p "$3" && cd "$3" && pwd)

build=$(dirname "$exe")
while [ "$build" != / ] && ! [ -d "$build/wine" ]; do build=$(dirname "$build"); done
base=$build/wine/prefix
[ -f "$build/wine/prefix-ready" ] || { echo "dpi.sh: no Wine prefix; run scripts/wine-env.sh start" >&2; exit 1; }

# A copy made of links is quick; the registry files, which Wine rewrites in place, are copied
# for real, so that the settings below stay in the copy.
prefix=$build/wine/prefix-dpi$dpi
rm -rf "$prefix"
cp -al "$base" "$prefix"
for reg in "$base"/*.reg; do cp --remove-destination "$reg" "$prefix/"; done
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

xvfb_pid=""
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$prefix" "$out/displayfd"
}
trap cleanup EXIT
setsid Xvfb -displayfd 3 -screen 0 2600x2100x24 -nolisten tcp 3>"$out/displayfd" \
    </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$out/displayfd" ] && break
    sleep 0.1
done
export DISPLAY=":$(tr -dc 0-9 <"$out/displayfd")"

quiet() { "$@" </dev/null >/dev/null 2>&1; }
quiet wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f
quiet wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi" /f
wineserver -w
# A detached wineserver keeps Wine's helpers off CTest's output pipe.
setsid wineserver -p30 </dev/null >/dev/null 2>&1 &
sleep 0.5
quiet wine rundll32.exe user32.dll,GetDesktopWindow || true

rm -f "$out"/dpi"$dpi"-*.bmp "$out"/dpi"$dpi"-*.png
status=0
DECKWRIGHT_SCREENSHOTS="Z:${out//\//\\}" wine "$exe" --gtest_filter='Dpi.*' --gtest_brief=1 ||
    status=$?
for bmp in "$out"/dpi"$dpi"-*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
ls "$out"/dpi"$dpi"-*.png >/dev/null 2>&1 || { echo "dpi.sh: no screenshots at $dpi DPI" >&2; status=1; }
exit "$status"
