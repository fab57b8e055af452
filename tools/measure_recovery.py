#!/usr/bin/python3
"""Damages presentations' headers by class, repairs them with `deckwright repair`, and judges the
repaired copies with outside readers (olefile, 7-Zip, optionally LibreOffice).

A run is recovered when the repair reports success, every stream of the repaired file is
byte-identical to the undamaged file's, and each reader that opens the undamaged file opens the
repaired one. A repaired file byte-identical to the undamaged original takes the original's
verdicts (identical input, identical verdict); readers run only on the others.

    /usr/bin/python3 tools/measure_recovery.py --deckwright build/h4-native/cli/deckwright \
        --corpus ../shared/corpus/ppt --synthetic 3 --seed 1 [--libreoffice 40]
"""
import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

import olefile

FREESECT, ENDOFCHAIN, FATSECT, DIFSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC


def header_fields(data):
    h = data[:512]
    return {
        "nfat": struct.unpack_from("<I", h, 0x2C)[0],
        "sectors": (len(data) - 512 + 511) // 512,
    }


def put32(b, off, v):
    struct.pack_into("<I", b, off, v & 0xFFFFFFFF)


def damage(data, cls, rng):
    """Returns a copy of data with its header damaged as class `cls` says."""
    b = bytearray(data)
    n = (len(data) - 512 + 511) // 512

    def wrong_sector():
        return rng.choice([n + rng.randint(1, 10**6), FREESECT, rng.randrange(n)])

    if cls == "none":
        pass
    elif cls == "zeroed":
        b[:512] = bytes(512)
    elif cls == "ff":
        b[:512] = b"\xff" * 512
    elif cls == "random":
        b[:512] = bytes(rng.randrange(256) for _ in range(512))
    elif cls == "fixed_fields":
        for off in list(range(0, 44)) + list(range(0x34, 0x3C)):
            b[off] = rng.randrange(256)
    elif cls == "difat0":
        put32(b, 0x4C, wrong_sector())
    elif cls == "dir_pointer":
        put32(b, 0x30, wrong_sector())
    elif cls == "minifat_pointer":
        put32(b, 0x3C, wrong_sector())
    elif cls == "counts":
        put32(b, 0x2C, rng.choice([0, 1, rng.randrange(2, 300), 0xFFFFFFFF]))
        put32(b, 0x40, rng.choice([0, 1, rng.randrange(2, 300), 0xFFFFFFFF]))
    elif cls == "difat_array":
        for j in range(109):
            put32(b, 0x4C + 4 * j, rng.getrandbits(32))
    elif cls == "difat_chain":
        put32(b, 0x44, wrong_sector())
        put32(b, 0x48, rng.choice([0, rng.randrange(1, 50), 0xFFFFFFFF]))
    elif cls == "first_part":
        k = rng.randrange(8, 257)
        b[:k] = bytes(rng.randrange(256) for _ in range(k))
    else:
        raise ValueError(cls)
    return bytes(b)


CLASSES = ["none", "zeroed", "ff", "random", "fixed_fields", "difat0", "dir_pointer",
           "minifat_pointer", "counts", "difat_array", "difat_chain", "first_part"]


def streams_of(path):
    """{stream path: bytes} as olefile reads them, or None when olefile cannot open the file."""
    try:
        with olefile.OleFileIO(path) as ole:
            return {"/".join(p): ole.openstream(p).read() for p in ole.listdir()}
    except Exception:
        return None


def opens_7z(path):
    r = subprocess.run(["7zz", "t", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return r.returncode == 0


class LibreOffice:
    """Converts files with one persistent headless profile; a file opens when a PDF comes out."""

    def __init__(self, work):
        self.work = work
        self.profile = "file://" + os.path.join(work, "lo-profile")

    def opens(self, path):
        out = os.path.join(self.work, "lo-out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        try:
            subprocess.run(["soffice", "-env:UserInstallation=" + self.profile, "--headless",
                            "--convert-to", "pdf", "--outdir", out, path],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        except subprocess.TimeoutExpired:
            return False
        pdf = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".pdf")
        return os.path.exists(pdf) and os.path.getsize(pdf) > 0


def write_synthetic(path, document_bytes, seed):
    """A valid version 3 presentation with FAT, DIFAT sectors and a mini stream."""
    rng = random.Random(seed)
    streams = [("PowerPoint Document", rng.randbytes(document_bytes)),
               ("Current User", rng.randbytes(62)),
               ("\x05SummaryInformation", rng.randbytes(400)),
               ("\x05DocumentSummaryInformation", rng.randbytes(300))]
    streams.sort(key=lambda s: (len(s[0]), s[0].upper()))
    cdiv = lambda a, b: (a + b - 1) // b
    small = [s for s in streams if len(s[1]) < 4096]
    mini_sectors = sum(cdiv(len(d), 64) for _, d in small)
    ms_sectors = cdiv(mini_sectors * 64, 512)
    mf_sectors = cdiv(mini_sectors, 128)
    dir_sectors = cdiv(len(streams) + 1, 4)
    big = sum(cdiv(len(d), 512) for _, d in streams if len(d) >= 4096)
    data_sectors = dir_sectors + mf_sectors + ms_sectors + big
    fat, dif = 1, 0
    while True:
        total = data_sectors + fat + dif
        nf = cdiv(total, 128)
        nd = cdiv(nf - 109, 127) if nf > 109 else 0
        if (nf, nd) == (fat, dif):
            break
        fat, dif = nf, nd
    # Data first, then FAT and DIFAT at the end, as some writers do.
    pos = 0
    dir_start = pos; pos += dir_sectors
    mf_start = pos; pos += mf_sectors
    ms_start = pos; pos += ms_sectors
    big_start = pos; pos += big
    fat_start = pos; pos += fat
    dif_start = pos; pos += dif
    total = pos
    out = bytearray((total + 1) * 512)
    sec = lambda k: (k + 1) * 512
    fatv = [FREESECT] * (fat * 128)

    def chain(first, n):
        for i in range(n):
            fatv[first + i] = first + i + 1 if i + 1 < n else ENDOFCHAIN

    for i in range(fat):
        fatv[fat_start + i] = FATSECT
    for i in range(dif):
        fatv[dif_start + i] = DIFSECT
    chain(dir_start, dir_sectors); chain(mf_start, mf_sectors); chain(ms_start, ms_sectors)
    minifat = [FREESECT] * (mf_sectors * 128)
    dirb = bytearray(dir_sectors * 512)
    for i in range(dir_sectors * 4):
        struct.pack_into("<III", dirb, i * 128 + 68, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)

    def entry(i, name, typ, right, child, start, size):
        e = i * 128
        u = name.encode("utf-16le")
        dirb[e:e + len(u)] = u
        struct.pack_into("<HBB", dirb, e + 64, len(u) + 2, typ, 1)
        struct.pack_into("<III", dirb, e + 68, 0xFFFFFFFF, right, child)
        struct.pack_into("<IQ", dirb, e + 116, start, size)

    mnext, bnext = 0, big_start
    for k, (name, d) in enumerate(streams):
        right = k + 2 if k + 1 < len(streams) else 0xFFFFFFFF
        if len(d) < 4096:
            n = cdiv(len(d), 64)
            start = mnext
            for i in range(n):
                minifat[mnext + i] = mnext + i + 1 if i + 1 < n else ENDOFCHAIN
            base = sec(ms_start) + mnext * 64
            out[base:base + len(d)] = d
            mnext += n
        else:
            n = cdiv(len(d), 512)
            start = bnext
            chain(bnext, n)
            out[sec(bnext):sec(bnext) + len(d)] = d
            bnext += n
        entry(k + 1, name, 2, right, 0xFFFFFFFF, start, len(d))
    entry(0, "Root Entry", 5, 0xFFFFFFFF, 1, ms_start, mini_sectors * 64)
    out[sec(dir_start):sec(dir_start) + len(dirb)] = dirb
    for i, v in enumerate(minifat):
        struct.pack_into("<I", out, sec(mf_start) + 4 * i, v)
    for i, v in enumerate(fatv):
        struct.pack_into("<I", out, sec(fat_start) + 4 * i, v)
    for d in range(dif):
        for i in range(127):
            idx = 109 + d * 127 + i
            struct.pack_into("<I", out, sec(dif_start + d) + 4 * i,
                             fat_start + idx if idx < fat else FREESECT)
        struct.pack_into("<I", out, sec(dif_start + d) + 508,
                         dif_start + d + 1 if d + 1 < dif else ENDOFCHAIN)
    h = bytearray(512)
    h[0:8] = bytes.fromhex("D0CF11E0A1B11AE1")
    struct.pack_into("<HHHHH", h, 0x18, 0x3E, 3, 0xFFFE, 9, 6)
    struct.pack_into("<IIIIIIIII", h, 0x28, 0, fat, dir_start, 0, 4096,
                     mf_start if mf_sectors else ENDOFCHAIN, mf_sectors,
                     dif_start if dif else ENDOFCHAIN, dif)
    for j in range(109):
        struct.pack_into("<I", h, 0x4C + 4 * j, fat_start + j if j < fat else FREESECT)
    out[:512] = h
    with open(path, "wb") as f:
        f.write(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    ap.add_argument("--deckwright", required=True)
    ap.add_argument("--corpus", default=os.environ.get("DECKWRIGHT_CORPUS_DIR"))
    ap.add_argument("--synthetic", type=int, default=3, help="synthetic files above 7 MB")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--runs", type=int, default=1, help="runs per class and file")
    ap.add_argument("--libreoffice", type=int, default=0,
                    help="judge with LibreOffice too: at most this many non-identical repairs")
    ap.add_argument("--big", type=int, default=0,
                    help="synthetic files of 20, 40, ... MB (several DIFAT sectors)")
    ap.add_argument("--verbose", action="store_true", help="list every run not recovered")
    ap.add_argument("--classes", default=",".join(CLASSES))
    args = ap.parse_args()

    work = tempfile.mkdtemp(prefix="measure-")
    originals = []
    if args.corpus:
        for name in sorted(os.listdir(args.corpus)):
            if name.lower().endswith(".ppt"):
                originals.append(os.path.join(args.corpus, name))
    for i in range(args.synthetic):
        path = os.path.join(work, "synthetic_%d.ppt" % i)
        write_synthetic(path, 7_500_000 + i * 2_300_000, args.seed * 100 + i)
        originals.append(path)
    for i in range(args.big):
        path = os.path.join(work, "synthetic_big_%d.ppt" % i)
        write_synthetic(path, (20 + 20 * i) * 1_000_000, args.seed * 100 + 50 + i)
        originals.append(path)
    nsynth = args.synthetic + args.big

    lo = LibreOffice(work) if args.libreoffice else None
    base = {}
    for path in originals:
        with open(path, "rb") as f:
            data = f.read()
        base[path] = {"data": data, "streams": streams_of(path), "7z": opens_7z(path),
                      "lo": lo.opens(path) if lo else None}

    rng = random.Random(args.seed)
    classes = args.classes.split(",")
    table = {c: {"runs": 0, "recovered": 0, "reported_ok": 0, "olefile": 0, "7z": 0, "lo": 0,
                 "lo_judged": 0, "false_success": 0, "refused": 0} for c in classes}
    failures = []
    lo_budget = args.libreoffice
    out_dir = os.path.join(work, "out")
    os.makedirs(out_dir)
    for cls in classes:
        row = table[cls]
        for path in originals:
            for _ in range(args.runs):
                b = base[path]
                damaged = damage(b["data"], cls, rng)
                src = os.path.join(work, "in", os.path.basename(path))
                os.makedirs(os.path.dirname(src), exist_ok=True)
                with open(src, "wb") as f:
                    f.write(damaged)
                repaired = os.path.join(out_dir, os.path.splitext(os.path.basename(path))[0] + "_r.ppt")
                if os.path.exists(repaired):
                    os.remove(repaired)
                r = subprocess.run([args.deckwright, "repair", "--out", out_dir, "--suffix", "_r",
                                    "--overwrite", src], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
                ok = r.returncode == 0 and os.path.exists(repaired)
                # A file that was never a presentation (no "PowerPoint Document" stream, e.g.
                # PowerPoint 4.0) must be refused: counted apart, outside the percentages.
                if b["streams"] is not None and "PowerPoint Document" not in b["streams"]:
                    if ok:
                        row["false_success"] += 1
                        failures.append((cls, path, "not a presentation, yet reported repaired"))
                    else:
                        row["refused"] += 1
                    continue
                row["runs"] += 1
                if not ok:
                    failures.append((cls, path, "not repaired"))
                    continue
                row["reported_ok"] += 1
                with open(repaired, "rb") as f:
                    rdata = f.read()
                identical = rdata == b["data"]
                streams = b["streams"] if identical else streams_of(repaired)
                ole_ok = b["streams"] is None or (streams is not None and streams == b["streams"])
                z_ok = (not b["7z"]) or identical or opens_7z(repaired)
                lo_ok = True
                if lo and b["lo"]:
                    if identical:
                        lo_ok = True
                    elif lo_budget > 0:
                        lo_budget -= 1
                        row["lo_judged"] += 1
                        lo_ok = lo.opens(repaired)
                row["olefile"] += ole_ok
                row["7z"] += z_ok
                row["lo"] += lo_ok
                rec = ole_ok and z_ok and lo_ok and b["streams"] is not None
                row["recovered"] += rec
                row["false_success"] += not rec
                if not rec:
                    failures.append((cls, path, "reported repaired: olefile %s, 7z %s, LO %s" %
                                     (ole_ok, z_ok, lo_ok)))

    print("files: %d (%d corpus, %d synthetic above 7 MB, %d of them above 15 MB), seed %d, "
          "runs per file %d" % (len(originals), len(originals) - nsynth, nsynth, args.big,
                                args.seed, args.runs))
    print("LibreOffice: %s" % ("persistent headless profile, originals all judged, at most %d "
                               "non-identical repairs judged" % args.libreoffice if lo else "not run"))
    print("%-16s %5s %10s %10s %8s %6s %6s %6s %8s %8s" % (
        "class", "runs", "recovered", "reported", "olefile", "7z", "LO", "LO-run", "false-OK",
        "refused"))
    for cls in classes:
        r = table[cls]
        pct = lambda v: "%.1f%%" % (100.0 * v / r["runs"]) if r["runs"] else "-"
        print("%-16s %5d %10s %10s %8s %6s %6s %6d %8d %8d" % (
            cls, r["runs"], pct(r["recovered"]), pct(r["reported_ok"]), pct(r["olefile"]),
            pct(r["7z"]), pct(r["lo"]), r["lo_judged"], r["false_success"], r["refused"]))
    print("runs: presentations only; refused: files without \"PowerPoint Document\" (not "
          "presentations) correctly refused")
    if args.verbose:
        for cls, path, why in failures:
            print("  %-16s %s: %s" % (cls, os.path.basename(path), why))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
