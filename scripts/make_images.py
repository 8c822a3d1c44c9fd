#!/usr/bin/env python3
"""Draws the program's own icon (159) and product picture (130) as indexed PNGs.

Run from the repository root; the results are committed under res/. Only the standard
library is used, so the images can be redrawn on any machine.
"""
import struct
import zlib

# 5x7 glyphs for the few letters and digits the pictures use.
GLYPHS = {
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "4": ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
}


def png(path, width, height, palette, pixels, transparent=None):
    """Writes an 8-bit indexed PNG; pixels is a list of rows of palette indexes."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + bytes(row) for row in pixels)
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0))
    out += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    if transparent is not None:
        out += chunk(b"tRNS", bytes(255 if i != transparent else 0 for i in range(len(palette))))
    out += chunk(b"IDAT", zlib.compress(raw, 9))
    out += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(out)


class Canvas:
    def __init__(self, width, height, fill):
        self.w, self.h = width, height
        self.px = [[fill] * width for _ in range(height)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def text(self, x, y, s, c, scale=1, gap=1):
        for ch in s:
            for gy, row in enumerate(GLYPHS[ch]):
                for gx, bit in enumerate(row):
                    if bit == "1":
                        self.rect(x + gx * scale, y + gy * scale,
                                  x + gx * scale + scale - 1, y + gy * scale + scale - 1, c)
            x += (5 + gap) * scale

    def box(self, x, y, w, h, d, front, top, side, edge):
        """A box seen slightly from above and to the right: front face w x h, depth d."""
        for i in range(d):  # top face, sheared one pixel per row
            for xx in range(w):
                self.set(x + xx + i + 1, y - i - 1, top)
        for i in range(d):  # side face
            for yy in range(h):
                self.set(x + w + i, y + yy - i, side)
        self.rect(x, y, x + w - 1, y + h - 1, front)
        for xx in range(w):
            self.set(x + xx, y, edge)
            self.set(x + xx, y + h - 1, edge)
        for yy in range(h):
            self.set(x, y + yy, edge)
            self.set(x + w - 1, y + yy, edge)


# The classic 16-colour palette; index 0 (black) is used as the transparent colour of the icon.
VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
NAVY, TEAL, SILVER, GREY, GREEN, YELLOW, BLUE, CYAN, WHITE = 4, 6, 7, 8, 10, 11, 12, 14, 15
DARK = 1  # dark red, for the arrow's outline


def icon(size, path):
    c = Canvas(size, size, 0)
    if size == 32:
        c.box(2, 12, 22, 17, 6, BLUE, CYAN, NAVY, NAVY)
        c.rect(5, 23, 20, 25, SILVER)          # the box's front slot
        c.rect(17, 16, 19, 18, GREEN)          # its lamp
        c.rect(24, 0, 27, 6, YELLOW)           # arrow shaft into the box
        for i in range(5):
            c.rect(21 + i, 7 + i, 30 - i, 7 + i, YELLOW)
    else:
        c.box(1, 6, 10, 8, 3, BLUE, CYAN, NAVY, NAVY)
        c.rect(3, 10, 8, 11, SILVER)
        c.rect(12, 0, 13, 2, YELLOW)
        for i in range(3):
            c.rect(10 + i, 3 + i, 15 - i, 3 + i, YELLOW)
    png(path, size, size, VGA16, c.px, transparent=0)


def picture(path):
    width, height = 153, 45
    # 256 colours: a 64-step blue-to-teal ramp for the background, the 16 basic colours and a
    # grey ramp filling the rest.
    palette = VGA16[:]
    ramp0 = len(palette)
    for i in range(64):
        t = i / 63
        palette.append((int(10 + 20 * t), int(40 + 90 * t), int(110 + 60 * t)))
    while len(palette) < 256:
        g = int(255 * (len(palette) - 80) / 175)
        palette.append((g, g, g))
    c = Canvas(width, height, ramp0)
    for x in range(width):
        shade = ramp0 + min(63, x * 64 // width)
        for y in range(height):
            c.px[y][x] = shade
    c.box(8, 14, 34, 24, 7, SILVER, WHITE, GREY, NAVY)
    c.rect(12, 30, 37, 32, NAVY)               # front slot
    c.rect(34, 18, 36, 20, GREEN)              # lamp
    c.rect(12, 18, 27, 24, TEAL)               # small display
    c.text(55, 5, "MARLOVINE", WHITE)
    c.text(58, 16, "4410", YELLOW, scale=3, gap=1)
    png(path, width, height, palette, c.px)


if __name__ == "__main__":
    icon(32, "res/icon_159_32.png")
    icon(16, "res/icon_159_16.png")
    picture("res/bitmap_130.png")
