#!/usr/bin/env python3
"""Writes the fuzz target's seed corpus: payloads as stored in packages (archive scrambled with
the keystream, tail plain), one file each.

    fuzz/make_corpus.py OUT_DIR [--sfxkit PATH]

The hand-made seeds cover stored entries, method 4 streams, methods 5 and above, names with
separators, empty and dot names, extended headers, archives with and without end marker, tails
with and without a stamp marker. With --sfxkit (a built `sfxkit`), packages made by `sfxkit pack`
with every method are added, their payload cut from behind the stub.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

SEED = 51829
STAMP_MARKER = bytes.fromhex(
    "5EBBF64FE79FDB78F6DCCBCFBCF8E6F6C54BF87165FBE6C5804FAE6FFFEFB7767EFED2B957AE5DBDB97DF5E6FA4FDFB9BE7D")
DOS_TIME = 0x5A8B6C2A


def keystream(data, start=0):
    state = SEED
    out = bytearray(data)
    for i in range(start + len(data)):
        state = (state * 214013 + 2531011) & 0xFFFFFFFF
        if i >= start:
            out[i - start] ^= (state >> 7) & 0xFF
    return bytes(out)


def entry(name, packed, unpacked_size=None, crc=None, method=0, extended=b"", dos_time=DOS_TIME):
    if unpacked_size is None:
        unpacked_size = len(packed)
    if crc is None:
        crc = zlib.crc32(packed)
    name = name.encode("latin-1") if isinstance(name, str) else name
    basic = struct.pack("<BBBBBBBBIIIIHHH", 30, 11, 1, 0, 0, method, 0, 0, dos_time, len(packed),
                        unpacked_size, crc, 0, 0x20, 0)
    basic += name + b"\0" + b"\0"
    out = struct.pack("<HH", 0xEA60, len(basic)) + basic
    out += struct.pack("<I", zlib.crc32(basic)) + struct.pack("<H", len(extended)) + extended
    return out + packed


END = struct.pack("<HH", 0xEA60, 0)


def payload(entries, tail=b"", end_marker=True):
    archive = b"".join(entries) + (END if end_marker else b"")
    return keystream(archive) + tail


def stamped_file():
    return b"head" * 10 + STAMP_MARKER + bytes(range(100)) + b"after the slot" * 4


def seeds():
    abc = bytes.fromhex("30988C7C0020")  # method 4: abcabcabcabc
    aaaa = bytes.fromhex("20C000")  # method 4: AAAA
    setup = b"MZ setup program " * 8
    yield "stored-one", payload([entry("setup.exe", setup)])
    yield "stored-several", payload([
        entry("setup.exe", setup),
        entry("dir\\sub/file.txt", b"both separators"),
        entry("a/b\\c", b"last separator wins"),
        entry("keep.txt", b"replaces the bystander"),
        entry("setup.exe", b"replaces the program file"),
        entry("empty.dat", b""),
    ])
    yield "method4", payload([
        entry("setup.exe", abc, 12, zlib.crc32(b"abcabcabc" + b"abc"), 4),
        entry("aaaa.txt", aaaa, 4, zlib.crc32(b"AAAA"), 4),
        # Packed data too short: the rest decodes as zero bytes.
        entry("zeros.bin", b"", 300, zlib.crc32(bytes(300)), 4),
    ])
    yield "method4-overrun", payload([entry("setup.exe", abc, 5, 0, 4)])
    yield "methods-5-up", payload([
        entry("setup.exe", b"ignored bytes", 0, 0, 5),
        entry("m255", b"x" * 40, 0, 0, 255),
    ])
    yield "names", payload([
        entry("", b"first entry, no name"),
        entry("dir/", b"empty base name"),
    ])
    yield "dot-names", payload([entry("setup.exe", b"a"), entry("..", b"b"), entry(".", b"c")])
    yield "long-name", payload([entry("setup.exe", b"a"), entry("n" * 300, b"long")])
    yield "extended", payload([entry("setup.exe", b"data", extended=b"\x01\x02\x03ext")])
    yield "no-end-marker", payload([entry("setup.exe", b"one"), entry("two", b"two")],
                                   end_marker=False) + b"junk"
    yield "tail-stamp", payload([
        entry("setup.exe", stamped_file()),
        entry("data.bin", stamped_file(), method=0),
    ], tail=b"STAMP: build 42, channel beta")
    yield "tail-long", payload([entry("setup.exe", stamped_file())], tail=bytes(range(250)))
    yield "crc-mismatch", payload([entry("setup.exe", b"ok"), entry("bad", b"bad", crc=1)])
    yield "stored-overflow", payload([entry("setup.exe", b"x" * 9000, unpacked_size=100)])
    yield "end-marker-only", keystream(END) + b"tail after an empty archive"
    yield "bad-dos-time", payload([entry("setup.exe", b"t", dos_time=0x01A00000)])


def packed_seeds(sfxkit):
    """Packages from `sfxkit pack`, one per method, cut down to their payloads."""
    with tempfile.TemporaryDirectory() as work:
        setup = os.path.join(work, "setup.exe")
        text = os.path.join(work, "readme.txt")
        with open(setup, "wb") as f:
            f.write((b"MZ" + bytes(range(256)) * 3 + b"setup program text " * 40)[:3000])
        with open(text, "wb") as f:
            f.write(b"".join(b"line %d of a readme, repeated words words words\n" % i
                             for i in range(60)) + STAMP_MARKER + bytes(120))
        tail = os.path.join(work, "tail")
        with open(tail, "wb") as f:
            f.write(b"stamped by the packer")
        for method in ["0", "1", "2", "3", "4"]:
            out = os.path.join(work, "p%s.exe" % method)
            subprocess.run([sfxkit, "pack", "-q", "-o", out, "--stub", "native", "-m", method,
                            "--tail", tail, setup, text], check=True)
            with open(out, "rb") as f:
                package = f.read()
            yield "packed-method%s" % method, package[payload_offset(package):]


def payload_offset(package):
    tag = bytes([0x7F]) + b"sfxofs" + bytes([0x1A])
    at = package.find(tag)
    if at < 0:
        raise SystemExit("make_corpus: no payload offset tag in the package")
    return struct.unpack_from("<I", package, at + 8)[0]


def main():
    args = sys.argv[1:]
    if not args:
        raise SystemExit(__doc__)
    out_dir = args[0]
    sfxkit = args[args.index("--sfxkit") + 1] if "--sfxkit" in args else None
    os.makedirs(out_dir, exist_ok=True)
    all_seeds = list(seeds())
    if sfxkit:
        all_seeds += list(packed_seeds(sfxkit))
    for name, data in all_seeds:
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
    print("make_corpus: %d seeds in %s" % (len(all_seeds), out_dir))


if __name__ == "__main__":
    main()
