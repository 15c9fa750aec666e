#!/usr/bin/env python3
"""Writes the progress window's dialog template (IDD_PROGRESS) as the raw bytes of a standard
DLGTEMPLATE with two DLGITEMTEMPLATE records. The bytes are written here rather than by the
resource compiler's DIALOG statement, which names the Static class as a string instead of the
atom 0x0082 and adds style bits of its own.

usage: make_dialog.py OUT.bin    (resources/progress_dialog.bin is its output, kept in the tree)
"""
import struct
import sys

DIALOG_STYLE = 0x90C00AC0  # WS_POPUP|WS_VISIBLE|WS_CAPTION|DS_CENTER|DS_SETFOREGROUND|DS_MODALFRAME|DS_SETFONT
STATIC_ATOM = 0x0082
NO_ID = 0xFFFF
IDI_SETUP = 103

CONTROLS = [
    # style, x, y, cx, cy, text (an int is a resource ordinal)
    (0x50000003, 7, 7, 20, 20, IDI_SETUP),  # WS_CHILD|WS_VISIBLE|SS_ICON
    (0x50020200, 37, 7, 129, 20, "Setup is extracting files. Please wait..."),  # +WS_GROUP|SS_CENTERIMAGE
]


def text(value):
    """A string as UTF-16 with its NUL, or 0xFFFF followed by an ordinal."""
    if isinstance(value, int):
        return struct.pack("<HH", 0xFFFF, value)
    return value.encode("utf-16-le") + b"\0\0"


def align4(data):
    return data + b"\0" * (-len(data) % 4)


def template():
    out = struct.pack("<IIHhhhh", DIALOG_STYLE, 0, len(CONTROLS), 0, 0, 173, 34)
    out += struct.pack("<H", 0)  # no menu
    out += struct.pack("<H", 0)  # the platform's dialog class
    out += text("Setup")
    out += struct.pack("<H", 8) + text("MS Sans Serif")  # DS_SETFONT: point size and face
    for style, x, y, cx, cy, label in CONTROLS:
        out = align4(out)
        out += struct.pack("<IIhhhhH", style, 0, x, y, cx, cy, NO_ID)
        out += struct.pack("<HH", 0xFFFF, STATIC_ATOM)
        out += text(label)
        out += struct.pack("<H", 0)  # no creation data
    return out


def main():
    if len(sys.argv) != 2:
        print("usage: make_dialog.py OUT.bin", file=sys.stderr)
        return 2
    with open(sys.argv[1], "wb") as f:
        f.write(template())
    return 0


if __name__ == "__main__":
    sys.exit(main())
