#!/usr/bin/env bash
# Builds a release of the commit checked out, in fresh build folders, into dist/:
#   Deckwright-VERSION-win64-setup.exe   the Windows installer (both programs, help, licence)
#   Deckwright-VERSION-win64.zip         the same programs to unpack and run, without installing
#   deckwright_VERSION_ARCH.deb          the command line as a Debian package
#   deckwright-VERSION-linux-ARCH.tar.gz the same files to unpack anywhere
#   SHA256SUMS
# Dates and file times inside come from the commit (SOURCE_DATE_EPOCH), so the same commit gives
# the same files; README says which are byte for byte the same.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    echo "release.sh: warning: uncommitted changes go into this release" >&2
fi
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

rm -rf build/release-windows build/release-linux dist
for preset in release-windows release-linux; do
    echo "== $preset"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j2
    cpack --config "build/$preset/CPackConfig.cmake" -B "build/$preset/packages"
done

mkdir dist
cp build/release-windows/packages/*.exe build/release-windows/packages/*.zip \
    build/release-linux/packages/*.deb build/release-linux/packages/*.tar.gz dist/
(cd dist && sha256sum -- * >SHA256SUMS)
echo "== dist/"
cat dist/SHA256SUMS
