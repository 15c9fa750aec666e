#!/usr/bin/env python3
"""Draws the stub's icon, a grey floppy disk, and writes it as an icon file with two 16-colour
images (32 x 32 and 16 x 16, 4 bits per pixel). The disk is made of rectangles: a dark grey body
with a black outline and a cut corner, a silver metal shutter with its slot, a white label with
three (two) ruled lines and a write-protect hole.

usage: make_icon.py OUT.ico      (resources/setup.ico is its output, kept in the tree)
"""
import struct
import sys

# The 16 standard colours of the Windows palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, NAVY, SILVER, GREY, WHITE = 0, 4, 7, 8, 15
CLEAR = None  # transparent

# Per size: body, corner cut, shutter, slot, label, label lines, hole (x0, y0, x1, y1 inclusive).
LAYOUTS = {
    32: dict(body=(2, 2, 29, 29), cut=3, shutter=(9, 2, 22, 11), slot=(17, 4, 20, 9),
             label=(6, 16, 25, 29), lines=[(8, 19, 23), (8, 22, 23), (8, 25, 23)],
             hole=(4, 26, 5, 27)),
    16: dict(body=(1, 1, 14, 14), cut=2, shutter=(5, 1, 11, 5), slot=(9, 2, 10, 4),
             label=(3, 8, 12, 14), lines=[(4, 10, 11), (4, 12, 11)], hole=(2, 12, 2, 13)),
}


def draw(size):
    """The picture as rows of palette indices (or CLEAR), top row first."""
    lay = LAYOUTS[size]
    pixels = [[CLEAR] * size for _ in range(size)]

    def fill(box, colour, outline=None):
        x0, y0, x1, y1 = box
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                pixels[y][x] = outline if (edge and outline is not None) else colour

    fill(lay["body"], GREY, BLACK)
    fill(lay["shutter"], SILVER, BLACK)
    fill(lay["slot"], BLACK)
    fill(lay["label"], WHITE, BLACK)
    for x0, y, x1 in lay["lines"]:
        for x in range(x0, x1 + 1):
            pixels[y][x] = NAVY
    fill(lay["hole"], BLACK)
    # The cut corner at the top right: clear above the diagonal, black on it.
    x0, y0, x1, _ = lay["body"]
    cut = lay["cut"]
    for i in range(cut + 1):
        y = y0 + i
        for x in range(x1 - cut + i + 1, x1 + 1):
            pixels[y][x] = CLEAR
        pixels[y][x1 - cut + i] = BLACK
    return pixels


def image(size):
    """One icon image: header, colour table, 4-bit colour bitmap and 1-bit mask, bottom-up."""
    pixels = draw(size)
    colour_row = size // 2
    mask_row = (size // 8 + 3) // 4 * 4
    colours = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, value in enumerate(row):
            index = 0 if value is CLEAR else value
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if value is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
        colours += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(colours) + len(mask),
                         0, 0, 0, 0)
    table = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + table + colours + mask


def icon_file():
    images = [image(32), image(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    if len(sys.argv) != 2:
        print("usage: make_icon.py OUT.ico", file=sys.stderr)
        return 2
    data = icon_file()
    with open(sys.argv[1], "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
