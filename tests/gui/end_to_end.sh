#!/usr/bin/env bash
# The whole desktop program as a user drives it, from outside, with the keyboard: Deckwright.exe
# under Wine adds three damaged presentations through File > Add File..., repairs them with
# Tool > Repair File, sets the save folder and suffix in Tool > Settings, saves with
# Tool > Save File and leaves the File Saved box with "View saved files" cleared. The saved
# files must be byte-identical to what `deckwright repair` saves for the same inputs, and the
# inputs unchanged. Screenshots of the three lists go to OUTPUT_FOLDER.
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

# Three small presentations of the corpus, their headers zeroed as a broken disk leaves them.
mapfile -t picks < <(ls -S "$corpus"/*.ppt | tail -n 3)
names=()
for i in 0 1 2; do
    name="deck$i.ppt"
    cp "${picks[$i]}" "$work/in/$name"
    chmod u+w "$work/in/$name"
    dd if=/dev/zero of="$work/in/$name" bs=512 count=1 conv=notrunc status=none
    names+=("$name")
done
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
typed() {  # WINDOW TEXT
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
    xdotool type --delay 15 "$2"
}

setsid bash "$here/wine-run.sh" "$gui" </dev/null >"$work/program.log" 2>&1 &
pid=$!
main=$(window 'Velmora Deckwright Version 5.0.1')
sleep 1

# File > Add File...: the open dialog, the folder first, then the three names.
keys "$main" alt+f Return
open=$(window '^Open$')
typed "$open" "$(winpath "$work/in")"
keys "$open" Return
sleep 0.5
typed "$open" "\"${names[0]}\" \"${names[1]}\" \"${names[2]}\""
keys "$open" Return
gone '^Open$'
sleep 1
import -window "$main" "$out/e2e-page0-files.png"

# Tool > Repair File; the run ends with its completion box.
keys "$main" alt+t r
done_box=$(window '^Velmora Deckwright$')
sleep 0.5
import -window root "$out/e2e-repair-completed.png"
keys "$done_box" Return
gone '^Velmora Deckwright$'
sleep 0.5
import -window "$main" "$out/e2e-page2-repaired.png"

# Tool > Settings: the suffix, then the folder.
keys "$main" alt+t s
settings=$(window '^Settings$')
keys "$settings" Tab Tab
typed "$settings" "_fixed"
keys "$settings" Tab ctrl+a
typed "$settings" "$(winpath "$work/gui")"
keys "$settings" Return
gone '^Settings$'

# Tool > Save File; File Saved with "View saved files" cleared, then OK.
keys "$main" alt+t Down Return
saved=$(window '^File Saved$')
sleep 0.5
import -window root "$out/e2e-file-saved.png"
keys "$saved" Tab space Return
gone '^File Saved$'
sleep 0.5
import -window "$main" "$out/e2e-page4-saved.png"
keys "$main" alt+F4
for _ in $(seq 40); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.25
done
kill -0 "$pid" 2>/dev/null && fail "Deckwright.exe did not end after Alt+F4"
pid=""

# The command line's result for the same inputs.
bash "$here/wine-run.sh" "$cli" repair --out "$(winpath "$work/cli")" --suffix _fixed \
    "$(winpath "$work/in/${names[0]}")" "$(winpath "$work/in/${names[1]}")" \
    "$(winpath "$work/in/${names[2]}")" >"$work/cli.log" 2>&1 || {
    cat "$work/cli.log" >&2
    fail "deckwright repair failed"
}
for name in "${names[@]}"; do
    saved_name="${name%.ppt}_fixed.ppt"
    [ -s "$work/gui/$saved_name" ] || fail "the desktop program did not save $saved_name"
    cmp "$work/gui/$saved_name" "$work/cli/$saved_name" ||
        fail "$saved_name differs from what deckwright repair saves"
done
(cd "$work/in" && sha256sum -c --quiet "$work/before.sha256") || fail "an input was changed"
echo "end to end: ${names[*]} repaired and saved, identical to deckwright repair; screenshots in $out"
