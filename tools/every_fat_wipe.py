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
import sys

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

    def variants(name, data):
        for block, sector in enumerate(m.Layout(data).fat_sectors[:4]):
            damaged = bytearray(data)
            if args.header:
                damaged[:512] = bytes(512)
            at = (sector + 1) * 512
            damaged[at:at + 512] = bytes([args.fill]) * 512
            yield f"block {block} (sector {sector})", damaged

    return m.sweep(args.deckwright, args.corpus, variants, args.verbose)


if __name__ == "__main__":
    sys.exit(main())
