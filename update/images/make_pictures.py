#!/usr/bin/env python3
"""Draws the pictures of the self-update windows into this folder:

  wizard.bmp    the progress window's side picture, 118 x 218, 16 colours (4 bits a pixel)
  upgrade.png   the question window's icon, 32 x 32
  password.png  the password window's icon, 32 x 32

Everything is drawn from shapes here, with no image library. Run it again after a change; the
files are committed.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# --- the side picture: a page being watched, a new version coming down onto it ---

PALETTE = [
    (16, 32, 80),     # 0 night blue
    (24, 56, 120),    # 1
    (40, 88, 160),    # 2
    (72, 128, 192),   # 3
    (120, 168, 216),  # 4
    (176, 208, 236),  # 5 pale sky
    (255, 255, 255),  # 6 white
    (200, 204, 212),  # 7 light grey
    (128, 132, 144),  # 8 grey
    (64, 68, 80),     # 9 dark grey
    (24, 120, 48),    # 10 green
    (88, 184, 96),    # 11 light green
    (232, 176, 40),   # 12 amber
    (248, 224, 120),  # 13 pale amber
    (176, 40, 40),    # 14 red
    (0, 0, 0),        # 15 black
]

W, H = 118, 218
BAYER = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def sky(x, y):
    """A dithered gradient from night blue at the top to pale sky at the bottom."""
    t = y / (H - 1) * 5.0  # shades 0..5
    low = int(t)
    frac = t - low
    if low >= 5:
        return 5
    return low + (1 if frac * 16 > BAYER[y % 4][x % 4] + 0.5 else 0)


def inside_polygon(px, py, pts):
    inside = False
    j = len(pts) - 1
    for i in range(len(pts)):
        xi, yi = pts[i]
        xj, yj = pts[j]
        if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def draw_wizard():
    img = [[sky(x, y) for x in range(W)] for y in range(H)]

    def put(x, y, c):
        if 0 <= x < W and 0 <= y < H:
            img[y][x] = c

    def rect(x0, y0, x1, y1, c):
        for y in range(y0, y1):
            for x in range(x0, x1):
                put(x, y, c)

    def disc(cx, cy, r, c):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    put(x, y, c)

    def polygon(pts, c):
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            for x in range(int(min(xs)), int(max(xs)) + 1):
                if inside_polygon(x + 0.5, y + 0.5, pts):
                    put(x, y, c)

    # A few stars in the dark top.
    for sx, sy in [(12, 9), (31, 22), (54, 6), (77, 17), (101, 8), (92, 33), (18, 40), (63, 29)]:
        put(sx, sy, 6)
    for sx, sy in [(44, 15), (86, 44), (7, 26), (110, 23)]:
        put(sx, sy, 7)

    # The new version: a green arrow coming down.
    polygon([(50, 38), (68, 38), (68, 66), (80, 66), (59, 88), (38, 66), (50, 66)], 10)
    polygon([(53, 41), (65, 41), (65, 69), (73, 69), (59, 84), (45, 69), (53, 69)], 11)

    # The page it lands on, with a folded corner and its lines of text.
    rect(27, 98, 89, 172, 9)                       # shadow edge
    rect(25, 96, 87, 170, 6)                       # the sheet
    polygon([(75, 96), (87, 108), (75, 108)], 7)   # the fold
    polygon([(75, 96), (87, 96), (87, 108)], sky(80, 100))
    for i, width in enumerate([40, 46, 30, 44, 38, 46, 26]):
        rect(32, 112 + 8 * i, 32 + width, 115 + 8 * i, 8 if i % 3 else 2)

    # The watcher's lens over the page.
    disc(71, 150, 15, 9)
    disc(71, 150, 12, 5)
    disc(66, 145, 4, 6)
    polygon([(80, 161), (84, 157), (100, 174), (96, 178)], 9)
    polygon([(82, 161), (84, 159), (98, 174), (96, 176)], 12)

    # Ground line and the amber glow of "done".
    rect(0, 186, W, 188, 8)
    for x in range(8, W - 8, 6):
        rect(x, 194, x + 3, 197, 12 if (x // 6) % 2 else 13)
    rect(0, 206, W, 218, 1)
    rect(0, 206, W, 207, 3)
    return img


def write_bmp4(path, img):
    """A 4-bit BMP: file header, info header, 16 palette entries, bottom-up rows."""
    h = len(img)
    w = len(img[0])
    row_bytes = ((w + 1) // 2 + 3) // 4 * 4
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(0, w, 2):
            hi = img[y][x]
            lo = img[y][x + 1] if x + 1 < w else 0
            row.append(hi << 4 | lo)
        row.extend(b"\0" * (row_bytes - len(row)))
        pixels.extend(row)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(pixels), 2835, 2835, 16, 16)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


# --- the 32 x 32 icons, drawn at 4 x and averaged for smooth edges ---

S = 4


def blank(size=32):
    return [[(0, 0, 0, 0) for _ in range(size * S)] for _ in range(size * S)]


def over(dst, c):
    """c over dst, both (r, g, b, a) with a in 0..255."""
    a = c[3] / 255.0
    da = dst[3] / 255.0
    oa = a + da * (1 - a)
    if oa == 0:
        return (0, 0, 0, 0)
    mix = lambda i: (c[i] * a + dst[i] * da * (1 - a)) / oa
    return (mix(0), mix(1), mix(2), oa * 255)


def fill(canvas, inside, colour):
    n = len(canvas)
    for y in range(n):
        for x in range(n):
            if inside((x + 0.5) / S, (y + 0.5) / S):
                canvas[y][x] = over(canvas[y][x], colour)


def downsample(canvas):
    n = len(canvas) // S
    out = []
    for y in range(n):
        row = []
        for x in range(n):
            acc = [0.0, 0.0, 0.0, 0.0]
            for dy in range(S):
                for dx in range(S):
                    r, g, b, a = canvas[y * S + dy][x * S + dx]
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3] / (S * S)
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(acc[i] / acc[3])) for i in range(3)) + (int(round(a)),))
        out.append(row)
    return out


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r0, r1):
    return lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1


def poly(pts):
    return lambda x, y: inside_polygon(x, y, pts)


def box(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def draw_upgrade():
    c = blank()
    fill(c, circle(16.6, 16.8, 14.6), (0, 0, 0, 70))           # shadow
    fill(c, circle(16, 16, 14.5), (22, 110, 44, 255))         # rim
    fill(c, circle(16, 16, 13), (70, 170, 80, 255))           # face
    fill(c, circle(13, 12, 8), (120, 205, 120, 110))          # sheen
    arrow = [(12.5, 6), (19.5, 6), (19.5, 15), (24, 15), (16, 24.5), (8, 15), (12.5, 15)]
    fill(c, poly(arrow), (255, 255, 255, 255))
    fill(c, box(9, 24.5, 23, 26.5), (255, 255, 255, 255))      # the line it lands on
    return downsample(c)


def draw_password():
    c = blank()
    gold, dark, light = (214, 160, 32, 255), (140, 96, 16, 255), (250, 222, 130, 255)
    fill(c, circle(9.6, 16.6, 8.2), (0, 0, 0, 60))                 # shadow
    # The bow, with its hole punched through.
    fill(c, circle(9, 16, 8), dark)
    fill(c, circle(9, 16, 6.6), gold)
    fill(c, circle(7.5, 14, 3.5), (250, 222, 130, 150))
    hole = circle(7, 16, 2.2)
    n = len(c)
    for y in range(n):
        for x in range(n):
            if hole((x + 0.5) / S, (y + 0.5) / S):
                c[y][x] = (0, 0, 0, 0)
    fill(c, ring(7, 16, 2.2, 2.9), dark)
    # The shaft to the right and the two teeth of its bit.
    fill(c, box(16, 14, 31, 18.5), dark)
    fill(c, box(16, 15, 30, 17.5), gold)
    fill(c, box(16, 15, 30, 15.8), light)
    fill(c, box(22, 18, 25, 23), dark)
    fill(c, box(22.8, 18, 24.2, 22.2), gold)
    fill(c, box(27, 18, 31, 25), dark)
    fill(c, box(27.8, 18, 30.2, 24.2), gold)
    return downsample(c)


def write_png(path, pixels):
    h = len(pixels)
    w = len(pixels[0])
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9))
                + chunk(b"IEND", b""))


if __name__ == "__main__":
    write_bmp4(os.path.join(HERE, "wizard.bmp"), draw_wizard())
    write_png(os.path.join(HERE, "upgrade.png"), draw_upgrade())
    write_png(os.path.join(HERE, "password.png"), draw_password())
