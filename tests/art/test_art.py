#!/usr/bin/python3
"""Checks the committed artwork and the Windows resource script.

    test_art.py --root SOURCE_ROOT --rc BUILD/generated/resources.rc --version 1.0.0.1

- every picture has its size, channels and cell layout, and the geometry the
  frame painter, the overlay and the screenshot tests rely on;
- the generator, run again into a scratch folder, reproduces every committed
  file byte for byte;
- the configured resource script compiles with windres, and the compiled
  resources hold the committed files, the dialog templates and the version.
"""

import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

ARGS = None

PNGS = {  # id: (width, height, PNG colour type: 2 RGB, 6 RGBA)
    143: (1357, 852, 6),
    164: (594, 229, 2),
    166: (194, 215, 6),
    167: (18, 18, 6),
}
BMPS = {135: (23, 23), 151: (23, 23), 161: (60, 20), 162: (60, 20), 163: (60, 20), 165: (123, 20)}
BMPS.update({i: (118, 35) for i in range(153, 161)})
OVERLAY_BUTTONS = [(135, 151), (153, 157), (154, 158), (155, 159), (156, 160)]
STRIPS = {161: 20, 162: 20, 163: 20, 165: 41}
# window controls on the splash: (x, y, width, height)
OVERLAY_RECTS = [(1295, 251, 23, 23), (423, 284, 896, 487)] + [(x, 244, 118, 35) for x in (566, 733, 890, 1059)]


def res(*parts):
    return os.path.join(ARGS.root, "res", *parts)


# ---------------------------------------------------------------------------
# readers

class Picture:
    """Decoded 8-bit pixels: px(x, y) gives (r, g, b, a)."""

    def __init__(self, width, height, channels, data):
        self.w, self.h, self.channels, self.data = width, height, channels, data

    def px(self, x, y):
        k = (y * self.w + x) * self.channels
        p = self.data[k:k + self.channels]
        return tuple(p) if self.channels == 4 else (p[0], p[1], p[2], 255)

    def rgb(self, x, y):
        return self.px(x, y)[:3]


def png_chunks(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise AssertionError(path + ": not a PNG")
    pos, chunks = 8, []
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        crc, = struct.unpack(">I", data[pos + 8 + n:pos + 12 + n])
        if zlib.crc32(kind + body) & 0xFFFFFFFF != crc:
            raise AssertionError(path + ": bad CRC in " + kind.decode())
        chunks.append((kind, body))
        pos += 12 + n
    return chunks


def read_png(path):
    chunks = png_chunks(path)
    w, h, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    if depth != 8 or interlace != 0 or ctype not in (2, 6):
        raise AssertionError(path + ": unexpected PNG format")
    bpp = 4 if ctype == 6 else 3
    raw = zlib.decompress(b"".join(b for k, b in chunks if k == b"IDAT"))
    stride = w * bpp
    out = bytearray(h * stride)
    prev = bytearray(stride)
    pos = 0
    for y in range(h):
        ft = raw[pos]
        line = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        if ft == 1:
            for i in range(bpp, stride):
                line[i] = (line[i] + line[i - bpp]) & 0xFF
        elif ft == 2:
            for i in range(stride):
                line[i] = (line[i] + prev[i]) & 0xFF
        elif ft == 3:
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + ((a + prev[i]) >> 1)) & 0xFF
        elif ft == 4:
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        elif ft != 0:
            raise AssertionError(path + ": bad filter")
        out[y * stride:(y + 1) * stride] = line
        prev = line
    return Picture(w, h, bpp, bytes(out))


def bmp_header(data):
    magic, size, _, _, offset = struct.unpack("<2sIHHI", data[:14])
    (bi_size, w, h, planes, bits, compression, image_size, _, _, clr_used, _) = struct.unpack("<IiiHHIIiiII", data[14:54])
    return dict(magic=magic, size=size, offset=offset, bi_size=bi_size, w=w, h=h, planes=planes, bits=bits,
                compression=compression, image_size=image_size, clr_used=clr_used)


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    hd = bmp_header(data)
    w, h = hd["w"], hd["h"]
    stride = (w * 3 + 3) & ~3
    out = bytearray(w * h * 3)
    for y in range(h):
        src = hd["offset"] + (h - 1 - y) * stride  # bottom-up
        for x in range(w):
            b, g, r = data[src + 3 * x:src + 3 * x + 3]
            out[(y * w + x) * 3:(y * w + x) * 3 + 3] = bytes((r, g, b))
    return Picture(w, h, 3, bytes(out))


def luminance(pic):
    total = 0
    for y in range(pic.h):
        for x in range(pic.w):
            r, g, b, _ = pic.px(x, y)
            total += 0.299 * r + 0.587 * g + 0.114 * b
    return total / (pic.w * pic.h)


# ---------------------------------------------------------------------------

class CommittedArt(unittest.TestCase):
    _cache = {}

    @classmethod
    def png(cls, rid):
        if rid not in cls._cache:
            cls._cache[rid] = read_png(res("png", "%d.png" % rid))
        return cls._cache[rid]

    def test_resource_folder_holds_exactly_the_pictures(self):
        found = set()
        for folder in ("png", "bmp", "icon"):
            for name in os.listdir(res(folder)):
                found.add(folder + "/" + name)
        expected = {"png/%d.png" % i for i in PNGS} | {"bmp/%d.bmp" % i for i in BMPS} | {"icon/7.ico"}
        self.assertEqual(found, expected)

    def test_png_sizes_and_channels(self):
        for rid, (w, h, ctype) in PNGS.items():
            with self.subTest(png=rid):
                chunks = png_chunks(res("png", "%d.png" % rid))
                self.assertEqual(chunks[0][0], b"IHDR")
                self.assertEqual(struct.unpack(">IIBB", chunks[0][1][:10]), (w, h, 8, ctype))
                # nothing that changes from run to run (times, texts)
                self.assertEqual({k for k, _ in chunks}, {b"IHDR", b"IDAT", b"IEND"})

    def test_bitmaps_are_24_bit_bottom_up_without_colour_table(self):
        for rid, (w, h) in BMPS.items():
            with self.subTest(bmp=rid):
                with open(res("bmp", "%d.bmp" % rid), "rb") as f:
                    data = f.read()
                hd = bmp_header(data)
                stride = (w * 3 + 3) & ~3
                self.assertEqual((hd["magic"], hd["bi_size"], hd["planes"], hd["bits"], hd["compression"]),
                                 (b"BM", 40, 1, 24, 0))
                self.assertEqual((hd["w"], hd["h"]), (w, h))  # positive height: bottom-up
                self.assertEqual((hd["clr_used"], hd["offset"]), (0, 54))
                self.assertEqual(hd["size"], len(data))
                self.assertEqual(len(data), 54 + stride * h)

    def test_overlay_buttons_never_use_the_colour_key(self):
        for rid in [i for pair in OVERLAY_BUTTONS for i in pair]:
            with self.subTest(bmp=rid):
                pic = read_bmp(res("bmp", "%d.bmp" % rid))
                keyed = [(x, y) for y in range(pic.h) for x in range(pic.w) if pic.rgb(x, y) == (255, 0, 255)]
                self.assertEqual(keyed, [])

    def test_pressed_buttons_are_lighter_variants(self):
        for normal, pressed in OVERLAY_BUTTONS:
            with self.subTest(normal=normal, pressed=pressed):
                a = read_bmp(res("bmp", "%d.bmp" % normal))
                b = read_bmp(res("bmp", "%d.bmp" % pressed))
                self.assertGreater(luminance(b), luminance(a) + 5)

    def test_link_buttons_differ_from_each_other(self):
        pics = [read_bmp(res("bmp", "%d.bmp" % i)).data for i in range(153, 157)]
        self.assertEqual(len(set(pics)), 4)

    def test_caption_strips_have_three_distinct_cells(self):
        for rid, cell in STRIPS.items():
            with self.subTest(bmp=rid):
                pic = read_bmp(res("bmp", "%d.bmp" % rid))
                self.assertEqual(pic.w, 3 * cell)
                cells = [tuple(pic.rgb(c * cell + x, y) for y in range(pic.h) for x in range(cell)) for c in range(3)]
                self.assertEqual(len(set(cells)), 3, "normal, hover and pressed must differ")
                if rid != 165:
                    # a glyph: bright pixels in the middle of the normal cell
                    bright = [1 for y in range(4, 16) for x in range(4, 16) if max(pic.rgb(x, y)) > 180]
                    self.assertGreater(len(bright), 8)

    def test_splash_margins_panel_and_art(self):
        pic = self.png(143)
        w, h = pic.w, pic.h
        for y in range(h):
            for x in list(range(5)) + list(range(w - 5, w)):
                self.assertEqual(pic.px(x, y)[3], 0, (x, y))
        for x in range(w):
            for y in list(range(5)) + list(range(h - 5, h)):
                self.assertEqual(pic.px(x, y)[3], 0, (x, y))
        # the framed panel is opaque, with the overlay's controls on it
        holes = [(x, y) for y in range(230, 790, 2) for x in range(412, 1330, 2) if pic.px(x, y)[3] != 255]
        self.assertEqual(holes[:5], [])
        # the art on the left: opaque, soft-edged and with transparency round it
        counts = [0, 0, 0]
        for y in range(0, h, 2):
            for x in range(0, 400, 2):
                a = pic.px(x, y)[3]
                counts[0 if a == 0 else 2 if a == 255 else 1] += 1
        transparent, partial, opaque = counts
        self.assertGreater(opaque, 20000)
        self.assertGreater(partial, 3000)
        self.assertGreater(transparent, 5000)

    def test_splash_probes_match_the_picture(self):
        with open(res("art-probes.json")) as f:
            probes = json.load(f)
        pic = self.png(143)
        self.assertEqual((probes["width"], probes["height"]), (pic.w, pic.h))
        self.assertGreaterEqual(len(probes["opaque"]), 2)
        self.assertGreaterEqual(len(probes["transparent"]), 2)
        on_panel = on_art = False
        for p in probes["opaque"]:
            x, y = p["x"], p["y"]
            with self.subTest(probe=p["name"]):
                self.assertEqual(pic.px(x, y), (p["r"], p["g"], p["b"], 255))
                for dy in range(-3, 4):
                    for dx in range(-3, 4):
                        self.assertEqual(pic.px(x + dx, y + dy), pic.px(x, y), "probe not on flat colour")
                for rx, ry, rw, rh in OVERLAY_RECTS:
                    self.assertFalse(rx - 4 <= x < rx + rw + 4 and ry - 4 <= y < ry + rh + 4, "probe under a control")
            on_panel |= x >= 404
            on_art |= x < 404
        self.assertTrue(on_panel and on_art)
        for p in probes["transparent"]:
            with self.subTest(probe=p["name"]):
                self.assertEqual(pic.px(p["x"], p["y"])[3], 0)

    def test_frame_pictures_geometry(self):
        # id, caption height, fill column, right cap width
        profiles = []
        for rid, c, fill_x, cap_r in ((164, 39, 218, 50), (166, 26, 30, 30)):
            with self.subTest(png=rid):
                pic = self.png(rid)
                w, h, b = pic.w, pic.h, 3
                for y in range(c):
                    col = pic.px(fill_x, y)
                    for x in range(fill_x, w - cap_r):
                        self.assertEqual(pic.px(x, y), col, "caption changes at (%d, %d)" % (x, y))
                profile = [pic.px(k, c) for k in range(b)]
                for y in range(c, h - b):
                    self.assertEqual([pic.px(k, y) for k in range(b)], profile, "left border, row %d" % y)
                    self.assertEqual([pic.px(w - 1 - k, y) for k in range(b)], profile, "right border, row %d" % y)
                for x in range(b, w - b):
                    self.assertEqual([pic.px(x, h - 1 - k) for k in range(b)], profile, "bottom border, column %d" % x)
                near_black, brown, black = profile
                self.assertLessEqual(max(near_black[:3]), 40)
                self.assertTrue(brown[0] > brown[1] > brown[2] and brown[0] >= 48, brown)
                self.assertLessEqual(max(black[:3]), 8)
                profiles.append(profile)
                body = pic.px(b + 5, c)
                self.assertLessEqual(max(body[:3]), 60)
                grip = {(x, y) for y in range(h - 24, h - b) for x in range(w - 24, w - b)}
                for y in range(c, h - b):
                    for x in range(b, w - b):
                        if (x, y) not in grip:
                            self.assertEqual(pic.px(x, y), body, "body at (%d, %d)" % (x, y))
                self.assertTrue(all(pic.px(x, y)[3] == 255 for y in range(h) for x in range(w)))
        self.assertEqual(profiles[0], profiles[1])

    def test_game_frame_has_a_logo_and_a_size_grip(self):
        pic = self.png(164)
        logo = [1 for y in range(3, 36) for x in range(32, 96)
                if pic.px(x, y) != pic.px(218, y) and pic.px(x, y)[0] > 180]
        self.assertGreater(len(logo), 40)
        grip = {pic.px(x, y) for y in range(229 - 24, 226) for x in range(594 - 24, 591)}
        self.assertGreater(len(grip), 1)

    def test_vip_icon_has_transparency(self):
        pic = self.png(167)
        alphas = {pic.px(x, y)[3] for y in range(pic.h) for x in range(pic.w)}
        self.assertIn(0, alphas)
        self.assertIn(255, alphas)
        self.assertTrue(any(0 < a < 255 for a in alphas))

    def test_application_icon(self):
        with open(res("icon", "7.ico"), "rb") as f:
            data = f.read()
        reserved, kind, count = struct.unpack("<HHH", data[:6])
        self.assertEqual((reserved, kind, count), (0, 1, 3))
        sizes = []
        for i in range(count):
            w, h, colors, _, planes, bits, length, offset = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
            with self.subTest(entry=i):
                self.assertEqual((w, h, planes, bits), (w, w, 1, 32))
                bi = struct.unpack("<IiiHH", data[offset:offset + 16])
                self.assertEqual(bi, (40, w, 2 * w, 1, 32))
                mask_stride = ((w + 31) // 32) * 4
                self.assertEqual(length, 40 + w * w * 4 + mask_stride * w)
                pixels = data[offset + 40:offset + 40 + w * w * 4]
                alpha = pixels[3::4]
                self.assertEqual(alpha[0], 0, "a corner is transparent")
                self.assertEqual(alpha[(w // 2) * w + w // 2], 255, "the middle is opaque")
            sizes.append(w)
        self.assertEqual(sorted(sizes), [16, 32, 48])


class Generator(unittest.TestCase):
    def test_regenerating_gives_the_committed_bytes(self):
        convert = shutil.which("convert")
        self.assertIsNotNone(convert, "ImageMagick's convert is needed (tools/setup.sh installs it)")
        python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
        committed = res()
        with tempfile.TemporaryDirectory() as tmp:
            subprocess.run([python, os.path.join(ARGS.root, "tools", "art", "generate_art.py"), "--out", tmp],
                           check=True)
            made = sorted(os.path.relpath(os.path.join(d, f), tmp) for d, _, fs in os.walk(tmp) for f in fs)
            self.assertTrue(made)
            for rel in made:
                with self.subTest(file=rel):
                    with open(os.path.join(tmp, rel), "rb") as a, open(os.path.join(committed, rel), "rb") as b:
                        self.assertEqual(a.read(), b.read(), rel + " differs from a fresh run of the generator")


# ---------------------------------------------------------------------------
# compiled resources

def read_res(data):
    """{(type, name): bytes} from a .res file; ordinals as ints, names as str."""
    def sz_or_ord(pos):
        if struct.unpack("<H", data[pos:pos + 2])[0] == 0xFFFF:
            return struct.unpack("<H", data[pos + 2:pos + 4])[0], pos + 4
        end = pos
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[pos:end].decode("utf-16-le"), end + 2

    out = {}
    pos = 0
    while pos + 8 <= len(data):
        size, header = struct.unpack("<II", data[pos:pos + 8])
        rtype, p = sz_or_ord(pos + 8)
        name, p = sz_or_ord(p)
        if size:
            out[(rtype, name)] = data[pos + header:pos + header + size]
        pos = (pos + header + size + 3) & ~3
    return out


def read_dialog(data):
    def sz_or_ord(pos):
        first = struct.unpack("<H", data[pos:pos + 2])[0]
        if first == 0:
            return "", pos + 2
        if first == 0xFFFF:
            return struct.unpack("<H", data[pos + 2:pos + 4])[0], pos + 4
        end = pos
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[pos:end].decode("utf-16-le"), end + 2

    ver, sig, _, exstyle, style, items, x, y, cx, cy = struct.unpack("<HHIIIHhhhh", data[:26])
    assert (ver, sig) == (1, 0xFFFF), "not an extended dialog template"
    menu, pos = sz_or_ord(26)
    cls, pos = sz_or_ord(pos)
    title, pos = sz_or_ord(pos)
    font = None
    if style & 0x40:
        size, weight, italic, charset = struct.unpack("<HHBB", data[pos:pos + 6])
        face, pos = sz_or_ord(pos + 6)
        font = (face, size, weight)
    controls = []
    for _ in range(items):
        pos = (pos + 3) & ~3
        _, cex, cstyle, _, _, _, _, cid = struct.unpack("<IIIhhhhI", data[pos:pos + 24])
        ccls, pos = sz_or_ord(pos + 24)
        ctitle, pos = sz_or_ord(pos)
        extra = struct.unpack("<H", data[pos:pos + 2])[0]
        pos += 2 + extra
        if isinstance(ccls, str):
            ccls = {"button": 0x80, "static": 0x82}.get(ccls.lower(), ccls)
        controls.append((cid, ccls, cstyle))
    return dict(style=style, exstyle=exstyle, size=(cx, cy), title=title, font=font, controls=controls)


def read_version(data):
    """(fixed file version, {block: {key: value}}, translations)."""
    strings = {}
    translations = []

    def node(pos):
        length, value_len, vtype = struct.unpack("<HHH", data[pos:pos + 6])
        end = pos + length
        k = pos + 6
        kend = k
        while data[kend:kend + 2] != b"\0\0":
            kend += 2
        key = data[k:kend].decode("utf-16-le")
        vpos = (kend + 2 + 3) & ~3
        if vtype == 1:
            vend = vpos
            while vend < end and data[vend:vend + 2] != b"\0\0":
                vend += 2
            value = data[vpos:vend].decode("utf-16-le")
            vbytes = value_len * 2
        else:
            value = data[vpos:vpos + value_len]
            vbytes = value_len
        child = (vpos + vbytes + 3) & ~3
        children = []
        while child < end:
            children.append(node(child))
            child = (child + struct.unpack("<H", data[child:child + 2])[0] + 3) & ~3
        return key, value, children

    key, fixed, children = node(0)
    assert key == "VS_VERSION_INFO"
    sig, _, fms, fls = struct.unpack("<IIII", fixed[:16])
    assert sig == 0xFEEF04BD
    for ckey, _, blocks in children:
        if ckey == "StringFileInfo":
            for bkey, _, values in blocks:
                strings[bkey] = {k: v for k, v, _ in values}
        elif ckey == "VarFileInfo":
            for vkey, value, _ in blocks:
                if vkey == "Translation":
                    translations += [struct.unpack("<HH", value[i:i + 4]) for i in range(0, len(value), 4)]
    return (fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF), strings, translations


class ResourceScript(unittest.TestCase):
    compiled = None

    @classmethod
    def setUpClass(cls):
        windres = shutil.which("x86_64-w64-mingw32-windres")
        if windres is None:
            raise AssertionError("x86_64-w64-mingw32-windres is needed (tools/setup.sh installs mingw-w64)")
        cls.scratch = tempfile.mkdtemp()
        rc = os.path.join(cls.scratch, "resources.rc")
        shutil.copy(ARGS.rc, rc)
        out = os.path.join(cls.scratch, "resources.res")
        subprocess.run([windres, "-O", "res", "resources.rc", "resources.res"], cwd=cls.scratch, check=True)
        subprocess.run([windres, "-O", "coff", "resources.rc", "resources.o"], cwd=cls.scratch, check=True)
        with open(out, "rb") as f:
            cls.compiled = read_res(f.read())

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def test_pictures_are_the_committed_files(self):
        for rid in PNGS:
            with self.subTest(png=rid), open(res("png", "%d.png" % rid), "rb") as f:
                self.assertEqual(self.compiled[("PNG", rid)], f.read())
        for rid in BMPS:
            with self.subTest(bmp=rid), open(res("bmp", "%d.bmp" % rid), "rb") as f:
                self.assertEqual(self.compiled[(2, rid)], f.read()[14:])  # RT_BITMAP: without the file header
        group = self.compiled[(14, 7)]  # RT_GROUP_ICON
        self.assertEqual(struct.unpack("<HHH", group[:6]), (0, 1, 3))

    def test_dialog_templates(self):
        ws_child_visible_tab = 0x40000000 | 0x10000000 | 0x00010000
        cases = {
            # id: (style, extended style, size, title, font)
            102: (0x90080048, 0x00040000, (319, 200), "", ("MS Shell Dlg", 9)),
            130: (0x80000048, 0, (416, 252), "", ("MS Shell Dlg", 8)),
            134: (0x80CF0048, 0x00040000, (836, 428), "", ("MS Shell Dlg", 8)),
            105: (0x80C800C8, 0, (320, 200), "对话框", ("MS Shell Dlg", 8)),
        }
        for rid, (style, exstyle, size, title, font) in cases.items():
            with self.subTest(dialog=rid):
                d = read_dialog(self.compiled[(5, rid)])  # RT_DIALOG
                self.assertEqual((d["style"], d["exstyle"], d["size"], d["title"]), (style, exstyle, size, title))
                self.assertEqual(d["font"][:2], font)
                if rid != 130:
                    self.assertEqual(d["controls"], [])
        overlay = read_dialog(self.compiled[(5, 130)])
        self.assertEqual(overlay["font"][2], 400)
        self.assertEqual(sorted(overlay["controls"]),
                         [(i, 0x80, ws_child_visible_tab | 0xB) for i in range(1, 6)] + [(1001, 0x82, ws_child_visible_tab)])

    def test_version_data(self):
        fixed, strings, translations = read_version(self.compiled[(16, 1)])  # RT_VERSION
        numbers = tuple(int(p) for p in ARGS.version.split("."))
        self.assertEqual(fixed, numbers)
        self.assertEqual(list(strings), ["080404b0"])
        self.assertEqual(strings["080404b0"]["FileVersion"], ARGS.version)
        self.assertEqual(strings["080404b0"]["ProductVersion"], ARGS.version)
        self.assertEqual(translations, [(0x0804, 0x04B0)])

    def test_the_linux_executable_carries_the_same_version_data(self):
        sys.path.insert(0, os.path.join(ARGS.root, "tools", "art"))
        import embed_resources  # noqa: E402
        self.assertEqual(read_version(embed_resources.version_block(ARGS.version)),
                         read_version(self.compiled[(16, 1)]))


def main():
    global ARGS
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True, help="source tree")
    ap.add_argument("--rc", required=True, help="the configured resources.rc")
    ap.add_argument("--version", required=True, help="project version, e.g. 1.0.0.1")
    ARGS, rest = ap.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
