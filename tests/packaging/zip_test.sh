#!/usr/bin/env bash
# The portable .zip of the Windows programs: one folder holding both programs (the command line
# in bin/, since Windows names ignore letter case), the help and the licence, nothing else; the
# unpacked command line runs under Wine and says its version.
#   zip_test.sh PACKAGE.zip VERSION
# Needs scripts/wine-env.sh start BUILD_DIR first, for a BUILD_DIR above the .zip.
set -euo pipefail
zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
version=$2
top=$(basename "$zip" .zip)
fail() {
    echo "zip_test.sh: $*" >&2
    exit 1
}
expected="$top/Deckwright.exe
$top/LICENSE.txt
$top/THIRD-PARTY-NOTICES.txt
$top/bin/deckwright.exe
$top/help.chm"
actual=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
[ "$actual" = "$expected" ] || fail "the .zip holds other files:
$(diff <(echo "$expected") <(echo "$actual"))"
# Unpacked beside the .zip, inside the build folder, so that wine-run.sh finds its prefix.
work=$(mktemp -d "$(dirname "$zip")/zip-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
said=$(bash "$(dirname "$0")/../../scripts/wine-run.sh" "$work/$top/bin/deckwright.exe" --version </dev/null | tr -d '\r')
[ "$said" = "deckwright $version" ] || fail "bin/deckwright.exe --version says '$said'"
echo "zip_test.sh: the portable .zip of Deckwright $version passed"
