#!/usr/bin/env python3
"""Draws the utility's two icons (48x48 and 16x16) and writes them as .ico
files: a blue tile with the face of a nine-pin serial connector. Our own
design, drawn from geometry here; run it again after changing the drawing.

    tools/make-icons.py resources/icons
"""
import struct
import sys
from pathlib import Path

BLUE = (0x1F, 0x5F, 0xA8, 0xFF)
DARK = (0x12, 0x3A, 0x66, 0xFF)
WHITE = (0xF4, 0xF6, 0xF8, 0xFF)
PIN = (0x2B, 0x2B, 0x2B, 0xFF)
CLEAR = (0, 0, 0, 0)


def draw(size):
    s = size / 48.0
    px = [[CLEAR] * size for _ in range(size)]

    def inside_tile(x, y):
        r = 8 * s
        lo, hi = 1 * s, size - 1 * s
        if not (lo <= x < hi and lo <= y < hi):
            return False
        cx = min(max(x, lo + r), hi - r)
        cy = min(max(y, lo + r), hi - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    def inside_shell(x, y):
        # A trapezoid, wide at the top: the D-shaped shell of the connector.
        top, bottom = 14 * s, 34 * s
        if not (top <= y < bottom):
            return False
        t = (y - top) / (bottom - top)
        half = (17 - 4 * t) * s
        return abs(x - 24 * s) <= half

    pins = [(12 + 6 * k, 20) for k in range(5)] + [(15 + 6 * k, 28) for k in range(4)]
    for j in range(size):
        for i in range(size):
            x, y = i + 0.5, j + 0.5
            if inside_tile(x, y):
                px[j][i] = DARK if y > 40 * s else BLUE
            if inside_shell(x, y):
                px[j][i] = WHITE
            for (cx, cy) in pins:
                rad = max(2.2 * s, 0.6)
                if (x - cx * s) ** 2 + (y - cy * s) ** 2 <= rad * rad:
                    px[j][i] = PIN
    return px


def ico(size):
    px = draw(size)
    rows = []
    for row in reversed(px):  # bottom-up
        rows.append(b"".join(struct.pack("BBBB", r[2], r[1], r[0], r[3]) for r in row))
    xor = b"".join(rows)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(px):
        bits = 0
        line = bytearray(mask_stride)
        for i, p in enumerate(row):
            if p[3] == 0:
                line[i // 8] |= 0x80 >> (i % 8)
        mask += bytes(line)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else "resources/icons")
    out.mkdir(parents=True, exist_ok=True)
    (out / "app-large.ico").write_bytes(ico(48))
    (out / "app-small.ico").write_bytes(ico(16))


if __name__ == "__main__":
    main()
