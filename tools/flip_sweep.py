#!/usr/bin/python3
"""Flips random bits in the FAT sectors of every corpus file, many times over, repairs each copy
with `deckwright repair`, and counts what comes back: recovered (plain success and every stream
byte-identical), warned, refused, and false successes (plain success with a stream that
differs). measure_recovery.py draws one such run per file and class; this draws `--trials` per
file, enough to meet the rare flips that only look sound. Exits non-zero on a false success.

    /usr/bin/python3 tools/flip_sweep.py --deckwright build/native/cli/deckwright \
        --corpus ../shared/corpus/ppt [--trials 30] [--flips 8] [--seed 1] [--verbose]
"""
import argparse
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import measure_recovery as m  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--deckwright", required=True)
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--trials", type=int, default=30, help="damaged copies per file")
    ap.add_argument("--flips", type=int, default=8, help="bits flipped in each copy")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--verbose", action="store_true", help="list every run not recovered")
    args = ap.parse_args()
    counts = {"runs": 0, "recovered": 0, "warned": 0, "refused": 0, "false-OK": 0}
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out")
        os.makedirs(out)
        for name in sorted(f for f in os.listdir(args.corpus) if f.endswith(".ppt")):
            original = os.path.join(args.corpus, name)
            data = open(original, "rb").read()
            fat = m.Layout(data).fat_sectors
            if not fat:
                continue
            expected = m.streams_of(original)
            for trial in range(args.trials):
                rng = random.Random("%s:%d:%d" % (name, args.seed, trial))
                damaged = bytearray(data)
                for _ in range(args.flips):
                    bit = rng.randrange(512 * 8)
                    damaged[(rng.choice(fat) + 1) * 512 + bit // 8] ^= 1 << (bit % 8)
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
                    what = (r.stderr.strip() or r.stdout.strip()).split(": ", 1)[-1]
                if args.verbose or what == "FALSE SUCCESS":
                    print("%s trial %d: %s" % (name, trial, what))
    print("runs %d recovered %d warned %d refused %d false-OK %d (%.1f%% recovered)" % (
        counts["runs"], counts["recovered"], counts["warned"], counts["refused"],
        counts["false-OK"], 100.0 * counts["recovered"] / max(1, counts["runs"])))
    return 1 if counts["false-OK"] else 0


if __name__ == "__main__":
    sys.exit(main())
