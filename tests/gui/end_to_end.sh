#!/usr/bin/env bash
# The whole desktop program as a user drives it, from outside, with the keyboard and the mouse:
# Deckwright.exe under Wine adds five files through File > Add File... (four damaged
# presentations, one of them with a name that is not ASCII, and one file that is no
# presentation at all), repairs them with Tool > Repair File, sets the save folder and suffix in
# Tool > Settings, saves with Tool > Save File and leaves the File Saved box with "View saved
# files" cleared. Every saved file must be byte-identical to what `deckwright repair` saves for
# the same input, the file that is no presentation saved by neither, and the inputs unchanged.
# Screenshots of each stage go to OUTPUT_FOLDER.
#   end_to_end.sh Deckwright.exe deckwright.exe CORPUS_FOLDER OUTPUT_FOLDER
# Needs scripts/wine-env.sh start BUILD_DIR first (it gives the prefix and the display).
set -euo pipefail
gui=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
cli=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
corpus=$3
out=$4
here=$(cd "$(dirname "$0")/../../scripts" && pwd)

if ! [ -d "$corpus" ]; then
    echo "end_to_end.sh: no corpus folder at $corpus: skipped"
    exit 0
fi
build=$(dirname "$gui")
while [ "$build" != / ] && ! [ -d "$build/wine" ]; do build=$(dirname "$build"); done
export DISPLAY=$(cat "$build/wine/display" 2>/dev/null || echo :97)

work=$(mktemp -d /tmp/deckwright-e2e-XXXXXX)
mkdir -p "$work/in" "$work/gui" "$work/cli" "$out"
pid=""
cleanup() {
    [ -n "$pid" ] && kill -- -"$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "end_to_end.sh: $*" >&2
    import -window root "$out/e2e-failure.png" 2>/dev/null || true
    exit 1
}

# Four small presentations of the corpus, their headers zeroed as a broken disk leaves them, and
# a file of random bytes.
mapfile -t picks < <(ls -S "$corpus"/*.ppt | tail -n 4)
names=("deck0.ppt" "$(printf 'Pr\xc3\xa4sentation \xe2\x80\x93 M\xc3\xa4rz.ppt')" "deck2.ppt" "deck3.ppt")
for i in 0 1 2 3; do
    cp "${picks[$i]}" "$work/in/${names[$i]}"
    chmod u+w "$work/in/${names[$i]}"
    dd if=/dev/zero of="$work/in/${names[$i]}" bs=512 count=1 conv=notrunc status=none
done
head -c 5000 /dev/urandom >"$work/in/notes.ppt"
names+=("notes.ppt")
(cd "$work/in" && sha256sum "${names[@]}") >"$work/before.sha256"
winpath() { echo "Z:${1//\//\\}"; }

window() {  # NAME: the visible window of that title, waiting up to 60 s
    local w=""
    for _ in $(seq 120); do
        w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 0.5
    done
    fail "no window named '$1' appeared"
}
gone() {  # NAME: waits until no visible window has that title
    for _ in $(seq 120); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.5
    done
    fail "the window '$1' did not go"
}
keys() {  # WINDOW KEY...: focuses the window, then presses the keys
    local w=$1
    shift
    xdotool windowfocus --sync "$w" 2>/dev/null || xdotool windowfocus "$w"
    xdotool key --clearmodifiers --delay 80 "$@"
}
shot() {  # FILE: the program's window with the dialogs over it
    local g
    g=$(xdotool getwindowgeometry --shell "$main" | tr '\n' ' ')
    eval "$g"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+$((Y > 24 ? Y - 24 : 0))" +repage "$1"
}
typed() {  # WINDOW TEXT
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
    xdotool type --delay 15 "$2"
}

setsid bash "$here/wine-run.sh" "$gui" </dev/null >"$work/program.log" 2>&1 &
pid=$!
main=$(window '^Velmora Deckwright Version [0-9]+[.][0-9]+[.][0-9]+$')
sleep 1

# File > Add File...: the open dialog; into the folder, then every file in it selected.
keys "$main" alt+f Return
open=$(window '^Open$')
typed "$open" "$(winpath "$work/in")"
keys "$open" Return
sleep 1
xdotool mousemove --window "$open" 140 66 click 1  # the first file of the list
sleep 0.3
keys "$open" shift+End
xdotool mousemove 1270 1010  # out of the way of the pictures
sleep 0.3
shot "$out/e2e-1-open-dialog.png"
keys "$open" alt+o
gone '^Open$'
sleep 1
import -window "$main" "$out/e2e-2-files.png"

# Tool > Repair File. The file that is no presentation fails with the run's own box; the run
# ends with its completion box.
keys "$main" alt+t r
failed=$(window '^Velmora Deckwright$')
sleep 0.5
shot "$out/e2e-3-repairing.png"
keys "$failed" Return
sleep 0.5
done_box=$(window '^Velmora Deckwright$')
keys "$done_box" Return
gone '^Velmora Deckwright$'
sleep 0.5
import -window "$main" "$out/e2e-4-repaired.png"

# Tool > Settings: the suffix, then the folder.
keys "$main" alt+t s
settings=$(window '^Settings$')
keys "$settings" Tab Tab
typed "$settings" "_fixed"
keys "$settings" Tab ctrl+a
typed "$settings" "$(winpath "$work/gui")"
sleep 0.3
shot "$out/e2e-5-settings.png"
keys "$settings" Return
gone '^Settings$'

# Tool > Save File. Every repaired row is checked, the failed one too, whose save fails; then
# File Saved, "View saved files" cleared, OK.
keys "$main" alt+t Down Return
failed=$(window '^Velmora Deckwright$')
keys "$failed" Return
saved=$(window '^File Saved$')
sleep 0.5
shot "$out/e2e-6-file-saved.png"
keys "$saved" Tab space Return
gone '^File Saved$'
sleep 0.5
import -window "$main" "$out/e2e-7-saved.png"
keys "$main" alt+F4
for _ in $(seq 40); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.25
done
kill -0 "$pid" 2>/dev/null && fail "Deckwright.exe did not end after Alt+F4"
pid=""

# The command line's result for the same inputs: four saved, one failed (exit status 1).
inputs=()
for name in "${names[@]}"; do inputs+=("$(winpath "$work/in/$name")"); done
status=0
bash "$here/wine-run.sh" "$cli" repair --out "$(winpath "$work/cli")" --suffix _fixed \
    "${inputs[@]}" >"$work/cli.log" 2>&1 || status=$?
[ "$status" = 1 ] || { cat "$work/cli.log" >&2; fail "deckwright repair ended with $status"; }
for name in "${names[@]}"; do
    saved_name="${name%.ppt}_fixed.ppt"
    if [ "$name" = notes.ppt ]; then
        [ -e "$work/gui/$saved_name" ] && fail "the desktop program saved a file that is no presentation"
        [ -e "$work/cli/$saved_name" ] && fail "deckwright repair saved a file that is no presentation"
        continue
    fi
    [ -s "$work/gui/$saved_name" ] || fail "the desktop program did not save $saved_name"
    cmp "$work/gui/$saved_name" "$work/cli/$saved_name" ||
        fail "$saved_name differs from what deckwright repair saves"
done
(cd "$work/in" && sha256sum -c --quiet "$work/before.sha256") || fail "an input was changed"
echo "end to end: the desktop program saved what deckwright repair saves; screenshots in $out"
