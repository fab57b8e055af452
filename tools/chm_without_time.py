#!/usr/bin/python3
"""Takes the build time out of a help file made by chmcmd, so that the same pages give the same
help.chm (and so the same installer and .zip) on every build.

chmcmd writes the time of day it ran in two places and reads no SOURCE_DATE_EPOCH: the ITSF
header's timestamp field, and the #SYSTEM file's code 10 entry (in the uncompressed section).
Both become zero; Windows' help viewer does not read them.

    chm_without_time.py HELP.chm           rewrite the file in place
    chm_without_time.py --check HELP.chm   exit 1 unless both are zero
"""
import struct
import sys


def encint(data, i):
    """A CHM directory's variable-length integer: 7 bits a byte, high bit set on all but the last."""
    value = 0
    while True:
        byte = data[i]
        i += 1
        value = (value << 7) | (byte & 0x7F)
        if byte < 0x80:
            return value, i


def directory(data):
    """Name -> (section, absolute offset, length) of every file in the PMGL chunks."""
    if data[:4] != b"ITSF":
        raise ValueError("not a CHM file (no ITSF signature)")
    version, = struct.unpack_from("<I", data, 4)
    dir_offset, dir_length = struct.unpack_from("<QQ", data, 72)
    content = struct.unpack_from("<Q", data, 88)[0] if version >= 3 else dir_offset + dir_length
    if data[dir_offset:dir_offset + 4] != b"ITSP":
        raise ValueError("no ITSP directory header")
    header_length, = struct.unpack_from("<I", data, dir_offset + 8)
    chunk_size, = struct.unpack_from("<I", data, dir_offset + 16)
    chunks, = struct.unpack_from("<I", data, dir_offset + 44)
    files = {}
    for k in range(chunks):
        chunk = dir_offset + header_length + k * chunk_size
        if data[chunk:chunk + 4] != b"PMGL":
            continue  # an index chunk
        free, = struct.unpack_from("<I", data, chunk + 4)
        i, end = chunk + 20, chunk + chunk_size - free
        while i < end:
            n, i = encint(data, i)
            name = data[i:i + n].decode("utf-8")
            i += n
            section, i = encint(data, i)
            offset, i = encint(data, i)
            length, i = encint(data, i)
            files[name] = (section, content + offset, length)
    return files


def time_fields(data):
    """Offsets of the two 4-byte time fields."""
    section, offset, length = directory(data)["/#SYSTEM"]
    if section != 0:
        raise ValueError("#SYSTEM is not in the uncompressed section")
    fields = [16]
    i, end = offset + 4, offset + length  # after #SYSTEM's version
    while i + 4 <= end:
        code, size = struct.unpack_from("<HH", data, i)
        if code == 10 and size == 4:
            fields.append(i + 4)
        i += 4 + size
    if len(fields) != 2:
        raise ValueError("no timestamp entry in #SYSTEM")
    return fields


def main(argv):
    check = argv[1:2] == ["--check"]
    path = argv[-1]
    if len(argv) != (3 if check else 2):
        print(__doc__, file=sys.stderr)
        return 2
    data = bytearray(open(path, "rb").read())
    fields = time_fields(data)
    if check:
        timed = [f for f in fields if data[f:f + 4] != b"\0\0\0\0"]
        for f in timed:
            print(f"{path}: a time at byte {f}: {data[f:f + 4].hex()}", file=sys.stderr)
        return 1 if timed else 0
    for f in fields:
        data[f:f + 4] = b"\0\0\0\0"
    with open(path, "wb") as out:
        out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
