#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the native build under
# AddressSanitizer and UndefinedBehaviorSanitizer, the Windows build under Wine, and the fuzzers
# for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== native tests (ASan + UBSan)"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

echo "== Windows tests (under Wine)"
cmake --preset windows
cmake --build --preset windows
bash scripts/wine-env.sh start build/windows
trap 'bash scripts/wine-env.sh stop build/windows' EXIT
ctest --preset windows

echo "== fuzzers"
cmake --preset fuzz
cmake --build --preset fuzz
bash scripts/fuzz.sh build/fuzz "${DECKWRIGHT_FUZZ_SECONDS:-60}"
