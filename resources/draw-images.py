#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws every picture SolvaneTerm ships: the toolbar and menu icons, the
application logo (PNG and Apple icon bundle) and the desktop icon theme files.

Run it from anywhere after changing a drawing; it rewrites images/ and
icons/ beside this script. Only the standard library is used, so any python3
can regenerate the pictures without extra packages.

Each picture is a list of layers on a square design grid (32 units for the
icons, 256 for the logo). A layer is a shape given by its signed distance
function plus a paint; the distance gives cheap, resolution-independent
anti-aliasing, so one drawing serves every output size.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def rgba(hex_colour, alpha=1.0):
    """'#rrggbb' to a float (r, g, b, a) tuple."""
    h = hex_colour.lstrip("#")
    return (int(h[0:2], 16) / 255.0, int(h[2:4], 16) / 255.0, int(h[4:6], 16) / 255.0, alpha)


class Solid:
    """A flat colour."""

    def __init__(self, hex_colour, alpha=1.0):
        self.hex = hex_colour
        self.alpha = alpha
        self.colour = rgba(hex_colour, alpha)

    def at(self, _x, _y):
        return self.colour

    def svg_defs(self, _ident):
        return ""

    def svg_fill(self, _ident):
        if self.alpha < 1.0:
            return 'fill="%s" fill-opacity="%.3g"' % (self.hex, self.alpha)
        return 'fill="%s"' % self.hex


class Linear:
    """A two-stop linear gradient between two points of the design grid."""

    def __init__(self, p0, p1, hex0, hex1):
        self.p0, self.p1 = p0, p1
        self.hex0, self.hex1 = hex0, hex1
        self.c0, self.c1 = rgba(hex0), rgba(hex1)
        dx, dy = p1[0] - p0[0], p1[1] - p0[1]
        self.dx, self.dy = dx, dy
        self.len2 = dx * dx + dy * dy

    def at(self, x, y):
        t = ((x - self.p0[0]) * self.dx + (y - self.p0[1]) * self.dy) / self.len2
        t = min(1.0, max(0.0, t))
        return tuple(a + (b - a) * t for a, b in zip(self.c0, self.c1))

    def svg_defs(self, ident):
        return (
            '<linearGradient id="%s" gradientUnits="userSpaceOnUse" '
            'x1="%g" y1="%g" x2="%g" y2="%g">'
            '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/>'
            "</linearGradient>"
            % (ident, self.p0[0], self.p0[1], self.p1[0], self.p1[1], self.hex0, self.hex1)
        )

    def svg_fill(self, ident):
        return 'fill="url(#%s)"' % ident


def _seg_dist(px, py, ax, ay, bx, by):
    abx, aby = bx - ax, by - ay
    apx, apy = px - ax, py - ay
    denom = abx * abx + aby * aby
    t = 0.0 if denom == 0 else max(0.0, min(1.0, (apx * abx + apy * aby) / denom))
    ex, ey = apx - abx * t, apy - aby * t
    return math.sqrt(ex * ex + ey * ey)


class Circle:
    """A filled disc."""

    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r = cx, cy, r

    def dist(self, x, y):
        return math.hypot(x - self.cx, y - self.cy) - self.r

    def bbox(self):
        return (self.cx - self.r, self.cy - self.r, self.cx + self.r, self.cy + self.r)

    def svg(self, fill):
        return '<circle cx="%g" cy="%g" r="%g" %s/>' % (self.cx, self.cy, self.r, fill)


class Box:
    """A rectangle with rounded corners, optionally turned about its centre."""

    def __init__(self, cx, cy, hw, hh, radius=0.0, angle=0.0):
        self.cx, self.cy, self.hw, self.hh, self.radius = cx, cy, hw, hh, radius
        self.angle = angle
        a = math.radians(angle)
        self.cos, self.sin = math.cos(a), math.sin(a)

    def dist(self, x, y):
        px, py = x - self.cx, y - self.cy
        # Into the box's own frame: the inverse of the turn.
        lx = px * self.cos + py * self.sin
        ly = -px * self.sin + py * self.cos
        qx = abs(lx) - self.hw + self.radius
        qy = abs(ly) - self.hh + self.radius
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - self.radius

    def bbox(self):
        ext = math.hypot(self.hw, self.hh)
        return (self.cx - ext, self.cy - ext, self.cx + ext, self.cy + ext)

    def svg(self, fill):
        assert self.angle == 0.0
        return '<rect x="%g" y="%g" width="%g" height="%g" rx="%g" %s/>' % (
            self.cx - self.hw,
            self.cy - self.hh,
            2 * self.hw,
            2 * self.hh,
            self.radius,
            fill,
        )


class Polygon:
    """A filled polygon; a non-zero round grows it with rounded corners."""

    def __init__(self, points, round_by=0.0):
        self.points = points
        self.round_by = round_by

    def dist(self, x, y):
        pts = self.points
        n = len(pts)
        best = float("inf")
        inside = False
        j = n - 1
        for i in range(n):
            ax, ay = pts[j]
            bx, by = pts[i]
            best = min(best, _seg_dist(x, y, ax, ay, bx, by))
            if (by > y) != (ay > y) and x < (ax - bx) * (y - by) / (ay - by) + bx:
                inside = not inside
            j = i
        return (-best if inside else best) - self.round_by

    def bbox(self):
        xs = [p[0] for p in self.points]
        ys = [p[1] for p in self.points]
        r = self.round_by
        return (min(xs) - r, min(ys) - r, max(xs) + r, max(ys) + r)

    def svg(self, fill):
        pts = " ".join("%g,%g" % p for p in self.points)
        if self.round_by <= 0:
            return '<polygon points="%s" %s/>' % (pts, fill)
        stroke = fill.replace("fill=", "stroke=", 1).replace("fill-opacity=", "stroke-opacity=")
        return '<polygon points="%s" %s %s stroke-width="%g" stroke-linejoin="round"/>' % (
            pts,
            fill,
            stroke,
            2 * self.round_by,
        )


class Stroke:
    """A polyline drawn with a round pen of the given width."""

    def __init__(self, points, width):
        self.points = points
        self.half = width / 2.0

    def dist(self, x, y):
        pts = self.points
        best = float("inf")
        for (ax, ay), (bx, by) in zip(pts, pts[1:]):
            best = min(best, _seg_dist(x, y, ax, ay, bx, by))
        return best - self.half

    def bbox(self):
        xs = [p[0] for p in self.points]
        ys = [p[1] for p in self.points]
        h = self.half
        return (min(xs) - h, min(ys) - h, max(xs) + h, max(ys) + h)

    def svg(self, fill):
        pts = " ".join("%g,%g" % p for p in self.points)
        stroke = fill.replace("fill=", "stroke=", 1).replace("fill-opacity=", "stroke-opacity=")
        return (
            '<polyline points="%s" fill="none" %s stroke-width="%g" '
            'stroke-linecap="round" stroke-linejoin="round"/>' % (pts, stroke, 2 * self.half)
        )


class Arc:
    """A circular arc with round ends, swept clockwise on screen from start."""

    def __init__(self, cx, cy, r, start_deg, sweep_deg, width):
        self.cx, self.cy, self.r = cx, cy, r
        self.start = math.radians(start_deg)
        self.sweep = math.radians(sweep_deg)
        self.half = width / 2.0
        end = self.start + self.sweep
        self.ends = [
            (cx + r * math.cos(self.start), cy + r * math.sin(self.start)),
            (cx + r * math.cos(end), cy + r * math.sin(end)),
        ]

    def dist(self, x, y):
        dx, dy = x - self.cx, y - self.cy
        rel = (math.atan2(dy, dx) - self.start) % (2 * math.pi)
        if rel <= self.sweep:
            return abs(math.hypot(dx, dy) - self.r) - self.half
        return min(math.hypot(x - ex, y - ey) for ex, ey in self.ends) - self.half

    def bbox(self):
        e = self.r + self.half
        return (self.cx - e, self.cy - e, self.cx + e, self.cy + e)


class HalfPlane:
    """Everything behind a line through a point, facing away from normal."""

    def __init__(self, point, normal):
        self.point = point
        length = math.hypot(normal[0], normal[1])
        self.normal = (normal[0] / length, normal[1] / length)

    def dist(self, x, y):
        return (x - self.point[0]) * self.normal[0] + (y - self.point[1]) * self.normal[1]

    def bbox(self):
        return (-1e9, -1e9, 1e9, 1e9)


class Union:
    """Everything covered by any of the shapes."""

    def __init__(self, *shapes):
        self.shapes = shapes

    def dist(self, x, y):
        return min(s.dist(x, y) for s in self.shapes)

    def bbox(self):
        boxes = [s.bbox() for s in self.shapes]
        return (
            min(b[0] for b in boxes),
            min(b[1] for b in boxes),
            max(b[2] for b in boxes),
            max(b[3] for b in boxes),
        )


class Cut:
    """The first shape with the second one taken out of it."""

    def __init__(self, shape, hole):
        self.shape, self.hole = shape, hole

    def dist(self, x, y):
        return max(self.shape.dist(x, y), -self.hole.dist(x, y))

    def bbox(self):
        return self.shape.bbox()


class Clip:
    """The part of the first shape that lies inside the second."""

    def __init__(self, shape, window):
        self.shape, self.window = shape, window

    def dist(self, x, y):
        return max(self.shape.dist(x, y), self.window.dist(x, y))

    def bbox(self):
        return self.shape.bbox()


class Grow:
    """A shape widened by a margin: used for the dark outlines under fills."""

    def __init__(self, shape, by):
        self.shape, self.by = shape, by

    def dist(self, x, y):
        return self.shape.dist(x, y) - self.by

    def bbox(self):
        b = self.shape.bbox()
        return (b[0] - self.by, b[1] - self.by, b[2] + self.by, b[3] + self.by)


class Ring:
    """The rim of a shape, of the given width, centred on its edge."""

    def __init__(self, shape, width):
        self.shape, self.half = shape, width / 2.0

    def dist(self, x, y):
        return abs(self.shape.dist(x, y)) - self.half

    def bbox(self):
        b = self.shape.bbox()
        return (b[0] - self.half, b[1] - self.half, b[2] + self.half, b[3] + self.half)


class Layer:
    """One shape with its paint; blur softens the edge (for shadows)."""

    def __init__(self, shape, paint, blur=0.0):
        self.shape, self.paint, self.blur = shape, paint, blur


def outlined(shape, fill, edge, width=1.0):
    """A fill over a slightly larger dark copy, so icons read on any theme."""
    return [Layer(Grow(shape, width), Solid(edge)), Layer(shape, fill)]


def render(layers, extent, size):
    """Paints the layers into a size x size premultiplied RGBA float buffer."""
    scale = size / float(extent)
    buf = [0.0] * (size * size * 4)
    for layer in layers:
        shape, paint = layer.shape, layer.paint
        soft = layer.blur
        x0, y0, x1, y1 = shape.bbox()
        pad = soft + 2.0 / scale
        px0 = max(0, int(math.floor((x0 - pad) * scale)))
        py0 = max(0, int(math.floor((y0 - pad) * scale)))
        px1 = min(size, int(math.ceil((x1 + pad) * scale)) + 1)
        py1 = min(size, int(math.ceil((y1 + pad) * scale)) + 1)
        for py in range(py0, py1):
            y = (py + 0.5) / scale
            row = py * size * 4
            for px in range(px0, px1):
                x = (px + 0.5) / scale
                d = shape.dist(x, y)
                if soft > 0:
                    cov = 0.5 - d / soft
                else:
                    cov = 0.5 - d * scale
                if cov <= 0.0:
                    continue
                if cov > 1.0:
                    cov = 1.0
                r, g, b, a = paint.at(x, y)
                a *= cov
                keep = 1.0 - a
                i = row + px * 4
                buf[i] = r * a + buf[i] * keep
                buf[i + 1] = g * a + buf[i + 1] * keep
                buf[i + 2] = b * a + buf[i + 2] * keep
                buf[i + 3] = a + buf[i + 3] * keep
    return buf


def shrink(buf, size, factor):
    """Box-filters an oversampled premultiplied buffer down by factor."""
    out_size = size // factor
    out = [0.0] * (out_size * out_size * 4)
    norm = 1.0 / (factor * factor)
    for oy in range(out_size):
        for ox in range(out_size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(oy * factor, oy * factor + factor):
                base = (sy * size + ox * factor) * 4
                for k in range(factor * 4):
                    acc[k & 3] += buf[base + k]
            o = (oy * out_size + ox) * 4
            for c in range(4):
                out[o + c] = acc[c] * norm
    return out


def to_png(buf, size):
    """Encodes a premultiplied float buffer as an 8-bit RGBA PNG."""
    raw = bytearray()
    for y in range(size):
        raw.append(0)
        for x in range(size):
            i = (y * size + x) * 4
            a = buf[i + 3]
            if a <= 1e-6:
                raw.extend(b"\0\0\0\0")
                continue
            for c in range(3):
                raw.append(max(0, min(255, int(round(buf[i + c] / a * 255.0)))))
            raw.append(max(0, min(255, int(round(a * 255.0)))))

    def chunk(tag, data):
        body = tag + data
        crc = zlib.crc32(body) & 0xFFFFFFFF
        return struct.pack(">I", len(data)) + body + struct.pack(">I", crc)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", header)
        + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        + chunk(b"IEND", b"")
    )


def picture(layers, extent, size):
    # Small outputs are drawn larger and filtered down: single-sample edges
    # make thin strokes look heavier than they are at a few pixels.
    factor = 4 if size < 64 else (2 if size < 128 else 1)
    buf = render(layers, extent, size * factor)
    if factor > 1:
        buf = shrink(buf, size * factor, factor)
    return to_png(buf, size)


def icns(entries):
    """Builds an Apple icon bundle from (type code, PNG bytes) pairs."""
    body = b"".join(code + struct.pack(">I", len(png) + 8) + png for code, png in entries)
    return b"icns" + struct.pack(">I", len(body) + 8) + body


def draw_delete():
    cross = Union(Stroke([(8, 8), (24, 24)], 5.5), Stroke([(24, 8), (8, 24)], 5.5))
    return outlined(cross, Linear((0, 6), (0, 26), "#f26b67", "#c62828"), "#7f1414", 1.2)


def _turn(p, angle_deg, centre):
    a = math.radians(angle_deg)
    c, s = math.cos(a), math.sin(a)
    return (centre[0] + p[0] * c - p[1] * s, centre[1] + p[0] * s + p[1] * c)


def draw_edit():
    # The pencil is laid out along the x axis around the origin, then turned
    # so that its point is at the lower left.
    def part(points, round_by=0.0):
        return Polygon([_turn(p, -45.0, (16.0, 16.0)) for p in points], round_by)

    body = part([(-6, -3.5), (8, -3.5), (8, 3.5), (-6, 3.5)])
    wood = part([(-13.5, 0), (-6, -3.5), (-6, 3.5)])
    lead = part([(-13.5, 0), (-10.8, -1.25), (-10.8, 1.25)])
    band = part([(8, -3.5), (10, -3.5), (10, 3.5), (8, 3.5)])
    rubber = part([(10, -2.9), (12.0, -2.9), (12.0, 2.9), (10, 2.9)], round_by=0.6)
    stripe = Stroke([_turn(p, -45.0, (16.0, 16.0)) for p in [(-6, 0), (8, 0)]], 1.2)
    return [
        Layer(Grow(Union(body, wood, band, rubber), 1.1), Solid("#4e3b0a")),
        Layer(body, Linear((10, 10), (14, 14), "#ffd54f", "#f2a900")),
        Layer(stripe, Solid("#e09600")),
        Layer(wood, Solid("#f3d3a3")),
        Layer(lead, Solid("#37352f")),
        Layer(band, Solid("#b8c0c8")),
        Layer(rubber, Solid("#ee8ea0")),
    ]


def draw_palette():
    board = Cut(Circle(16, 16, 13.5), Union(Circle(27.5, 25.5, 6.0), Circle(19.8, 21.8, 2.6)))
    layers = outlined(board, Linear((0, 3), (0, 29), "#f0cf8e", "#c48a42"), "#6d4a1f", 1.1)
    for (x, y), colour in [
        ((9.5, 11.0), "#e53935"),
        ((16.0, 7.5), "#fdd835"),
        ((22.5, 10.0), "#43a047"),
        ((8.0, 18.5), "#1e88e5"),
        ((11.5, 24.5), "#8e24aa"),
    ]:
        layers += outlined(Circle(x, y, 2.5), Solid(colour), "#3a2a12", 0.6)
    return layers


def draw_info():
    layers = outlined(Circle(16, 16, 13.5), Linear((0, 3), (0, 29), "#5cb4f7", "#1259b0"),
                      "#0b3478", 1.1)
    layers.append(Layer(Circle(16, 9.0, 2.4), Solid("#ffffff")))
    layers.append(Layer(Box(16, 18.8, 2.1, 6.6, 1.0), Solid("#ffffff")))
    return layers


def draw_menu():
    card = Box(16, 16, 12.0, 13.5, 2.5)
    layers = outlined(card, Linear((0, 2), (0, 30), "#ffffff", "#dfe4e8"), "#4a5d68", 1.1)
    for y in (8.5, 13.5, 18.5, 23.5):
        layers.append(Layer(Box(9.0, y, 1.6, 1.6, 0.5), Solid("#1e88e5")))
        layers.append(Layer(Stroke([(13.0, y), (24.0, y)], 2.0), Solid("#455a64")))
    return layers


def draw_rightup():
    arrow = Union(
        Stroke([(7, 25), (20, 12)], 5.0),
        Polygon([(25.5, 6.5), (25.5, 18.0), (14.0, 6.5)], round_by=1.5),
    )
    return outlined(arrow, Linear((6, 26), (26, 6), "#2e7d32", "#8bd48f"), "#144d18", 1.1)


def draw_saveas():
    body = Polygon([(5, 5), (23.5, 5), (27, 8.5), (27, 27), (5, 27)], round_by=1.0)
    layers = outlined(body, Linear((0, 4), (0, 28), "#3d95e6", "#0f4a9c"), "#0a2c5e", 1.0)
    layers.append(Layer(Box(15.0, 9.0, 7.0, 4.8, 0.8), Solid("#d5dde1")))
    layers.append(Layer(Box(18.3, 9.0, 1.6, 3.2, 0.4), Solid("#455a64")))
    layers.append(Layer(Box(16.0, 21.0, 8.5, 5.0, 1.0), Solid("#fbfbfb")))
    for y in (19.3, 22.7):
        layers.append(Layer(Stroke([(10.5, y), (21.5, y)], 1.1), Solid("#90a4ae")))
    return layers


def draw_erase():
    centre, angle = (17.5, 14.0), -38.0
    block = Box(centre[0], centre[1], 11.0, 5.5, 1.6, angle)
    a = math.radians(angle)
    along = (math.cos(a), math.sin(a))
    seam = (centre[0] + along[0] * -2.5, centre[1] + along[1] * -2.5)
    tip = Clip(block, HalfPlane(seam, along))
    sleeve = Clip(block, HalfPlane(seam, (-along[0], -along[1])))
    return [
        Layer(Stroke([(3.5, 28.0), (13.5, 28.0)], 1.6), Solid("#90a4ae")),
        Layer(Stroke([(6.0, 24.8), (10.5, 24.8)], 1.2), Solid("#b0bec5")),
        Layer(Grow(block, 1.1), Solid("#37474f")),
        Layer(tip, Linear((4, 20), (14, 10), "#f48fb1", "#ec5f8e")),
        Layer(sleeve, Linear((12, 14), (28, 4), "#5c6bc0", "#3949ab")),
    ]


def draw_hexa():
    plate = Box(16, 16, 14.0, 11.5, 3.0)
    layers = outlined(plate, Linear((0, 4), (0, 28), "#37474f", "#1c262b"), "#0c1316", 1.0)
    green = Solid("#7ee787")
    zero = Ring(Stroke([(10.5, 13.5), (10.5, 18.5)], 6.6), 2.2)
    ex = Union(Stroke([(17.5, 14.5), (24.0, 21.5)], 2.3), Stroke([(24.0, 14.5), (17.5, 21.5)], 2.3))
    layers.append(Layer(zero, green))
    layers.append(Layer(ex, green))
    return layers


def draw_document():
    page = Polygon([(7, 3), (20, 3), (26, 9), (26, 29), (7, 29)], round_by=0.5)
    layers = outlined(page, Linear((0, 3), (0, 29), "#ffffff", "#e3e8eb"), "#546e7a", 1.0)
    layers.append(Layer(Polygon([(20, 3), (20, 9), (26, 9)], round_by=0.4), Solid("#b8c5cc")))
    layers.append(Layer(Stroke([(10.5, 9.5), (16.5, 9.5)], 1.5), Solid("#78909c")))
    for y in (14.0, 18.0, 22.0, 26.0):
        layers.append(Layer(Stroke([(10.5, y), (22.5, y)], 1.5), Solid("#90a4ae")))
    return layers


def draw_refresh():
    cx, cy, r = 16.0, 16.5, 9.5
    start, sweep = -30.0, 280.0
    arc = Arc(cx, cy, r, start, sweep, 4.2)
    end = math.radians(start + sweep)
    ex, ey = cx + r * math.cos(end), cy + r * math.sin(end)
    tx, ty = -math.sin(end), math.cos(end)  # direction of travel
    nx, ny = math.cos(end), math.sin(end)  # outward
    head = Polygon(
        [
            (ex + tx * 5.5, ey + ty * 5.5),
            (ex + nx * 5.0 - tx * 0.5, ey + ny * 5.0 - ty * 0.5),
            (ex - nx * 5.0 - tx * 0.5, ey - ny * 5.0 - ty * 0.5),
        ],
        round_by=0.6,
    )
    return outlined(Union(arc, head), Linear((0, 5), (0, 28), "#5cc8f5", "#0872b3"), "#053f66", 1.1)


def draw_dovik():
    frame = Box(16, 16, 14.0, 12.5, 2.5)
    layers = outlined(frame, Solid("#546e7a"), "#263238", 1.0)
    bar = Clip(frame, Box(16, 5.0, 15.0, 4.5))
    layers.append(Layer(bar, Linear((0, 3), (0, 9), "#90a4ae", "#607d8b")))
    for x, colour in ((6.5, "#ef5350"), (10.0, "#ffca28"), (13.5, "#66bb6a")):
        layers.append(Layer(Circle(x, 6.5, 1.2), Solid(colour)))
    layers.append(Layer(Box(16, 18.6, 12.0, 8.4, 1.2), Solid("#111c21")))
    green = Solid("#7ee787")
    layers.append(Layer(Stroke([(6.5, 13.0), (9.5, 15.5), (6.5, 18.0)], 1.6), green))
    layers.append(Layer(Stroke([(12.0, 15.5), (22.0, 15.5)], 1.4), Solid("#b2dfdb")))
    layers.append(Layer(Stroke([(6.5, 22.0), (15.0, 22.0)], 1.4), Solid("#b2dfdb")))
    layers.append(Layer(Box(18.6, 21.8, 1.2, 1.8), green))
    return layers


def draw_news():
    sheet = Box(16, 16, 12.0, 13.5, 1.5)
    layers = outlined(sheet, Linear((0, 2), (0, 30), "#ffffff", "#e3e8eb"), "#4a5d68", 1.0)
    layers.append(Layer(Stroke([(8.0, 7.5), (24.0, 7.5)], 3.0), Solid("#37474f")))
    sky = Linear((0, 12), (0, 19), "#90caf9", "#42a5f5")
    hills = Polygon([(8.5, 19.0), (11.0, 15.5), (13.2, 18.0), (14.5, 16.8), (14.5, 19.0)])
    layers.append(Layer(Box(11.5, 15.5, 3.5, 3.5, 0.5), sky))
    layers.append(Layer(hills, Solid("#2e7d32")))
    for y in (13.0, 15.5, 18.0):
        layers.append(Layer(Stroke([(17.5, y), (24.0, y)], 1.2), Solid("#78909c")))
    for y in (22.0, 25.0):
        layers.append(Layer(Stroke([(8.0, y), (24.0, y)], 1.2), Solid("#78909c")))
    return layers


LOGO_EXTENT = 256


def logo_layers():
    """A terminal screen with a prompt above a serial connector.

    Only shapes that SVG has too are used here, so the scalable theme icon is
    written from this same drawing instead of being kept in step by hand.
    """
    green = Solid("#7ee787")
    return [
        Layer(Box(128, 136, 108, 106, 46), Solid("#000000", 0.35), blur=14.0),
        Layer(Box(128, 128, 112, 112, 48), Linear((0, 16), (0, 240), "#2f8fb0", "#0e3a54")),
        Layer(Box(128, 110, 88, 70, 22), Solid("#a8dcea")),
        Layer(Box(128, 110, 81, 63, 16), Linear((0, 47), (0, 173), "#13262f", "#08131a")),
        Layer(Stroke([(80, 80), (112, 108), (80, 136)], 17), green),
        Layer(Stroke([(126, 140), (170, 140)], 17), green),
        Layer(Polygon([(88, 196), (168, 196), (158, 224), (98, 224)], 5), Solid("#d8eef5")),
        Layer(Circle(108, 205, 5), Solid("#0e3a54")),
        Layer(Circle(128, 205, 5), Solid("#0e3a54")),
        Layer(Circle(148, 205, 5), Solid("#0e3a54")),
        Layer(Circle(118, 216, 5), Solid("#0e3a54")),
        Layer(Circle(138, 216, 5), Solid("#0e3a54")),
    ]


def logo_svg():
    defs, body = [], []
    blur_id = "soften"
    for n, layer in enumerate(logo_layers()):
        ident = "paint%d" % n
        d = layer.paint.svg_defs(ident)
        if d:
            defs.append(d)
        element = layer.shape.svg(layer.paint.svg_fill(ident))
        if layer.blur:
            defs.append(
                '<filter id="%s" x="-20%%" y="-20%%" width="140%%" height="140%%">'
                '<feGaussianBlur stdDeviation="%g"/></filter>' % (blur_id, layer.blur / 2.0)
            )
            element = element.replace("/>", ' filter="url(#%s)"/>' % blur_id, 1)
        body.append(element)
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">\n'
        "<defs>\n" + "\n".join(defs) + "\n</defs>\n" + "\n".join(body) + "\n</svg>\n"
    )


ICONS = {
    "delete.png": draw_delete,
    "edit.png": draw_edit,
    "palette.png": draw_palette,
    "info.png": draw_info,
    "menu.png": draw_menu,
    "rightup.png": draw_rightup,
    "saveas.png": draw_saveas,
    "erase.png": draw_erase,
    "hexa.png": draw_hexa,
    "document.png": draw_document,
    "refresh.png": draw_refresh,
    "dovik.png": draw_dovik,
    "news.png": draw_news,
}

APP_ID = "org.solvaneterm.SolvaneTerm"
THEME_SIZES = (16, 24, 32, 48, 64, 128, 256)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    images = os.path.join(HERE, "images")
    for name, draw in ICONS.items():
        write(os.path.join(images, name), picture(draw(), 32, 32))

    logos = {size: picture(logo_layers(), LOGO_EXTENT, size) for size in THEME_SIZES}
    write(os.path.join(images, "SOLVANE_LOGO.png"), logos[256])
    write(
        os.path.join(images, "SOLVANE_LOGO.icns"),
        icns([(b"icp4", logos[16]), (b"icp5", logos[32]), (b"icp6", logos[64]),
              (b"ic07", logos[128]), (b"ic08", logos[256])]),
    )

    theme = os.path.join(HERE, "icons", "hicolor")
    for size, png in logos.items():
        write(os.path.join(theme, "%dx%d" % (size, size), "apps", APP_ID + ".png"), png)
    write(os.path.join(theme, "scalable", "apps", APP_ID + ".svg"), logo_svg().encode("utf-8"))


if __name__ == "__main__":
    main()
