#!/usr/bin/env python3
"""Draws the application icon (a film frame with a landscape) as 16-colour PNGs at 32 and 16 pixels.

Run from res/: python3 make_icon.py. Writes frameloom-32.png and frameloom-16.png."""
import struct
import zlib

# The classic 16-colour palette.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREEN, GREY, GREEN, YELLOW, CYAN, WHITE, DARK_GREY = 0, 2, 7, 10, 11, 14, 15, 8
TRANSPARENT = 5  # dark magenta appears nowhere else; the PNG marks it transparent


def draw(size):
    s = size / 32
    pixels = [[TRANSPARENT] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, colour):
        for y in range(round(y0 * s), round(y1 * s)):
            for x in range(round(x0 * s), round(x1 * s)):
                pixels[y][x] = colour

    fill(0, 2, 32, 30, BLACK)               # the strip
    for y in range(4, 28, 6):               # sprocket holes on both edges
        fill(1, y, 4, y + 3, WHITE)
        fill(28, y, 31, y + 3, WHITE)
    fill(6, 5, 26, 27, CYAN)                 # the frame's sky
    fill(18, 8, 23, 13, YELLOW)              # the sun
    for x in range(6, 26):                   # two hills
        far = 20 - abs(x - 11) // 2
        near = 22 - abs(x - 20) // 3
        fill(x, max(far, 14), x + 1, 27, GREEN)
        fill(x, max(near, 17), x + 1, 27, DARK_GREEN)
    fill(6, 5, 26, 6, GREY)                  # a light rim above and a dark one below the frame
    fill(6, 26, 26, 27, DARK_GREY)
    return pixels


def png(pixels):
    size = len(pixels)
    rows = b""
    for row in pixels:
        packed = bytes((row[x] << 4) | row[x + 1] for x in range(0, size, 2))
        rows += b"\0" + packed

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    alpha = bytes(0 if i == TRANSPARENT else 255 for i in range(16))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0))
            + chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE))
            + chunk(b"tRNS", alpha)
            + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))


for size in (32, 16):
    with open(f"frameloom-{size}.png", "wb") as f:
        f.write(png(draw(size)))
