#!/usr/bin/env python3
"""The client's launcher window under Wine, seen from outside.

Runs KQVClient.exe on the current X display (a private Xvfb with a window
manager, see with-display.sh) and checks, through a probe program in the
same Wine session and through the X server:
- the layered splash window has the picture's size and sits where the
  placement rule puts it on this screen; the colour-keyed overlay lies on it;
- the overlay's five picture buttons show on the splash in their bitmaps'
  colours, and the X server stacks the overlay above the splash: once both
  are shown, after a click on the picture, after the keys and after a drag;
- Escape and Return do not end or change the launcher;
- dragging the picture moves the window, and the overlay follows;
- a window-close request ends the launcher, and with it the process,
  without a game window.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_support import Screenshot, geometry, poll, transient_for  # noqa: E402

PICTURE = (1357, 852)
WS_EX_LAYERED = 0x80000
WS_EX_APPWINDOW = 0x40000
MAGENTA = 0xFF00FF
SPLASH_PNG = 143
# The overlay's picture buttons: bitmap and place (x, y; a negative x counts
# back from the overlay's right edge), as the overlay sets them up.
BUTTONS = [(155, 566, 244), (154, 733, 244), (153, 890, 244), (156, 1059, 244), (135, -62, 251)]
# Share of a button's pixels that must show its bitmap's colour.
SHOWN = 0.9

failures = []


def check(condition, message):
    print(("ok   " if condition else "FAIL ") + message, flush=True)
    if not condition:
        failures.append(message)
    return condition


def trunc_div(a, b):
    return int(a / b)


class Window:
    def __init__(self, line):
        parts = line.split(" ", 8)
        self.handle, self.owner = int(parts[0]), int(parts[1])
        self.rect = tuple(int(v) for v in parts[2:6])
        self.exstyle, self.key = int(parts[6]), int(parts[7])

    def __repr__(self):
        return "window %d owner %d rect %s exstyle %#x key %d" % (
            self.handle, self.owner, self.rect, self.exstyle, self.key)


class Session:
    def __init__(self, args):
        self.args = args

    def probe(self, *words):
        result = subprocess.run([self.args.runner, self.args.probe, *words], capture_output=True, text=True,
                                timeout=60)
        return result.stdout

    def windows(self):
        return [Window(line) for line in self.probe("list").splitlines() if line.strip()]

    def launcher(self):
        """(splash, overlay) once both are visible, else None."""
        windows = self.windows()
        splash = [w for w in windows if w.owner == 0 and w.exstyle & WS_EX_LAYERED]
        if len(splash) != 1:
            return None
        overlay = [w for w in windows if w.owner == splash[0].handle]
        return (splash[0], overlay[0] if overlay else None), windows


def screen_size():
    out = subprocess.run(["xdpyinfo"], capture_output=True, text=True).stdout
    match = re.search(r"dimensions:\s+(\d+)x(\d+) pixels", out)
    return int(match.group(1)), int(match.group(2))


def x_window_at(rect):
    """Whether the X server has a mapped window of exactly this geometry."""
    left, top, right, bottom = rect
    wanted = "%dx%d+%d+%d" % (right - left, bottom - top, left, top)
    out = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
    return wanted in out


def rgb_pixels(path):
    """(width, height, bytes) of a picture file as 8-bit RGB."""
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True, capture_output=True,
                          text=True).stdout.split()
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    return int(size[0]), int(size[1]), raw


def close(a, b, tolerance=8):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


class Buttons:
    """The buttons' bitmaps and the splash picture under them, from res/."""

    def __init__(self, res):
        self.bitmaps = [(rgb_pixels(os.path.join(res, "bmp", "%d.bmp" % n)), x, y) for n, x, y in BUTTONS]
        self.splash = rgb_pixels(os.path.join(res, "png", "%d.png" % SPLASH_PNG))

    def places(self):
        """(bitmap, left, top) of each button in the overlay."""
        for (width, height, raw), x, y in self.bitmaps:
            yield (width, height, raw), (x if x >= 0 else PICTURE[0] + x), y

    @staticmethod
    def matching(bitmap, left, top, pixel):
        """Share of the bitmap's pixels (bar the colour key's) that pixel(x, y) shows."""
        width, height, raw = bitmap
        total = same = 0
        for row in range(height):
            for column in range(width):
                at = (row * width + column) * 3
                colour = tuple(raw[at:at + 3])
                if colour == (255, 0, 255):
                    continue
                total += 1
                same += close(pixel(left + column, top + row), colour)
        return same / total if total else 0.0

    def splash_pixel(self, x, y):
        width, _, raw = self.splash
        at = (y * width + x) * 3
        return tuple(raw[at:at + 3])

    def discriminate(self):
        """Whether the splash alone would fail the check at every button."""
        return all(self.matching(bitmap, left, top, self.splash_pixel) < SHOWN for bitmap, left, top in self.places())

    def check_shown(self, origin, shot_path, when):
        shot = Screenshot(shot_path)
        ox, oy = origin
        for index, (bitmap, left, top) in enumerate(self.places()):
            share = self.matching(bitmap, ox + left, oy + top, shot.pixel)
            check(share >= SHOWN, "%s: button %d shows its picture at %d,%d (%.0f%% of its pixels)" % (
                when, index + 1, left, top, 100 * share))


def x_launcher_stacking(rect):
    """(splash, overlay) positions in the X server's stacking list, bottom
    first, told apart by the overlay being the splash's transient; None when
    openbox does not list them."""
    left, top, right, bottom = rect
    text = subprocess.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"], capture_output=True, text=True).stdout
    listed = [str(int(w, 16)) for w in re.findall(r"0x[0-9a-f]+", text)]
    ours = [w for w in listed if geometry(w) == (left, top, right - left, bottom - top)]
    for overlay in ours:
        owner = transient_for(overlay)
        if owner in ours:
            return listed.index(owner), listed.index(overlay)
    return None


def check_stacking(rect, when):
    state = poll(lambda: (lambda s: s if s and s[1] > s[0] else None)(x_launcher_stacking(rect)), 3) or \
        x_launcher_stacking(rect)
    if check(state is not None, "%s: openbox lists the splash and its transient overlay" % when):
        check(state[1] > state[0], "%s: the overlay is stacked above the splash (splash %d, overlay %d)" % (
            when, state[0], state[1]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", required=True)
    parser.add_argument("--client", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--res", required=True, help="the artwork folder (res/)")
    parser.add_argument("--out", default=None, help="where screenshots go")
    args = parser.parse_args()
    out = args.out or tempfile.mkdtemp(prefix="kqv-wine-splash-")
    os.makedirs(out, exist_ok=True)
    buttons = Buttons(args.res)
    if not check(buttons.discriminate(), "the buttons' bitmaps differ from the splash picture under them"):
        return 1
    if not os.environ.get("DISPLAY"):
        print("needs a display (run it through with-display.sh)")
        return 2

    session = Session(args)
    client = subprocess.Popen([args.runner, args.client], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        found = poll(lambda: session.launcher(), 90, 0.5)
        if not check(found is not None, "the launcher's splash window appears"):
            return 1
        width, height = screen_size()
        x = trunc_div(width - PICTURE[0] - 326, 2)
        y = trunc_div(height - PICTURE[1] - 190, 2)
        expected = (x, y, x + PICTURE[0], y + PICTURE[1])
        print("screen %dx%d, splash expected at %s" % (width, height, expected))

        # The overlay is shown during the splash's initialisation, before the
        # splash is placed; wait until both are in place.
        def placed():
            state = session.launcher()
            if state and state[0][0].rect == expected and state[0][1] and state[0][1].rect == expected:
                return state
            return None

        found = poll(placed, 20) or session.launcher() or found
        (splash, overlay), _ = found
        check(splash.rect == expected, "splash placed at %s: %s" % (expected, splash))
        check(splash.exstyle & WS_EX_LAYERED, "splash is a layered window")
        check(splash.exstyle & WS_EX_APPWINDOW, "splash is on the taskbar")
        check(x_window_at(expected), "the X server shows a window of that geometry")
        if check(overlay is not None, "an overlay owned by the splash is visible"):
            check(overlay.rect == splash.rect, "overlay lies on the splash: %s" % overlay)
            check(overlay.key == MAGENTA, "overlay is colour-keyed on magenta")
        check_stacking(expected, "shown")
        buttons.check_shown(expected[:2], os.path.join(out, "shown.png"), "shown")

        # A click on the picture (the character art, left of the panel)
        # activates the splash; its owned overlay stays above it.
        subprocess.run(["xdotool", "mousemove", str(expected[0] + 200), str(expected[1] + 420), "click", "1"],
                       check=False)
        time.sleep(1.0)
        check_stacking(expected, "after a click on the picture")
        buttons.check_shown(expected[:2], os.path.join(out, "clicked.png"), "after a click on the picture")

        # Keys the dialog manager would turn into OK and cancel.
        launcher_handles = {splash.handle, overlay.handle if overlay else 0}

        def launcher_foreground():
            handle = int(session.probe("foreground").strip() or 0)
            return handle if handle in launcher_handles else None

        foreground = poll(launcher_foreground, 10) or int(session.probe("foreground").strip() or 0)
        check(foreground in launcher_handles, "the launcher has the keyboard (foreground %d)" % foreground)
        before = sorted(w.handle for w in session.windows())
        for key in ("Escape", "Return"):
            subprocess.run(["xdotool", "key", key], check=False)
            time.sleep(0.5)
        time.sleep(1.0)
        check(client.poll() is None, "Escape and Return leave the client running")
        check(sorted(w.handle for w in session.windows()) == before,
              "Escape and Return open or close no window")
        buttons.check_shown(expected[:2], os.path.join(out, "keys.png"), "after Escape and Return")

        # A drag on the picture (the character art, left of the panel).
        grab = (expected[0] + 200, expected[1] + 420)
        subprocess.run(["xdotool", "mousemove", str(grab[0]), str(grab[1]), "mousedown", "1"], check=False)
        for step in range(1, 11):
            time.sleep(0.05)
            subprocess.run(["xdotool", "mousemove", str(grab[0] + 6 * step), str(grab[1] + 4 * step)], check=False)
        time.sleep(0.3)
        subprocess.run(["xdotool", "mouseup", "1"], check=False)
        moved = tuple(v + d for v, d in zip(expected, (60, 40, 60, 40)))

        def dragged():
            state = session.launcher()
            return state if state and state[0][0].rect == moved else None

        state = poll(dragged, 5)
        if check(state is not None, "dragging the picture moves the splash by the pointer's way to %s" % (moved,)):
            (splash, overlay), _ = state
            if overlay:
                check(overlay.rect == splash.rect, "the overlay follows: %s" % overlay)
            check_stacking(moved, "after a drag")
            buttons.check_shown(moved[:2], os.path.join(out, "dragged.png"), "after a drag")

        # A window-close request is the dialog manager's cancel.
        session.probe("close", str(splash.handle))
        try:
            code = client.wait(timeout=30)
        except subprocess.TimeoutExpired:
            code = None
        check(code == 0, "a close request ends the process without a game window (exit code %s)" % code)
    finally:
        if client.poll() is None:
            client.kill()
            client.wait()

    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
