#!/usr/bin/env python3
"""Draws wincue's icon: a window whose body holds a "go" cue, at 16, 32, 48
and 256 pixels, each stored as PNG inside wincue.ico (PNG keeps the exe
small). Standard library only.

    resources/make_icon.py               writes resources/wincue.ico
    resources/make_icon.py --png DIR     also writes DIR/wincue-N.png
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 32, 48, 256)
FRAME = (0x1D, 0x3F, 0x72)  # title bar and border
BODY = (0xF4, 0xF7, 0xFB)
CUE = (0xF5, 0x9F, 0x00)


def round_rect(px, py, x0, y0, x1, y1, r):
    """Signed distance to a rounded rectangle (negative inside)."""
    qx = abs(px - (x0 + x1) / 2) - ((x1 - x0) / 2 - r)
    qy = abs(py - (y0 + y1) / 2) - ((y1 - y0) / 2 - r)
    outside = math.hypot(max(qx, 0), max(qy, 0))
    return outside + min(max(qx, qy), 0) - r


def triangle(px, py, pts):
    """Signed distance to a triangle whose corners run clockwise on screen."""
    d = -math.inf
    for (ax, ay), (bx, by) in zip(pts, pts[1:] + pts[:1]):
        ex, ey = bx - ax, by - ay
        d = max(d, ((px - ax) * ey - (py - ay) * ex) / math.hypot(ex, ey))
    return d


def draw(size):
    """The icon at one size, as rows of RGBA bytes. Edges fall on whole
    pixels where they can, so the small sizes stay sharp."""
    u = size / 16  # one unit of the 16-pixel grid
    border = max(1, round(size / 24))
    left, top, right, bottom = 1 * u, 2 * u, 15 * u, 14 * u
    bar = top + max(3, round(3.5 * u))
    radius = 1.5 * u if size > 16 else 1.0
    cue = [(10.75 * u, 9.5 * u), (6 * u, 12.25 * u), (6 * u, 6.75 * u)]
    layers = (
        (FRAME, lambda x, y: round_rect(x, y, left, top, right, bottom, radius)),
        (BODY, lambda x, y: round_rect(x, y, left + border, bar, right - border,
                                       bottom - border, max(radius - border, 0.5))),
        (CUE, lambda x, y: triangle(x, y, cue)),
    )
    rows = []
    for j in range(size):
        row = bytearray()
        for i in range(size):
            r = g = b = a = 0.0
            for colour, shape in layers:
                cover = min(max(0.5 - shape(i + 0.5, j + 0.5), 0.0), 1.0)
                r, g, b = (c * cover + o * (1 - cover) for c, o in zip(colour, (r, g, b)))
                a = cover + a * (1 - cover)
            row += bytes((round(r / a) if a else 0, round(g / a) if a else 0,
                          round(b / a) if a else 0, round(a * 255)))
        rows.append(row)
    return rows


def filtered(row, prev):
    """The row under the PNG filter (None, Sub, Up, Paeth) that leaves the
    smallest sum, the usual guess at what compresses best."""
    def paeth(a, b, c):
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        return a if pa <= pb and pa <= pc else b if pb <= pc else c

    left = lambda k: row[k - 4] if k >= 4 else 0
    up = lambda k: prev[k]
    upleft = lambda k: prev[k - 4] if k >= 4 else 0
    n = range(len(row))
    options = [
        bytes([0]) + bytes(row),
        bytes([1]) + bytes((row[k] - left(k)) & 255 for k in n),
        bytes([2]) + bytes((row[k] - up(k)) & 255 for k in n),
        bytes([4]) + bytes((row[k] - paeth(left(k), up(k), upleft(k))) & 255 for k in n),
    ]
    return min(options, key=lambda f: sum(v if v < 128 else 256 - v for v in f[1:]))


def png(rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))

    size = len(rows)
    prev = bytes(size * 4)
    raw = b""
    for row in rows:
        raw += filtered(row, prev)
        prev = row
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(images):
    """An icon file: its directory, then the images; 256 is written as 0."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = len(out) + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32,
                           len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    images = [(size, png(draw(size))) for size in SIZES]
    with open(os.path.join(here, "wincue.ico"), "wb") as f:
        f.write(ico(images))
    if len(sys.argv) == 3 and sys.argv[1] == "--png":
        for size, data in images:
            with open(os.path.join(sys.argv[2], "wincue-%d.png" % size), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
