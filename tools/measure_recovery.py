#!/usr/bin/python3
"""Damages presentations by class (the header, or one structure past it), repairs them with
`deckwright repair`, and judges the repaired copies with outside readers (olefile in its strict
mode, 7-Zip, libgsf's `gsf`, optionally LibreOffice).

A run is recovered when the repair reports plain success (exit 0), every stream of the repaired
file is byte-identical to the undamaged file's, and each reader that opens the undamaged file
opens the repaired one. It is a false success when the repair reports plain success otherwise.
"warned" counts copies saved with a warning (exit 3); "refused" copies not saved. A repaired file
byte-identical to the undamaged original takes the original's verdicts (identical input,
identical verdict); readers run only on the others.

    /usr/bin/python3 tools/measure_recovery.py --deckwright build/native/cli/deckwright \
        --corpus ../shared/corpus/ppt --synthetic 10 --seed 1 [--libreoffice 40] \
        [--classes fat_zeroed,tail_cut]
"""
import argparse
import io
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


class Layout:
    """Where an undamaged file keeps its structures, from its own header and FAT."""

    def __init__(self, data):
        self.n = n = (len(data) - 512 + 511) // 512
        h = data[:512]
        get = lambda off: struct.unpack_from("<I", h, off)[0]
        nfat, ndif = get(0x2C), get(0x48)
        fats = [get(0x4C + 4 * j) for j in range(min(nfat, 109))]
        d = get(0x44)
        for _ in range(ndif):
            vals = struct.unpack_from("<128I", data, (d + 1) * 512)
            fats += [v for v in vals[:127] if v != FREESECT]
            d = vals[127]
        self.fat_sectors = fats[:nfat]
        fat = []
        for k in self.fat_sectors:
            fat += struct.unpack_from("<128I", data, (k + 1) * 512)
        self.fat = fat

        def chain(k):
            out = []
            while k < n and k < len(fat) and len(out) <= n:
                out.append(k)
                k = fat[k]
            return out
        self.chain = chain
        self.dir_sectors = chain(get(0x30))
        self.mini_fat_sectors = chain(get(0x3C)) if get(0x40) else []
        self.document = []
        try:
            with olefile.OleFileIO(io.BytesIO(data)) as ole:
                if ole.exists("PowerPoint Document"):
                    e = ole.direntries[ole._find("PowerPoint Document")]
                    if e.size >= 4096:
                        self.document = [("sector", k) for k in chain(e.isectStart)]
                    else:
                        root = chain(ole.root.isectStart)
                        k, seen = e.isectStart, 0
                        while k < len(ole.minifat) and seen < 64:
                            host = root[k * 64 // 512]
                            self.document.append(("mini", (host + 1) * 512 + k * 64 % 512))
                            k, seen = ole.minifat[k], seen + 1
        except Exception:
            pass


def damage(data, cls, rng):
    """Returns a copy of data damaged as class `cls` says, or None when the file has no such
    structure (no mini FAT, a one-sector directory)."""
    b = bytearray(data)
    n = (len(data) - 512 + 511) // 512
    lay = Layout(data) if cls in PAST_HEADER else None

    def zero_sector(k, fill=0):
        b[(k + 1) * 512:(k + 2) * 512] = bytes([fill]) * 512

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
    elif cls == "fat_zeroed":
        zero_sector(rng.choice(lay.fat_sectors))
    elif cls == "fat_ff":
        zero_sector(rng.choice(lay.fat_sectors), 0xFF)
    elif cls == "fat_bitflips":
        for _ in range(8):
            k = rng.choice(lay.fat_sectors)
            bit = rng.randrange(512 * 8)
            b[(k + 1) * 512 + bit // 8] ^= 1 << (bit % 8)
    elif cls == "minifat_zeroed":
        if not lay.mini_fat_sectors:
            return None
        zero_sector(rng.choice(lay.mini_fat_sectors))
    elif cls == "dir_zeroed":
        if len(lay.dir_sectors) < 2:
            return None
        zero_sector(rng.choice(lay.dir_sectors[1:]))
    elif cls == "header_fat_zeroed":
        b[:512] = bytes(512)
        zero_sector(rng.choice(lay.fat_sectors))
    elif cls == "tail_cut":
        cut = rng.randint(1, 4)
        del b[max(512, (n + 1 - cut) * 512):]
    elif cls == "document_zeroed":
        if not lay.document:
            return None
        kind, where = rng.choice(lay.document)
        if kind == "sector":
            zero_sector(where)
        else:
            b[where:where + 64] = bytes(64)
    else:
        raise ValueError(cls)
    return bytes(b)


HEADER_CLASSES = ["none", "zeroed", "ff", "random", "fixed_fields", "difat0", "dir_pointer",
                  "minifat_pointer", "counts", "difat_array", "difat_chain", "first_part"]
PAST_HEADER = ["fat_zeroed", "fat_ff", "fat_bitflips", "minifat_zeroed", "dir_zeroed",
               "header_fat_zeroed", "tail_cut", "document_zeroed"]
CLASSES = HEADER_CLASSES + PAST_HEADER


def streams_of(path):
    """{stream path: bytes} as olefile reads them, or None when olefile cannot open the file."""
    try:
        with olefile.OleFileIO(path) as ole:
            return {"/".join(p): ole.openstream(p).read() for p in ole.listdir()}
    except Exception:
        return None


def stream_sectors(path):
    """The sectors that hold stream bytes (a small stream's: the mini stream's sector its mini
    sectors lie in), as olefile reads the undamaged file; empty when it does not read it."""
    try:
        with olefile.OleFileIO(path) as ole:
            def chain(k, count):
                out = []
                while k < len(ole.fat) and len(out) < count:
                    out.append(k)
                    k = ole.fat[k]
                return out
            mini_hosts = chain(ole.root.isectStart, (ole.root.size + 511) // 512) if ole.root.size else []
            if ole.root.size:
                ole.loadminifat()
            held = set()
            for e in ole.direntries:
                if e is None or e.entry_type != olefile.STGTY_STREAM or e.size == 0:
                    continue
                if e.size >= 4096:
                    held.update(chain(e.isectStart, (e.size + 511) // 512))
                    continue
                k = e.isectStart
                for _ in range((e.size + 63) // 64):
                    if k >= len(ole.minifat) or k * 64 // 512 >= len(mini_hosts):
                        break
                    held.add(mini_hosts[k * 64 // 512])
                    k = ole.minifat[k]
            return held
    except Exception:
        return set()


def corpus_samples(corpus):
    """(name, bytes, streams) of every .ppt file in `corpus`, in name order."""
    for name in sorted(f for f in os.listdir(corpus) if f.endswith(".ppt")):
        original = os.path.join(corpus, name)
        with open(original, "rb") as f:
            data = f.read()
        yield name, data, streams_of(original)


def new_counts():
    return {"runs": 0, "recovered": 0, "warned": 0, "refused": 0, "false-OK": 0}


def repair_and_count(deckwright, path, out, expected, counts):
    """Repairs `path` into `out` with `deckwright repair` and counts the outcome in `counts`
    (runs, recovered, warned, refused, false-OK): recovered is plain success with every stream
    as `expected`. Returns None when recovered, else what to say of the run."""
    r = subprocess.run([deckwright, "repair", "--out", out, "--suffix", "_r", "--overwrite", path],
                       capture_output=True, text=True)
    counts["runs"] += 1
    name = os.path.basename(path)
    if r.returncode == 0:
        if streams_of(os.path.join(out, name[:-4] + "_r.ppt")) == expected:
            counts["recovered"] += 1
            return None
        counts["false-OK"] += 1
        return "FALSE SUCCESS"
    if r.returncode == 3:
        counts["warned"] += 1
        return "saved with a warning"
    counts["refused"] += 1
    said = (r.stderr.strip() or r.stdout.strip()).splitlines()[-1:]
    return said[0].split("Unable to repair this file: ")[-1] if said else ""


def count_summary(counts):
    runs = counts["runs"]
    return " ".join(f"{k} {v}" for k, v in counts.items()) + (
        f" ({100.0 * counts['recovered'] / runs:.1f}% recovered)" if runs else "")


def sweep(deckwright, corpus, variants, verbose):
    """Repairs every damaged copy `variants(name, data)` yields, as (label, bytes), of every
    sample in `corpus`; prints the runs not recovered (all with `verbose`, else the false
    successes) and the counts. Returns 1 when there was a false success, else 0."""
    counts = new_counts()
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out")
        os.makedirs(out)
        for name, data, expected in corpus_samples(corpus):
            for label, damaged in variants(name, data):
                path = os.path.join(work, name)
                with open(path, "wb") as f:
                    f.write(damaged)
                what = repair_and_count(deckwright, path, out, expected, counts)
                if what is not None and (verbose or what == "FALSE SUCCESS"):
                    print(f"{name} {label}: {what}")
    print(count_summary(counts))
    return 1 if counts["false-OK"] else 0


def opens_olefile_strict(path):
    """olefile raising on every defect it calls incorrect, not only the fatal ones."""
    try:
        with olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT) as ole:
            for p in ole.listdir():
                ole.openstream(p).read()
        return True
    except Exception:
        return False


def opens_7z(path):
    r = subprocess.run(["7zz", "t", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return r.returncode == 0


def opens_gsf(path):
    """libgsf's `gsf list`; None when the tool is not installed."""
    if not shutil.which("gsf"):
        return None
    r = subprocess.run(["gsf", "list", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return r.returncode == 0


def is_presentation(streams):
    return streams is not None and ("PowerPoint Document" in streams or "PP40" in streams)


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


def record(rec_type, body, container=False):
    return struct.pack("<HHI", 0xF if container else 0, rec_type, len(body)) + body


def presentation_document(size, rng):
    """A "PowerPoint Document" of about `size` bytes whose records a reader can walk: the
    document container (one atom of random bytes inside), a persist directory naming it, and
    the user edit that names both. The edit lies at offset size_of(container + directory)."""
    container = record(0x03E8, record(0x0FBA, rng.randbytes(max(0, size - 100))), True)
    directory = record(0x1772, struct.pack("<II", (1 << 20) | 1, 0))
    edit = record(0x0FF5, struct.pack("<IHBBIIIIHH", 0, 0, 3, 0, 0, len(container), 1, 1, 1, 0))
    return container + directory + edit


def current_user(document_size):
    container = 8 + 8 + max(0, document_size - 100)
    body = struct.pack("<IIIHHBBH", 0x14, 0xE391C05F, container + 16, 4, 0x03F4, 3, 0, 0)
    return record(0x0FF6, body + b"user" + struct.pack("<I", 8))


def write_synthetic(path, document_bytes, seed):
    """A valid version 3 presentation with FAT, DIFAT sectors and a mini stream."""
    rng = random.Random(seed)
    streams = [("PowerPoint Document", presentation_document(document_bytes, rng)),
               ("Current User", current_user(document_bytes)),
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
    ap.add_argument("--synthetic", type=int, default=3,
                    help="synthetic files: the first three above 7 MB, the rest small")
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
        size = 7_500_000 + i * 2_300_000 if i < 3 else 20_000 + i * 61_000
        write_synthetic(path, size, args.seed * 100 + i)
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
                      "held": stream_sectors(path),
                      "strict": opens_olefile_strict(path), "gsf": opens_gsf(path),
                      "lo": lo.opens(path) if lo else None}

    rng = random.Random(args.seed)
    classes = args.classes.split(",")
    keys = ["runs", "recovered", "reported_ok", "warned", "olefile", "strict", "7z", "gsf", "lo",
            "lo_judged", "false_success", "refused", "not_presentation", "na", "data_lost"]
    table = {c: dict.fromkeys(keys, 0) for c in classes}
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
                if damaged is None:
                    row["na"] += 1
                    continue
                src = os.path.join(work, "in", os.path.basename(path))
                os.makedirs(os.path.dirname(src), exist_ok=True)
                with open(src, "wb") as f:
                    f.write(damaged)
                repaired = os.path.join(out_dir, os.path.splitext(os.path.basename(path))[0] + "_r.ppt")
                if os.path.exists(repaired):
                    os.remove(repaired)
                r = subprocess.run([args.deckwright, "repair", "--out", out_dir, "--suffix", "_r",
                                    "--overwrite", src], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
                saved = r.returncode in (0, 3) and os.path.exists(repaired)
                # A file that was never a presentation must be refused: counted apart.
                if b["streams"] is not None and not is_presentation(b["streams"]):
                    if saved:
                        row["false_success"] += 1
                        failures.append((cls, path, "not a presentation, yet saved"))
                    else:
                        row["not_presentation"] += 1
                    continue
                row["runs"] += 1
                # A cut that took stream bytes with it leaves nothing that could give them back.
                if cls == "tail_cut":
                    kept = (len(damaged) - 512) // 512
                    row["data_lost"] += any(k >= kept for k in b["held"])
                if not saved:
                    row["refused"] += 1
                    said = (r.stderr.strip() or r.stdout.strip()).splitlines()
                    failures.append((cls, path, "refused" + (": " + said[-1] if said else "")))
                    continue
                if r.returncode == 3:
                    row["warned"] += 1
                    failures.append((cls, path, "saved with a warning"))
                    continue
                row["reported_ok"] += 1
                with open(repaired, "rb") as f:
                    rdata = f.read()
                identical = rdata == b["data"]
                streams = b["streams"] if identical else streams_of(repaired)
                ole_ok = b["streams"] is None or (streams is not None and streams == b["streams"])
                strict_ok = (not b["strict"]) or identical or opens_olefile_strict(repaired)
                z_ok = (not b["7z"]) or identical or opens_7z(repaired)
                gsf_ok = (not b["gsf"]) or identical or opens_gsf(repaired) is not False
                lo_ok = True
                if lo and b["lo"]:
                    if identical:
                        lo_ok = True
                    elif lo_budget > 0:
                        lo_budget -= 1
                        row["lo_judged"] += 1
                        lo_ok = lo.opens(repaired)
                row["olefile"] += ole_ok
                row["strict"] += strict_ok
                row["7z"] += z_ok
                row["gsf"] += gsf_ok
                row["lo"] += lo_ok
                rec = ole_ok and strict_ok and z_ok and gsf_ok and lo_ok and b["streams"] is not None
                row["recovered"] += rec
                row["false_success"] += not rec
                if not rec:
                    failures.append((cls, path, "reported repaired: streams %s, strict %s, 7z %s, "
                                     "gsf %s, LO %s" % (ole_ok, strict_ok, z_ok, gsf_ok, lo_ok)))

    print("files: %d (%d corpus, %d synthetic, %d of them above 15 MB), seed %d, "
          "runs per file %d" % (len(originals), len(originals) - nsynth, nsynth, args.big,
                                args.seed, args.runs))
    print("LibreOffice: %s" % ("persistent headless profile, originals all judged, at most %d "
                               "non-identical repairs judged" % args.libreoffice if lo else "not run"))
    print("%-18s %5s %10s %8s %8s %9s %8s | %7s %7s %6s %6s %6s" % (
        "class", "runs", "recovered", "warned", "refused", "false-OK", "n/a", "streams", "strict",
        "7z", "gsf", "LO"))
    for cls in classes:
        r = table[cls]
        pct = lambda v: "%.1f%%" % (100.0 * v / r["runs"]) if r["runs"] else "-"
        ok = lambda v: "%d/%d" % (v, r["reported_ok"])
        print("%-18s %5d %10s %8s %8s %9d %8d | %7s %7s %6s %6s %6s" % (
            cls, r["runs"], pct(r["recovered"]), pct(r["warned"]), pct(r["refused"]),
            r["false_success"], r["na"], ok(r["olefile"]), ok(r["strict"]), ok(r["7z"]),
            ok(r["gsf"]), ok(r["lo"]) if lo else "-"))
    for cls in classes:
        r = table[cls]
        if r["data_lost"]:
            print("%s: the cut took stream bytes with it in %d of %d runs: at most %.1f%% can "
                  "come back" % (cls, r["data_lost"], r["runs"],
                                 100.0 * (r["runs"] - r["data_lost"]) / r["runs"]))
    print("runs: presentations only (PP40 included); n/a: files without that structure; "
          "false-OK: reported repaired while a stream differs or a reader that accepts the "
          "original rejects the copy; the reader columns count the copies reported repaired")
    if args.verbose:
        for cls, path, why in failures:
            print("  %-18s %s: %s" % (cls, os.path.basename(path), why))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
