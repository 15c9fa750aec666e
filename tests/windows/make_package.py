#!/usr/bin/env python3
"""Builds a package without the sfxkit tool: STUB, then an archive of stored entries (ARJ local
header layout, end marker) scrambled with the launcher's keystream, then the optional tail block
stored plain. SETUP becomes the first entry; entry names are the files' base names and their DOS
times the files' modification times read as UTC (what the launcher sets them back to).

usage: make_package.py -o OUT --stub STUB [--tail FILE] SETUP [FILE...]
"""
import argparse
import os
import struct
import sys
import time
import zlib

SEED = 51829


def dos_time(seconds):
    t = time.gmtime(max(seconds, 315532800))  # not before 1980-01-01
    date = ((t.tm_year - 1980) << 9) | (t.tm_mon << 5) | t.tm_mday
    clock = (t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2)
    return (date << 16) | clock


def stored_entry(name, data, when):
    basic = struct.pack("<BBBBBBBBIIIIHHH", 30, 11, 1, 0, 0, 0, 0, 0, when, len(data), len(data),
                        zlib.crc32(data), 0, 0x20, 0)
    basic += name.encode("latin-1") + b"\0" + b"\0"  # name, empty comment
    return (struct.pack("<HH", 0xEA60, len(basic)) + basic +
            struct.pack("<IH", zlib.crc32(basic), 0) + data)


def scramble(archive):
    state = SEED
    out = bytearray(archive)
    for i in range(len(out)):
        state = (state * 214013 + 2531011) & 0xFFFFFFFF
        out[i] ^= (state >> 7) & 0xFF
    return bytes(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", dest="out", required=True)
    parser.add_argument("--stub", required=True)
    parser.add_argument("--tail")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    archive = b""
    for path in args.files:
        with open(path, "rb") as f:
            data = f.read()
        archive += stored_entry(os.path.basename(path), data, dos_time(os.stat(path).st_mtime))
    archive += struct.pack("<HH", 0xEA60, 0)
    tail = b""
    if args.tail:
        with open(args.tail, "rb") as f:
            tail = f.read()
    with open(args.stub, "rb") as f:
        stub = f.read()
    with open(args.out, "wb") as f:
        f.write(stub + scramble(archive) + tail)
    os.chmod(args.out, 0o755)
    return 0


if __name__ == "__main__":
    sys.exit(main())
