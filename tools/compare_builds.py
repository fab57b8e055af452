#!/usr/bin/python3
"""Holds two deckwright builds to the same results: over every corpus file and damaged copies of
it (header zeroed, header 0xFF, first FAT sector zeroed, tail cut, directory pointer wrong), the
saved repaired files, the exit statuses and the `inspect --json` output must be byte-identical.

usage: compare_builds.py OLD_DECKWRIGHT NEW_DECKWRIGHT [CORPUS_DIR]
Prints each difference and exits 1 when there is any."""
import os, shutil, struct, subprocess, sys, tempfile


def variants(data):
    yield "as_is", data
    yield "header_zeroed", bytes(512) + data[512:]
    yield "header_ff", b"\xff" * 512 + data[512:]
    if len(data) >= 1024:
        fat0 = struct.unpack_from("<I", data, 76)[0]
        at = (fat0 + 1) * 512
        if at + 512 <= len(data):
            yield "fat0_zeroed", data[:at] + bytes(512) + data[at + 512:]
        d = bytearray(data)
        struct.pack_into("<I", d, 48, 0x0BADBAD0)
        yield "dir_pointer", bytes(d)
    cut = len(data) - max(512, len(data) // 10)
    if cut > 512:
        yield "tail_cut", data[:cut]


def run(exe, args, work, name):
    p = subprocess.run([exe] + args, cwd=work, capture_output=True)
    return p.returncode, p.stdout.replace(exe.encode(), b"EXE")


def main():
    old, new = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    corpus = sys.argv[3] if len(sys.argv) > 3 else "../shared/corpus/ppt"
    differences = checked = 0
    with tempfile.TemporaryDirectory() as work:
        for name in sorted(os.listdir(corpus)):
            with open(os.path.join(corpus, name), "rb") as f:
                data = f.read()
            for kind, damaged in variants(data):
                file = f"{os.path.splitext(name)[0]}.{kind}.ppt"
                with open(os.path.join(work, file), "wb") as f:
                    f.write(damaged)
                results = []
                for exe in (old, new):
                    out = os.path.join(work, "out")
                    shutil.rmtree(out, ignore_errors=True)
                    os.mkdir(out)
                    status, text = run(exe, ["repair", "--out", "out", "--suffix", "_r", file], work, file)
                    saved = os.path.join(out, file[:-4] + "_r.ppt")
                    saved_bytes = open(saved, "rb").read() if os.path.exists(saved) else None
                    inspect = run(exe, ["inspect", "--json", file], work, file)
                    results.append((status, text, saved_bytes, inspect))
                checked += 1
                if results[0] != results[1]:
                    differences += 1
                    what = [w for w, a, b in zip(("exit status", "output", "saved file", "inspect"),
                                                 results[0], results[1]) if a != b]
                    print(f"{file}: {', '.join(what)} differ")
                os.remove(os.path.join(work, file))
    print(f"{checked} files compared, {differences} differ")
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
