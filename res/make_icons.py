#!/usr/bin/env python3
"""Draw Dormity's icons and write them as Windows .ico files.

    python3 make_icons.py OUTDIR                 writes iconNNN.ico into OUTDIR
    python3 make_icons.py OUTDIR --preview P.png also writes a contact sheet

Standard library only, so the build needs nothing but Python.

Every picture is described once with signed distance functions in a
16 x 16 design space and rendered at each size with supersampled
anti-aliasing.  Each size is stored three times: 32 bpp with alpha for
current systems, 8 bpp and 4 bpp (standard VGA palette) for old ones and
for low-colour displays.  The menu and tray show the small sizes (16 at 96
pixels per inch, up to 32 at 192); the artwork is tuned for 16 first.
"""

import math
import os
import struct
import sys
import zlib

DESIGN = 16.0  # the design grid every drawing is written in


# --------------------------------------------------------------------------
# Shapes: signed distance in design units (negative inside) plus a bounding
# box, so that rendering touches only the pixels a shape can cover.

class Shape:
    def __init__(self, dist, bbox):
        self.dist = dist
        self.bbox = bbox


def _merge_boxes(boxes):
    return (min(b[0] for b in boxes), min(b[1] for b in boxes),
            max(b[2] for b in boxes), max(b[3] for b in boxes))


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r,
                 (cx - r, cy - r, cx + r, cy + r))


def box(x0, y0, x1, y1, r=0.0):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - r, (y1 - y0) / 2.0 - r

    def dist(x, y):
        qx = abs(x - cx) - hx
        qy = abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return Shape(dist, (x0, y0, x1, y1))


def _seg_dist(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    den = dx * dx + dy * dy
    t = 0.0 if den == 0 else ((x - ax) * dx + (y - ay) * dy) / den
    t = min(1.0, max(0.0, t))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def stroke(points, width):
    """A polyline of the given width with round joins and caps."""
    segs = list(zip(points, points[1:]))
    half = width / 2.0

    def dist(x, y):
        return min(_seg_dist(x, y, a[0], a[1], b[0], b[1])
                   for a, b in segs) - half
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(dist, (min(xs) - half, min(ys) - half,
                        max(xs) + half, max(ys) + half))


def polygon(points):
    pts = list(points)
    edges = list(zip(pts, pts[1:] + pts[:1]))

    def dist(x, y):
        d = min(_seg_dist(x, y, a[0], a[1], b[0], b[1]) for a, b in edges)
        inside = False
        for (ax, ay), (bx, by) in edges:
            if (ay > y) != (by > y):
                if x < ax + (y - ay) * (bx - ax) / (by - ay):
                    inside = not inside
        return -d if inside else d
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    return Shape(dist, (min(xs), min(ys), max(xs), max(ys)))


def union(*shapes):
    return Shape(lambda x, y: min(s.dist(x, y) for s in shapes),
                 _merge_boxes([s.bbox for s in shapes]))


def intersect(a, b):
    bb = (max(a.bbox[0], b.bbox[0]), max(a.bbox[1], b.bbox[1]),
          min(a.bbox[2], b.bbox[2]), min(a.bbox[3], b.bbox[3]))
    return Shape(lambda x, y: max(a.dist(x, y), b.dist(x, y)), bb)


def subtract(a, b):
    return Shape(lambda x, y: max(a.dist(x, y), -b.dist(x, y)), a.bbox)


def ring(cx, cy, r, width):
    half = width / 2.0
    return Shape(lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - half,
                 (cx - r - half, cy - r - half, cx + r + half, cy + r + half))


def star(cx, cy, r_out, r_in, points=4, turn=0.0):
    pts = []
    for i in range(points * 2):
        a = turn + math.pi * i / points - math.pi / 2
        r = r_out if i % 2 == 0 else r_in
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return polygon(pts)


# --------------------------------------------------------------------------
# Colours: (r, g, b) or (r, g, b, a), 0..255, or a function of the design
# coordinates for gradients.

def rgb(hexstr):
    v = int(hexstr.lstrip('#'), 16)
    return ((v >> 16) & 255, (v >> 8) & 255, v & 255)


def vgrad(c0, c1, y0, y1):
    a, b = rgb(c0), rgb(c1)

    def paint(x, y):
        t = min(1.0, max(0.0, (y - y0) / float(y1 - y0)))
        return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))
    return paint


def dgrad(c0, c1, x0, y0, x1, y1):
    """Linear gradient along the direction (x0,y0) -> (x1,y1)."""
    a, b = rgb(c0), rgb(c1)
    dx, dy = x1 - x0, y1 - y0
    den = dx * dx + dy * dy

    def paint(x, y):
        t = ((x - x0) * dx + (y - y0) * dy) / den
        t = min(1.0, max(0.0, t))
        return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))
    return paint


# --------------------------------------------------------------------------
# Canvas: premultiplied RGBA floats, painted shape by shape.

class Canvas:
    def __init__(self, size):
        self.size = size
        self.scale = size / DESIGN        # pixels per design unit
        self.px = DESIGN / size           # design units per pixel
        self.ss = 8 if size <= 16 else (6 if size <= 32 else 4)
        self.pix = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]
        # Outlines are one pixel wide at menu sizes, two at 48.
        self.line = self.px * (2 if size >= 48 else 1)

    def snap(self, v):
        """Move a design coordinate onto the nearest pixel edge."""
        return round(v * self.scale) / self.scale

    def fill(self, shape, colour, grow=0.0):
        """Paint colour where shape's distance is at most grow."""
        n, ss, px = self.size, self.ss, self.px
        x0, y0, x1, y1 = shape.bbox
        ix0 = max(0, int(math.floor((x0 - grow) * self.scale)) - 1)
        iy0 = max(0, int(math.floor((y0 - grow) * self.scale)) - 1)
        ix1 = min(n, int(math.ceil((x1 + grow) * self.scale)) + 1)
        iy1 = min(n, int(math.ceil((y1 + grow) * self.scale)) + 1)
        reach = px * 0.75  # a little over half a pixel diagonal
        offsets = [(k + 0.5) / ss * px for k in range(ss)]
        dist = shape.dist
        for j in range(iy0, iy1):
            py = j * px
            for i in range(ix0, ix1):
                pxx = i * px
                d = dist(pxx + px / 2, py + px / 2) - grow
                if d > reach:
                    continue
                if d < -reach:
                    cover = 1.0
                else:
                    hits = 0
                    for oy in offsets:
                        for ox in offsets:
                            if dist(pxx + ox, py + oy) - grow <= 0.0:
                                hits += 1
                    if not hits:
                        continue
                    cover = hits / float(ss * ss)
                col = colour(pxx + px / 2, py + px / 2) if callable(colour) \
                    else colour
                a = (col[3] / 255.0 if len(col) > 3 else 1.0) * cover
                p = self.pix[j * n + i]
                k = 1.0 - a
                p[0] = col[0] * a + p[0] * k
                p[1] = col[1] * a + p[1] * k
                p[2] = col[2] * a + p[2] * k
                p[3] = a + p[3] * k

    def outlined(self, shape, colour, edge):
        """A shape filled with colour inside an edge one line wide.

        The edge lies inside the shape, so outlines never grow a drawing
        past the coordinates it was given.
        """
        self.fill(shape, edge)
        self.fill(shape, colour, grow=-self.line)

    def rgba(self):
        """Straight (not premultiplied) 8-bit RGBA rows, top row first."""
        out = []
        for p in self.pix:
            a = p[3]
            if a <= 1.0 / 512:
                out.append((0, 0, 0, 0))
                continue
            out.append(tuple(int(min(255, max(0, round(p[c] / a))))
                             for c in range(3)) + (int(round(a * 255)),))
        return out


# --------------------------------------------------------------------------
# Palette of the drawings.

OUTLINE = rgb('1b1e2b')
BEZEL_HI, BEZEL_LO = '#eef0f4', '#a9afbc'
SCREEN_HI, SCREEN_LO = '#2a56d6', '#0b1d78'
MOON = rgb('ffe23a')
STAR = rgb('fff6b8')
OFF_SCREEN_HI, OFF_SCREEN_LO = '#5a5d66', '#2b2d33'
RED, RED_EDGE = rgb('ee1c14'), rgb('7a0d08')
BEZEL_MID = rgb('c3c8d2')
GREEN_HI, GREEN_LO = '#8ef05a', '#1f9a14'
GREEN_EDGE = rgb('0d4a0a')
GOLD_HI, GOLD_LO = '#ffe860', '#c88a00'
GOLD_EDGE = rgb('3d2a00')
STEEL_HI, STEEL_LO = '#e4e8ee', '#7d8796'
STEEL_EDGE = rgb('2b313b')
PAPER = rgb('ffffff')
INK = rgb('5b6b86')


def bar(cx, cy, length, width, angle):
    """A rectangle of the given length and width centred on (cx, cy)."""
    ux, uy = math.cos(angle), math.sin(angle)
    hl, hw = length / 2.0, width / 2.0
    return polygon([(cx + ux * hl - uy * hw, cy + uy * hl + ux * hw),
                    (cx + ux * hl + uy * hw, cy + uy * hl - ux * hw),
                    (cx - ux * hl + uy * hw, cy - uy * hl - ux * hw),
                    (cx - ux * hl - uy * hw, cy - uy * hl + ux * hw)])


def monitor(c, x0, y0, x1, y1, screen='on'):
    """A display with its bezel from (x0,y0) to (x1,y1) and a stand below.

    Coordinates are whole design units, so that at 16 x 16 every edge falls
    on a pixel boundary.  Returns the screen rectangle for the caller's
    picture.
    """
    mid = (x0 + x1) / 2.0
    half_foot = round((x1 - x0) * 0.32)
    c.fill(box(mid - 2, y1, mid + 2, y1 + 1.5), OUTLINE)
    c.fill(box(mid - 1, y1, mid + 1, y1 + 1), rgb('8d94a2'))
    foot = box(mid - half_foot, y1 + 1, mid + half_foot, y1 + 3,
               r=0 if c.size <= 16 else 0.5)
    c.fill(foot, OUTLINE)
    c.fill(box(mid - half_foot + c.line, y1 + 1,
               mid + half_foot - c.line, y1 + 2), BEZEL_MID)
    corner = 0 if c.size <= 16 else 0.6
    c.outlined(box(x0, y0, x1, y1, r=corner),
               vgrad(BEZEL_HI, BEZEL_LO, y0, y1), OUTLINE)
    sx0, sy0, sx1, sy1 = x0 + 2, y0 + 2, x1 - 2, y1 - 2
    if c.size > 16:
        # A dark frame round the glass reads as depth at larger sizes.
        c.fill(box(sx0 - c.px, sy0 - c.px, sx1 + c.px, sy1 + c.px),
               rgb('4a5060'))
    paint = {'on': vgrad(SCREEN_HI, SCREEN_LO, sy0, sy1),
             'off': vgrad(OFF_SCREEN_HI, OFF_SCREEN_LO, sy0, sy1),
             'desk': vgrad('#4fb0f0', '#1a5fc0', sy0, sy1)}[screen]
    c.fill(box(sx0, sy0, sx1, sy1), paint)
    return sx0, sy0, sx1, sy1


def night_sky(c, sx0, sy0, sx1, sy1):
    """Crescent moon and stars on the lit screen."""
    w, h = sx1 - sx0, sy1 - sy0
    r = h * 0.4
    mx, my = sx0 + w * 0.34, sy0 + h * 0.5
    moon = subtract(circle(mx, my, r),
                    circle(mx + r * 0.5, my - r * 0.38, r * 0.82))
    c.fill(moon, MOON)
    if c.size <= 16:
        # Single bright pixels: anything finer turns to mud at this size.
        for fx, fy in ((0.72, 0.15), (0.86, 0.6), (0.6, 0.75)):
            x = sx0 + math.floor(w * fx)
            y = sy0 + math.floor(h * fy)
            c.fill(box(x, y, x + 1, y + 1), STAR)
    else:
        for fx, fy, fr in ((0.74, 0.26, 0.17), (0.88, 0.64, 0.12),
                           (0.62, 0.78, 0.09), (0.57, 0.16, 0.07)):
            rr = h * fr
            c.fill(star(sx0 + w * fx, sy0 + h * fy, rr, rr * 0.3), STAR)


# --------------------------------------------------------------------------
# The icons.  Monitor-based ones share one body so that 104 and 122 differ
# only in the screen: when the tray icon blinks, nothing else moves.

MONITOR = (0, 1, 16, 12)


def icon_saver_on(c):
    night_sky(c, *monitor(c, *MONITOR))


def icon_saver_off(c):
    sx0, sy0, sx1, sy1 = monitor(c, *MONITOR, screen='off')
    cx, cy = (sx0 + sx1) / 2.0, (sy0 + sy1) / 2.0
    r, width = 4.0, 1.5
    a = math.radians(45)
    dx, dy = math.cos(a) * r, math.sin(a) * r
    sign = union(ring(cx, cy, r, width),
                 stroke([(cx - dx, cy - dy), (cx + dx, cy + dy)], width))
    if c.size > 16:
        c.fill(sign, RED_EDGE, grow=c.line)
    c.fill(sign, RED)


def icon_properties(c):
    monitor(c, 0, 0, 12, 9, screen='desk')
    # A sheet with a check list over the display's corner.
    x0, y0, x1, y1 = 6, 5, 16, 16
    fold = 3
    sheet = polygon([(x0, y0), (x1 - fold, y0), (x1, y0 + fold),
                     (x1, y1), (x0, y1)])
    c.outlined(sheet, PAPER, OUTLINE)
    c.fill(polygon([(x1 - fold, y0), (x1 - fold, y0 + fold),
                    (x1, y0 + fold)]), rgb('c9d1de'))
    c.fill(stroke([(x1 - fold, y0 + 0.5 * c.line),
                   (x1 - fold, y0 + fold), (x1 - 0.5 * c.line, y0 + fold)],
                  c.line), OUTLINE)
    for k in range(3):
        y = c.snap(8 + 2.5 * k) if c.size > 16 else 8 + 2 * k
        c.fill(box(x0 + 2, y, x0 + 3, y + 1), rgb('1f9a14'))
        c.fill(box(x0 + 4, y, x1 - 2, y + 1), INK)


def icon_launch(c):
    night_sky(c, *monitor(c, *MONITOR))
    tri = polygon([(6.0, 4.0), (6.0, 16.0), (15.5, 10.0)])
    c.outlined(tri, dgrad(GREEN_HI, GREEN_LO, 6, 5, 13, 14), GREEN_EDGE)


def icon_configure(c):
    cx = cy = 7.5
    teeth = union(*[bar(cx, cy, 15.0, 3.0, math.pi * k / 4) for k in range(4)])
    gear = subtract(union(teeth, circle(cx, cy, 5.5)), circle(cx, cy, 2.0))
    c.outlined(gear, dgrad(STEEL_HI, STEEL_LO, 2, 2, 13, 13), STEEL_EDGE)
    if c.size > 16:
        c.fill(ring(cx, cy, 3.6, c.px), rgb('8f99a8'))


def icon_check(c):
    pts = [(2.0, 8.5), (6.0, 12.5), (14.0, 3.5)]
    body = stroke(pts, 3.6)
    c.fill(body, GREEN_EDGE)
    c.fill(body, dgrad(GREEN_HI, GREEN_LO, 4, 4, 10, 14), grow=-c.line)


def pointer_arrow(c, x, y):
    """A mouse pointer, tip at (x, y), nine design units tall."""
    pts = [(0, 0), (0, 8), (2, 6.5), (3.5, 9.5), (5, 9), (3.6, 6), (6, 6)]
    c.outlined(polygon([(x + px, y + py) for px, py in pts]), PAPER, OUTLINE)


def icon_set_saver(c):
    night_sky(c, *monitor(c, 0, 0, 14, 10))
    pointer_arrow(c, 9, 6)


def icon_password(c):
    # A gold key lying across the icon, bow on the left.
    bow = circle(4.5, 8.0, 4.5)
    hole = circle(4.0, 8.0, 1.6)
    shaft = box(8.0, 6.0, 16.0, 10.0)
    bits = union(box(9.0, 9.0, 12.0, 13.5), box(13.0, 9.0, 16.0, 12.5))
    key = subtract(union(bow, shaft, bits), hole)
    c.outlined(key, vgrad('#fff3a0', '#d49400', 4.0, 13.0), GOLD_EDGE)
    if c.size > 16:
        c.fill(box(9.0, 6.0 + 2 * c.line, 15.0, 6.0 + 3 * c.line),
               rgb('fffbe0'))


def icon_timeout(c):
    cx = cy = 7.5
    r = 7.5
    c.fill(circle(cx, cy, r), OUTLINE)
    c.fill(circle(cx, cy, r - c.line),
           dgrad('#2a5cff', '#0a2aa8', 2, 2, 13, 13))
    face = r - c.line - 1.5
    c.fill(circle(cx, cy, face), OUTLINE)
    c.fill(circle(cx, cy, face - c.line), PAPER)
    inner = face - c.line
    if c.size > 16:
        for k in range(12):
            a = math.pi * 2 * k / 12
            long_ = 0.24 if k % 3 == 0 else 0.12
            p0 = (cx + math.sin(a) * inner * 0.9, cy - math.cos(a) * inner * 0.9)
            p1 = (cx + math.sin(a) * inner * (0.9 - long_),
                  cy - math.cos(a) * inner * (0.9 - long_))
            c.fill(stroke([p0, p1], c.px * (2 if k % 3 == 0 else 1)),
                   rgb('44495a'))
    # Three o'clock: both hands lie on pixel rows and columns.
    w = 1.0
    c.fill(box(cx - w / 2, cy - inner * 0.78, cx + w / 2, cy + w / 2), OUTLINE)
    c.fill(box(cx - w / 2, cy - w / 2, cx + inner * 0.62, cy + w / 2), OUTLINE)
    if c.size > 16:
        c.fill(circle(cx, cy, 0.75), rgb('d01818'))


def icon_lock(c):
    # Shackle: a steel arch whose legs stand in the body.
    sw = 3.0
    lx0, lx1 = 4.5, 11.5
    rad = (lx1 - lx0) / 2
    acy = 0.0 + sw / 2 + rad
    arch = intersect(ring(8.0, acy, rad, sw), box(0, 0, 16, acy))
    shackle = union(arch, box(lx0 - sw / 2, acy, lx0 + sw / 2, 8.0),
                    box(lx1 - sw / 2, acy, lx1 + sw / 2, 8.0))
    c.outlined(shackle, dgrad(STEEL_HI, STEEL_LO, 4, 0, 12, 8), STEEL_EDGE)
    body = box(1.0, 7.0, 15.0, 16.0, r=0 if c.size <= 16 else 0.7)
    c.outlined(body, vgrad(GOLD_HI, GOLD_LO, 7, 16), GOLD_EDGE)
    keyhole = union(circle(8.0, 10.5, 1.5),
                    box(7.0, 10.5, 9.0, 14.0))
    if c.size <= 16:
        keyhole = union(box(7.0, 9.0, 9.0, 14.0), box(6.5, 9.5, 9.5, 11.5))
    c.fill(keyhole, rgb('3b2500'))


# The menu and the tray draw at the system's small-icon size, which follows
# the display: 16 at 96 pixels per inch, 20 at 120, 24 at 144, 32 at 192.
# Each of those sizes is drawn at its own size, never scaled from another.
SMALL_SIZES = (16, 20, 24, 32)

ICONS = [
    # id, drawing, sizes beyond the small ones
    (104, icon_saver_on, ()),
    (109, icon_properties, (48,)),
    (110, icon_launch, ()),
    (111, icon_configure, (48,)),
    (113, icon_check, (48,)),
    (114, icon_set_saver, ()),
    (119, icon_password, (48,)),
    (120, icon_timeout, (48,)),
    (122, icon_saver_off, ()),
    (127, icon_lock, (48,)),
]

DEPTHS = (32, 8, 4)


# --------------------------------------------------------------------------
# Palettes and quantisation for the paletted images.

VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def _palette256():
    pal = [(r * 51, g * 51, b * 51)
           for r in range(6) for g in range(6) for b in range(6)]
    # Greys between the cube's six levels: outlines and bezels are grey.
    greys = [v for v in range(6, 255, 6) if v % 51][:256 - len(pal)]
    pal += [(v, v, v) for v in greys]
    while len(pal) < 256:
        pal.append((0, 0, 0))
    return pal


PALETTE256 = _palette256()


def _lab(colour):
    """sRGB to CIE L*a*b* (D65): distances there follow what eyes see."""
    def lin(v):
        v /= 255.0
        return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4
    r, g, b = (lin(v) for v in colour)
    x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047
    y = 0.2126 * r + 0.7152 * g + 0.0722 * b
    z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883

    def f(t):
        return t ** (1.0 / 3) if t > 0.008856 else 7.787 * t + 16.0 / 116
    fx, fy, fz = f(x), f(y), f(z)
    return (116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz))


class Quantiser:
    """Nearest palette entry by distance in L*a*b*."""

    def __init__(self, palette):
        self.palette = palette
        self.labs = [_lab(p) for p in palette]
        self.cache = {}

    def index(self, colour):
        hit = self.cache.get(colour)
        if hit is None:
            l0, a0, b0 = _lab(colour)
            hit = min(range(len(self.labs)),
                      key=lambda k: (self.labs[k][0] - l0) ** 2 +
                      (self.labs[k][1] - a0) ** 2 + (self.labs[k][2] - b0) ** 2)
            self.cache[colour] = hit
        return hit


QUANTISERS = {}


# --------------------------------------------------------------------------
# .ico writing.

def _row_bytes(width, bpp):
    return ((width * bpp + 31) // 32) * 4


def _and_mask(size, transparent):
    """1 bpp mask, bottom row first; a set bit lets the background through."""
    stride = _row_bytes(size, 1)
    out = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(stride)
        for x in range(size):
            if transparent[y * size + x]:
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def encode_image(size, pixels, bpp):
    """One icon image: BITMAPINFOHEADER, palette, XOR bits, AND mask."""
    if bpp == 32:
        # Fully transparent pixels are black with the mask set, so that a
        # system drawing through the mask alone leaves the background as is.
        transparent = [p[3] == 0 for p in pixels]
        xor = bytearray()
        for y in range(size - 1, -1, -1):
            for x in range(size):
                r, g, b, a = pixels[y * size + x]
                xor += bytes((b, g, r, a)) if a else b'\0\0\0\0'
        palette = b''
    else:
        pal = VGA16 if bpp == 4 else PALETTE256
        if bpp not in QUANTISERS:
            QUANTISERS[bpp] = Quantiser(pal)
        quant = QUANTISERS[bpp]
        # No partial transparency here: half-covered edge pixels either
        # belong to the picture or to the background.
        transparent = [p[3] < 128 for p in pixels]
        idx = [0 if t else quant.index(p[:3])
               for p, t in zip(pixels, transparent)]
        stride = _row_bytes(size, bpp)
        xor = bytearray()
        for y in range(size - 1, -1, -1):
            row = bytearray(stride)
            for x in range(size):
                v = idx[y * size + x]
                if bpp == 8:
                    row[x] = v
                else:
                    row[x >> 1] |= v << (4 if x % 2 == 0 else 0)
            xor += row
        palette = b''.join(bytes((b, g, r, 0)) for r, g, b in pal)
    mask = _and_mask(size, transparent)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + palette + bytes(xor) + mask


def write_ico(path, images):
    """images: list of (size, bpp, encoded image bytes)."""
    count = len(images)
    head = struct.pack('<HHH', 0, 1, count)
    offset = 6 + 16 * count
    entries, blobs = b'', b''
    for size, bpp, data in images:
        colours = 16 if bpp == 4 else 0
        entries += struct.pack('<BBBBHHII', size % 256, size % 256, colours,
                               0, 1, bpp, len(data), offset)
        offset += len(data)
        blobs += data
    with open(path, 'wb') as f:
        f.write(head + entries + blobs)


def render(draw, size):
    c = Canvas(size)
    draw(c)
    return c.rgba()


def build(outdir):
    os.makedirs(outdir, exist_ok=True)
    written = []
    for ident, draw, larger in ICONS:
        images = []
        for size in SMALL_SIZES + larger:
            pixels = render(draw, size)
            for bpp in DEPTHS:
                images.append((size, bpp, encode_image(size, pixels, bpp)))
        path = os.path.join(outdir, 'icon%d.ico' % ident)
        write_ico(path, images)
        written.append(path)
    return written


# --------------------------------------------------------------------------
# Preview: decode the written files again and lay every image out on a light
# and a dark background, so what is checked is what the build ships.

def read_ico(path):
    with open(path, 'rb') as f:
        data = f.read()
    _, kind, count = struct.unpack_from('<HHH', data, 0)
    if kind != 1:
        raise ValueError('%s: not an icon file' % path)
    result = []
    for k in range(count):
        w, _, _, _, _, bpp, length, offset = struct.unpack_from(
            '<BBBBHHII', data, 6 + 16 * k)
        w = w or 256
        hdr = struct.unpack_from('<IiiHHIIiiII', data, offset)
        size, bits = hdr[1], hdr[4]
        if hdr[0] != 40 or size != w or hdr[2] != 2 * w or bits != bpp:
            raise ValueError('%s: image %d header does not match' % (path, k))
        pos = offset + 40
        pal = []
        if bits <= 8:
            for i in range(1 << bits):
                b, g, r, _ = data[pos + 4 * i:pos + 4 * i + 4]
                pal.append((r, g, b))
            pos += 4 << bits
        stride = _row_bytes(size, bits)
        mstride = _row_bytes(size, 1)
        mask_pos = pos + stride * size
        if mask_pos + mstride * size != offset + length:
            raise ValueError('%s: image %d has the wrong length' % (path, k))
        pixels = []
        for y in range(size):
            row = pos + (size - 1 - y) * stride
            mrow = mask_pos + (size - 1 - y) * mstride
            for x in range(size):
                masked = data[mrow + (x >> 3)] & (0x80 >> (x & 7))
                if bits == 32:
                    b, g, r, a = data[row + 4 * x:row + 4 * x + 4]
                    pixels.append((r, g, b, a, bool(masked)))
                else:
                    if bits == 8:
                        v = data[row + x]
                    else:
                        v = (data[row + x // 2] >> (0 if x % 2 else 4)) & 15
                    r, g, b = pal[v]
                    pixels.append((r, g, b, 0 if masked else 255, bool(masked)))
        result.append((size, bits, pixels))
    return result


def write_png(path, width, height, rows):
    raw = b''.join(b'\0' + bytes(r) for r in rows)

    def chunk(tag, body):
        return (struct.pack('>I', len(body)) + tag + body +
                struct.pack('>I', zlib.crc32(tag + body) & 0xffffffff))
    png = (b'\x89PNG\r\n\x1a\n' +
           chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
           chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))
    with open(path, 'wb') as f:
        f.write(png)


def preview(paths, out, zoom=4):
    backgrounds = [(236, 233, 216), (32, 32, 36)]  # XP menu beige, dark
    gap = 6
    sheets = [read_ico(p) for p in paths]
    row_h = max(img[0] for s in sheets for img in s) * zoom + gap
    row_w = []
    for s in sheets:
        row_w.append(sum(img[0] * zoom + gap for img in s))
    width = len(backgrounds) * (max(row_w) + gap) + gap
    height = len(sheets) * row_h + gap
    canvas = [bytearray(b'\x80\x80\x80' * width) for _ in range(height)]
    for ri, images in enumerate(sheets):
        oy = gap + ri * row_h
        for bi, bg in enumerate(backgrounds):
            ox = gap + bi * (max(row_w) + gap)
            for size, bits, pixels in images:
                for y in range(size * zoom):
                    line = canvas[oy + y]
                    for x in range(size * zoom):
                        r, g, b, a, _ = pixels[(y // zoom) * size + x // zoom]
                        t = a / 255.0
                        px = (ox + x) * 3
                        line[px:px + 3] = bytes(
                            int(round(c * t + bc * (1 - t)))
                            for c, bc in zip((r, g, b), bg))
                ox += size * zoom + gap
    write_png(out, width, height, canvas)


def main(argv):
    args = list(argv[1:])
    preview_path = None
    if '--preview' in args:
        k = args.index('--preview')
        if k + 1 >= len(args):
            sys.exit('usage: make_icons.py OUTDIR [--preview sheet.png]')
        preview_path = args[k + 1]
        del args[k:k + 2]
    if len(args) != 1:
        sys.exit('usage: make_icons.py OUTDIR [--preview sheet.png]')
    paths = build(args[0])
    if preview_path:
        preview(paths, preview_path)


if __name__ == '__main__':
    main(sys.argv)
