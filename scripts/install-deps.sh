#!/usr/bin/env bash
# Installs everything Deckwright needs to build and test, on Debian 12. Safe to run again.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    clang libclang-rt-14-dev                      # libFuzzer and sanitizer runtimes
    googletest libgtest-dev libbenchmark-dev
    nlohmann-json3-dev libcli11-dev
    g++-mingw-w64-x86-64                          # the Windows program
    wine wine64 fonts-wine fonts-liberation xvfb xauth x11-utils xdotool imagemagick
    fp-utils                                      # chmcmd, for help.chm
    python3 python3-olefile 7zip                  # outside judges of repaired files
    nsis help2man dpkg-dev                        # the installer, the manual page, the package
    lintian man-db unzip                          # the packages' tests
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
