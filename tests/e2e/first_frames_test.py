#!/usr/bin/python3
"""What the player sees in the first frames of each window, sampled from the
X server many times a second (frame_sampler.py) instead of by screenshots,
which miss a frame that stays up for 50 ms.

Run inside a display session (tools/xsession.sh run -- ...): the game run
of client_runs.py against the stand-in of e2e_support.py. The desktop is painted a colour of its own first, so that "nothing
yet" can be told from anything the client draws. One client run:

    the start: at every sampled point of the launcher outside its browser and
    buttons, each sample shows the desktop or the splash picture's own
    colour there (the desktop where the picture is clear): its art or
    nothing, never a blank while the picture is on its way;

    the login: at every sampled point of the game window's client area (away
    from the launcher and the page's text), each sample shows the desktop,
    the frame's dark body or the game page, never the light dialog colour
    (or anything else) while the page is on its way.
"""

import os

from client_runs import CAPTION, GAME_PAGE, GameRun
from e2e_support import (BROWSER, LAUNCHER_BUTTONS, SCREEN, SPLASH_AT, SPLASH_SIZE, close_to, in_any, run,
                         run_cases_with_stand_in, splash_art)
from frame_sampler import FrameSampler

DESKTOP = (58, 123, 213)  # a colour the game window never shows where probed
BODY = (26, 20, 18)  # the frame's body below the caption
TOLERANCE = 4


def paint_desktop(out):
    swatch = os.path.join(out, "desktop.png")
    run("convert", "-size", "8x8", "xc:#%02x%02x%02x" % DESKTOP, swatch)
    run("display", "-window", "root", swatch, check=False)


def matches(colour, allowed):
    return any(close_to(colour, a, TOLERANCE) for a in allowed)


def game_probes():
    """Points of the maximised game window's client area outside the
    launcher's rectangle and clear of the game page's text: left of the
    page's padding, below the launcher, right of it."""
    left, top = SPLASH_AT
    right, bottom = left + SPLASH_SIZE[0], top + SPLASH_SIZE[1]
    points = [(x, y) for x in (8, 18) for y in range(CAPTION + 8, SCREEN[1] - 8, 37)]
    points += [(x, y) for x in range(8, SCREEN[0] - 8, 41) for y in (bottom + 10, SCREEN[1] - 12)]
    points += [(x, y) for x in range(right + 10, SCREEN[0] - 8, 53) for y in range(CAPTION + 8, bottom, 61)]
    return points


def launcher_probes(art):
    """Points of the splash, in screen coordinates, with what each must show
    once drawn: the picture's colour where it is opaque, the desktop where it
    is clear. Half-clear edges, the browser and the buttons are left out."""
    left, top = SPLASH_AT
    width, height = SPLASH_SIZE
    probes = []
    for y in range(3, height - 3, 23):
        for x in range(3, width - 3, 29):
            if in_any(x, y, [BROWSER] + LAUNCHER_BUTTONS, margin=4):
                continue
            r, g, b, a = art.pixel(x, y)
            if a in (0, 255):
                probes.append(((left + x, top + y), DESKTOP if a == 0 else (r, g, b)))
    return probes


def judged(sampler, bad_points, out, label):
    """The samples with points their judge rejects, described; the images
    kept of the first ones are saved beside the screenshots."""
    wrong = []
    for number, sample in enumerate(sampler.samples):
        bad = bad_points(sample.colours)
        if not bad:
            continue
        shown = ", ".join(f"{sampler.points[i]} {sample.colours[i]}" for i in bad[:4])
        text = f"at {sample.at * 1000:.0f} ms, {len(bad)} of {len(sampler.points)} points: {shown}"
        if sample.image:
            path = os.path.join(out, f"{label}-{number}.png")
            sampler.save(sample, path)
            text += f" ({path})"
        wrong.append(text)
    return wrong


class FirstFrames(GameRun):
    name = "frames"

    @classmethod
    def setUpClass(cls):
        paint_desktop(cls.args.out)
        cls.launcher_probes = launcher_probes(splash_art(cls.args.art))
        points = [point for point, _ in cls.launcher_probes]
        cls.start_sampler = FrameSampler(points, judge=cls.launcher_bad_points).start()
        try:
            super().setUpClass()
        except BaseException:
            cls.start_sampler.stop()
            raise

    @classmethod
    def launcher_bad_points(cls, colours):
        return [i for i, (c, (_, expected)) in enumerate(zip(colours, cls.launcher_probes))
                if not matches(c, [DESKTOP, expected])]

    def test_1_the_launcher_shows_its_art_or_nothing_from_its_first_frame(self):
        sampler = self.start_sampler
        try:
            self.wait_for_login_page(os.path.join(self.args.out, "frames-start.png"))
        finally:
            samples = sampler.stop()
        self.assertTrue(samples and all(matches(c, [DESKTOP]) for c in samples[0].colours),
                        "the first sample is not the bare desktop")
        opaque = [i for i, (_, expected) in enumerate(self.launcher_probes) if expected != DESKTOP]
        self.assertGreater(len(opaque), 100, "too few opaque picture points to judge")
        self.assertFalse(self.launcher_bad_points(samples[-1].colours), "the last sample is not the splash's art")
        wrong = judged(sampler, self.launcher_bad_points, self.args.out, "frames-start")
        self.assertFalse(wrong, f"{len(wrong)} of {len(samples)} samples neither desktop nor the splash's art "
                                f"(longest gap {sampler.gaps() * 1000:.0f} ms): " + "; ".join(wrong[:3]))

    def test_2_the_game_window_is_dark_from_its_first_frame(self):
        self.wait_for_login_page(os.path.join(self.args.out, "frames-login.png"))
        points = game_probes()

        def bad_points(colours):
            return [i for i, c in enumerate(colours) if not matches(c, [DESKTOP, BODY, GAME_PAGE])]

        sampler = FrameSampler(points, judge=bad_points).start()
        try:
            self.fill_and_submit("Return")
            window = self.wait_for(self.game_window, 15, "no game window")
            self.wait_for(lambda: self.seen("version"), 15, "the game page never reported its version")

            def page_everywhere():
                last = sampler.samples[-1].colours if sampler.samples else []
                return last and all(close_to(c, GAME_PAGE, TOLERANCE) for c in last)

            self.wait_for(page_everywhere, 10, "the game page did not fill the probed points")
        finally:
            samples = sampler.stop()
        self.assertIsNotNone(window)
        self.assertTrue(samples and all(matches(c, [DESKTOP]) for c in samples[0].colours),
                        "the first sample is not the bare desktop")
        wrong = judged(sampler, bad_points, self.args.out, "frames-game")
        self.assertFalse(wrong, f"{len(wrong)} of {len(samples)} samples neither desktop, dark body nor page "
                                f"(longest gap {sampler.gaps() * 1000:.0f} ms): " + "; ".join(wrong[:3]))


if __name__ == "__main__":
    run_cases_with_stand_in("client", "art", "out")
