#!/usr/bin/env bash
# The Windows installer as a user meets it, under Wine in a prefix and a virtual display of its
# own (and a home folder of its own, so that nothing reaches the real one): a silent install
# (/S) puts both programs, the help, the licence and the uninstaller into the user's program
# folder, a Start menu shortcut and an entry in the list of installed programs with the version
# and the publisher; the program started through the shortcut shows its main window; the
# installed command line checks a corpus presentation and a damaged copy of it; a silent
# uninstall leaves no installed file, no shortcut and no entry, and the user's settings key with
# its values.
#   installer_test.sh SETUP.exe VERSION CORPUS_FOLDER OUTPUT_FOLDER
set -euo pipefail
installer=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
version=$2
corpus=$3
out=$4
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
sample=$corpus/jodconv_test.ppt

if ! [ -f "$sample" ]; then
    echo "installer_test.sh: no corpus presentation at $sample: skipped"
    exit 0
fi
[ -f "$installer" ] || { echo "installer_test.sh: no installer at $1" >&2; exit 1; }
mkdir -p "$out"

scratch=$(mktemp -d /tmp/deckwright-installer-XXXXXX)
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/.config XDG_DATA_HOME=$scratch/home/.local/share
mkdir -p "$HOME"
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill -- -"$program_pid" 2>/dev/null
    bash "$scripts/wine-env.sh" stop "$scratch" >/dev/null 2>&1
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "installer_test.sh: $*" >&2
    [ -n "${DISPLAY:-}" ] && import -window root "$out/installer-failure.png" 2>/dev/null
    exit 1
}

echo "-- a fresh Wine prefix"
bash "$scripts/wine-env.sh" start "$scratch" >"$scratch/wine-env.log" 2>&1 ||
    fail "the Wine prefix could not be made: $(cat "$scratch/wine-env.log")"
export WINEPREFIX=$scratch/wine/prefix WINEDEBUG=-all DISPLAY=$(cat "$scratch/wine/display")
# No Mono or Gecko prompts, and no desktop menu entries for the shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine's own output goes to a file: its helpers would otherwise hold CTest's pipe.
wine_() { wine "$@" </dev/null 2>>"$scratch/wine.log"; }
winpath() { echo "Z:${1//\//\\}"; }
unixpath() { winepath -u "$1" 2>>"$scratch/wine.log" | tr -d '\r'; }
folder() { unixpath "$(wine_ cmd /c echo "%$1%" | tr -d '\r')"; }
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Deckwright'
settings_key='HKCU\Software\Velmora\Deckwright'
reg_value() {  # KEY NAME: the value's data, or nothing when the key or value is missing
    wine_ reg query "$1" /v "$2" | tr -d '\r' | awk -v n="$2" '$1 == n { sub(/^[ \t]*[^ \t]+[ \t]+[^ \t]+[ \t]+/, ""); print }'
}
snapshot() {  # the prefix's files outside Wine's own folders
    (cd "$WINEPREFIX/drive_c" && find . \( -path ./windows -o -name Temp -o -path './ProgramData/Microsoft' \) -prune -o -print | sort)
}

local_appdata=$(folder LOCALAPPDATA)
start_menu=$(folder APPDATA)/Microsoft/Windows/Start\ Menu/Programs
install_dir=$local_appdata/Programs/Velmora/Deckwright
shortcut=$start_menu/Velmora\ Deckwright.lnk

# The user's settings from an earlier version, which the uninstall must leave alone.
wine_ reg add "$settings_key" /v Suffix /d _mine /f >/dev/null
snapshot >"$scratch/before.txt"

echo "-- silent install"
wine_ "$installer" /S >>"$scratch/wine.log" || fail "the installer exited with status $?"
expected_files="./Deckwright.exe
./LICENSE.txt
./THIRD-PARTY-NOTICES.txt
./Uninstall.exe
./bin
./bin/deckwright.exe
./help.chm"
[ -d "$install_dir" ] || fail "nothing installed in $install_dir"
files=$(cd "$install_dir" && find . -mindepth 1 | sort)
[ "$files" = "$expected_files" ] || fail "installed files differ:
$(diff <(echo "$expected_files") <(echo "$files"))"
[ -f "$shortcut" ] || fail "no Start menu shortcut at $shortcut"
# The shortcut leads to the installed program (a shell link holds the target's path).
grep -aq 'Deckwright.exe' "$shortcut" || fail "the shortcut does not name Deckwright.exe"
[ "$(reg_value "$uninstall_key" DisplayName)" = "Velmora Deckwright" ] ||
    fail "no entry in the list of installed programs: $(wine_ reg query "$uninstall_key")"
[ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] ||
    fail "the entry's version is '$(reg_value "$uninstall_key" DisplayVersion)', not $version"
[ "$(reg_value "$uninstall_key" Publisher)" = "Velmora" ] || fail "the entry's publisher is not Velmora"
uninstaller=$(reg_value "$uninstall_key" UninstallString | tr -d '"')
[ "$(unixpath "$uninstaller")" = "$install_dir/Uninstall.exe" ] ||
    fail "the entry's uninstaller is '$uninstaller'"
# Per user: nothing for the whole machine.
if wine_ reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Deckwright' >/dev/null 2>&1; then
    fail "an entry for all users was written"
fi

echo "-- the installed program, started from the Start menu"
setsid wine start /unix "$shortcut" </dev/null >>"$scratch/wine.log" 2>&1 &
program_pid=$!
title="^Velmora Deckwright Version ${version//./[.]}\$"
window=""
for _ in $(seq 120); do
    window=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.5
done
[ -n "$window" ] || fail "no window titled 'Velmora Deckwright Version $version' appeared"
# The window belongs to the installed copy, not to some other Deckwright.exe.
window_pid=$(xdotool getwindowpid "$window" 2>/dev/null || true)
echo "window $window of process ${window_pid:-(unknown)}"
if [ -n "$window_pid" ]; then
    tr '\0' ' ' <"/proc/$window_pid/cmdline" | grep -qi 'Programs\\Velmora\\Deckwright\\Deckwright.exe' ||
        fail "the window is not the installed program's: $(tr '\0' ' ' <"/proc/$window_pid/cmdline")"
fi
sleep 1.5  # the first paint; nothing to wait for from outside
import -window "$window" "$out/installed-main.png"
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key --clearmodifiers alt+F4
for _ in $(seq 60); do
    xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 || break
    sleep 0.5
done
xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 && fail "the program did not close"
program_pid=""

echo "-- the installed command line"
cp "$sample" "$scratch/sound.ppt"
cp "$sample" "$scratch/zeroed.ppt"
chmod u+w "$scratch"/*.ppt
dd if=/dev/zero of="$scratch/zeroed.ppt" bs=512 count=1 conv=notrunc status=none
cli=$install_dir/bin/deckwright.exe
status=0
report=$(wine_ "$cli" check "$(winpath "$scratch/sound.ppt")") || status=$?
[ "$status" -eq 0 ] || fail "check of a sound presentation: status $status: $report"
echo "$report"
status=0
report=$(wine_ "$cli" check "$(winpath "$scratch/zeroed.ppt")") || status=$?
[ "$status" -eq 1 ] || fail "check of a zeroed header: status $status, not 1: $report"
echo "$report"
[ "$(wine_ "$cli" --version | tr -d '\r')" = "deckwright $version" ] || fail "deckwright.exe --version"

echo "-- silent uninstall"
wine_ "$install_dir/Uninstall.exe" /S >>"$scratch/wine.log" || fail "the uninstaller exited with status $?"
# The uninstaller hands over to a copy of itself in the temporary folder and returns at once.
for _ in $(seq 120); do
    [ -e "$install_dir" ] || [ -e "$shortcut" ] || break
    sleep 0.5
done
sleep 1
snapshot >"$scratch/after.txt"
diff "$scratch/before.txt" "$scratch/after.txt" >"$scratch/left.txt" ||
    fail "the uninstall left files behind or took others:
$(cat "$scratch/left.txt")"
if wine_ reg query "$uninstall_key" >/dev/null 2>&1; then
    fail "the entry in the list of installed programs remains"
fi
[ "$(reg_value "$settings_key" Suffix)" = "_mine" ] ||
    fail "the user's settings were not left alone: $(wine_ reg query "$settings_key" 2>&1)"
echo "installer_test.sh: install, start, check and uninstall of Deckwright $version passed"
