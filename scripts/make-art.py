#!/usr/bin/env python3
"""Draws the setup's icon and the main menu's button pictures (original art).

Run once after changing the drawing; the results are committed under src/ui/res.
Only the standard library is used, so any machine can redraw them.
"""
import os
import struct
import sys

W, H = 40, 38


def canvas(w, h, colour):
    return [[colour for _ in range(w)] for _ in range(h)]


def rect(px, x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(len(px), y1)):
        for x in range(max(0, x0), min(len(px[0]), x1)):
            px[y][x] = colour


def frame(px, x0, y0, x1, y1, colour):
    rect(px, x0, y0, x1, y0 + 1, colour)
    rect(px, x0, y1 - 1, x1, y1, colour)
    rect(px, x0, y0, x0 + 1, y1, colour)
    rect(px, x1 - 1, y0, x1, y1, colour)


def prompter(px, dx, dy, screen, glass):
    """A prompter hood: a monitor whose text lines scroll upwards."""
    rect(px, 5 + dx, 4 + dy, 35 + dx, 26 + dy, (40, 40, 48))
    rect(px, 7 + dx, 6 + dy, 33 + dx, 24 + dy, screen)
    for i, width in enumerate((20, 16, 22, 12)):
        rect(px, 9 + dx, 8 + dy + 4 * i, 9 + dx + width, 10 + dy + 4 * i, glass)
    rect(px, 17 + dx, 26 + dy, 23 + dx, 30 + dy, (40, 40, 48))
    rect(px, 11 + dx, 30 + dy, 29 + dx, 32 + dy, (40, 40, 48))


def arrow_down(px, dx, dy, colour):
    for i in range(7):
        rect(px, 27 - i + dx, 22 + i + dy, 28 + i + dx, 23 + i + dy, colour)
    rect(px, 25 + dx, 14 + dy, 30 + dx, 22 + dy, colour)


def cross(px, dx, dy, colour):
    for i in range(11):
        rect(px, 22 + i + dx, 18 + i + dy, 25 + i + dx, 20 + i + dy, colour)
        rect(px, 32 - i + dx, 18 + i + dy, 35 - i + dx, 20 + i + dy, colour)


def button(kind, state):
    face = (192, 192, 192)
    px = canvas(W, H, face)
    d = 1 if state == "pressed" else 0
    prompter(px, d, d, (20, 60, 120) if state != "pressed" else (15, 45, 95), (235, 235, 210))
    if kind == "install":
        arrow_down(px, d, d, (30, 150, 60))
    else:
        cross(px, d, d, (200, 30, 30))
    # a raised bevel, sunk when pressed
    light, dark = ((255, 255, 255), (64, 64, 64))
    if state == "pressed":
        light, dark = dark, light
    rect(px, 0, 0, W, 1, light)
    rect(px, 0, 0, 1, H, light)
    rect(px, 0, H - 1, W, H, dark)
    rect(px, W - 1, 0, W, H, dark)
    if state == "disabled":
        for row in px:
            for x, (r, g, b) in enumerate(row):
                grey = (r * 3 + g * 6 + b) // 10
                row[x] = ((grey + 192 * 2) // 3,) * 3
    return px


def bmp24(px):
    h, w = len(px), len(px[0])
    stride = (w * 3 + 3) & ~3
    data = b""
    for row in reversed(px):
        line = b"".join(struct.pack("BBB", b, g, r) for (r, g, b) in row)
        data += line + b"\0" * (stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def icon_image(size):
    px = canvas(size, size, None)
    s = size / 40.0
    full = canvas(40, 40, None)
    prompter(full, 0, 3, (20, 60, 120), (235, 235, 210))
    arrow_down(full, 2, 3, (30, 150, 60))
    for y in range(size):
        for x in range(size):
            px[y][x] = full[int(y / s)][int(x / s)]
    xor = b""
    for row in reversed(px):
        for c in row:
            xor += struct.pack("BBBB", c[2], c[1], c[0], 255) if c else b"\0\0\0\0"
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(px):
        bits = 0
        line = bytearray(mask_stride)
        for x, c in enumerate(row):
            if c is None:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
        del bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def ico(sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    return out + b"".join(images)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src", "ui", "res")
    os.makedirs(out, exist_ok=True)
    for kind, name in (("install", "Install"), ("uninstall", "Uninstall")):
        for state, suffix in (("normal", "Normal"), ("pressed", "Pressed"), ("disabled", "Disabled")):
            with open(os.path.join(out, name + suffix + ".bmp"), "wb") as f:
                f.write(bmp24(button(kind, state)))
    with open(os.path.join(out, "Setup.ico"), "wb") as f:
        f.write(ico([32, 16]))


if __name__ == "__main__":
    main()
