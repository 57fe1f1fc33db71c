#!/usr/bin/env python3
"""Draws Kivrel's icon (a module box under a magnifying glass) and writes it
as a Windows .ico with 32x32 and 16x16 images in 32-bit colour.

Usage: make_icon.py OUTPUT.ico
Pure Python, no imaging library: shapes are sampled 4x4 per pixel for smooth
edges and composited back to front.
"""
import math
import struct
import sys

SAMPLES = 4


def rounded_box(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def ring(cx, cy, r_in, r_out):
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        return r_in <= d <= r_out
    return inside


def disc(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) <= r


def bar(x0, y0, x1, y1, half_width):
    """A thick line segment with round ends."""
    def inside(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= half_width
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def layers(size):
    """Shapes in a 32-unit design space, back to front, with RGBA colours."""
    lines = []
    # The module: a blue box with three rows, as a list of references.
    lines.append((rounded_box(2, 3, 22, 25, 3), (0x1F, 0x5F, 0xB0, 255)))
    lines.append((rounded_box(3, 4, 21, 24, 2.2), (0x3A, 0x86, 0xD8, 255)))
    for row, width in ((8, 14), (13, 11), (18, 13)):
        lines.append((rect(6, row, 6 + width, row + 2.2 if size > 16 else row + 2.6),
                      (255, 255, 255, 235)))
    # The magnifying glass over its lower right corner.
    lines.append((bar(24.5, 24.5, 29.5, 29.5, 2.6), (0x4A, 0x32, 0x1E, 255)))
    lines.append((disc(19, 19, 8.2), (0xE8, 0xF4, 0xFF, 150)))
    lines.append((ring(19, 19, 6.6, 8.6), (0x2B, 0x2B, 0x2B, 255)))
    return lines


def render(size):
    scale = 32.0 / size
    shapes = layers(size)
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) * scale
                    y = (py + (sy + 0.5) / SAMPLES) * scale
                    r = g = b = a = 0.0
                    for inside, (cr, cg, cb, ca) in shapes:
                        if inside(x, y):
                            alpha = ca / 255.0
                            r = cr * alpha + r * (1 - alpha)
                            g = cg * alpha + g * (1 - alpha)
                            b = cb * alpha + b * (1 - alpha)
                            a = alpha + a * (1 - alpha)
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
            n = SAMPLES * SAMPLES
            a = acc[3] / n
            if a <= 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(c / n / a)) for c in acc[:3]) + (int(round(a * 255)),))
        pixels.append(row)
    return pixels


def bitmap(pixels):
    size = len(pixels)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b''.join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def main():
    images = [(size, bitmap(render(size))) for size in (32, 16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
