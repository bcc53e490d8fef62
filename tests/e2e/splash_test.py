#!/usr/bin/python3
"""The launcher's splash window on a real X display with a window manager.

Run inside a display session (tools/xsession.sh run -- ...): starts the
client, finds the splash and its overlay among the client's windows, and
judges them by their geometry and by screenshots of the root window, driven
by real pointer and keyboard events from xdotool.
"""

import json
import os
import subprocess
import tempfile
import time

from e2e_support import (BROWSER, LAUNCHER_BUTTONS, SPLASH_AT, SPLASH_SIZE, ScriptCase, Screenshot, arguments,
                         client_windows, close_to, geometry, poll, require_display, run, run_cases, splash_art, stop,
                         wait_for_launcher)

ROOT_COLOUR = (58, 123, 213)  # anything the picture never shows at its margins
TOLERANCE = 2
# What the overlay covers on the splash, (x, y, w, h): its picture buttons and
# the browser's panel.
OVERLAY_PARTS = LAUNCHER_BUTTONS + [BROWSER]


class SplashWindow(ScriptCase):
    """One client run, checked step by step in the order a player meets it."""

    @classmethod
    def glow(cls):
        """The art's pixels of partial alpha outside the overlay's parts, as
        (x, y, alpha, straight colour), every 37th."""
        raw = splash_art(cls.args.art).raw
        found = []
        for at in range(0, len(raw), 4):
            alpha = raw[at + 3]
            if not 0 < alpha < 255:
                continue
            x, y = (at // 4) % SPLASH_SIZE[0], (at // 4) // SPLASH_SIZE[0]
            if any(px - 3 <= x < px + pw + 3 and py - 3 <= y < py + ph + 3 for px, py, pw, ph in OVERLAY_PARTS):
                continue
            found.append((x, y, alpha, tuple(raw[at:at + 3])))
        return found[::37]

    @classmethod
    def setUpClass(cls):
        with open(cls.args.probes, encoding="utf-8") as f:
            probes = json.load(f)
        cls.opaque = [(p["x"], p["y"], (p["r"], p["g"], p["b"])) for p in probes["opaque"]]
        cls.transparent = [(p["x"], p["y"]) for p in probes["transparent"]]
        assert cls.opaque and cls.transparent, "the probe file names no pixels"

        # A known background, so that transparent pixels can be told apart.
        swatch = os.path.join(cls.args.out, "root-colour.png")
        run("convert", "-size", "8x8", "xc:#%02x%02x%02x" % ROOT_COLOUR, swatch)
        run("display", "-window", "root", swatch, check=False)
        before = Screenshot(os.path.join(cls.args.out, "splash-before.png"))
        assert before.pixel(960, 540) == ROOT_COLOUR, "the root background could not be set"

        cls.home = tempfile.mkdtemp(prefix="kqv-e2e-")
        env = dict(os.environ, XDG_DATA_HOME=os.path.join(cls.home, "data"),
                   XDG_CACHE_HOME=os.path.join(cls.home, "cache"), HOME=cls.home, G_DEBUG="fatal-criticals")
        cls.log = open(os.path.join(cls.args.out, "client.log"), "wb")
        cls.client = subprocess.Popen([cls.args.client], env=env, stdout=cls.log, stderr=subprocess.STDOUT,
                                      cwd=cls.home)
        cls.splash, cls.overlay = wait_for_launcher(cls.client, together=True)

    @classmethod
    def tearDownClass(cls):
        stop(cls.client)
        cls.log.close()
        subprocess.run(["rm", "-rf", cls.home], check=False)

    def wait_for(self, condition, seconds=5):
        return poll(condition, seconds)

    def check_picture(self, shot, left, top):
        for x, y, colour in self.opaque:
            self.assertTrue(close_to(shot.pixel(left + x, top + y), colour, TOLERANCE),
                            f"art pixel ({x}, {y}) shows {shot.pixel(left + x, top + y)}, not {colour} ({shot.path})")
        for x, y in self.transparent:
            self.assertEqual(shot.pixel(left + x, top + y), ROOT_COLOUR,
                             f"transparent pixel ({x}, {y}) does not show what lies below ({shot.path})")

    def test_1_placed_and_drawn(self):
        self.assertEqual(geometry(self.splash), SPLASH_AT + SPLASH_SIZE)
        self.assertEqual(geometry(self.overlay), geometry(self.splash))
        # The picture needs a moment to reach the screen after mapping.
        shot = None
        for _ in range(20):
            shot = Screenshot(os.path.join(self.args.out, "splash.png"))
            x, y, colour = self.opaque[0]
            if close_to(shot.pixel(SPLASH_AT[0] + x, SPLASH_AT[1] + y), colour, TOLERANCE):
                break
            time.sleep(0.2)
        self.check_picture(shot, *SPLASH_AT)

    def test_1b_glow_shows_the_arts_own_colours(self):
        """Without a compositor the soft edge is cut at half alpha: inside it
        the art's own (straight) colours, never darkened towards black;
        outside it the desktop."""
        glow = self.glow()
        self.assertGreater(len(glow), 100, "the art has no soft edge to look at")
        shot = Screenshot(os.path.join(self.args.out, "splash-glow.png"))
        wrong = []
        for x, y, alpha, colour in glow:
            actual = shot.pixel(SPLASH_AT[0] + x, SPLASH_AT[1] + y)
            expected = colour if alpha >= 128 else ROOT_COLOUR
            # Premultiplying and back loses up to 255 / alpha / 2 per channel.
            if not all(abs(a - e) <= 3 for a, e in zip(actual, expected)):
                wrong.append(f"({x}, {y}) alpha {alpha}: {actual}, not {expected}")
        self.assertEqual(wrong[:10], [], f"{len(wrong)} of {len(glow)} edge pixels wrong ({shot.path})")

    def test_2_dragged_from_a_visible_point(self):
        left, top, _, _ = geometry(self.splash)
        grab_x, grab_y, _ = self.opaque[0]
        delta = (-70, 45)
        run("xdotool", "mousemove", str(left + grab_x), str(top + grab_y))
        run("xdotool", "mousedown", "1")
        steps = 7
        for i in range(1, steps + 1):
            time.sleep(0.05)
            run("xdotool", "mousemove", str(left + grab_x + delta[0] * i // steps),
                str(top + grab_y + delta[1] * i // steps))
        time.sleep(0.1)
        run("xdotool", "mouseup", "1")
        moved = (left + delta[0], top + delta[1]) + SPLASH_SIZE
        self.assertTrue(self.wait_for(lambda: geometry(self.splash) == moved),
                        f"splash at {geometry(self.splash)} after the drag, expected {moved}")
        self.assertTrue(self.wait_for(lambda: geometry(self.overlay) == moved),
                        f"overlay at {geometry(self.overlay)}, splash at {moved}")
        shot = None
        for _ in range(10):
            shot = Screenshot(os.path.join(self.args.out, "splash-moved.png"))
            try:
                self.check_picture(shot, moved[0], moved[1])
                break
            except AssertionError:
                time.sleep(0.2)
        self.check_picture(shot, moved[0], moved[1])

    def test_3_return_and_escape_do_not_end_the_launcher(self):
        run("xdotool", "windowactivate", "--sync", self.splash)
        self.assertTrue(self.wait_for(lambda: run("xdotool", "getactivewindow", check=False).strip() == self.splash),
                        "the splash did not take the focus")
        where = geometry(self.splash)
        for key in ("Return", "Escape", "KP_Enter"):
            run("xdotool", "key", key)
        time.sleep(1.0)
        self.assertIsNone(self.client.poll(), "a key press ended the launcher")
        visible = client_windows(self.client.pid)
        self.assertIn(self.splash, visible)
        self.assertIn(self.overlay, visible)
        self.assertEqual(geometry(self.splash), where)

    def test_4_close_request_ends_the_launcher(self):
        # The same keyboard path that Return and Escape took, now with a key
        # that must end the launcher: proof that those keys were delivered.
        run("xdotool", "windowactivate", "--sync", self.splash)
        run("xdotool", "key", "alt+F4")
        try:
            code = self.client.wait(10)
        except subprocess.TimeoutExpired:
            self.fail("a close request to the splash did not end the client")
        self.assertEqual(code, 0)


if __name__ == "__main__":
    args, rest = arguments("client", "probes", "art", "out")
    require_display()
    run_cases(args, rest)
