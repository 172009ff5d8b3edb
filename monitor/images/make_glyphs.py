#!/usr/bin/env python3
"""Writes the 16 x 16 button pictures of the main window as PNG files into this folder.

Each picture is drawn from a character map: '.' is transparent, every other character a colour
of PALETTE. Run it again after changing a map; the PNGs are committed.
"""
import os
import struct
import zlib

PALETTE = {
    "g": (0, 128, 0, 255),      # green
    "G": (64, 192, 64, 255),    # light green
    "r": (192, 0, 0, 255),      # red
    "R": (240, 80, 80, 255),    # light red
    "b": (0, 64, 160, 255),     # blue
    "B": (96, 144, 224, 255),   # light blue
    "k": (32, 32, 32, 255),     # near black
    "w": (255, 255, 255, 255),  # white
    "y": (200, 160, 0, 255),    # brass
    "s": (128, 128, 128, 255),  # grey
}

GLYPHS = {
    "start": [
        "................",
        "...g............",
        "...ggg..........",
        "...gGggg........",
        "...gGGgggg......",
        "...gGGGGgggg....",
        "...gGGGGGGgggg..",
        "...gGGGGGGGGggg.",
        "...gGGGGGGGGggg.",
        "...gGGGGGGgggg..",
        "...gGGGGgggg....",
        "...gGGgggg......",
        "...gGggg........",
        "...ggg..........",
        "...g............",
        "................",
    ],
    "stop": [
        "................",
        "................",
        "..rrrrrrrrrrrr..",
        "..rRRRRRRRRRRr..",
        "..rRRRRRRRRRRr..",
        "..rRRRRRRRRRRr..",
        "..rRRRRRRRRRRr..",
        "..rRRRRRRRRRRr..",
        "..rRRRRRRRRRRr..",
        "..rRRRRRRRRRRr..",
        "..rRRRRRRRRRRr..",
        "..rRRRRRRRRRRr..",
        "..rRRRRRRRRRRr..",
        "..rrrrrrrrrrrr..",
        "................",
        "................",
    ],
    "exit": [
        "................",
        "..ssssssssss....",
        "..s........s....",
        "..s.yyyyyy.s....",
        "..s.yyyyyy.s....",
        "..s.yyyyyy.s.r..",
        "..s.yyyyyy.s.rr.",
        "..s.yyyykyrrrrrr",
        "..s.yyyyyy.s.rr.",
        "..s.yyyyyy.s.r..",
        "..s.yyyyyy.s....",
        "..s.yyyyyy.s....",
        "..s.yyyyyy.s....",
        "..s.yyyyyy.s....",
        "..ssssssssss....",
        "................",
    ],
    "minimise": [
        "................",
        ".bbbbbbbbbbbbbb.",
        ".bBBBBBBBBBBBBb.",
        ".bbbbbbbbbbbbbb.",
        ".b............b.",
        ".b............b.",
        ".b............b.",
        ".b............b.",
        ".b............b.",
        ".b............b.",
        ".b..kkkkkk....b.",
        ".b..kkkkkk....b.",
        ".b............b.",
        ".bbbbbbbbbbbbbb.",
        "................",
        "................",
    ],
    "save": [
        "................",
        ".bbbbbbbbbbbbb..",
        ".bbwwwwwwwwwbbb.",
        ".bbwwwwwwwwwbbb.",
        ".bbwwwwwwwwwbbb.",
        ".bbwwwwwwwwwbbb.",
        ".bbbbbbbbbbbbbb.",
        ".bbbbbbbbbbbbbb.",
        ".bbbsssssssbbbb.",
        ".bbbsssssssbbbb.",
        ".bbbssbbsssbbbb.",
        ".bbbssbbsssbbbb.",
        ".bbbssbbsssbbbb.",
        ".bbbsssssssbbbb.",
        "..bbbbbbbbbbbbb.",
        "................",
    ],
    "help": [
        "................",
        ".....bbbbbb.....",
        "...bbBBBBBBbb...",
        "..bBBBwwwwBBBb..",
        "..bBBwwBBwwBBb..",
        ".bBBBBBBBwwBBBb.",
        ".bBBBBBBwwBBBBb.",
        ".bBBBBBwwBBBBBb.",
        ".bBBBBBwwBBBBBb.",
        ".bBBBBBBBBBBBBb.",
        ".bBBBBBwwBBBBBb.",
        "..bBBBBwwBBBBb..",
        "..bBBBBBBBBBBb..",
        "...bbBBBBBBbb...",
        ".....bbbbbb.....",
        "................",
    ],
    "sound": [
        "................",
        "........k.......",
        ".......kk....k..",
        "......kyk.....k.",
        ".....kyyk..k..k.",
        ".kkkkyyyk...k..k",
        ".kyyyyyyk...k..k",
        ".kyyyyyyk...k..k",
        ".kyyyyyyk...k..k",
        ".kyyyyyyk...k..k",
        ".kkkkyyyk...k..k",
        ".....kyyk..k..k.",
        "......kyk.....k.",
        ".......kk....k..",
        "........k.......",
        "................",
    ],
}


def png(rows):
    raw = b""
    for line in rows:
        assert len(line) == 16, line
        raw += b"\x00" + b"".join(bytes(PALETTE.get(c, (0, 0, 0, 0))) for c in line)
    assert len(rows) == 16

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", 16, 16, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for name, rows in GLYPHS.items():
        with open(os.path.join(here, name + ".png"), "wb") as f:
            f.write(png(rows))
