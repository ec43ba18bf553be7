#!/usr/bin/env python3
"""Writes the settings windows' pictures as PNG data into a C++ source:
pictures.py <output.cpp>. Every picture is drawn here from plain shapes;
the labels on them are drawn by the windows at run time. The order of
PICTURES is the order of the enum Picture in pictures.hpp."""
import math
import struct
import sys
import zlib

BACK = (30, 34, 46)
COLUMN = (20, 23, 32)
ACCENT = (46, 170, 220)
RED = (214, 64, 64)
GREEN = (56, 188, 96)


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def clamp01(v):
    return 0.0 if v < 0 else 1.0 if v > 1 else v


def rounded(x, y, left, top, right, bottom, radius):
    """Coverage (0..1) of a rounded rectangle at the pixel centre."""
    cx = min(max(x + 0.5, left + radius), right - radius)
    cy = min(max(y + 0.5, top + radius), bottom - radius)
    return clamp01(radius + 0.5 - math.hypot(x + 0.5 - cx, y + 0.5 - cy))


def background(x, y):
    if x < 123:
        c = COLUMN
        # The logo: a ring with a bar through it, above the buttons.
        d = math.hypot(x + 0.5 - 61, y + 0.5 - 62)
        ring = clamp01(1 - abs(d - 30) / 4.5)
        bar = rounded(x, y, 44, 58, 78, 66, 3) if d < 30 else 0
        c = mix(c, ACCENT, max(ring, bar))
        if x >= 121:
            c = mix(c, ACCENT, 0.35)
        return c + (255,)
    shade = y / 500 * 0.15
    return mix(BACK, COLUMN, shade) + (255,)


def nav(lit, colour):
    def draw(x, y):
        c = COLUMN
        if lit:
            c = mix(COLUMN, colour, 0.18 + 0.08 * (1 - y / 50))
            if x < 5:
                c = colour
        elif y == 49:
            c = mix(COLUMN, BACK, 0.8)
        if x >= 120:  # the column's right border (the button stands at x 1)
            c = mix(COLUMN, ACCENT, 0.35)
        return c + (255,)
    return draw


def badge(colour):
    def draw(x, y):
        d = math.hypot(x + 0.5 - 7.5, y + 0.5 - 7.5)
        a = clamp01(7.2 - d)
        glow = clamp01(1 - math.hypot(x + 0.5 - 5.5, y + 0.5 - 5) / 4)
        c = mix(colour, (255, 255, 255), glow * 0.45)
        return c + (int(a * 255),)
    return draw


def pill(colour, w, h, border=None):
    def draw(x, y):
        a = rounded(x, y, 0, 0, w, h, h / 2 - 0.5)
        inner = rounded(x, y, 1, 1, w - 1, h - 1, h / 2 - 1.5)
        c = mix(colour, (0, 0, 0), 0.12 * y / h)
        if border is not None:
            c = mix(border, c, inner)
        return c + (int(a * 255),)
    return draw


def hint(x, y):
    a = rounded(x, y, 0, 0, 200, 35, 5)
    inner = rounded(x, y, 1, 1, 199, 34, 4)
    c = mix((236, 196, 84), (58, 52, 38), inner)
    return c + (int(a * 255),)


def overlay(x, y):
    d = math.hypot(x + 0.5 - 50, y + 0.5 - 50)
    if d < 46:
        return (0, 0, 0, 0)
    ring = clamp01(1 - abs(d - 47.5) / 2.2)
    card = mix(BACK, (255, 255, 255), 0.03)
    c = mix(card, ACCENT, ring)
    outside = clamp01(d - 46)
    return c + (int(255 * max(outside, ring)),)


def page(x, y):
    c = mix(BACK, COLUMN, 0.25)
    card = rounded(x, y, 3, 3, 623, 465, 8)
    edge = card - rounded(x, y, 4, 4, 622, 464, 7)
    c = mix(c, mix(BACK, (255, 255, 255), 0.03), card)
    c = mix(c, mix(BACK, ACCENT, 0.35), clamp01(edge))
    return c + (255,)


def link(pressed):
    def draw(x, y):
        c = mix(BACK, ACCENT, 0.35 if pressed else 0.18)
        if y == 23:
            c = ACCENT
        return c + (255,)
    return draw


def strip(x, y):
    c = mix(COLUMN, (0, 0, 0), 0.2)
    if y == 39:
        c = mix(BACK, ACCENT, 0.5)
    return c + (255,)


def panel(x, y):
    c = mix(COLUMN, (0, 0, 0), 0.2)
    edge = rounded(x, y, 0, 0, 626, 171, 6) - rounded(x, y, 1, 1, 625, 170, 5)
    c = mix(c, mix(BACK, ACCENT, 0.4), clamp01(edge))
    return c + (int(255 * rounded(x, y, 0, 0, 626, 171, 6)),)


def magnifier(x, y):
    d = math.hypot(x + 0.5 - 12.5, y + 0.5 - 12.5)
    ring = clamp01(1 - abs(d - 7.5) / 1.6)
    on_handle = 17 <= x <= 26 and 17 <= y <= 26 and abs((x - y)) <= 1.5
    a = max(ring, 1.0 if on_handle else 0.0)
    return (240, 196, 64, int(a * 255))


def action(colour):
    def draw(x, y):
        a = rounded(x, y, 0, 0, 87, 30, 5)
        c = mix(BACK, COLUMN, 0.2)
        sign = clamp01(5.5 - math.hypot(x + 0.5 - 14, y + 0.5 - 15))
        c = mix(c, colour, sign)
        if x < 3:
            c = mix(c, colour, 0.6)
        return c + (int(a * 255),)
    return draw


def chooser(x, y):
    c = mix(BACK, COLUMN, 0.4)
    # A large dim logo behind, and a small bright one by the title.
    for cx, cy, r, strength in ((100, 150, 70, 0.12), (36, 22, 11, 1.0)):
        d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
        ring = clamp01(1 - abs(d - r) / (r / 7))
        bar = rounded(x, y, cx - r * 0.55, cy - r * 0.13, cx + r * 0.55, cy + r * 0.13, r * 0.1) if d < r else 0
        c = mix(c, ACCENT, strength * max(ring, bar))
    edge = 1 - rounded(x, y, 1, 1, 199, 279, 4)
    return mix(c, ACCENT, 0.5 * edge) + (255,)


PICTURES = [  # name, width, height, painter
    ("Background", 800, 500, background),
    ("NavPlain", 122, 50, nav(False, ACCENT)),
    ("NavLit", 122, 50, nav(True, ACCENT)),
    ("ExitLit", 122, 50, nav(True, RED)),
    ("ExitPressed", 122, 50, nav(True, mix(RED, (0, 0, 0), 0.3))),
    ("SwitchOnPicture", 15, 15, badge(GREEN)),
    ("SwitchOffPicture", 15, 15, badge(RED)),
    ("PicButtonOnPicture", 70, 20, pill(GREEN, 70, 20)),
    ("PicButtonOffPicture", 70, 20, pill(RED, 70, 20)),
    ("ToggleNormal", 44, 20, pill(mix(BACK, ACCENT, 0.45), 44, 20, ACCENT)),
    ("TogglePressed", 44, 20, pill(ACCENT, 44, 20, ACCENT)),
    ("OwnerHint", 200, 35, hint),
    ("AvatarOverlayPicture", 100, 100, overlay),
    ("Page", 626, 468, page),
    ("ForumNormal", 170, 24, link(False)),
    ("ForumPressed", 170, 24, link(True)),
    ("LibraryHeader", 635, 40, strip),
    ("LibraryPanel", 626, 171, panel),
    ("SearchButton", 30, 30, magnifier),
    ("ActionDelete", 87, 30, action((232, 168, 48))),
    ("ActionEraser", 87, 30, action((150, 160, 180))),
    ("ActionInsert", 87, 30, action(GREEN)),
    ("ActionSave", 87, 30, action((150, 96, 220))),
    ("ChooserBackground", 200, 280, chooser),
]


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(width, height, paint):
    rows = []
    for y in range(height):
        row = bytearray(b"\x00")
        for x in range(width):
            row.extend(paint(x, y))
        rows.append(bytes(row))
    head = chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    return b"\x89PNG\r\n\x1a\n" + head + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")


def main():
    out = ["// Generated by ui/pictures.py; do not edit.", '#include "ui/pictures.hpp"', "",
           "namespace zoq::ui {", "namespace {", ""]
    for name, w, h, paint in PICTURES:
        data = png(w, h, paint)
        out.append("const unsigned char k%s[%d] = {" % (name, len(data)))
        for i in range(0, len(data), 20):
            out.append("    " + ", ".join("0x%02X" % b for b in data[i:i + 20]) + ",")
        out.append("};")
    out += ["", "}  // namespace", "",
            "static_assert(static_cast<int>(Picture::Count) == %d);" % len(PICTURES), "",
            "std::string_view PictureData(Picture picture) {",
            "  switch (picture) {"]
    for name, _, _, _ in PICTURES:
        out.append("    case Picture::%s: return {reinterpret_cast<const char*>(k%s), sizeof k%s};" % (name, name, name))
    out += ["    default: return {};", "  }", "}", "", "}  // namespace zoq::ui", ""]
    with open(sys.argv[1], "w", encoding="utf-8") as f:
        f.write("\n".join(out))


main()
