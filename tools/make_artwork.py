#!/usr/bin/env python3
"""Draws Brimloft's icons and About-box bitmaps, so that no opaque image files live in the
repository. Usage: make_artwork.py OUTPUT_DIR. Same bytes on every run."""
import math
import struct
import sys
import zlib
from pathlib import Path

TEAL_DEEP = (11, 79, 92)
TEAL_BRIGHT = (25, 194, 214)
AMBER_DEEP = (140, 70, 10)
AMBER_BRIGHT = (250, 185, 60)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def in_monogram(x, y):
    """A bold 'B' in a unit box centred on the origin (y down), built from a stem and two bowls."""
    stem_left, stem_right, top, bottom, middle = -0.30, -0.12, -0.42, 0.42, 0.0
    if stem_left <= x <= stem_right and top <= y <= bottom:
        return True
    t = 0.15  # stroke thickness of the bowls
    for y0, y1, r_out in ((top, middle + t / 2, 0.23), (middle - t / 2, bottom, 0.26)):
        cy = (y0 + y1) / 2
        r_out = (y1 - y0) / 2
        cx = 0.28 - r_out
        if stem_right - 0.01 <= x <= cx and (y0 <= y <= y0 + t or y1 - t <= y <= y1):
            return True
        if x >= cx:
            d = math.hypot(x - cx, y - cy)
            if r_out - t <= d <= r_out:
                return True
    return False


def badge(x, y, deep, bright):
    """Straight RGBA of the badge at unit coordinates (-1..1), or None outside it."""
    r = math.hypot(x, y)
    if r > 1.0:
        return None
    if r > 0.86:  # translucent outer ring
        return mix(bright, (255, 255, 255), 0.35) + (128,)
    if in_monogram(x / 0.86, y / 0.86):
        return mix((255, 255, 255), (200, 240, 246), (y + 0.5)) + (255,)
    # radial gradient with the light source up and to the left
    t = math.hypot(x + 0.35, y + 0.35) / 1.2
    return mix(bright, deep, t) + (255,)


def render(width, height, shader, samples=4):
    """Supersampled straight RGBA rows, top row first."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    u = (px + (sx + 0.5) / samples) / width
                    v = (py + (sy + 0.5) / samples) / height
                    c = shader(u, v)
                    if c is None:
                        continue
                    a = c[3] / 255.0
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if alpha <= 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(acc[i] / acc[3])) for i in range(3)) +
                           (int(round(alpha * 255)),))
        rows.append(row)
    return rows


def png_bytes(rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def icon_dib(rows):
    """32-bit icon image: BITMAPINFOHEADER with doubled height, bottom-up BGRA, then the AND mask."""
    height, width = len(rows), len(rows[0])
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def write_ico(path, deep, bright):
    sizes = [16, 24, 32, 48, 64, 128, 256]
    images = []
    for s in sizes:
        rows = render(s, s, lambda u, v: badge(u * 2 - 1, v * 2 - 1, deep, bright),
                      samples=8 if s <= 32 else 4)
        images.append(png_bytes(rows) if s == 256 else icon_dib(rows))
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    path.write_bytes(out + b"".join(images))


def write_bmp(path, rows, background):
    """24-bit bottom-up BMP with the image composed over a background colour."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for p in row:
            a = p[3] / 255.0
            c = [int(round(p[i] * a + background[i] * (1 - a))) for i in range(3)]
            line += bytes((c[2], c[1], c[0]))
        body += line + bytes(stride - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    path.write_bytes(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(body), 0, 0, 54) + header + body)


def maker_logo(u, v):
    """A wordless mark: a teal bar with three rising brims, light on the dialog's grey."""
    x, y = u * 100, v * 26
    if 2 <= y <= 24 and 1 <= x <= 99:
        for i in range(3):
            cx = 14 + i * 10
            if math.hypot(x - cx, y - 13) <= 4 + i * 1.2:
                return mix(TEAL_BRIGHT, (255, 255, 255), 0.2 * i) + (255,)
        if 45 <= x <= 97 and (7 <= y <= 10 or 15 <= y <= 18):
            return mix(TEAL_DEEP, TEAL_BRIGHT, (x - 45) / 52) + (255,)
    return None


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    write_ico(out / "icon_main.ico", TEAL_DEEP, TEAL_BRIGHT)
    write_ico(out / "icon_document.ico", AMBER_DEEP, AMBER_BRIGHT)
    grey = (240, 240, 240)
    write_bmp(out / "bitmap_product.bmp",
              render(80, 75, lambda u, v: badge((u * 80 - 40) / 36, (v * 75 - 37.5) / 36,
                                                TEAL_DEEP, TEAL_BRIGHT)), grey)
    write_bmp(out / "bitmap_maker.bmp", render(100, 26, maker_logo), grey)


if __name__ == "__main__":
    main()
