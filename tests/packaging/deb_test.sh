#!/usr/bin/env bash
# The Debian package and the .tar.gz of the command line, as a user and as Debian's checker see
# them: the package holds exactly the program, its manual page, its bash completion and its
# documents, owned by root; its dependencies are the packages of the libraries the program
# loads and no others; unpacked into a scratch root the program runs and says its version, and
# `man -l` shows the page without complaint; the completion offers the commands and each
# command's real options; lintian finds no error. The .tar.gz holds the same files under one
# folder.
#   deb_test.sh PACKAGE.deb PACKAGE.tar.gz VERSION
set -euo pipefail
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
tgz=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
version=$3
work=$(mktemp -d /tmp/deckwright-deb-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "deb_test.sh: $*" >&2
    exit 1
}

echo "-- dpkg-deb --contents"
dpkg-deb --contents "$deb" | tee "$work/contents.txt"
expected="./usr/
./usr/bin/
./usr/bin/deckwright
./usr/share/
./usr/share/bash-completion/
./usr/share/bash-completion/completions/
./usr/share/bash-completion/completions/deckwright
./usr/share/doc/
./usr/share/doc/deckwright/
./usr/share/doc/deckwright/changelog.gz
./usr/share/doc/deckwright/copyright
./usr/share/man/
./usr/share/man/man1/
./usr/share/man/man1/deckwright.1.gz"
actual=$(awk '{ print $6 }' "$work/contents.txt" | sort)
[ "$actual" = "$expected" ] || fail "the package holds other files:
$(diff <(echo "$expected") <(echo "$actual"))"
awk '$2 != "root/root" { bad = 1; print "not root/root: " $0 } END { exit bad }' "$work/contents.txt" ||
    fail "files not owned by root"
grep -q '^-rwxr-xr-x .* ./usr/bin/deckwright$' "$work/contents.txt" || fail "deckwright is not 0755"

echo "-- control fields"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = deckwright ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is $(field Architecture)"
dpkg-deb --field "$deb"

echo "-- dependencies: the packages of the libraries deckwright loads, and no others"
dpkg -x "$deb" "$work/root"
program=$work/root/usr/bin/deckwright
needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[ -n "$needed" ] || fail "readelf found no libraries"
wanted=$(for lib in $needed; do
    path=$(ldconfig -p | awk -v l="$lib" '$1 == l && /x86-64/ { print $NF; exit }')
    [ -n "$path" ] || fail "$lib is not on this system"
    dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -1 | cut -d: -f1 ||
        dpkg -S "$path" | head -1 | cut -d: -f1
done | sort -u)
depends=$(field Depends | tr ',' '\n' | sed 's/ *(.*//; s/^ *//' | sort -u)
[ "$wanted" = "$depends" ] || fail "Depends is '$(field Depends)'; the libraries need:
$wanted"

echo "-- the unpacked program"
[ "$("$program" --version)" = "deckwright $version" ] || fail "--version says '$("$program" --version)'"
"$program" --help >/dev/null || fail "--help failed"

echo "-- the manual page"
page=$work/root/usr/share/man/man1/deckwright.1.gz
MANWIDTH=80 MAN_DISABLE_SECCOMP=1 man --warnings -l "$page" >"$work/man.txt" 2>"$work/man.err" ||
    fail "man -l failed: $(cat "$work/man.err")"
[ ! -s "$work/man.err" ] || fail "man -l complained: $(cat "$work/man.err")"
for heading in NAME SYNOPSIS DESCRIPTION COMMANDS 'EXIT STATUS' FILES EXAMPLES; do
    grep -q "^$heading\$" "$work/man.txt" || fail "the page has no $heading section"
done
grep -q "deckwright - repair damaged PowerPoint presentations" "$work/man.txt" || fail "the page's NAME line"
grep -q -- "--keep-existing" "$work/man.txt" || fail "the page does not show repair's options"
grep -q "deckwright $version" "$work/man.txt" || fail "the page does not carry version $version"
sed -n '1,12p' "$work/man.txt"

echo "-- bash completion"
completion=$work/root/usr/share/bash-completion/completions/deckwright
mkdir -p "$work/files/folder"
touch "$work/files/talk.ppt" "$work/files/notes.txt"
complete_() {  # WORDS...: what the completion offers for the last word
    (
        cd "$work/files"
        # shellcheck source=/dev/null
        source "$completion"
        COMP_WORDS=("$@")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _deckwright
        printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
    )
}
expect() {  # WANTED WORDS...
    local wanted=$1 got
    shift
    got=$(complete_ "$@")
    [ "$got" = "$wanted" ] || fail "completing '$*' offers '$got', not '$wanted'"
}
expect "check " deckwright ch
expect "--help --version check inspect repair " deckwright ""
expect "--out --overwrite " deckwright repair --o
expect "folder " deckwright repair --out ""
expect "folder talk.ppt " deckwright check ""
# Each command's options in the completion are the options its --help lists.
for command in repair check inspect; do
    listed=$("$program" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u | tr '\n' ' ')
    offered=$(complete_ deckwright "$command" --)
    [ "$listed" = "$offered" ] || fail "$command: --help lists '$listed', the completion offers '$offered'"
done

echo "-- lintian"
# Errors fail; warnings and notes are shown (README says which remain and why).
lintian --fail-on error --display-info "$deb" || fail "lintian found errors"

echo "-- the .tar.gz"
top=$(basename "$tgz" .tar.gz)
tar -tzvf "$tgz" >"$work/tgz.txt"
actual=$(awk '{ print $6 }' "$work/tgz.txt" | grep -v '/$' | sort)
expected_tgz="$top/bin/deckwright
$top/share/bash-completion/completions/deckwright
$top/share/doc/deckwright/changelog.gz
$top/share/doc/deckwright/copyright
$top/share/man/man1/deckwright.1.gz"
[ "$actual" = "$expected_tgz" ] || fail "the .tar.gz holds other files:
$(diff <(echo "$expected_tgz") <(echo "$actual"))"
mkdir "$work/tgz"
tar -xzf "$tgz" -C "$work/tgz"
[ "$("$work/tgz/$top/bin/deckwright" --version)" = "deckwright $version" ] || fail "the .tar.gz's deckwright --version"
cmp "$work/tgz/$top/bin/deckwright" "$program" || fail "the .tar.gz's program differs from the package's"
echo "deb_test.sh: the package and the .tar.gz of deckwright $version passed"
