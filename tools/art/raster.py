"""A small deterministic rasteriser for the client's artwork.

Pure standard library. Pictures are premultiplied RGBA in floats (colour on the
0..255 scale, alpha 0..1); masks are coverage values 0..1 over a bounding box.
Everything is computed in a fixed order with no randomness except the seeded
generator below, so the same program gives the same bytes.
"""

import math
import struct
import subprocess
import zlib

FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"


# ---------------------------------------------------------------------------
# helpers

def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def smoothstep(e0, e1, x):
    if e0 == e1:
        return 0.0 if x < e0 else 1.0
    t = (x - e0) / (e1 - e0)
    t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
    return t * t * (3.0 - 2.0 * t)


def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def ramp(stops, t):
    """Colour at t on a list of (position, colour) stops sorted by position."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, (t - p0) / (p1 - p0) if p1 > p0 else 1.0)
    return stops[-1][1]


def lighten(c, k):
    return tuple(v + (255.0 - v) * k for v in c)


def darken(c, k):
    return tuple(v * (1.0 - k) for v in c)


class Lcg:
    """Seeded linear congruential generator: the same numbers everywhere."""

    def __init__(self, seed):
        self.s = seed & 0xFFFFFFFF

    def next(self):
        self.s = (self.s * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.s / 4294967296.0

    def uniform(self, a, b):
        return a + (b - a) * self.next()


def _hash2(ix, iy, seed):
    h = (ix * 374761393 + iy * 668265263 + seed * 2147483647) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0


def value_noise(x, y, seed=0):
    ix = math.floor(x)
    iy = math.floor(y)
    fx = x - ix
    fy = y - iy
    sx = fx * fx * (3 - 2 * fx)
    sy = fy * fy * (3 - 2 * fy)
    a = _hash2(ix, iy, seed)
    b = _hash2(ix + 1, iy, seed)
    c = _hash2(ix, iy + 1, seed)
    d = _hash2(ix + 1, iy + 1, seed)
    top = a + (b - a) * sx
    bot = c + (d - c) * sx
    return top + (bot - top) * sy


def fbm(x, y, octaves=3, seed=0):
    total = 0.0
    amp = 0.5
    norm = 0.0
    for o in range(octaves):
        total += amp * value_noise(x, y, seed + o * 17)
        norm += amp
        x *= 2.03
        y *= 2.03
        amp *= 0.5
    return total / norm


# ---------------------------------------------------------------------------
# pictures

class Img:
    def __init__(self, w, h):
        self.w = w
        self.h = h
        n = w * h
        self.r = [0.0] * n
        self.g = [0.0] * n
        self.b = [0.0] * n
        self.a = [0.0] * n

    def fill(self, x0, y0, x1, y1, fn):
        """Paints fn(x, y) -> (r, g, b[, a]) over the rectangle, source-over."""
        x0 = max(0, x0)
        y0 = max(0, y0)
        x1 = min(self.w, x1)
        y1 = min(self.h, y1)
        R, G, B, A, W = self.r, self.g, self.b, self.a, self.w
        for y in range(y0, y1):
            base = y * W
            for x in range(x0, x1):
                c = fn(x, y)
                a = c[3] if len(c) > 3 else 1.0
                if a <= 0.0:
                    continue
                k = base + x
                ia = 1.0 - a
                R[k] = c[0] * a + R[k] * ia
                G[k] = c[1] * a + G[k] * ia
                B[k] = c[2] * a + B[k] * ia
                A[k] = a + A[k] * ia

    def paint(self, m, color, opacity=1.0, add=False):
        """Composites a mask filled with a colour or a function of (x, y).

        add=True adds light (colour times coverage) without covering what is
        below; alpha grows as with source-over."""
        R, G, B, A, W, H = self.r, self.g, self.b, self.a, self.w, self.h
        const = not callable(color)
        if const:
            cr, cg, cb = color[0], color[1], color[2]
        d = m.d
        mw = m.w
        for j in range(m.h):
            y = m.y0 + j
            if y < 0 or y >= H:
                continue
            base = y * W
            row = j * mw
            for i in range(mw):
                cov = d[row + i]
                if cov <= 0.0:
                    continue
                x = m.x0 + i
                if x < 0 or x >= W:
                    continue
                a = cov * opacity
                if not const:
                    c = color(x, y)
                    cr, cg, cb = c[0], c[1], c[2]
                    if len(c) > 3:
                        a *= c[3]
                        if a <= 0.0:
                            continue
                k = base + x
                if add:
                    R[k] = min(255.0, R[k] + cr * a)
                    G[k] = min(255.0, G[k] + cg * a)
                    B[k] = min(255.0, B[k] + cb * a)
                    A[k] = A[k] + a * (1.0 - A[k])
                else:
                    ia = 1.0 - a
                    R[k] = cr * a + R[k] * ia
                    G[k] = cg * a + G[k] * ia
                    B[k] = cb * a + B[k] * ia
                    A[k] = a + A[k] * ia

    def multiply_alpha(self, fn, x0=0, y0=0, x1=None, y1=None):
        """Scales coverage (colour and alpha, premultiplied) by fn(x, y)."""
        x1 = self.w if x1 is None else x1
        y1 = self.h if y1 is None else y1
        R, G, B, A, W = self.r, self.g, self.b, self.a, self.w
        for y in range(y0, y1):
            base = y * W
            for x in range(x0, x1):
                k = base + x
                if A[k] <= 0.0:
                    continue
                f = fn(x, y)
                if f >= 1.0:
                    continue
                R[k] *= f
                G[k] *= f
                B[k] *= f
                A[k] *= f

    def crop(self, x0, y0, w, h):
        out = Img(w, h)
        for j in range(h):
            src = (y0 + j) * self.w + x0
            dst = j * w
            out.r[dst:dst + w] = self.r[src:src + w]
            out.g[dst:dst + w] = self.g[src:src + w]
            out.b[dst:dst + w] = self.b[src:src + w]
            out.a[dst:dst + w] = self.a[src:src + w]
        return out

    def blit(self, src, x0, y0):
        """Source-over of a whole picture at (x0, y0)."""
        R, G, B, A, W = self.r, self.g, self.b, self.a, self.w
        for j in range(src.h):
            y = y0 + j
            if y < 0 or y >= self.h:
                continue
            for i in range(src.w):
                x = x0 + i
                if x < 0 or x >= W:
                    continue
                s = j * src.w + i
                sa = src.a[s]
                if sa <= 0.0:
                    continue
                k = y * W + x
                ia = 1.0 - sa
                R[k] = src.r[s] + R[k] * ia
                G[k] = src.g[s] + G[k] * ia
                B[k] = src.b[s] + B[k] * ia
                A[k] = sa + A[k] * ia

    def pixel(self, x, y):
        """Straight 8-bit (r, g, b, a) as it will be written."""
        k = y * self.w + x
        return _to8(self.r[k], self.g[k], self.b[k], self.a[k])

    def rgba_rows(self):
        rows = []
        W = self.w
        for y in range(self.h):
            row = bytearray(W * 4)
            base = y * W
            for x in range(W):
                k = base + x
                row[x * 4:x * 4 + 4] = bytes(_to8(self.r[k], self.g[k], self.b[k], self.a[k]))
            rows.append(bytes(row))
        return rows

    def rgb_rows(self):
        """Rows of opaque RGB; the picture must be fully covered."""
        rows = []
        for row in self.rgba_rows():
            out = bytearray(len(row) // 4 * 3)
            out[0::3] = row[0::4]
            out[1::3] = row[1::4]
            out[2::3] = row[2::4]
            rows.append(bytes(out))
        return rows


def _to8(r, g, b, a):
    ai = int(a * 255.0 + 0.5)
    if ai <= 0:
        return (0, 0, 0, 0)
    if ai > 255:
        ai = 255
    inv = 1.0 / a
    rr = int(r * inv + 0.5)
    gg = int(g * inv + 0.5)
    bb = int(b * inv + 0.5)
    return (min(255, max(0, rr)), min(255, max(0, gg)), min(255, max(0, bb)), ai)


# ---------------------------------------------------------------------------
# masks

class Mask:
    __slots__ = ("x0", "y0", "w", "h", "d")

    def __init__(self, x0, y0, w, h, d=None):
        self.x0 = x0
        self.y0 = y0
        self.w = max(0, w)
        self.h = max(0, h)
        self.d = d if d is not None else [0.0] * (self.w * self.h)

    def get(self, x, y):
        i = x - self.x0
        j = y - self.y0
        if 0 <= i < self.w and 0 <= j < self.h:
            return self.d[j * self.w + i]
        return 0.0

    def moved(self, dx, dy):
        return Mask(self.x0 + dx, self.y0 + dy, self.w, self.h, self.d)

    def scaled(self, k):
        return Mask(self.x0, self.y0, self.w, self.h, [v * k for v in self.d])

    def map(self, fn):
        """New mask with fn(x, y, v) per pixel over the same box."""
        out = []
        for j in range(self.h):
            y = self.y0 + j
            row = j * self.w
            for i in range(self.w):
                v = self.d[row + i]
                out.append(fn(self.x0 + i, y, v) if v > 0.0 else 0.0)
        return Mask(self.x0, self.y0, self.w, self.h, out)

    def padded(self, p):
        out = Mask(self.x0 - p, self.y0 - p, self.w + 2 * p, self.h + 2 * p)
        for j in range(self.h):
            s = j * self.w
            t = (j + p) * out.w + p
            out.d[t:t + self.w] = self.d[s:s + self.w]
        return out


def union(*masks):
    x0 = min(m.x0 for m in masks)
    y0 = min(m.y0 for m in masks)
    x1 = max(m.x0 + m.w for m in masks)
    y1 = max(m.y0 + m.h for m in masks)
    out = Mask(x0, y0, x1 - x0, y1 - y0)
    for m in masks:
        for j in range(m.h):
            t = (m.y0 + j - y0) * out.w + (m.x0 - x0)
            s = j * m.w
            od = out.d
            md = m.d
            for i in range(m.w):
                v = md[s + i]
                if v > od[t + i]:
                    od[t + i] = v
    return out


def subtract(a, b):
    """a without b: a * (1 - b) over a's box."""
    return a.map(lambda x, y, v: v * (1.0 - b.get(x, y)))


def intersect(a, b):
    return a.map(lambda x, y, v: v * b.get(x, y))


def sdf_mask(x0, y0, x1, y1, f, soft=1.0):
    """Coverage from a signed distance f(px, py) at pixel centres (negative
    inside). soft widens the edge for blurry shapes."""
    x0 = int(math.floor(x0))
    y0 = int(math.floor(y0))
    x1 = int(math.ceil(x1))
    y1 = int(math.ceil(y1))
    m = Mask(x0, y0, x1 - x0, y1 - y0)
    d = m.d
    k = 0
    inv = 1.0 / soft
    for y in range(y0, y1):
        py = y + 0.5
        for x in range(x0, x1):
            v = 0.5 - f(x + 0.5, py) * inv
            d[k] = 0.0 if v <= 0.0 else 1.0 if v >= 1.0 else v
            k += 1
    return m


def sd_circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def sd_ellipse(cx, cy, rx, ry):
    m = min(rx, ry)
    return lambda x, y: (math.hypot((x - cx) / rx, (y - cy) / ry) - 1.0) * m


def sd_round_box(x0, y0, x1, y1, r):
    cx = (x0 + x1) / 2.0
    cy = (y0 + y1) / 2.0
    hx = (x1 - x0) / 2.0 - r
    hy = (y1 - y0) / 2.0 - r

    def f(x, y):
        qx = abs(x - cx) - hx
        qy = abs(y - cy) - hy
        ox = qx if qx > 0 else 0.0
        oy = qy if qy > 0 else 0.0
        return math.hypot(ox, oy) + min(max(qx, qy), 0.0) - r
    return f


def sd_segment(ax, ay, bx, by, half_width):
    dx = bx - ax
    dy = by - ay
    ll = dx * dx + dy * dy

    def f(x, y):
        t = ((x - ax) * dx + (y - ay) * dy) / ll if ll > 0 else 0.0
        t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
        return math.hypot(x - ax - dx * t, y - ay - dy * t) - half_width
    return f


def circle_mask(cx, cy, r, soft=1.0):
    p = r + 2 + soft
    return sdf_mask(cx - p, cy - p, cx + p, cy + p, sd_circle(cx, cy, r), soft)


def ellipse_mask(cx, cy, rx, ry, soft=1.0):
    return sdf_mask(cx - rx - 2 - soft, cy - ry - 2 - soft, cx + rx + 2 + soft, cy + ry + 2 + soft,
                    sd_ellipse(cx, cy, rx, ry), soft)


def round_box_mask(x0, y0, x1, y1, r, soft=1.0):
    return sdf_mask(x0 - 1, y0 - 1, x1 + 1, y1 + 1, sd_round_box(x0, y0, x1, y1, r), soft)


def stroke_mask(points, width, soft=1.0):
    """A polyline of round-capped segments."""
    hw = width / 2.0
    segs = [sd_segment(a[0], a[1], b[0], b[1], hw) for a, b in zip(points, points[1:])]
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    p = hw + 2 + soft
    return sdf_mask(min(xs) - p, min(ys) - p, max(xs) + p, max(ys) + p,
                    lambda x, y: min(s(x, y) for s in segs), soft)


# --- polygons and paths ----------------------------------------------------

def _cubic(p0, p1, p2, p3, n):
    out = []
    for i in range(1, n + 1):
        t = i / n
        u = 1 - t
        out.append((u * u * u * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t * t * t * p3[0],
                    u * u * u * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t * t * t * p3[1]))
    return out


def _quad(p0, p1, p2, n):
    out = []
    for i in range(1, n + 1):
        t = i / n
        u = 1 - t
        out.append((u * u * p0[0] + 2 * u * t * p1[0] + t * t * p2[0],
                    u * u * p0[1] + 2 * u * t * p1[1] + t * t * p2[1]))
    return out


def path(outline, n=20):
    """Polygons from an SVG-like path with absolute M, L, Q, C and Z."""
    toks = outline.replace(",", " ").split()
    polys = []
    cur = []
    i = 0
    cmd = None
    while i < len(toks):
        t = toks[i]
        if t.isalpha():
            cmd = t
            i += 1
            if cmd == "Z":
                if cur:
                    polys.append(cur)
                cur = []
            continue
        vals = lambda k: [float(v) for v in toks[i:i + k]]
        if cmd == "M":
            if cur:
                polys.append(cur)
            cur = [tuple(vals(2))]
            i += 2
            cmd = "L"
        elif cmd == "L":
            cur.append(tuple(vals(2)))
            i += 2
        elif cmd == "Q":
            v = vals(4)
            cur.extend(_quad(cur[-1], (v[0], v[1]), (v[2], v[3]), n))
            i += 4
        elif cmd == "C":
            v = vals(6)
            cur.extend(_cubic(cur[-1], (v[0], v[1]), (v[2], v[3]), (v[4], v[5]), n))
            i += 6
        else:
            raise ValueError("path command " + str(cmd))
    if cur:
        polys.append(cur)
    return polys


def transform(polys, sx=1.0, sy=1.0, dx=0.0, dy=0.0):
    return [[(x * sx + dx, y * sy + dy) for x, y in p] for p in polys]


def poly_mask(polys, sub=5):
    """Coverage of polygons (non-zero winding): sub sub-scanlines per row and
    exact horizontal span coverage."""
    pts = [p for poly in polys for p in poly]
    x0 = int(math.floor(min(p[0] for p in pts))) - 1
    x1 = int(math.ceil(max(p[0] for p in pts))) + 1
    y0 = int(math.floor(min(p[1] for p in pts))) - 1
    y1 = int(math.ceil(max(p[1] for p in pts))) + 1
    w = x1 - x0
    m = Mask(x0, y0, w, y1 - y0)
    edges = []
    for poly in polys:
        n = len(poly)
        for k in range(n):
            (ax, ay), (bx, by) = poly[k], poly[(k + 1) % n]
            if ay == by:
                continue
            if ay < by:
                edges.append((ay, by, ax, (bx - ax) / (by - ay), 1))
            else:
                edges.append((by, ay, bx, (ax - bx) / (ay - by), -1))
    edges.sort()
    wgt = 1.0 / sub
    for j in range(m.h):
        acc = [0.0] * (w + 2)
        delta = [0.0] * (w + 2)
        ybase = y0 + j
        active = [e for e in edges if e[0] < ybase + 1 and e[1] > ybase]
        if not active:
            continue
        for s in range(sub):
            ys = ybase + (s + 0.5) * wgt
            xs = []
            for (ey0, ey1, ex, slope, wd) in active:
                if ey0 <= ys < ey1:
                    xs.append((ex + (ys - ey0) * slope - x0, wd))
            if not xs:
                continue
            xs.sort()
            wind = 0
            start = 0.0
            for xv, wd in xs:
                prev = wind
                wind += wd
                if prev == 0 and wind != 0:
                    start = xv
                elif prev != 0 and wind == 0:
                    xa = start if start > 0.0 else 0.0
                    xb = xv if xv < w else float(w)
                    if xb <= xa:
                        continue
                    ia = int(xa)
                    ib = int(xb)
                    if ia == ib:
                        acc[ia] += (xb - xa) * wgt
                    else:
                        acc[ia] += (ia + 1 - xa) * wgt
                        delta[ia + 1] += wgt
                        delta[ib] -= wgt
                        acc[ib] += (xb - ib) * wgt
        run = 0.0
        row = j * w
        d = m.d
        for i in range(w):
            run += delta[i]
            v = acc[i] + run
            d[row + i] = 0.0 if v <= 1e-9 else 1.0 if v >= 1.0 else v
    return m


def blur(m, r, passes=3):
    """Box blur repeated: close to a Gaussian. The box grows by r * passes."""
    if r <= 0:
        return m
    m = m.padded(r * passes)
    w, h = m.w, m.h
    d = list(m.d)
    span = 2 * r + 1
    inv = 1.0 / span
    for _ in range(passes):
        # rows
        out = [0.0] * (w * h)
        for j in range(h):
            row = j * w
            s = 0.0
            for i in range(-r, r + 1):
                if 0 <= i < w:
                    s += d[row + i]
            for i in range(w):
                out[row + i] = s * inv
                a = i + r + 1
                b = i - r
                if a < w:
                    s += d[row + a]
                if 0 <= b < w:
                    s -= d[row + b]
        d = out
        # columns
        out = [0.0] * (w * h)
        for i in range(w):
            s = 0.0
            for j in range(-r, r + 1):
                if 0 <= j < h:
                    s += d[j * w + i]
            for j in range(h):
                out[j * w + i] = s * inv
                a = j + r + 1
                b = j - r
                if a < h:
                    s += d[a * w + i]
                if 0 <= b < h:
                    s -= d[b * w + i]
        d = out
    return Mask(m.x0, m.y0, w, h, d)


def dilate(m, r):
    """Round dilation by r pixels (max over a disc), for outlines."""
    m = m.padded(r + 1)
    w, h = m.w, m.h
    offs = [(dx, dy) for dy in range(-r, r + 1) for dx in range(-r, r + 1) if dx * dx + dy * dy <= r * r + r]
    out = [0.0] * (w * h)
    d = m.d
    for j in range(h):
        for i in range(w):
            best = 0.0
            for dx, dy in offs:
                ii = i + dx
                jj = j + dy
                if 0 <= ii < w and 0 <= jj < h:
                    v = d[jj * w + ii]
                    if v > best:
                        best = v
                        if best >= 1.0:
                            break
            out[j * w + i] = best
    return Mask(m.x0, m.y0, w, h, out)


# --- text -------------------------------------------------------------------

_text_cache = {}


def text_mask(text, size, stroke=0.0, convert="convert"):
    """Coverage of a text line rendered by ImageMagick with the CJK font,
    trimmed to its ink; the box starts at (0, 0)."""
    key = (text, size, stroke)
    if key in _text_cache:
        return _text_cache[key]
    cmd = [convert, "-background", "black", "-fill", "white", "-font", FONT,
           "-pointsize", str(size)]
    if stroke:
        cmd += ["-stroke", "white", "-strokewidth", str(stroke)]
    cmd += ["label:" + text, "-colorspace", "gray", "-depth", "8", "pgm:-"]
    data = subprocess.run(cmd, check=True, stdout=subprocess.PIPE).stdout
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    if fields[0] != b"P5":
        raise RuntimeError("unexpected text raster from convert")
    w, h, mx = int(fields[1]), int(fields[2]), int(fields[3])
    px = data[pos:pos + w * h]
    cols = [i for i in range(w) if any(px[j * w + i] for j in range(h))]
    rows = [j for j in range(h) if any(px[j * w:(j + 1) * w])]
    if not cols:
        m = Mask(0, 0, 0, 0)
    else:
        cx0, cx1, ry0, ry1 = cols[0], cols[-1] + 1, rows[0], rows[-1] + 1
        m = Mask(0, 0, cx1 - cx0, ry1 - ry0)
        for j in range(ry0, ry1):
            for i in range(cx0, cx1):
                m.d[(j - ry0) * m.w + (i - cx0)] = px[j * w + i] / mx
    _text_cache[key] = m
    return m


# ---------------------------------------------------------------------------
# files

def _chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def _paeth_filter(row, prev, bpp):
    out = bytearray(len(row) + 1)
    out[0] = 4
    for i in range(len(row)):
        a = row[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        p = a + b - c
        pa = abs(p - a)
        pb = abs(p - b)
        pc = abs(p - c)
        pred = a if (pa <= pb and pa <= pc) else (b if pb <= pc else c)
        out[i + 1] = (row[i] - pred) & 0xFF
    return out


def png_bytes(rows, width, height, channels):
    """A PNG with 8-bit RGB (channels 3) or RGBA (4), Paeth-filtered rows,
    and no chunk that varies between runs."""
    color_type = 6 if channels == 4 else 2
    raw = bytearray()
    prev = bytes(width * channels)
    for row in rows:
        raw += _paeth_filter(row, prev, channels)
        prev = row
    ihdr = struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", ihdr) +
            _chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + _chunk(b"IEND", b""))


def bmp_bytes(img):
    """A 24-bit bottom-up Windows bitmap without colour table."""
    w, h = img.w, img.h
    stride = (w * 3 + 3) & ~3
    rows = img.rgb_rows()
    body = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        line[0:w * 3:3] = row[2::3]
        line[1:w * 3:3] = row[1::3]
        line[2:w * 3:3] = row[0::3]
        body += line
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return head + info + bytes(body)


def ico_bytes(images):
    """An icon file of 32-bit images (each with its AND mask)."""
    entries = []
    blobs = []
    offset = 6 + 16 * len(images)
    for img in images:
        w, h = img.w, img.h
        rows = img.rgba_rows()
        xor = bytearray()
        mask_stride = ((w + 31) // 32) * 4
        andm = bytearray()
        for row in reversed(rows):
            line = bytearray(w * 4)
            line[0::4] = row[2::4]
            line[1::4] = row[1::4]
            line[2::4] = row[0::4]
            line[3::4] = row[3::4]
            xor += line
            bits = bytearray(mask_stride)
            for x in range(w):
                if row[x * 4 + 3] == 0:
                    bits[x >> 3] |= 0x80 >> (x & 7)
            andm += bits
        info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(andm), 0, 0, 0, 0)
        blob = info + bytes(xor) + bytes(andm)
        entries.append(struct.pack("<BBBBHHII", w if w < 256 else 0, h if h < 256 else 0, 0, 0, 1, 32,
                                   len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)
