"""The game's emblem: a gold crescent and star, on a crimson tile for the
application icon, bare in the logos."""

from raster import blur, poly_mask, ramp, round_box_mask, sd_circle, sdf_mask, subtract, transform, path

GOLD_HI = (255, 228, 158)
GOLD = (222, 174, 92)
GOLD_MID = (176, 124, 58)


STAR = "M 0 -1 L 0.22 -0.22 L 1 0 L 0.22 0.22 L 0 1 L -0.22 0.22 L -1 0 L -0.22 -0.22 Z"


def crescent_mask(cx, cy, r, soft=1.0):
    """A crescent opening to the upper right."""
    outer = sd_circle(cx, cy, r)
    inner = sd_circle(cx + r * 0.42, cy - r * 0.30, r * 0.80)
    p = r + 2
    return sdf_mask(cx - p, cy - p, cx + p, cy + p, lambda x, y: max(outer(x, y), -inner(x, y)), soft)


def star_mask(cx, cy, r):
    return poly_mask(transform(path(STAR), r, r, cx, cy))


def gold_at(y0, y1):
    return lambda x, y: ramp([(0.0, GOLD_HI), (0.5, GOLD), (1.0, GOLD_MID)], (y - y0) / max(1.0, y1 - y0))


def draw_emblem(img, x0, y0, size, tile=True):
    """The game's emblem in the square (x0, y0, size)."""
    s = float(size)
    if tile:
        rad = s * 0.2
        tile_m = round_box_mask(x0, y0, x0 + s, y0 + s, rad)
        img.paint(tile_m, lambda x, y: ramp([(0.0, (150, 36, 30)), (1.0, (60, 12, 14))], (y - y0) / s))
        if size >= 24:
            b = max(1.0, s / 24.0)
            ring = subtract(tile_m, round_box_mask(x0 + b, y0 + b, x0 + s - b, y0 + s - b, rad - b))
            img.paint(ring, gold_at(y0, y0 + s))
    cx = x0 + s * 0.46
    cy = y0 + s * 0.54
    r = s * 0.31
    if size >= 32:
        img.paint(blur(crescent_mask(cx, cy, r * 1.05), max(1, size // 24)), (255, 200, 120), 0.6)
    img.paint(crescent_mask(cx, cy, r), gold_at(cy - r, cy + r))
    if size >= 20:
        img.paint(star_mask(x0 + s * 0.70, y0 + s * 0.30, s * 0.15), GOLD_HI)
