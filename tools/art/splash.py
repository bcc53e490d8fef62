"""The launcher's splash picture: a moonlit swordsman on the left, the framed
panel for the login page on the right, transparent margins all round.

Coordinates are the picture's pixels. The panel's geometry is fixed by the
overlay that lies on it: four link buttons at y 244, the close button at
(1295, 251) and the login browser at (423, 284) size 896 x 487.
"""

import math

from emblem import draw_emblem
from raster import (
    Img, Lcg, blur, circle_mask, clamp, dilate, ellipse_mask, fbm, mix, path, poly_mask, ramp,
    round_box_mask, smoothstep, stroke_mask, text_mask, union)

CONVERT = "convert"

W, H = 1357, 852

# the panel and what lies on it
PX0, PY0, PX1, PY1 = 404, 222, 1338, 798
CHAMFER = 14
BAR_BOTTOM = 281
BROWSER = (423, 284, 1319, 771)
BUTTON_XS = (566, 733, 890, 1059)
BUTTON_Y, BUTTON_W, BUTTON_H = 244, 118, 35
CLOSE = (1295, 251, 23, 23)

FLAT_BAND = (78, 40, 26)
PANEL_BG = (40, 18, 16)
INK = (18, 9, 7)
GOLD_HI = (255, 228, 158)
GOLD = (222, 174, 92)
GOLD_LO = (112, 72, 32)

# the moon behind the figure
MX, MY, MR = 196, 262, 118

# the figure's flat armour colour (the character probe lies on it)
ARMOUR = (46, 40, 64)


# ---------------------------------------------------------------------------
# backdrop

def sky(x, y):
    t = y / 852.0
    c = ramp([(0.0, (8, 10, 34)), (0.3, (26, 26, 74)), (0.55, (74, 42, 98)),
              (0.72, (150, 74, 88)), (0.85, (96, 50, 76))], t)
    d = math.hypot(x - MX, y - MY)
    # glow around the moon
    g = 0.62 * math.exp(-max(0.0, d - MR) / 42.0) + 0.26 * math.exp(-max(0.0, d - MR) / 190.0)
    c = mix(c, (255, 212, 170), clamp(g))
    if 140 <= y <= 430:
        band = smoothstep(150, 230, y) * (1.0 - smoothstep(330, 430, y))
        n = fbm(x / 150.0, y / 34.0, 4, seed=3)
        dens = smoothstep(0.52, 0.72, n) * band
        if dens > 0.0:
            lit = clamp(1.2 * math.exp(-max(0.0, d - MR * 0.6) / 90.0))
            cloud = mix((44, 30, 70), (236, 176, 150), lit * (1.0 - smoothstep(0.55, 0.85, n)))
            c = mix(c, cloud, dens * 0.92)
    if d < MR + 1.0:
        cov = clamp(MR - d + 0.5)
        rr = d / MR
        moon = ramp([(0.0, (255, 251, 236)), (0.85, (252, 236, 200)), (0.97, (244, 214, 160)), (1.0, (255, 240, 200))], rr)
        mare = fbm(x / 46.0, y / 46.0, 3, seed=11)
        moon = mix(moon, (214, 188, 150), smoothstep(0.5, 0.75, mare) * 0.5)
        if 140 <= y <= 430:
            n = fbm(x / 150.0, y / 34.0, 4, seed=3)
            dens = smoothstep(0.52, 0.72, n) * smoothstep(150, 230, y) * (1.0 - smoothstep(330, 430, y))
            moon = mix(moon, mix((90, 60, 96), (250, 196, 160), 1.0 - smoothstep(0.55, 0.85, n)), dens * 0.85)
        c = mix(c, moon, cov)
    return c


def scene_alpha(x, y):
    """Soft, slightly ragged edge of the left art; zero near the picture's
    border."""
    d = math.hypot((x - 292) / 300.0, (y - 452) / 404.0)
    if d < 0.72:
        a = 1.0
    else:
        d += 0.09 * (fbm(x / 55.0, y / 55.0, 3, seed=7) - 0.5)
        a = 1.0 - smoothstep(0.80, 1.0, d)
    return a * smoothstep(6, 46, x) * smoothstep(6, 40, y) * (1.0 - smoothstep(806, 846, y))


def draw_mountains(img):
    far = path("M -10 632 L 30 596 Q 52 570 70 566 L 96 538 L 112 526 L 130 544 Q 146 556 160 548 L 196 524 "
               "L 236 566 Q 262 582 290 570 L 330 552 L 368 584 Q 410 600 450 586 L 500 566 L 560 598 L 640 616 "
               "L 640 860 L -10 860 Z")
    img.paint(poly_mask(far), lambda x, y: ramp([(0.0, (54, 40, 92)), (1.0, (104, 70, 112))], (y - 520) / 160.0))
    # a pagoda on the far peak
    pag = []
    cx, base = 112, 530
    tiers = [(26, 10), (21, 9), (16, 8), (11, 7)]
    y = base
    for half, hgt in tiers:
        pag.append([(cx - half * 0.55, y), (cx + half * 0.55, y), (cx + half * 0.55, y - hgt + 2), (cx - half * 0.55, y - hgt + 2)])
        roof = path("M %f %f Q %f %f %f %f L %f %f Q %f %f %f %f Z" % (
            cx - half, y - hgt + 4, cx - half * 0.6, y - hgt + 1, cx - half * 0.45, y - hgt - 2,
            cx + half * 0.45, y - hgt - 2, cx + half * 0.6, y - hgt + 1, cx + half, y - hgt + 4))
        pag.extend(roof)
        y -= hgt
    pag.append([(cx - 1, y), (cx + 1, y), (cx + 0.5, y - 14), (cx - 0.5, y - 14)])
    img.paint(poly_mask(pag), (46, 32, 72))
    img.paint(ellipse_mask(280, 654, 340, 30, soft=24), (214, 160, 196), 0.28)
    near = path("M -10 706 Q 50 660 110 676 Q 170 650 226 690 Q 290 672 350 700 Q 420 676 490 712 "
                "Q 560 700 640 720 L 640 860 L -10 860 Z")
    img.paint(poly_mask(near), lambda x, y: ramp([(0.0, (44, 28, 60)), (1.0, (24, 16, 32))], (y - 660) / 120.0))


def draw_stars(img):
    rnd = Lcg(20240611)
    for _ in range(170):
        x = rnd.uniform(24, 620)
        y = rnd.uniform(28, 520)
        r = rnd.uniform(0.45, 1.25)
        a = rnd.uniform(0.35, 1.0)
        if math.hypot(x - MX, y - MY) < MR + 40:
            continue
        img.paint(circle_mask(x, y, r), (230, 236, 255), a * (1.0 - smoothstep(300, 520, y)), add=True)


# ---------------------------------------------------------------------------
# the figure

def mirror(spec_polys):
    return [[(602 - x, y) for x, y in p] for p in spec_polys]


def rim_light(img, shape, strength, width=2.6, color=(255, 220, 168)):
    """Light the edges of a shape that face the moon."""
    def f(x, y, v):
        dx = MX - x
        dy = MY - 40 - y
        n = math.hypot(dx, dy) or 1.0
        ox = dx / n * width
        oy = dy / n * width
        sx = x + ox
        sy = y + oy
        ix = int(math.floor(sx))
        iy = int(math.floor(sy))
        fx = sx - ix
        fy = sy - iy
        s = (shape.get(ix, iy) * (1 - fx) * (1 - fy) + shape.get(ix + 1, iy) * fx * (1 - fy) +
             shape.get(ix, iy + 1) * (1 - fx) * fy + shape.get(ix + 1, iy + 1) * fx * fy)
        return v * (1.0 - s)
    rim = shape.map(f)
    img.paint(rim, color, strength)
    return rim


def draw_figure(img):
    parts = {}

    cape = path("M 252 244 C 214 272 172 322 134 390 C 104 440 74 470 40 500 C 72 506 86 522 72 562 "
                "C 102 556 122 568 118 612 C 150 602 170 612 176 652 C 200 642 220 652 232 684 L 300 560 L 300 250 Z"
                " M 350 244 C 374 300 390 420 394 560 C 380 572 362 568 348 582 L 330 300 Z")
    parts["cape"] = poly_mask(cape)
    locks = path("M 278 158 C 252 170 232 200 206 216 C 186 228 160 234 128 252 C 164 252 190 248 212 240 "
                 "C 192 256 176 272 150 294 C 192 284 232 264 262 234 C 272 216 278 200 284 184 Z")
    parts["locks"] = poly_mask(locks)
    scarf_tail = path("M 282 236 C 250 242 220 234 190 252 C 160 270 130 264 98 286 C 134 292 164 286 192 276 "
                      "C 174 292 160 304 138 326 C 180 314 222 288 288 252 Z")
    parts["scarf_tail"] = poly_mask(scarf_tail)
    legs = path("M 236 630 L 274 630 C 270 690 264 740 260 792 L 214 792 C 226 740 232 690 236 630 Z "
                "M 328 630 L 366 630 C 370 690 378 740 390 792 L 344 792 C 340 740 334 690 328 630 Z")
    parts["legs"] = poly_mask(legs)
    skirt = path("M 266 416 L 336 416 C 352 480 372 560 394 642 C 362 652 332 648 306 640 L 301 566 L 296 640 "
                 "C 270 648 240 652 208 642 C 230 560 250 480 266 416 Z")
    parts["skirt"] = poly_mask(skirt)
    torso = path("M 244 250 C 262 238 342 238 358 250 C 356 300 346 360 336 410 L 266 410 C 256 360 246 300 244 250 Z")
    parts["torso"] = poly_mask(torso)
    pauldron = path("M 210 276 C 208 250 234 236 264 244 C 274 256 272 272 264 286 C 246 280 226 282 210 276 Z")
    parts["pauldrons"] = poly_mask(pauldron + mirror(pauldron))
    arms = union(stroke_mask([(236, 276), (230, 352)], 26), stroke_mask([(230, 352), (286, 428)], 21),
                 stroke_mask([(366, 276), (372, 352)], 26), stroke_mask([(372, 352), (316, 428)], 21))
    parts["arms"] = arms
    parts["neck"] = round_box_mask(293, 200, 311, 236, 5)
    back_hair = path("M 274 180 C 270 150 286 136 304 136 C 324 136 338 152 334 182 C 336 210 340 232 348 252 "
                     "L 256 252 C 266 230 272 206 274 180 Z")
    parts["back_hair"] = poly_mask(back_hair)
    parts["head"] = poly_mask(path("M 281 178 C 281 160 290 152 302 152 C 315 152 323 162 323 178 "
                                   "C 323 195 314 207 302 212 C 290 207 281 195 281 178 Z"))
    fringe = path("M 279 180 C 278 156 292 144 306 144 C 322 146 331 160 328 180 C 324 170 318 164 310 162 "
                  "C 306 172 298 176 290 172 C 286 176 284 184 282 196 Z "
                  "M 282 176 C 279 196 281 214 276 236 L 286 230 C 287 212 288 194 288 178 Z "
                  "M 322 174 C 325 196 323 214 328 236 L 318 230 C 317 212 316 194 316 178 Z")
    parts["hair"] = union(poly_mask(fringe), circle_mask(302, 134, 11))
    collar = path("M 282 226 C 298 238 318 236 328 226 L 332 242 C 312 254 290 254 274 244 Z")
    parts["collar"] = poly_mask(collar)
    blade = path("M 290 462 L 312 462 L 309 742 L 301 780 L 293 742 Z")
    parts["blade"] = poly_mask(blade)
    guard = path("M 248 452 C 262 442 282 446 301 446 C 320 446 340 442 354 452 C 340 460 320 458 301 460 "
                 "C 282 458 262 460 248 452 Z")
    parts["guard"] = poly_mask(guard)
    parts["hands"] = ellipse_mask(301, 432, 21, 13)
    parts["pommel"] = circle_mask(301, 411, 8)

    # a moonlit halo around the whole figure, under it
    silhouette = union(*parts.values())
    img.paint(blur(silhouette, 5), (255, 206, 160), 0.32, add=True)

    img.paint(parts["cape"], lambda x, y: ramp([(0.0, (132, 24, 30)), (1.0, (70, 10, 20))], (y - 244) / 440.0))
    for fold in ("M 250 262 C 210 330 170 420 120 520", "M 270 300 C 240 380 210 480 170 600",
                 "M 290 330 C 270 430 250 540 226 650", "M 362 300 C 372 380 380 470 384 548"):
        pts = path(fold, 12)[0]
        img.paint(stroke_mask(pts, 9, soft=5), (48, 6, 14), 0.55)
    rim_light(img, parts["cape"], 0.55)
    img.paint(parts["locks"], (18, 16, 30))
    img.paint(parts["back_hair"], (18, 16, 30))
    img.paint(parts["scarf_tail"], lambda x, y: ramp([(0.0, (196, 36, 36)), (1.0, (130, 16, 24))], (290 - x) / 190.0))
    rim_light(img, parts["scarf_tail"], 0.6, 2.0)
    img.paint(parts["legs"], (32, 26, 40))
    img.paint(round_box_mask(212, 720, 276, 726, 2), GOLD_LO)
    img.paint(round_box_mask(330, 720, 384, 726, 2), GOLD_LO)
    img.paint(parts["skirt"], lambda x, y: ramp([(0.0, (52, 44, 70)), (1.0, (34, 28, 48))], (y - 416) / 230.0))
    hem = path("M 210 636 C 240 646 270 642 296 634", 12)[0]
    img.paint(stroke_mask(hem, 3), GOLD_LO)
    img.paint(stroke_mask([(602 - x, y) for x, y in hem], 3), GOLD_LO)
    img.paint(parts["torso"], ARMOUR)
    plate = path("M 250 256 C 268 246 334 246 352 256 C 350 290 340 316 301 330 C 262 316 252 290 250 256 Z")
    img.paint(poly_mask(plate), lambda x, y: ramp([(0.0, (86, 80, 112)), (1.0, (58, 52, 80))], (y - 248) / 82.0))
    img.paint(stroke_mask(path("M 252 262 C 256 296 270 318 301 330 C 332 318 346 296 350 262", 16)[0], 2.2), GOLD_LO)
    img.paint(stroke_mask([(266, 252), (301, 292), (336, 252)], 3), GOLD)
    img.paint(stroke_mask([(301, 296), (301, 404)], 2), (64, 58, 88))
    img.paint(round_box_mask(262, 402, 340, 422, 4), (92, 20, 24))
    img.paint(round_box_mask(291, 403, 311, 421, 3), GOLD)
    img.paint(round_box_mask(295, 407, 307, 417, 2), (120, 70, 30))
    sash = path("M 280 420 L 292 420 C 290 460 286 500 276 542 L 262 538 C 272 500 278 460 280 420 Z")
    img.paint(poly_mask(sash), (176, 30, 34))
    img.paint(parts["arms"], (40, 34, 54))
    for bx, by in ((258, 390), (344, 390)):
        img.paint(stroke_mask([(bx - 9, by - 12), (bx + 9, by + 12)] if bx < 300 else [(bx + 9, by - 12), (bx - 9, by + 12)], 23), (58, 48, 70))
        img.paint(stroke_mask([(bx - 12, by - 4), (bx + 2, by + 12)] if bx < 300 else [(bx + 12, by - 4), (bx - 2, by + 12)], 3), GOLD_LO)
    img.paint(parts["pauldrons"], lambda x, y: ramp([(0.0, (96, 86, 116)), (1.0, (54, 46, 70))], (y - 240) / 46.0))
    for side in (1, -1):
        pts = [(301 + side * (301 - x), y) for x, y in path("M 212 274 C 226 280 246 280 263 284", 10)[0]]
        img.paint(stroke_mask(pts, 3), GOLD)
        pts = [(301 + side * (301 - x), y) for x, y in path("M 214 262 C 230 266 248 266 266 268", 10)[0]]
        img.paint(stroke_mask(pts, 1.6), GOLD_LO)
    img.paint(parts["neck"], (92, 64, 66))
    img.paint(parts["head"], lambda x, y: ramp([(0.0, (186, 140, 124)), (1.0, (118, 82, 84))], (x - 281) / 42.0))
    rim_light(img, parts["head"], 0.5, 1.6)
    for side in (-1, 1):
        ex = 302 + side * 9
        img.paint(stroke_mask([(ex - 4, 181), (ex + 4, 181)], 1.8), (40, 22, 26))
        img.paint(stroke_mask([(ex - 5, 174 - (side < 0)), (ex + 5, 173 + (side < 0))], 1.6), (30, 20, 28), 0.9)
    img.paint(stroke_mask([(302, 184), (300, 193), (303, 194)], 1.2), (96, 62, 64), 0.7)
    img.paint(stroke_mask([(298, 201), (306, 201)], 1.4), (120, 60, 62), 0.8)
    img.paint(parts["hair"], (20, 18, 32))
    img.paint(stroke_mask([(284, 126), (322, 142)], 2.4), GOLD)
    img.paint(circle_mask(322, 142, 2.6), (210, 40, 40))
    img.paint(parts["collar"], (186, 32, 36))

    rim_light(img, silhouette, 0.95)
    rim_light(img, silhouette, 0.35, width=6.0)

    # the sword, glowing
    img.paint(blur(parts["blade"], 7), (70, 170, 255), 0.9, add=True)
    img.paint(blur(parts["blade"], 2), (150, 220, 255), 0.6, add=True)
    img.paint(parts["blade"], lambda x, y: ramp([(0.0, (150, 176, 212)), (0.5, (238, 248, 255)), (1.0, (104, 118, 160))],
                                                (x - 290) / 22.0))
    img.paint(stroke_mask([(301, 470), (301, 734)], 2), (190, 236, 255))
    img.paint(parts["guard"], lambda x, y: ramp([(0.0, GOLD_HI), (1.0, GOLD_LO)], (y - 442) / 18.0))
    img.paint(circle_mask(301, 452, 4.6), (60, 190, 255))
    img.paint(circle_mask(300, 451, 1.6), (220, 250, 255))
    img.paint(parts["hands"], (70, 52, 60))
    img.paint(parts["pommel"], lambda x, y: ramp([(0.0, GOLD_HI), (1.0, GOLD_LO)], (y - 403) / 16.0))

    # the rock he stands on
    rock = path("M 118 800 C 170 774 230 784 300 780 C 370 776 430 784 482 800 L 520 860 L 88 860 Z")
    rock_m = poly_mask(rock)
    img.paint(rock_m, lambda x, y: ramp([(0.0, (40, 30, 46)), (1.0, (16, 12, 20))], (y - 776) / 60.0))
    rim_light(img, rock_m, 0.5, 2.0)
    return silhouette


def draw_embers(img, count, seed, keep=lambda x, y: True):
    rnd = Lcg(seed)
    for _ in range(count):
        x = rnd.uniform(60, 540)
        y = rnd.uniform(330, 800)
        r = rnd.uniform(0.8, 2.2)
        a = rnd.uniform(0.5, 1.0)
        if not keep(x, y):
            continue
        img.paint(circle_mask(x, y, r * 3, soft=3), (255, 120, 40), a * 0.35, add=True)
        img.paint(circle_mask(x, y, r), (255, 196, 110), a, add=True)


def draw_mist(img):
    for cx, cy, rx, ry, op in ((160, 782, 200, 26, 0.32), (420, 800, 180, 22, 0.28), (290, 826, 300, 30, 0.4)):
        img.paint(ellipse_mask(cx, cy, rx, ry, soft=22), (214, 178, 220), op, add=True)


# ---------------------------------------------------------------------------
# the panel

def panel_depth(x, y):
    """Distance inside the panel's chamfered outline at a pixel centre."""
    px = x + 0.5
    py = y + 0.5
    e = min(px - PX0, PX1 - px, py - PY0, PY1 - py)
    s = 0.70710678
    for cx, cy, sx, sy in ((PX0, PY0, 1, 1), (PX1, PY0, -1, 1), (PX0, PY1, 1, -1), (PX1, PY1, -1, -1)):
        e = min(e, ((px - cx) * sx + (py - cy) * sy - CHAMFER) * s)
    return e


def panel_pixel(x, y):
    e = panel_depth(x, y)
    if e <= -0.5:
        return (0, 0, 0, 0.0)
    if e < 1.0:
        c = INK
    elif e < 6.0:
        c = ramp([(0.0, GOLD_HI), (0.45, GOLD), (1.0, GOLD_LO)], (e - 1.0) / 5.0)
    elif e < 7.0:
        c = (30, 14, 10)
    elif y < BAR_BOTTOM:
        if y == BAR_BOTTOM - 1:
            c = (20, 10, 8)
        else:
            c = ramp([(0.0, (100, 38, 30)), (0.45, (68, 22, 18)), (1.0, (46, 14, 12))], (y - 229) / 51.0)
    elif e < 14.0:
        c = FLAT_BAND
    elif e < 15.0:
        c = (30, 14, 10)
    else:
        c = PANEL_BG
        bx0, by0, bx1, by1 = BROWSER
        if bx0 - 3 <= x < bx1 + 3 and by0 - 3 <= y < by1 + 3:
            ring = min(x - (bx0 - 3), (bx1 + 2) - x, y - (by0 - 3), (by1 + 2) - y)
            if ring == 0:
                c = INK
            elif ring == 1:
                c = (196, 146, 74)
            elif ring == 2:
                c = (14, 7, 6)
            else:
                dx = (x - (bx0 + bx1) / 2.0) / 520.0
                dy = (y - (by0 + by1) / 2.0) / 300.0
                c = mix((44, 26, 28), (18, 11, 13), clamp(math.hypot(dx, dy)))
    a = clamp(e + 0.5)
    return (c[0], c[1], c[2], a)


def diamond(cx, cy, r):
    return poly_mask([[(cx, cy - r), (cx + r, cy), (cx, cy + r), (cx - r, cy)]])


def draw_panel(img):
    img.fill(PX0 - 1, PY0 - 1, PX1 + 1, PY1 + 1, panel_pixel)
    bx0, by0, bx1, by1 = BROWSER
    # a faint emblem in the browser area, seen until the page arrives
    mark = Img(170, 170)
    draw_emblem(mark, 0, 0, 170, tile=False)
    for k in range(len(mark.a)):
        mark.r[k] *= 0.10
        mark.g[k] *= 0.10
        mark.b[k] *= 0.10
        mark.a[k] *= 0.10
    img.blit(mark, (bx0 + bx1) // 2 - 85, (by0 + by1) // 2 - 85)
    # ornaments in the gaps between the link buttons
    gaps = [(BUTTON_XS[i] + BUTTON_W + BUTTON_XS[i + 1]) / 2.0 for i in range(3)]
    cy = BUTTON_Y + BUTTON_H / 2.0
    for gx in gaps[::2]:
        img.paint(diamond(gx, cy, 7), INK)
        img.paint(diamond(gx, cy, 5.5), lambda x, y: ramp([(0.0, GOLD_HI), (1.0, GOLD_LO)], (y - cy + 5.5) / 11.0))
        img.paint(stroke_mask([(gx - 16, cy), (gx - 9, cy)], 1.2), GOLD_LO)
        img.paint(stroke_mask([(gx + 9, cy), (gx + 16, cy)], 1.2), GOLD_LO)
    # a thin rule from the last button to the close button
    img.paint(stroke_mask([(1190, cy), (1282, cy)], 1.0), GOLD_LO, 0.8)
    img.paint(diamond(1236, cy, 3.5), GOLD)
    # the corners
    for cx0, cy0 in ((PX0 + 9, PY0 + 9), (PX1 - 9, PY0 + 9), (PX0 + 9, PY1 - 9), (PX1 - 9, PY1 - 9)):
        img.paint(diamond(cx0, cy0, 9), INK)
        img.paint(diamond(cx0, cy0, 7.5), lambda x, y, c=cy0: ramp([(0.0, GOLD_HI), (1.0, GOLD_LO)], (y - c + 7.5) / 15.0))
        img.paint(diamond(cx0, cy0, 3), (150, 30, 30))
    # the crest at the middle of the top edge, between the two middle buttons
    crest_x = gaps[1]
    crest_y = 224
    img.paint(blur(diamond(crest_x, crest_y, 26), 3), (0, 0, 0), 0.6)
    img.paint(diamond(crest_x, crest_y, 25), INK)
    img.paint(diamond(crest_x, crest_y, 23), lambda x, y: ramp([(0.0, GOLD_HI), (0.5, GOLD), (1.0, GOLD_LO)], (y - crest_y + 23) / 46.0))
    img.paint(diamond(crest_x, crest_y, 19), lambda x, y: ramp([(0.0, (150, 36, 30)), (1.0, (62, 12, 14))], (y - crest_y + 19) / 38.0))
    emb = Img(30, 30)
    draw_emblem(emb, 0, 0, 30, tile=False)
    img.blit(emb, int(crest_x) - 15, crest_y - 15)
    # the game's name on the left of the bar
    t = text_mask("QELUNAR", 19, 0.4, CONVERT)
    tx = 418 + (148 - t.w) // 2
    ty = int(cy - t.h / 2)
    img.paint(t.moved(tx + 1, ty + 1), (10, 4, 2), 0.9)
    img.paint(t.moved(tx, ty), lambda x, y: ramp([(0.0, GOLD_HI), (1.0, GOLD)], (y - ty) / max(1.0, t.h)))


# ---------------------------------------------------------------------------
# the logo over the art

def draw_logo(img):
    t = text_mask("QELUNAR", 66, 1.2, CONVERT)
    x0 = 192 - t.w // 2
    y0 = 30
    m = t.moved(x0, y0)
    outline = dilate(m, 3)
    img.paint(blur(outline, 6), (20, 8, 30), 0.75)
    img.paint(blur(outline, 9), (255, 160, 80), 0.35, add=True)
    img.paint(outline, (40, 16, 10))
    img.paint(m, lambda x, y: ramp([(0.0, (255, 246, 210)), (0.45, (250, 206, 120)), (0.55, (214, 150, 64)),
                                     (1.0, (255, 214, 132))], (y - y0) / float(t.h)))
    sub = text_mask("月 下 仗 剑  ·  踏 歌 而 行", 17, 0.3, CONVERT)
    sx = 192 - sub.w // 2
    sy = y0 + t.h + 14
    line_y = sy + sub.h / 2.0
    img.paint(blur(dilate(sub.moved(sx, sy), 2), 3), (20, 8, 30), 0.7)
    img.paint(stroke_mask([(sx - 40, line_y), (sx - 12, line_y)], 1.4), GOLD)
    img.paint(stroke_mask([(sx + sub.w + 12, line_y), (sx + sub.w + 40, line_y)], 1.4), GOLD)
    img.paint(diamond(sx - 44, line_y, 3.5), GOLD_HI)
    img.paint(diamond(sx + sub.w + 44, line_y, 3.5), GOLD_HI)
    img.paint(sub.moved(sx, sy), (255, 232, 190))


# ---------------------------------------------------------------------------

def draw():
    img = Img(W, H)
    img.fill(0, 0, 640, H, sky)
    draw_stars(img)
    draw_mountains(img)
    draw_embers(img, 40, 77)
    draw_figure(img)
    draw_embers(img, 24, 91, lambda x, y: x < 196 or x > 404)
    draw_mist(img)
    img.multiply_alpha(scene_alpha, 0, 0, 640, H)
    draw_panel(img)
    draw_logo(img)
    return img


def _flat(img, x, y, r):
    p = img.pixel(x, y)
    return all(img.pixel(x + i, y + j) == p for i in range(-r, r + 1) for j in range(-r, r + 1))


def probes(img):
    """Pixels that screenshot tests can check: opaque ones on flat colour
    (their 7 x 7 neighbourhood has the same colour) and fully transparent
    ones in the margins."""
    opaque = []
    for name, x, y in (("panel-frame-left", 414, 520), ("panel-frame-bottom", 660, 787),
                       ("character-armour", 322, 372)):
        p = img.pixel(x, y)
        assert p[3] == 255 and _flat(img, x, y, 3), (name, p)
        opaque.append({"name": name, "x": x, "y": y, "r": p[0], "g": p[1], "b": p[2]})
    transparent = []
    for name, x, y in (("top-left", 12, 12), ("top-right", 1344, 12), ("above-panel", 1100, 120),
                       ("bottom-right", 1344, 840), ("below-panel", 900, 830)):
        assert all(img.pixel(x + i, y + j)[3] == 0 for i in range(-4, 5) for j in range(-4, 5)), name
        transparent.append({"name": name, "x": x, "y": y})
    return {
        "picture": "res/png/143.png",
        "width": W,
        "height": H,
        "note": "splash-picture coordinates; opaque pixels lie on flat colour with a 7 x 7 neighbourhood of the same colour",
        "opaque": opaque,
        "transparent": transparent,
    }
