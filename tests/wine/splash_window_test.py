#!/usr/bin/env python3
"""The client's launcher window under Wine, seen from outside.

Runs KQVClient.exe on the current X display (a private Xvfb with a window
manager, see with-display.sh) and checks, through a probe program in the
same Wine session and through the X server:
- the layered splash window has the picture's size and sits where the
  placement rule puts it on this screen; the colour-keyed overlay lies on it;
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
import time

PICTURE = (1357, 852)
WS_EX_LAYERED = 0x80000
WS_EX_APPWINDOW = 0x40000
MAGENTA = 0xFF00FF

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


def wait_for(condition, seconds, step=0.25):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return condition()


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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", required=True)
    parser.add_argument("--client", required=True)
    parser.add_argument("--probe", required=True)
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        print("needs a display (run it through with-display.sh)")
        return 2

    session = Session(args)
    client = subprocess.Popen([args.runner, args.client], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        found = wait_for(lambda: session.launcher(), 90, 0.5)
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

        found = wait_for(placed, 20) or session.launcher() or found
        (splash, overlay), _ = found
        check(splash.rect == expected, "splash placed at %s: %s" % (expected, splash))
        check(splash.exstyle & WS_EX_LAYERED, "splash is a layered window")
        check(splash.exstyle & WS_EX_APPWINDOW, "splash is on the taskbar")
        check(x_window_at(expected), "the X server shows a window of that geometry")
        if check(overlay is not None, "an overlay owned by the splash is visible"):
            check(overlay.rect == splash.rect, "overlay lies on the splash: %s" % overlay)
            check(overlay.key == MAGENTA, "overlay is colour-keyed on magenta")

        # Keys the dialog manager would turn into OK and cancel.
        launcher_handles = {splash.handle, overlay.handle if overlay else 0}

        def launcher_foreground():
            handle = int(session.probe("foreground").strip() or 0)
            return handle if handle in launcher_handles else None

        foreground = wait_for(launcher_foreground, 10) or int(session.probe("foreground").strip() or 0)
        check(foreground in launcher_handles, "the launcher has the keyboard (foreground %d)" % foreground)
        before = sorted(w.handle for w in session.windows())
        for key in ("Escape", "Return"):
            subprocess.run(["xdotool", "key", key], check=False)
            time.sleep(0.5)
        time.sleep(1.0)
        check(client.poll() is None, "Escape and Return leave the client running")
        check(sorted(w.handle for w in session.windows()) == before,
              "Escape and Return open or close no window")

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

        state = wait_for(dragged, 5)
        if check(state is not None, "dragging the picture moves the splash by the pointer's way to %s" % (moved,)):
            (splash, overlay), _ = state
            if overlay:
                check(overlay.rect == splash.rect, "the overlay follows: %s" % overlay)

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
