#!/usr/bin/env python3
"""Draws the program's icon: a carton with a green arrow dropping into it.

Writes zelvoset-32.png and zelvoset-16.png next to this file as indexed PNGs that use only the
16 classic VGA colours (plus one transparent entry), and zelvoset.ico holding both sizes for the
Windows program. Run it again after changing the drawing and commit the images; the build only
embeds them.
"""

import os
import struct
import zlib

VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, GREEN, OLIVE, NAVY, GRAY, LIME, YELLOW, WHITE = 0, 2, 3, 4, 8, 10, 11, 15
CLEAR = 16


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[CLEAR] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = colour

    def fill(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def outline(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def line(self, x0, y0, x1, y1, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.put(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), colour)

    def png(self):
        raw = b"".join(b"\0" + bytes(row) for row in self.pixels)
        palette = b"".join(bytes(rgb) for rgb in VGA) + b"\0\0\0"
        alpha = b"\xff" * len(VGA) + b"\0"

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        header = struct.pack(">IIBBBBB", self.size, self.size, 8, 3, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"PLTE", palette) +
                chunk(b"tRNS", alpha) + chunk(b"IDAT", zlib.compress(raw, 9)) +
                chunk(b"IEND", b""))


    def dib(self):
        """The image as an icon stores it: a 4-bit bitmap of the colours, then a 1-bit mask of
        the transparent pixels, both bottom-up with rows padded to four bytes."""
        def padded(row):
            return row + b"\0" * (-len(row) % 4)

        colours, mask = b"", b""
        for row in reversed(self.pixels):
            opaque = [0 if p == CLEAR else p for p in row]
            colours += padded(bytes(a << 4 | b for a, b in zip(opaque[0::2], opaque[1::2])))
            bits = "".join("1" if p == CLEAR else "0" for p in row)
            mask += padded(int(bits, 2).to_bytes(self.size // 8, "big"))
        # Height counts both bitmaps; the palette is the 16 colours as blue, green, red, 0.
        header = struct.pack("<IiiHHIIiiII", 40, self.size, 2 * self.size, 1, 4, 0,
                             len(colours) + len(mask), 0, 0, len(VGA), 0)
        palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
        return header + palette + colours + mask


def ico(canvases):
    """A Windows icon file with one 16-colour image per canvas: the classic format, which every
    version of Windows (and Wine) reads, rather than embedded PNGs."""
    images = [c.dib() for c in canvases]
    offset = 6 + 16 * len(images)
    entries = b""
    for canvas, image in zip(canvases, images):
        entries += struct.pack("<BBBBHHII", canvas.size, canvas.size, len(VGA), 0, 1, 4,
                               len(image), offset)
        offset += len(image)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + b"".join(images)


def carton(c, left, top, right, bottom, flap):
    """An open carton seen from the front, its flaps folded outwards."""
    shade = left + (right - left) * 2 // 3
    c.fill(left, top, right, bottom, YELLOW)
    c.fill(shade, top, right, bottom, OLIVE)
    c.outline(left, top, right, bottom, BLACK)
    # The flaps lean out over both sides of the opening.
    for i in range(flap):
        c.line(left - i, top - i, left + flap - 1 - i, top - i, OLIVE)
        c.line(right - flap + 1 + i, top - i, right + i, top - i, OLIVE)
    c.line(left, top, left - flap + 1, top - flap + 1, BLACK)
    c.line(right, top, right + flap - 1, top - flap + 1, BLACK)


def arrow(c, middle, top, shaft, head, tip):
    """A downward arrow centred on `middle`, its point at row `tip`."""
    neck = tip - head
    c.fill(middle - shaft, top, middle + shaft, neck, LIME)
    c.outline(middle - shaft, top, middle + shaft, neck, GREEN)
    for row in range(neck, tip + 1):
        half = head * (tip - row) // (tip - neck)
        c.line(middle - half, row, middle + half, row, LIME)
        c.put(middle - half, row, GREEN)
        c.put(middle + half, row, GREEN)
    c.line(middle - shaft + 1, neck, middle + shaft - 1, neck, LIME)


def letter_z(c, left, top, right, bottom):
    c.line(left, top, right, top, NAVY)
    c.line(right, top, left, bottom, NAVY)
    c.line(left, bottom, right, bottom, NAVY)


def icon32():
    c = Canvas(32)
    carton(c, 5, 17, 26, 30, 4)
    letter_z(c, 9, 21, 15, 27)
    letter_z(c, 10, 21, 16, 27)
    arrow(c, 15, 1, 3, 8, 19)
    c.line(6, 31, 27, 31, GRAY)
    c.line(27, 18, 27, 31, GRAY)
    return c


def icon16():
    c = Canvas(16)
    carton(c, 2, 9, 13, 14, 2)
    letter_z(c, 4, 10, 8, 13)
    arrow(c, 7, 0, 1, 4, 8)
    c.line(3, 15, 14, 15, GRAY)
    c.line(14, 9, 14, 15, GRAY)
    return c


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for name, canvas in (("zelvoset-32.png", icon32()), ("zelvoset-16.png", icon16())):
        with open(os.path.join(here, name), "wb") as out:
            out.write(canvas.png())
    with open(os.path.join(here, "zelvoset.ico"), "wb") as out:
        out.write(ico([icon32(), icon16()]))
