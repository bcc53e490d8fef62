#!/usr/bin/python3
"""Draws the application icon (the emblem of res/icon/7.ico, tools/art) at
the sizes of the freedesktop hicolor theme.

    /usr/bin/python3 packaging/icons.py --out DIR [--name NAME]

Writes DIR/<size>x<size>/apps/NAME.png for each size. The emblem is drawn
afresh at each size rather than scaled from the 48-pixel icon, so the large
sizes stay sharp.
"""

import argparse
import os
import sys

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "art"))

from emblem import draw_emblem  # noqa: E402
from raster import Img, png_bytes  # noqa: E402

SIZES = (16, 24, 32, 48, 64, 128, 256)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True, help="the theme folder to write (…/icons/hicolor)")
    parser.add_argument("--name", default="kqvclient", help="the icon's name")
    args = parser.parse_args()
    for size in SIZES:
        img = Img(size, size)
        draw_emblem(img, 0, 0, size)
        folder = os.path.join(args.out, f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, args.name + ".png"), "wb") as f:
            f.write(png_bytes(img.rgba_rows(), size, size, 4))


if __name__ == "__main__":
    main()
