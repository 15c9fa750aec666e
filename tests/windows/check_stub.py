#!/usr/bin/env python3
"""Static checks of a built stub, read back from the file itself:
  - the payload offset stored behind its tag (exactly one) equals the file's size;
  - Windows stubs: the size limit, the GUI subsystem, the imported DLLs (objdump -p) and the
    resources: the 200-byte dialog template IDD_PROGRESS field by field, the icon group IDI_SETUP
    with its two images, language 1033 throughout.

usage: check_stub.py STUB [--windows --objdump OBJDUMP --max-size N]
       check_stub.py --generators RESOURCES_DIR   (the kept resource files match their scripts)
Exit 0 when every check passes, 1 with one line per failed check.
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile

TAG = bytes([0x7F]) + b"sfxofs" + bytes([0x1A])
RT_ICON, RT_DIALOG, RT_GROUP_ICON = 3, 5, 14
LANG_EN_US = 1033
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "msvcrt.dll"}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def check_payload_offset(data):
    first = data.find(TAG)
    if not check(first >= 0 and data.find(TAG, first + 1) < 0,
                 "the payload offset tag does not occur exactly once"):
        return
    (offset,) = struct.unpack_from("<I", data, first + len(TAG))
    check(offset == len(data), f"payload offset {offset} is not the stub's size {len(data)}")


class PE:
    def __init__(self, data):
        self.data = data
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data,
                                                                              pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, directories + 16)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            name, vsize, rva, raw_size, raw_offset = struct.unpack_from("<8sIIII", data,
                                                                        table + 40 * i)
            self.sections.append((rva, max(vsize, raw_size), raw_offset))

    def offset_of(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} is in no section")

    def resources(self):
        """{(type, id, language): bytes} for every resource with numeric type, id and language."""
        base = self.offset_of(self.resource_rva)
        found = {}

        def directory(offset):
            named, numbered = struct.unpack_from("<HH", self.data, offset + 12)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data, offset + 16 + 8 * i)
                yield key, target

        for rtype, tdir in directory(base):
            for rid, ndir in directory(base + (tdir & 0x7FFFFFFF)):
                for lang, leaf in directory(base + (ndir & 0x7FFFFFFF)):
                    rva, size, _, _ = struct.unpack_from("<IIII", self.data, base + leaf)
                    offset = self.offset_of(rva)
                    found[(rtype, rid, lang)] = self.data[offset:offset + size]
        return found


def utf16z(data, pos):
    end = pos
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[pos:end].decode("utf-16-le"), end + 2


def sz_or_ordinal(data, pos):
    if data[pos:pos + 2] == b"\xff\xff":
        return ("ordinal", struct.unpack_from("<H", data, pos + 2)[0]), pos + 4
    return utf16z(data, pos)


def check_dialog(template):
    check(len(template) == 200, f"dialog template is {len(template)} bytes, not 200")
    style, exstyle, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", template, 0)
    check(style == 0x90C00AC0, f"dialog style {style:#010x}")
    check(exstyle == 0, f"dialog extended style {exstyle:#x}")
    check(count == 2, f"dialog has {count} controls")
    check((x, y, cx, cy) == (0, 0, 173, 34), f"dialog rectangle {(x, y, cx, cy)}")
    pos = 18
    menu, pos = sz_or_ordinal(template, pos)
    check(menu == "", f"dialog menu {menu!r}")
    cls, pos = sz_or_ordinal(template, pos)
    check(cls == "", f"dialog class {cls!r}")
    caption, pos = utf16z(template, pos)
    check(caption == "Setup", f"dialog caption {caption!r}")
    (points,) = struct.unpack_from("<H", template, pos)
    face, pos = utf16z(template, pos + 2)
    check((points, face) == (8, "MS Sans Serif"), f"dialog font {points} pt {face!r}")
    expected = [
        (0x50000003, (7, 7, 20, 20), ("ordinal", 103)),
        (0x50020200, (37, 7, 129, 20), "Setup is extracting files. Please wait..."),
    ]
    for index, (want_style, want_rect, want_text) in enumerate(expected, 1):
        check(pos % 4 == 0 or (pos + 2) % 4 == 0, f"control {index} misaligned")
        pos = (pos + 3) // 4 * 4
        style, exstyle, x, y, cx, cy, cid = struct.unpack_from("<IIhhhhH", template, pos)
        check(style == want_style, f"control {index} style {style:#010x}")
        check(exstyle == 0, f"control {index} extended style {exstyle:#x}")
        check((x, y, cx, cy) == want_rect, f"control {index} rectangle {(x, y, cx, cy)}")
        check(cid == 0xFFFF, f"control {index} id {cid:#x}")
        cls, pos = sz_or_ordinal(template, pos + 18)
        check(cls == ("ordinal", 0x0082), f"control {index} class {cls!r}")
        text, pos = sz_or_ordinal(template, pos)
        check(text == want_text, f"control {index} text {text!r}")
        (extra,) = struct.unpack_from("<H", template, pos)
        check(extra == 0, f"control {index} has {extra} bytes of creation data")
        pos += 2
    check(pos == len(template), f"dialog template has {len(template) - pos} bytes after the end")


def check_icons(resources):
    group = resources.get((RT_GROUP_ICON, 103, LANG_EN_US))
    if not check(group is not None, "icon group 103 (language 1033) is missing"):
        return
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    check((reserved, kind, count) == (0, 1, 2), f"icon group header {(reserved, kind, count)}")
    check(len(group) == 6 + 14 * count, f"icon group is {len(group)} bytes")
    expected = [(32, 32, 16, 0, 1, 4, 744, 1), (16, 16, 16, 0, 1, 4, 296, 2)]
    for index, want in enumerate(expected):
        entry = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * index)
        check(entry == want, f"icon group entry {index + 1}: {entry}, expected {want}")
        width, height, _, _, _, bits, size, image_id = want
        image = resources.get((RT_ICON, image_id, LANG_EN_US))
        if not check(image is not None, f"icon image {image_id} (language 1033) is missing"):
            continue
        check(len(image) == size, f"icon image {image_id} is {len(image)} bytes, not {size}")
        header = struct.unpack_from("<IiiHH", image, 0)
        check(header == (40, width, height * 2, 1, bits),
              f"icon image {image_id} bitmap header {header}")


def check_windows(path, data, objdump, max_size):
    check(len(data) <= max_size, f"{len(data)} bytes, more than {max_size}")
    pe = PE(data)
    check(pe.subsystem == 2, f"subsystem {pe.subsystem}, not the Windows GUI (2)")
    listing = subprocess.run([objdump, "-p", path], check=True, capture_output=True,
                             text=True).stdout
    dlls = {line.split(":", 1)[1].strip().lower() for line in listing.splitlines()
            if "DLL Name:" in line}
    check(dlls <= ALLOWED_DLLS, f"imports {sorted(dlls - ALLOWED_DLLS)}")
    check({"kernel32.dll", "user32.dll"} <= dlls, f"imports only {sorted(dlls)}")

    resources = pe.resources()
    kinds = {(t, i) for t, i, _ in resources}
    check(kinds == {(RT_ICON, 1), (RT_ICON, 2), (RT_GROUP_ICON, 103), (RT_DIALOG, 104)},
          f"resources {sorted(kinds)}")
    check({lang for _, _, lang in resources} == {LANG_EN_US},
          f"languages {sorted({lang for _, _, lang in resources})}")
    dialog = resources.get((RT_DIALOG, 104, LANG_EN_US))
    if check(dialog is not None, "dialog 104 (language 1033) is missing"):
        check_dialog(dialog)
    check_icons(resources)
    print(f"{os.path.basename(path)}: {len(data)} bytes, imports {', '.join(sorted(dlls))}")


def check_generators(resources_dir):
    with tempfile.TemporaryDirectory() as scratch:
        for script, kept in (("make_icon.py", "setup.ico"),
                             ("make_dialog.py", "progress_dialog.bin")):
            out = os.path.join(scratch, kept)
            subprocess.run([sys.executable, os.path.join(resources_dir, script), out], check=True)
            with open(out, "rb") as a, open(os.path.join(resources_dir, kept), "rb") as b:
                check(a.read() == b.read(), f"{kept} differs from what {script} makes")
    with open(os.path.join(resources_dir, "progress_dialog.bin"), "rb") as f:
        check_dialog(f.read())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("stub", nargs="?")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--objdump")
    parser.add_argument("--max-size", type=int, default=45056)
    parser.add_argument("--generators")
    args = parser.parse_args()
    if args.generators:
        check_generators(args.generators)
    else:
        with open(args.stub, "rb") as f:
            data = f.read()
        check_payload_offset(data)
        if args.windows:
            check_windows(args.stub, data, args.objdump, args.max_size)
    for failure in failures:
        print(f"check_stub: {args.stub or args.generators}: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
