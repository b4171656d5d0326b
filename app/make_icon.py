#!/usr/bin/env python3
"""Draws the program icon and writes app/Velmora.ico.

The icon is a five-pin MIDI socket on a dark blue disc with a green lamp in
its centre. The 32 x 32 image uses the 16 standard colours (the image the
version dialog shows); 16 x 16 and 48 x 48 are true colour with alpha, and
256 x 256 is stored as PNG for the taskbar and the file browser.
Run it again after changing the drawing: python3 app/make_icon.py
"""
import math
import os
import struct
import zlib

PALETTE16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

NAVY = (24, 40, 120)
RING = (192, 192, 192)
RIM = (64, 64, 64)
PIN = (255, 255, 255)
LAMP = (0, 230, 0)


def shape_at(x, y):
    """Colour and coverage (0..1) of the unit-square icon at point (x, y)."""
    cx, cy = 0.5, 0.5
    r = math.hypot(x - cx, y - cy)
    if r > 0.48:
        return None
    if r > 0.445:
        return RIM
    if r > 0.39:
        return RING
    # the key notch at the top of the socket
    if abs(x - cx) < 0.05 and y < cy - 0.30:
        return RING
    # five pins on the half circle below the centre line, 45 degrees apart
    for k in range(5):
        angle = math.radians(45 * k)
        px = cx + 0.24 * math.cos(angle)
        py = cy + 0.04 + 0.24 * math.sin(angle)
        if math.hypot(x - px, y - py) < 0.055:
            return PIN
    if math.hypot(x - cx, y - cy + 0.02) < 0.09:
        return LAMP
    return NAVY


def render(size, samples):
    """RGBA rows, top to bottom, with supersampled coverage."""
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sj in range(samples):
                for si in range(samples):
                    c = shape_at((i + (si + 0.5) / samples) / size, (j + (sj + 0.5) / samples) / size)
                    if c is not None:
                        hits += 1
                        for n in range(3):
                            acc[n] += c[n]
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(a // hits for a in acc) + (255 * hits // (samples * samples),))
        rows.append(row)
    return rows


def nearest16(rgb):
    return min(range(16), key=lambda k: sum((rgb[n] - PALETTE16[k][n]) ** 2 for n in range(3)))


def and_mask(rows, size, opaque):
    stride = ((size + 31) // 32) * 4
    data = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for i, px in enumerate(row):
            if not opaque(px):
                bits[i // 8] |= 0x80 >> (i % 8)
        data += bytes(bits)
    return data


def bmp_16_colours(size):
    rows = render(size, 1)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in PALETTE16)
    stride = ((size * 4 + 31) // 32) * 4
    pixels = b""
    for row in reversed(rows):
        line = bytearray(stride)
        for i, px in enumerate(row):
            index = nearest16(px[:3]) if px[3] >= 128 else 0
            line[i // 2] |= index << (4 if i % 2 == 0 else 0)
        pixels += bytes(line)
    return header + palette + pixels + and_mask(rows, size, lambda px: px[3] >= 128)


def bmp_true_colour(size):
    rows = render(size, 4)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(struct.pack("BBBB", px[2], px[1], px[0], px[3]) for row in reversed(rows) for px in row)
    return header + pixels + and_mask(rows, size, lambda px: px[3] > 0)


def png(size):
    rows = render(size, 3)
    raw = b"".join(b"\x00" + b"".join(struct.pack("BBBB", *px) for px in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    images = [(16, 32, bmp_true_colour(16)), (32, 4, bmp_16_colours(32)),
              (48, 32, bmp_true_colour(48)), (256, 32, png(256))]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    body = b""
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
        body += data
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), "Velmora.ico")
    with open(target, "wb") as f:
        f.write(directory + body)
    print(target, offset, "bytes")


if __name__ == "__main__":
    main()
