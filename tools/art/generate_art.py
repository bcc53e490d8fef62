#!/usr/bin/python3
"""Draws every picture of the client into res/.

    /usr/bin/python3 tools/art/generate_art.py [--out DIR]

Writes res/png/{143,164,166,167}.png, res/bmp/{135,151,153..163,165}.bmp,
res/icon/7.ico and res/art-probes.json. Only the standard library is used;
ImageMagick's convert rasterises the text labels with the WenQuanYi Micro Hei
font. The output depends on nothing but this program, the font and convert:
no timestamps, no unseeded randomness, so a rerun gives the same bytes.
"""

import argparse
import json
import math
import os
import shutil
import sys

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from emblem import STAR, draw_emblem  # noqa: E402
from raster import (  # noqa: E402
    Img, bmp_bytes, circle_mask, clamp, darken, dilate, ellipse_mask, ico_bytes, intersect,
    lighten, mix, path, png_bytes, poly_mask, ramp, round_box_mask, sd_round_box, sdf_mask,
    smoothstep, stroke_mask, subtract, text_mask, transform, union)
import splash  # noqa: E402

CONVERT = "convert"

# ---------------------------------------------------------------------------
# palette

GOLD_HI = (255, 228, 158)
GOLD = (222, 174, 92)
GOLD_MID = (176, 124, 58)
GOLD_LO = (112, 72, 32)
INK = (12, 8, 7)

# the three-pixel border profile of the frame pictures, outermost first
BORDER = [(16, 12, 10), (72, 46, 28), (0, 0, 0)]
BODY = (26, 20, 18)


def caption_band(y):
    """Colour of the frame caption's gradient band at row y of the game
    window's caption (rows 2..35); the chat caption reuses it shifted so the
    caption buttons match both."""
    t = clamp((y - 2) / 33.0)
    return ramp([(0.0, (92, 44, 32)), (0.45, (62, 28, 22)), (1.0, (34, 16, 14))], t)


def caption_color_164(y):
    if y == 0:
        return INK
    if y == 1:
        return (104, 72, 40)
    if y <= 35:
        return caption_band(y)
    if y == 36:
        return (22, 12, 10)
    if y == 37:
        return (150, 108, 56)
    return (12, 8, 6)


def caption_color_166(y):
    if y == 0:
        return INK
    if y == 1:
        return (104, 72, 40)
    if y <= 23:
        return caption_band(y + 7)
    if y == 24:
        return (150, 108, 56)
    return (12, 8, 6)


# ---------------------------------------------------------------------------
# frame pictures

def frame_picture(w, h, c, fill_x, cap_r, caption_color, logo):
    img = Img(w, h)
    img.fill(0, 0, w, h, lambda x, y: BODY)
    # caption rows; identical across columns from fill_x to the right cap
    img.fill(0, 0, w, c, lambda x, y: caption_color(y))
    if logo:
        # a warm glow behind the emblem, gone well before the fill column
        img.fill(3, 2, fill_x - 20, c - 3,
                 lambda x, y: (200, 90, 40, 0.22 * (1.0 - smoothstep(0.0, 1.0, math.hypot((x - 62) / 120.0, (y - 18) / 40.0)))))
        draw_emblem(img, 38, 6, 26, tile=False)
        img.paint(stroke_mask([(70, 19.5), (88, 19.5)], 1.2), GOLD_MID)
        img.paint(poly_mask(transform(path(STAR), 3, 3, 91, 19.5)), GOLD)
    # right cap: a small gold corner mark at the top right
    assert w - 13 >= w - cap_r > fill_x
    img.paint(stroke_mask([(w - 12, 4.5), (w - 5.5, 4.5), (w - 5.5, 11)], 1.0), GOLD_MID)
    # border profile: left and right columns, bottom rows, and the sides of
    # the caption below its top edge
    for y in range(h):
        for k in range(3):
            col = BORDER[k]
            if y >= 2 or k == 0:
                img.fill(k, y, k + 1, y + 1, lambda x, yy, col=col: col)
                img.fill(w - 1 - k, y, w - k, y + 1, lambda x, yy, col=col: col)
    for k in range(3):
        col = BORDER[k]
        img.fill(k, h - 1 - k, w - k, h - k, lambda x, y, col=col: col)
    return img


def size_grip(img):
    """Three diagonal rows of raised dots at the bottom right, inside the
    body and clear of the border."""
    w, h = img.w, img.h
    for row in range(3):
        for k in range(row + 1):
            x = w - 8 - 4 * (row - k) - 2
            y = h - 8 - 4 * k - 2
            img.fill(x + 1, y + 1, x + 3, y + 3, lambda xx, yy: (6, 4, 4))
            img.fill(x, y, x + 2, y + 2, lambda xx, yy: (132, 98, 60))


def picture_164():
    img = frame_picture(594, 229, 39, 218, 50, caption_color_164, logo=True)
    size_grip(img)
    return img


def picture_166():
    return frame_picture(194, 215, 26, 30, 30, caption_color_166, logo=False)


def picture_167():
    """VIP mark: a gold crown with a red gem, on transparency."""
    img = Img(18, 18)
    crown = path("M 2 14.5 L 1.6 5.5 L 6 9.5 L 9 3.5 L 12 9.5 L 16.4 5.5 L 16 14.5 Z")
    body = poly_mask(crown, sub=8)
    tips = union(circle_mask(1.8, 4.6, 1.4), circle_mask(9, 2.6, 1.5), circle_mask(16.2, 4.6, 1.4))
    shape = union(body, tips)
    img.paint(dilate(shape, 1), (70, 34, 8), 0.85)
    img.paint(shape, lambda x, y: ramp([(0.0, GOLD_HI), (0.55, (240, 178, 60)), (1.0, (186, 112, 24))], y / 16.0))
    img.paint(round_box_mask(2.5, 12, 15.5, 14.5, 0.6), (170, 96, 20))
    img.paint(ellipse_mask(9, 11.2, 1.9, 1.7), (220, 30, 40))
    img.paint(circle_mask(8.5, 10.6, 0.6), (255, 200, 200))
    return img


# ---------------------------------------------------------------------------
# caption button strips

def strip(cell_w, cells, bg_rows, draw_cell):
    img = Img(cell_w * cells, 20)
    img.fill(0, 0, img.w, 20, lambda x, y: bg_rows(y))
    for i in range(cells):
        draw_cell(img, i * cell_w, i)
    return img


CELL_LOOKS = [  # normal, hover, pressed: (box fill top, bottom, border, glyph)
    None,
    ((132, 70, 40), (88, 40, 26), (214, 160, 90), (255, 238, 196)),
    ((30, 14, 10), (52, 26, 18), (150, 100, 50), (226, 196, 146)),
]
GLYPH_NORMAL = (226, 196, 146)


def caption_strip(glyph):
    def cell(img, x0, state):
        look = CELL_LOOKS[state]
        off = 1 if state == 2 else 0
        color = GLYPH_NORMAL
        if look:
            top, bottom, border, color = look
            if glyph == "close" and state == 1:
                top, bottom = (190, 52, 36), (130, 28, 20)
            box = round_box_mask(x0 + 0.5, 0.5, x0 + 19.5, 19.5, 3)
            img.paint(box, border)
            img.paint(round_box_mask(x0 + 1.5, 1.5, x0 + 18.5, 18.5, 2),
                      lambda x, y: mix(top, bottom, y / 19.0))
        gx = x0 + off
        gy = off
        if glyph == "close":
            m = union(stroke_mask([(gx + 6, gy + 6), (gx + 14, gy + 14)], 2.0),
                      stroke_mask([(gx + 14, gy + 6), (gx + 6, gy + 14)], 2.0))
        elif glyph == "maximise":
            outer = sdf_mask(gx + 4, gy + 4, gx + 16, gy + 16, sd_round_box(gx + 5, gy + 5, gx + 15, gy + 15, 0.5))
            inner = sdf_mask(gx + 4, gy + 4, gx + 16, gy + 16, sd_round_box(gx + 6.3, gy + 7.5, gx + 13.7, gy + 13.7, 0.1))
            m = subtract(outer, inner)
        else:
            m = round_box_mask(gx + 5, gy + 12.5, gx + 15, gy + 14.7, 0.6)
        img.paint(m.moved(0, 1), (8, 4, 3), 0.7)
        img.paint(m, color)
    return strip(20, 3, lambda y: caption_color_164(10 + y), cell)


def text_strip():
    looks = [
        ((84, 44, 30), (50, 24, 18), (132, 92, 52)),
        ((142, 74, 42), (92, 44, 26), (222, 168, 92)),
        ((34, 16, 12), (56, 28, 18), (150, 100, 50)),
    ]

    def cell(img, x0, state):
        top, bottom, border = looks[state]
        img.paint(round_box_mask(x0 + 0.5, 0.5, x0 + 40.5, 19.5, 3), border)
        img.paint(round_box_mask(x0 + 1.5, 1.5, x0 + 39.5, 18.5, 2), lambda x, y: mix(top, bottom, y / 19.0))
        if state != 2:
            img.paint(round_box_mask(x0 + 3, 2.2, x0 + 38, 3.2, 0.5), lighten(top, 0.25), 0.6)
    return strip(41, 3, lambda y: caption_color_164(10 + y), cell)


# ---------------------------------------------------------------------------
# launcher overlay buttons (drawn on the splash crop beneath them)

def icon_bubble(img, x, y, col):
    bubble = union(round_box_mask(x + 1, y + 3, x + 23, y + 17, 5),
                   poly_mask([[(x + 6, y + 15), (x + 13, y + 15), (x + 5, y + 22)]]))
    img.paint(bubble, col)
    for k in range(3):
        img.paint(circle_mask(x + 7 + 5 * k, y + 10, 1.6), (90, 26, 20))


def icon_dollar(img, x, y, col):
    coin = circle_mask(x + 12, y + 12, 11)
    img.paint(coin, col)
    img.paint(subtract(coin, circle_mask(x + 12, y + 12, 9.3)), darken(col, 0.3))
    t = text_mask("$", 17, 0.6, CONVERT)
    img.paint(t.moved(int(x + 12 - t.w / 2), int(y + 12 - t.h / 2)), (110, 34, 22))


def icon_globe(img, x, y, col):
    cx, cy, r = x + 12, y + 12, 10.5
    disc = circle_mask(cx, cy, r)
    img.paint(disc, col)
    lines = union(
        sdf_mask(cx - r, cy - r, cx + r, cy + r, lambda px, py: abs(math.hypot((px - cx) / 0.45, py - cy) - r) * 0.45 - 0.8),
        sdf_mask(cx - r, cy - 1.5, cx + r, cy + 1.5, lambda px, py: abs(py - cy) - 0.8),
        sdf_mask(cx - r, cy - 7, cx + r, cy - 3, lambda px, py: abs(py - (cy - 5.2)) - 0.7),
        sdf_mask(cx - r, cy + 3, cx + r, cy + 7, lambda px, py: abs(py - (cy + 5.2)) - 0.7),
        sdf_mask(cx - 1.5, cy - r, cx + 1.5, cy + r, lambda px, py: abs(px - cx) - 0.8))
    img.paint(intersect(lines, circle_mask(cx, cy, r - 0.8)), (110, 34, 22))


def icon_person(img, x, y, col):
    img.paint(circle_mask(x + 12, y + 7.5, 5.2), col)
    shoulders = sdf_mask(x + 2, y + 12, x + 22, y + 24,
                         lambda px, py: max(math.hypot((px - (x + 12)) / 9.5, (py - (y + 23)) / 9.0) - 1.0,
                                            py - (y + 22.5)) * 8.0)
    img.paint(shoulders, col)
    # a headset: the service agent
    arc = sdf_mask(x + 3, y, x + 21, y + 12,
                   lambda px, py: max(abs(math.hypot(px - (x + 12), py - (y + 8)) - 7.5) - 0.9, py - (y + 9)))
    img.paint(arc, col)
    img.paint(round_box_mask(x + 3.6, y + 6.5, x + 6.4, y + 11.5, 1), col)
    img.paint(round_box_mask(x + 17.6, y + 6.5, x + 20.4, y + 11.5, 1), col)


LINK_BUTTONS = [  # id, pressed id, icon, label, x on the splash
    (153, 157, icon_bubble, "游戏论坛", splash.BUTTON_XS[2]),
    (154, 158, icon_dollar, "充值中心", splash.BUTTON_XS[1]),
    (155, 159, icon_globe, "进入官网", splash.BUTTON_XS[0]),
    (156, 160, icon_person, "在线客服", splash.BUTTON_XS[3]),
]
BUTTON_Y = splash.BUTTON_Y
CLOSE_X, CLOSE_Y = splash.CLOSE[:2]


def link_button(sp, icon, label, x0, pressed):
    img = sp.crop(x0, BUTTON_Y, splash.BUTTON_W, splash.BUTTON_H)
    k = 0.28 if pressed else 0.0
    border = lighten((40, 16, 12), k)
    rim = lighten(GOLD, k * 0.6)
    top = lighten((150, 46, 34), k)
    mid = lighten((104, 26, 20), k)
    bottom = lighten((70, 16, 14), k)
    img.paint(round_box_mask(0, 0, 118, 35, 5), border)
    img.paint(round_box_mask(1, 1, 117, 34, 4.2), lambda x, y: ramp([(0.0, GOLD_HI), (1.0, GOLD_LO)], y / 34.0) if not pressed else lighten(ramp([(0.0, GOLD_HI), (1.0, GOLD_LO)], y / 34.0), 0.2))
    img.paint(round_box_mask(2.2, 2.2, 115.8, 32.8, 3.2),
              lambda x, y: ramp([(0.0, top), (0.5, mid), (1.0, bottom)], y / 34.0))
    # a soft sheen on the upper half
    img.paint(round_box_mask(4, 3.2, 114, 15, 3), lighten(top, 0.5), 0.18)
    img.paint(stroke_mask([(34.5, 7), (34.5, 28)], 1.0), rim, 0.55)
    icon_col = lighten((255, 206, 120), k)
    icon(img, 6, 5.5, icon_col)
    t = text_mask(label, 15, 0.35, CONVERT)
    tx = int(40 + (74 - t.w) / 2)
    ty = int((35 - t.h) / 2)
    img.paint(t.moved(tx + 1, ty + 1), (30, 8, 6), 0.8)
    img.paint(t.moved(tx, ty), lambda x, y: lighten(ramp([(0.0, (255, 246, 214)), (1.0, (246, 196, 116))], (y - ty) / max(1, t.h)), k))
    return img


def close_button(sp, pressed):
    img = sp.crop(CLOSE_X, CLOSE_Y, 23, 23)
    k = 0.3 if pressed else 0.0
    img.paint(round_box_mask(0, 0, 23, 23, 4), (30, 12, 10))
    img.paint(round_box_mask(1, 1, 22, 22, 3.4), lambda x, y: lighten(ramp([(0.0, GOLD), (1.0, GOLD_LO)], y / 22.0), k * 0.5))
    img.paint(round_box_mask(2.2, 2.2, 20.8, 20.8, 2.4), lambda x, y: lighten(mix((96, 30, 22), (48, 14, 12), y / 22.0), k))
    cross = union(stroke_mask([(7, 7), (16, 16)], 3.0), stroke_mask([(16, 7), (7, 16)], 3.0))
    img.paint(cross.moved(0, 1), (20, 6, 4), 0.7)
    img.paint(cross, lighten((255, 138, 28), k))
    return img


# ---------------------------------------------------------------------------
# application icon

def icon_images():
    out = []
    for size in (16, 32, 48):
        img = Img(size, size)
        draw_emblem(img, 0, 0, size)
        out.append(img)
    return out


# ---------------------------------------------------------------------------

def write(path_, data):
    os.makedirs(os.path.dirname(path_), exist_ok=True)
    with open(path_, "wb") as f:
        f.write(data)


def main():
    global CONVERT
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=os.path.join(here, "..", "..", "res"), help="resource folder to write")
    ap.add_argument("--convert", default=shutil.which("convert") or "convert", help="ImageMagick convert")
    args = ap.parse_args()
    CONVERT = args.convert
    out = os.path.abspath(args.out)

    splash.CONVERT = CONVERT
    sp = splash.draw()
    write(os.path.join(out, "png", "143.png"), png_bytes(sp.rgba_rows(), sp.w, sp.h, 4))
    write(os.path.join(out, "art-probes.json"), (json.dumps(splash.probes(sp), indent=2) + "\n").encode())

    for bid, pid, icon, label, x in LINK_BUTTONS:
        write(os.path.join(out, "bmp", "%d.bmp" % bid), bmp_bytes(link_button(sp, icon, label, x, False)))
        write(os.path.join(out, "bmp", "%d.bmp" % pid), bmp_bytes(link_button(sp, icon, label, x, True)))
    write(os.path.join(out, "bmp", "135.bmp"), bmp_bytes(close_button(sp, False)))
    write(os.path.join(out, "bmp", "151.bmp"), bmp_bytes(close_button(sp, True)))

    write(os.path.join(out, "bmp", "161.bmp"), bmp_bytes(caption_strip("close")))
    write(os.path.join(out, "bmp", "162.bmp"), bmp_bytes(caption_strip("maximise")))
    write(os.path.join(out, "bmp", "163.bmp"), bmp_bytes(caption_strip("minimise")))
    write(os.path.join(out, "bmp", "165.bmp"), bmp_bytes(text_strip()))

    p = picture_164()
    write(os.path.join(out, "png", "164.png"), png_bytes(p.rgb_rows(), p.w, p.h, 3))
    p = picture_166()
    write(os.path.join(out, "png", "166.png"), png_bytes(p.rgba_rows(), p.w, p.h, 4))
    p = picture_167()
    write(os.path.join(out, "png", "167.png"), png_bytes(p.rgba_rows(), p.w, p.h, 4))
    write(os.path.join(out, "icon", "7.ico"), ico_bytes(icon_images()))


if __name__ == "__main__":
    main()
