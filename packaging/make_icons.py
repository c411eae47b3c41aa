#!/usr/bin/env python3
"""Draws the cube icon (packaging/icons/cubemill-<size>.png) in the sizes the desktop uses.

The icon is the window's cube picture (src/ui/cube_picture.cpp): a cube seen from above, its
top face grey, its left face dark red, its right face blue-grey, each cut into three by three
cells, on a transparent background. The same corners, colours and pen widths are drawn here
with plain Python (zlib and struct only), so the icons can be made again without Qt:

    python3 packaging/make_icons.py

The PNG files are kept in git beside this script; run it again only when the picture changes.
"""

import os
import struct
import zlib

SIZES = (16, 32, 48, 64, 128, 256)

# The picture's own coordinates (116 x 113 pixels), as in cube_picture.cpp.
PICTURE_WIDTH, PICTURE_HEIGHT = 116, 113
TOP, LEFT, RIGHT, FRONT = (58, 3), (5, 30), (111, 30), (58, 57)
DOWN = (0, 52)
EDGE = (24, 22, 26)
GRID = (40, 36, 42)
GRID_PEN, EDGE_PEN = 1.2, 2.2


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1])


def add(a, b):
    return (a[0] + b[0], a[1] + b[1])


def scale(a, t):
    return (a[0] * t, a[1] * t)


class Face:
    """One parallelogram face: origin, spanning vectors u and v, gradient from light to dark."""

    def __init__(self, origin, u, v, light, dark):
        self.origin, self.u, self.v = origin, u, v
        self.light, self.dark = light, dark
        self.corners = [origin, add(origin, u), add(add(origin, u), v), add(origin, v)]
        self.gradient = add(u, v)
        self.gradient_length2 = self.gradient[0] ** 2 + self.gradient[1] ** 2
        det = u[0] * v[1] - u[1] * v[0]
        self.inverse = (v[1] / det, -v[0] / det, -u[1] / det, u[0] / det)
        self.grid = []
        for i in (1, 2):
            t = i / 3.0
            self.grid.append((add(origin, scale(u, t)), add(add(origin, scale(u, t)), v)))
            self.grid.append((add(origin, scale(v, t)), add(add(origin, scale(v, t)), u)))
        self.edges = [(self.corners[i], self.corners[(i + 1) % 4]) for i in range(4)]
        xs = [c[0] for c in self.corners]
        ys = [c[1] for c in self.corners]
        pad = EDGE_PEN
        self.box = (min(xs) - pad, min(ys) - pad, max(xs) + pad, max(ys) + pad)

    def inside(self, p):
        d = sub(p, self.origin)
        a = self.inverse[0] * d[0] + self.inverse[1] * d[1]
        b = self.inverse[2] * d[0] + self.inverse[3] * d[1]
        return 0.0 <= a <= 1.0 and 0.0 <= b <= 1.0

    def fill(self, p):
        d = sub(p, self.origin)
        t = (d[0] * self.gradient[0] + d[1] * self.gradient[1]) / self.gradient_length2
        t = min(1.0, max(0.0, t))
        return tuple(l + (k - l) * t for l, k in zip(self.light, self.dark))


def distance_to_segment(p, a, b):
    ab, ap = sub(b, a), sub(p, a)
    t = (ap[0] * ab[0] + ap[1] * ab[1]) / (ab[0] ** 2 + ab[1] ** 2)
    t = min(1.0, max(0.0, t))
    q = add(a, scale(ab, t))
    return ((p[0] - q[0]) ** 2 + (p[1] - q[1]) ** 2) ** 0.5


# Painted in this order, each face over the ones before, as CubeImage() paints them.
FACES = [
    Face(LEFT, sub(TOP, LEFT), sub(FRONT, LEFT), (196, 196, 200), (128, 128, 134)),
    Face(LEFT, sub(FRONT, LEFT), DOWN, (150, 30, 34), (84, 12, 16)),
    Face(FRONT, sub(RIGHT, FRONT), DOWN, (112, 128, 148), (58, 68, 84)),
]


def colour_at(p, pen_scale):
    """The colour painted at picture point p, or None where the picture is transparent."""
    colour = None
    for face in FACES:
        x0, y0, x1, y1 = face.box
        if not (x0 <= p[0] <= x1 and y0 <= p[1] <= y1):
            continue
        if face.inside(p):
            colour = face.fill(p)
            if any(distance_to_segment(p, a, b) <= GRID_PEN * pen_scale / 2
                   for a, b in face.grid):
                colour = GRID
        if any(distance_to_segment(p, a, b) <= EDGE_PEN * pen_scale / 2 for a, b in face.edges):
            colour = EDGE
    return colour


def render(size):
    """RGBA rows of the icon at size x size pixels, antialiased by supersampling."""
    samples = 4 if size <= 64 else 3
    # The picture fills the square with a small margin; small icons get relatively wider pens
    # so that the grid stays visible.
    margin = max(1.0, size / 32)
    unit = (size - 2 * margin) / max(PICTURE_WIDTH, PICTURE_HEIGHT)
    pen_scale = max(1.0, 1.0 / (unit * 1.6))
    offset_x = margin + (size - 2 * margin - PICTURE_WIDTH * unit) / 2
    offset_y = margin + (size - 2 * margin - PICTURE_HEIGHT * unit) / 2
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            r = g = b = a = 0.0
            for sy in range(samples):
                for sx in range(samples):
                    px = (x + (sx + 0.5) / samples - offset_x) / unit
                    py = (y + (sy + 0.5) / samples - offset_y) / unit
                    c = colour_at((px, py), pen_scale)
                    if c is not None:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            if a:
                row += bytes((round(r / a), round(g / a), round(b / a),
                              round(255 * a / samples ** 2)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(folder, exist_ok=True)
    for size in SIZES:
        path = os.path.join(folder, "cubemill-%d.png" % size)
        with open(path, "wb") as out:
            out.write(png(size, render(size)))
        print(path)


if __name__ == "__main__":
    main()
