#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the native build under
# AddressSanitizer and UndefinedBehaviorSanitizer, the Debian package and .tar.gz of the command
# line, the Windows build under Wine with its installer and .zip, and the fuzzers for a bounded
# time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== native tests (ASan + UBSan)"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

echo "== Linux packages (the command line only: the rest of the native build is tested above)"
cmake --preset native
cmake --build --preset native --target deckwright deckwright_package_files
ctest --preset native -L packaging

echo "== Windows tests (under Wine), the installer and the .zip among them"
cmake --preset windows
cmake --build --preset windows
bash scripts/wine-env.sh start build/windows
trap 'bash scripts/wine-env.sh stop build/windows' EXIT
ctest --preset windows

echo "== fuzzers"
cmake --preset fuzz
cmake --build --preset fuzz
bash scripts/fuzz.sh build/fuzz "${DECKWRIGHT_FUZZ_SECONDS:-60}"
