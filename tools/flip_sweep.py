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
import sys

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

    def variants(name, data):
        fat = m.Layout(data).fat_sectors
        for trial in range(args.trials if fat else 0):
            rng = random.Random("%s:%d:%d" % (name, args.seed, trial))
            damaged = bytearray(data)
            for _ in range(args.flips):
                bit = rng.randrange(512 * 8)
                damaged[(rng.choice(fat) + 1) * 512 + bit // 8] ^= 1 << (bit % 8)
            yield f"trial {trial}", damaged

    return m.sweep(args.deckwright, args.corpus, variants, args.verbose)


if __name__ == "__main__":
    sys.exit(main())
