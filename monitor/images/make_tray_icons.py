#!/usr/bin/env python3
"""Writes the 32 x 32 tray icons of the main window as PNG files into this folder.

Each icon is a page with a round badge whose colour and sign tell the state: grey with a pause
sign (not watching), green with a tick (watching, all fine), red with "!" (alarm) and amber with
"?" (could not check). The colours are those of the rows. The shapes are drawn as geometry and
sampled 4 x 4 times per pixel, so the edges stay smooth when the desktop scales the icon down.
Run it again after changing a shape; the PNGs are committed.
"""
import math
import os
import struct
import zlib

SIZE = 32
SAMPLES = 4

PAGE_FILL = (252, 252, 252)
PAGE_EDGE = (96, 96, 96)
PAGE_LINES = (160, 160, 160)
WHITE = (255, 255, 255)

# The badge's centre and radius, and the sign's stroke width.
CX, CY, R = 21.5, 21.5, 9.0
STROKE = 2.8


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def in_polygon(px, py, points):
    inside = False
    for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
        if (ay > py) != (by > py) and px < ax + (py - ay) * (bx - ax) / (by - ay):
            inside = not inside
    return inside


def polyline(points, width):
    return lambda x, y: any(seg_dist(x, y, *a, *b) <= width / 2 for a, b in zip(points, points[1:]))


def disc(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) <= r


def arc(cx, cy, r, start, end, width):
    """Angles in degrees, clockwise on screen from the right; start < end."""
    def inside(x, y):
        a = math.degrees(math.atan2(y - cy, x - cx))
        for turn in (-360, 0, 360):
            if start <= a + turn <= end:
                return abs(math.hypot(x - cx, y - cy) - r) <= width / 2
        return False
    return inside


PAGE = [(3.5, 1.5), (16.5, 1.5), (23.5, 8.5), (23.5, 29.5), (3.5, 29.5)]


def page_layers():
    outline = PAGE + [PAGE[0]]
    fold = [(16.5, 1.5), (16.5, 8.5), (23.5, 8.5)]
    lines = [polyline([(7, y), (x, y)], 1.4) for y, x in ((7, 13), (11.5, 19), (16, 19), (20.5, 12))]
    return [
        (lambda x, y: in_polygon(x, y, PAGE), PAGE_FILL),
        (lambda x, y: any(l(x, y) for l in lines), PAGE_LINES),
        (polyline(outline, 1.3), PAGE_EDGE),
        (polyline(fold, 1.3), PAGE_EDGE),
    ]


def badge(colour, sign):
    return [(disc(CX, CY, R + 1.4), WHITE), (disc(CX, CY, R), colour)] + [(s, WHITE) for s in sign]


SIGNS = {
    "tray-idle": ((128, 128, 128), [
        polyline([(18.8, 17), (18.8, 26)], STROKE),
        polyline([(24.2, 17), (24.2, 26)], STROKE),
    ]),
    "tray-watching": ((0, 128, 0), [
        polyline([(16.8, 21.8), (20.3, 25.3), (26.3, 17.8)], STROKE),
    ]),
    "tray-alarm": ((255, 0, 0), [
        polyline([(CX, 15.6), (CX, 22.4)], STROKE + 0.3),
        disc(CX, 26.3, 1.75),
    ]),
    "tray-error": ((255, 128, 0), [
        arc(CX, 18.4, 3.1, -200, 95, STROKE - 0.2),
        polyline([(CX, 21.5), (CX, 22.8)], STROKE - 0.2),
        disc(CX, 26.5, 1.6),
    ]),
}


def render(layers):
    pixels = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            r = g = b = a = 0.0  # premultiplied
            counts = [0] * len(layers)
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES
                    y = py + (sy + 0.5) / SAMPLES
                    for i, (inside, _) in enumerate(layers):
                        if inside(x, y):
                            counts[i] += 1
            for (inside, colour), n in zip(layers, counts):
                cover = n / (SAMPLES * SAMPLES)
                r = colour[0] / 255 * cover + r * (1 - cover)
                g = colour[1] / 255 * cover + g * (1 - cover)
                b = colour[2] / 255 * cover + b * (1 - cover)
                a = cover + a * (1 - cover)
            if a > 0:
                row.append(tuple(round(c / a * 255) for c in (r, g, b)) + (round(a * 255),))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def png(pixels):
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for name, (colour, sign) in SIGNS.items():
        with open(os.path.join(here, name + ".png"), "wb") as f:
            f.write(png(render(page_layers() + badge(colour, sign))))
