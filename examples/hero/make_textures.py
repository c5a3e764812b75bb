#!/usr/bin/env python3
"""Draws the hero's textures as PNG files (standard library only).

Every image is built from a few shapes given as signed distance functions, so
edges come out anti-aliased without supersampling. Each texture keeps a clear
border of a couple of pixels, which lets a renderer's bilinear filter fade the
edges out smoothly.

Run from anywhere:  python3 examples/hero/make_textures.py [OUTPUT_FOLDER]
(the folder defaults to textures/ beside this script).
"""
import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.join(HERE, "textures")

OUTLINE = (58, 40, 56)
SKIN = (250, 218, 190)
SKIN_SHADE = (236, 184, 160)
HAIR = (228, 104, 58)
HAIR_SHADE = (184, 70, 42)
HAIR_LIGHT = (248, 154, 98)
BROW = (112, 44, 36)
TUNIC = (58, 114, 186)
TUNIC_SHADE = (40, 84, 148)
TRIM = (244, 198, 72)
PANTS = (60, 62, 92)
PANTS_SHADE = (44, 46, 70)
BOOT = (116, 72, 46)
BOOT_SHADE = (84, 50, 32)
RIBBON = (238, 72, 112)
RIBBON_SHADE = (188, 44, 84)
IRIS = (58, 128, 96)
IRIS_SHADE = (36, 92, 70)
EYE_SHADE = (226, 230, 242)
GLOW = (255, 200, 90)
PUPIL = (28, 30, 40)
WHITE = (255, 255, 255)
MOUTH = (150, 48, 62)
TONGUE = (232, 112, 112)
BLUSH = (242, 122, 134)
# The second outfit (the skin "forest"): a green tunic with a leaf, khaki trousers.
FOREST = (74, 142, 86)
FOREST_SHADE = (52, 106, 64)
LEAF = (206, 226, 112)
KHAKI = (156, 128, 84)
KHAKI_SHADE = (120, 98, 62)


# ---- Signed distance functions: negative inside, in pixels ----------------

def ellipse(cx, cy, rx, ry):
    def d(x, y):
        nx, ny = (x - cx) / rx, (y - cy) / ry
        return (math.hypot(nx, ny) - 1.0) * min(rx, ry)
    return d


def rounded_rect(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def d(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return d


def polygon(points, rounding=0.0):
    pts = list(points)

    def d(x, y):
        best = float("inf")
        inside = False
        n = len(pts)
        for i in range(n):
            ax, ay = pts[i]
            bx, by = pts[(i + 1) % n]
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            best = min(best, math.hypot(wx - ex * t, wy - ey * t))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
                inside = not inside
        return (-best if inside else best) - rounding
    return d


def stroke(points, width):
    """A thick polyline with round ends."""
    pts = list(points)

    def d(x, y):
        best = float("inf")
        for (ax, ay), (bx, by) in zip(pts, pts[1:]):
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            best = min(best, math.hypot(wx - ex * t, wy - ey * t))
        return best - width / 2
    return d


def curve(p0, p1, p2, steps=12):
    """Points along a quadratic Bezier curve."""
    out = []
    for i in range(steps + 1):
        t = i / steps
        a, b, c = (1 - t) ** 2, 2 * (1 - t) * t, t * t
        out.append((a * p0[0] + b * p1[0] + c * p2[0], a * p0[1] + b * p1[1] + c * p2[1]))
    return out


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def outline_of(shape, width=2.6):
    return lambda x, y: abs(shape(x, y)) - width / 2


# ---- Canvas ----------------------------------------------------------------

class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]  # premultiplied

    def fill(self, shape, color, alpha=1.0):
        r, g, b = (c / 255.0 for c in color)
        for j in range(self.h):
            for i in range(self.w):
                d = shape(i + 0.5, j + 0.5)
                if d >= 0.5:
                    continue
                cover = min(1.0, 0.5 - d) * alpha
                p = self.px[j * self.w + i]
                keep = 1.0 - cover
                p[0] = r * cover + p[0] * keep
                p[1] = g * cover + p[1] * keep
                p[2] = b * cover + p[2] * keep
                p[3] = cover + p[3] * keep

    def shaded(self, shape, color, shade=None, shade_shape=None, outline=True):
        """A filled shape, an optional shade clipped to it, and its outline."""
        self.fill(shape, color)
        if shade is not None and shade_shape is not None:
            self.fill(intersect(shape, shade_shape), shade)
        if outline:
            self.fill(outline_of(shape), OUTLINE)

    def save(self, name, folder=OUT_DIR):
        rows = []
        for j in range(self.h):
            row = bytearray([0])
            for i in range(self.w):
                r, g, b, a = self.px[j * self.w + i]
                if a <= 0.0:
                    row += b"\0\0\0\0"
                    continue
                row += bytes(max(0, min(255, int(c / a * 255 + 0.5))) for c in (r, g, b))
                row.append(max(0, min(255, int(a * 255 + 0.5))))
            rows.append(bytes(row))
        raw = b"".join(rows)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        png = b"\x89PNG\r\n\x1a\n"
        png += chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(raw, 9))
        png += chunk(b"IEND", b"")
        with open(os.path.join(folder, name + ".png"), "wb") as f:
            f.write(png)


# ---- The textures ----------------------------------------------------------

def head():
    c = Canvas(132, 128)
    face = union(ellipse(66, 62, 57, 56), ellipse(66, 84, 44, 38))
    c.shaded(face, SKIN, SKIN_SHADE, subtract(face, ellipse(58, 56, 58, 60)))
    return c


def ear():
    c = Canvas(22, 30)
    shape = ellipse(11, 15, 8, 12)
    c.shaded(shape, SKIN, SKIN_SHADE, ellipse(13, 16, 4, 7))
    return c


def hair_back():
    c = Canvas(152, 150)
    shape = union(ellipse(76, 66, 70, 62), rounded_rect(14, 60, 138, 146, 26))
    c.shaded(shape, HAIR_SHADE)
    return c


def fringe():
    c = Canvas(140, 66)
    cap = intersect(ellipse(70, 40, 66, 37), lambda x, y: y - 46)
    spikes = [polygon([(x - 14, 40), (x + 14, 40), (x + 3, 55)]) for x in (14, 42, 70, 98, 126)]
    shape = union(cap, *spikes)
    c.shaded(shape, HAIR, HAIR_SHADE, lambda x, y: 44 - y)
    c.fill(stroke(curve((34, 16), (70, 6), (106, 16)), 5), HAIR_LIGHT)
    return c


def bang():
    c = Canvas(28, 74)
    shape = polygon([(5, 3), (23, 3), (20, 36), (13, 71), (7, 38)])
    c.shaded(shape, HAIR, HAIR_SHADE, lambda x, y: 15 - x)
    return c


def tail():
    c = Canvas(54, 120)
    shape = union(ellipse(27, 34, 20, 30), polygon([(8, 38), (46, 38), (31, 116), (24, 116)]))
    c.shaded(shape, HAIR, HAIR_SHADE, lambda x, y: 29 - x)
    c.fill(stroke(curve((20, 14), (16, 40), (24, 80)), 3.5), HAIR_LIGHT)
    return c


def eye_open():
    """The open eye's outline and lash; the white, iris and pupil are parts of
    their own under it, so that the iris can move inside the white."""
    c = Canvas(24, 30)
    c.fill(outline_of(ellipse(12, 15, 9, 12), 2.0), OUTLINE)
    c.fill(stroke(curve((3, 10), (12, 1.5), (21, 10)), 3.2), OUTLINE)
    return c


def eye_white():
    c = Canvas(24, 30)
    c.fill(ellipse(12, 15, 9, 12), WHITE)
    c.fill(intersect(ellipse(12, 15, 9, 12), ellipse(12, 5, 12, 7)), EYE_SHADE)
    return c


def iris():
    c = Canvas(16, 20)
    c.fill(ellipse(8, 10, 6.5, 8.5), IRIS)
    c.fill(intersect(ellipse(8, 10, 6.5, 8.5), lambda x, y: 7 - y), IRIS_SHADE)
    c.fill(outline_of(ellipse(8, 10, 6.5, 8.5), 1.2), IRIS_SHADE)
    return c


def pupil():
    c = Canvas(12, 14)
    c.fill(ellipse(6, 7, 3.4, 4.4), PUPIL)
    c.fill(ellipse(4.2, 4.8, 1.8, 1.8), WHITE)
    return c


def sparkle():
    """A four-pointed star in a soft glow, drawn additively: it only lightens."""
    c = Canvas(56, 56)
    c.fill(ellipse(28, 28, 20, 20), GLOW, alpha=0.15)
    c.fill(ellipse(28, 28, 11, 11), GLOW, alpha=0.3)
    c.fill(polygon([(28, 1), (32, 24), (55, 28), (32, 32), (28, 55), (24, 32), (1, 28), (24, 24)]), GLOW)
    c.fill(ellipse(28, 28, 5, 5), WHITE)
    return c


def eye_closed():
    c = Canvas(24, 30)
    c.fill(stroke(curve((3, 15), (12, 22), (21, 15)), 3.0), OUTLINE)
    return c


def eye_happy():
    c = Canvas(24, 30)
    c.fill(stroke(curve((3, 20), (12, 8), (21, 20)), 3.2), OUTLINE)
    return c


def eye_half():
    c = Canvas(24, 30)
    white = intersect(ellipse(12, 15, 9, 12), lambda x, y: 16 - y)
    c.fill(white, WHITE)
    c.fill(intersect(white, ellipse(12, 19, 6.5, 7)), IRIS)
    c.fill(intersect(white, ellipse(12, 20, 3.4, 3.6)), PUPIL)
    c.fill(outline_of(white, 2.0), OUTLINE)
    c.fill(stroke([(2.5, 16), (21.5, 16)], 3.4), OUTLINE)
    return c


def brow():
    c = Canvas(28, 10)
    c.fill(stroke([(5, 6), (14, 3.6), (23, 4.6)], 3.6), BROW)
    return c


def nose():
    c = Canvas(12, 10)
    c.fill(stroke(curve((3, 4), (6, 7), (9, 4)), 2.0), SKIN_SHADE)
    return c


def mouth_neutral():
    c = Canvas(36, 20)
    c.fill(stroke(curve((10, 9), (18, 12.5), (26, 9)), 2.4), MOUTH)
    return c


def mouth_smile():
    c = Canvas(36, 20)
    shape = intersect(ellipse(18, 5, 13, 12), lambda x, y: 5 - y)
    c.fill(shape, MOUTH)
    c.fill(intersect(shape, ellipse(18, 16, 7, 4)), TONGUE)
    c.fill(outline_of(shape, 2.0), OUTLINE)
    return c


def mouth_open():
    c = Canvas(36, 20)
    shape = ellipse(18, 10, 6.5, 7.5)
    c.fill(shape, MOUTH)
    c.fill(intersect(shape, ellipse(18, 15, 5, 3.5)), TONGUE)
    c.fill(outline_of(shape, 2.0), OUTLINE)
    return c


def mouth_sleepy():
    c = Canvas(36, 20)
    c.fill(stroke(curve((13, 11), (18, 8), (23, 11)), 2.2), MOUTH)
    return c


def blush():
    c = Canvas(26, 14)
    c.fill(ellipse(13, 7, 10.5, 5), BLUSH, alpha=0.6)
    return c


def neck():
    c = Canvas(28, 26)
    c.shaded(rounded_rect(6, 2, 22, 24, 5), SKIN_SHADE)
    return c


def star(c):
    points = [(50 + (10 if k % 2 == 0 else 4.5) * math.sin(k * math.pi / 5),
               54 - (10 if k % 2 == 0 else 4.5) * math.cos(k * math.pi / 5)) for k in range(10)]
    c.fill(polygon(points), TRIM)


def leaf(c):
    blade = intersect(ellipse(44, 54, 13, 13), ellipse(56, 54, 13, 13))
    c.fill(blade, LEAF)
    c.fill(stroke([(50, 45), (50, 64)], 1.6), FOREST_SHADE)
    c.fill(outline_of(blade, 1.6), OUTLINE)


def torso(cloth=TUNIC, shade=TUNIC_SHADE, emblem=star):
    c = Canvas(100, 128)
    body = polygon([(10, 8), (90, 8), (82, 98), (90, 122), (10, 122), (18, 98)], rounding=3)
    c.shaded(body, cloth, shade, lambda x, y: 64 - x)
    c.fill(polygon([(36, 5), (64, 5), (50, 28)]), SKIN)
    c.fill(outline_of(polygon([(36, 5), (64, 5), (50, 28)]), 2.0), OUTLINE)
    belt = intersect(body, lambda x, y: max(86 - y, y - 98))
    c.fill(belt, BOOT)
    c.fill(rounded_rect(43, 85, 57, 99, 3), TRIM)
    c.fill(outline_of(rounded_rect(43, 85, 57, 99, 3), 2.0), OUTLINE)
    emblem(c)
    c.fill(outline_of(body), OUTLINE)
    return c


def pelvis(cloth=PANTS, shade=PANTS_SHADE):
    c = Canvas(76, 46)
    c.shaded(rounded_rect(6, 4, 70, 42, 12), cloth, shade, lambda x, y: 44 - x)
    return c


def upper_arm(cloth=TUNIC, shade=TUNIC_SHADE):
    c = Canvas(32, 82)
    shape = rounded_rect(4, 3, 28, 79, 11)
    c.shaded(shape, cloth, shade, lambda x, y: 19 - x)
    c.fill(intersect(shape, lambda x, y: max(66 - y, y - 79)), TRIM)
    c.fill(outline_of(shape), OUTLINE)
    return c


def forearm():
    c = Canvas(28, 76)
    c.shaded(rounded_rect(5, 2, 23, 74, 9), SKIN, SKIN_SHADE, lambda x, y: 17 - x)
    return c


def hand():
    c = Canvas(30, 32)
    shape = union(ellipse(15, 17, 11, 12), ellipse(6, 12, 4, 6))
    c.shaded(shape, SKIN, SKIN_SHADE, lambda x, y: 19 - x)
    return c


def thigh(cloth=PANTS, shade=PANTS_SHADE):
    c = Canvas(36, 92)
    c.shaded(rounded_rect(4, 2, 32, 90, 13), cloth, shade, lambda x, y: 22 - x)
    return c


def shin(cloth=PANTS, shade=PANTS_SHADE):
    c = Canvas(32, 90)
    c.shaded(rounded_rect(5, 2, 27, 60, 10), cloth, shade, lambda x, y: 19 - x)
    boot = rounded_rect(3, 40, 29, 88, 9)
    c.shaded(boot, BOOT, BOOT_SHADE, lambda x, y: 19 - x)
    c.fill(intersect(boot, lambda x, y: max(40 - y, y - 49)), TRIM)
    c.fill(outline_of(boot), OUTLINE)
    return c


def foot():
    c = Canvas(52, 28)
    shape = union(rounded_rect(16, 3, 46, 25, 8), ellipse(16, 16, 14, 9))
    c.shaded(shape, BOOT, BOOT_SHADE, lambda x, y: 19 - y)
    return c


def ribbon_knot():
    c = Canvas(40, 30)
    bow = union(polygon([(3, 4), (20, 15), (3, 26)], rounding=2),
                polygon([(37, 4), (20, 15), (37, 26)], rounding=2))
    c.shaded(bow, RIBBON, RIBBON_SHADE, lambda x, y: 16 - y)
    knot = ellipse(20, 15, 6, 6)
    c.shaded(knot, RIBBON_SHADE)
    return c


def ribbon_tail():
    c = Canvas(16, 52)
    shape = polygon([(3, 2), (13, 2), (14, 50), (8, 43), (2, 50)])
    c.shaded(shape, RIBBON, RIBBON_SHADE, lambda x, y: 8 - x)
    return c


TEXTURES = {
    "head": head, "ear": ear, "hair_back": hair_back, "fringe": fringe, "bang": bang,
    "tail": tail, "eye_open": eye_open, "eye_closed": eye_closed, "eye_happy": eye_happy,
    "eye_half": eye_half, "brow": brow, "nose": nose, "mouth_neutral": mouth_neutral,
    "mouth_smile": mouth_smile, "mouth_open": mouth_open, "mouth_sleepy": mouth_sleepy,
    "blush": blush, "neck": neck, "torso": torso, "pelvis": pelvis, "upper_arm": upper_arm,
    "forearm": forearm, "hand": hand, "thigh": thigh, "shin": shin, "foot": foot,
    "ribbon_knot": ribbon_knot, "ribbon_tail": ribbon_tail,
    "eye_white": eye_white, "iris": iris, "pupil": pupil, "sparkle": sparkle,
    # The skin "forest" of model.json.
    "torso_forest": lambda: torso(FOREST, FOREST_SHADE, leaf),
    "upper_arm_forest": lambda: upper_arm(FOREST, FOREST_SHADE),
    "pelvis_forest": lambda: pelvis(KHAKI, KHAKI_SHADE),
    "thigh_forest": lambda: thigh(KHAKI, KHAKI_SHADE),
    "shin_forest": lambda: shin(KHAKI, KHAKI_SHADE),
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else OUT_DIR
    os.makedirs(folder, exist_ok=True)
    for name, draw in TEXTURES.items():
        draw().save(name, folder)
    print("wrote %d textures to %s" % (len(TEXTURES), folder))


if __name__ == "__main__":
    main()
