#!/usr/bin/python3
"""Wipes each of the first four FAT sectors of every corpus file in turn (filled with 0 or with
0xFF), with or without the header zeroed too, repairs each copy with `deckwright repair`, and
counts what comes back: recovered (plain success and every stream byte-identical), warned,
refused, and false successes (plain success with a stream that differs). Unlike
measure_recovery.py, which draws one damaged sector per file and class, this goes through all
of them, so that a change shows on the very runs it mends or breaks.

    /usr/bin/python3 tools/every_fat_wipe.py --deckwright build/native/cli/deckwright \
        --corpus ../shared/corpus/ppt [--header] [--fill 255] [--verbose]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import measure_recovery as m  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--deckwright", required=True)
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--header", action="store_true", help="zero the header as well")
    ap.add_argument("--fill", type=int, default=0, help="the byte the FAT sector is filled with")
    ap.add_argument("--verbose", action="store_true", help="list every run not recovered")
    args = ap.parse_args()
    counts = {"runs": 0, "recovered": 0, "warned": 0, "refused": 0, "false-OK": 0}
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out")
        os.makedirs(out)
        for name in sorted(f for f in os.listdir(args.corpus) if f.endswith(".ppt")):
            original = os.path.join(args.corpus, name)
            data = open(original, "rb").read()
            expected = m.streams_of(original)
            for block, sector in enumerate(m.Layout(data).fat_sectors[:4]):
                damaged = bytearray(data)
                if args.header:
                    damaged[:512] = bytes(512)
                at = (sector + 1) * 512
                damaged[at:at + 512] = bytes([args.fill]) * 512
                path = os.path.join(work, name)
                open(path, "wb").write(damaged)
                r = subprocess.run([args.deckwright, "repair", "--out", out, "--suffix", "_r",
                                    "--overwrite", path], capture_output=True, text=True)
                counts["runs"] += 1
                repaired = os.path.join(out, name[:-4] + "_r.ppt")
                if r.returncode == 0:
                    if m.streams_of(repaired) == expected:
                        counts["recovered"] += 1
                        continue
                    counts["false-OK"] += 1
                    what = "FALSE SUCCESS"
                elif r.returncode == 3:
                    counts["warned"] += 1
                    what = "saved with a warning"
                else:
                    counts["refused"] += 1
                    said = (r.stderr.strip() or r.stdout.strip()).splitlines()[-1:]
                    what = re.sub(r".*Unable to repair this file: ", "", said[0] if said else "")
                if args.verbose or what == "FALSE SUCCESS":
                    print(f"{name} block {block} (sector {sector}): {what}")
    runs = counts["runs"]
    print(" ".join(f"{k} {v}" for k, v in counts.items()) +
          (f" ({100.0 * counts['recovered'] / runs:.1f}% recovered)" if runs else ""))
    return 1 if counts["false-OK"] else 0


if __name__ == "__main__":
    sys.exit(main())
