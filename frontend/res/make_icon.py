#!/usr/bin/env python3
"""Draws icon 128 (32 x 32 pixels, 24 bits per pixel): a camera body with an upward arrow.

Run it again only to change the picture; the PNG it writes is kept in the repository.
"""
import struct
import sys
import zlib

SIZE = 32
BACKGROUND = (0x1F, 0x4E, 0x79)
BODY = (0xE8, 0xEC, 0xF0)
LENS = (0x1F, 0x4E, 0x79)
ARROW = (0x2E, 0xB8, 0x4B)


def draw():
    px = [[BACKGROUND] * SIZE for _ in range(SIZE)]

    def fill(x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                px[y][x] = colour

    fill(4, 14, 28, 28, BODY)          # camera body
    fill(9, 11, 16, 14, BODY)          # viewfinder hump
    for y in range(SIZE):              # lens: a ring
        for x in range(SIZE):
            d = (x - 16) ** 2 + (y - 21) ** 2
            if d <= 20:
                px[y][x] = LENS
            if d <= 6:
                px[y][x] = BODY
    for row in range(7):               # arrow head above the body
        fill(22 - row, 2 + row, 23 + row + 1, 3 + row, ARROW)
    fill(20, 9, 26, 13, ARROW)         # arrow shaft
    return px


def png(pixels):
    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0)  # 8 bits per channel, RGB
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "icon128.png"
    with open(out, "wb") as f:
        f.write(png(draw()))
