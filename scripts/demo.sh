#!/usr/bin/env bash
# Deckwright's main job, end to end: damage a presentation's header in a scratch copy, give it
# back with `deckwright repair` and show what came out; then start the desktop program with the
# damaged copy in its list (in your display, or in a virtual one with a screenshot).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${DECKWRIGHT_DEMO_BUILD:-build/native}
echo "== building deckwright ($build)"
cmake --preset native -B "$build" >/dev/null
cmake --build "$build" -j2 --target deckwright

scratch=$(mktemp -d "${TMPDIR:-/tmp}/deckwright-demo.XXXXXX")
sample=${DECKWRIGHT_DEMO_SAMPLE:-../shared/corpus/ppt/poi_SampleShow.ppt}
if [ -f "$sample" ]; then
    cp "$sample" "$scratch/SampleShow.ppt"
else
    echo "== no sample corpus here: making a presentation-shaped compound file"
    c++ -std=c++20 -O1 -I. tools/make_sample.cpp tests/support/cfb_writer.cpp \
        engine/compound_file_header.cpp -o "$build/make_sample"
    "$build/make_sample" "$scratch/SampleShow.ppt"
fi
chmod u+w "$scratch/SampleShow.ppt"

echo "== damaging the header of $scratch/SampleShow.ppt (its 512 header bytes zeroed)"
dd if=/dev/zero of="$scratch/SampleShow.ppt" bs=512 count=1 conv=notrunc status=none
if 7zz l "$scratch/SampleShow.ppt" >/dev/null 2>&1; then
    echo "   7-Zip still opens it (unexpected)"
else
    echo "   7-Zip can no longer open it"
fi

echo "== deckwright repair --out $scratch/repaired --suffix _repaired $scratch/SampleShow.ppt"
mkdir -p "$scratch/repaired"
status=0
"$build/cli/deckwright" repair --out "$scratch/repaired" --suffix _repaired \
    "$scratch/SampleShow.ppt" </dev/null || status=$?
echo "   exit status $status"

repaired=$scratch/repaired/SampleShow_repaired.ppt
if [ -f "$repaired" ]; then
    echo "== 7zz l $repaired"
    7zz l "$repaired" | sed -n '/^   Date/,$p'
    echo "== olefile's view of the streams"
    /usr/bin/python3 - "$repaired" <<'PY'
import sys, olefile
ole = olefile.OleFileIO(sys.argv[1])
for entry in ole.listdir():
    name = "/".join(entry)
    print(f"   {name:<40} {ole.get_size(name):>9} bytes")
PY
fi
echo "== the desktop program, with the damaged presentation in its list"
bash scripts/run-gui.sh "$scratch/SampleShow.ppt"
echo "== the files are in $scratch (remove it when done)"
exit "$status"
