#!/usr/bin/python3
"""The game window end to end: from the login to the game, its frame and caption.

Run inside a display session (tools/xsession.sh run -- ...), like
launcher_test.py, whose stand-in, private network and launcher run this
reuses (with the system browser of browser_failures_test.py, which writes
down the addresses it is given). One client run, its steps in order, driven
by real pointer and keyboard events and judged by screenshots, the window
manager's view of the windows and the stand-in's request log:

    the game window maximised with our frame, the game page in its client
    area and the page's title as its own; the page got "1.0.0.1" from
    window.external.getAppVersion(); a right click shows the browser's menu;
    Return and Escape in a page field reach the page and close nothing;
    官网 and 充值 open their pages in the system browser; 刷新 loads the game
    again; 清理 asks, cleans the cache (the page's cached script is fetched
    again, its cookie still sent) and says so; the close button asks, No
    keeps the game and Yes ends the process with exactly one fresh copy of
    the executable started without arguments, showing the launcher.
"""

import argparse
import os
import pathlib
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import browser_failures_test as bf  # noqa: E402  (the recording system browser)
import launcher_test as lt  # noqa: E402  (the stand-in, the private network, the launcher run)
from e2e_support import SCREEN, Screenshot, is_chat_window, move_pointer, run, transient_for, window_name  # noqa: E402

FRAME_ART = None  # res/png/164.png, RGBA
CAPTION, BORDER = 39, 3
PAGE = (0x1F, 0x2A, 0x44)  # the game page's background
W = SCREEN[0]
# Caption buttons of a window as wide as the screen, by their centres.
BUTTONS = {"home": (W - 245, 20), "charge": (W - 200, 20), "clean": (W - 155, 20), "refresh": (W - 110, 20),
           "minimise": (W - 64, 20), "maximise": (W - 42, 20), "close": (W - 20, 20)}
# The buttons' strip cells: 165 (41 x 20 cells, labelled) and 161 (the cross).
EXPECTED_VERSION = "1.0.0.1"


class FrameArt:
    def __init__(self, path):
        out = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], check=True, capture_output=True).stdout
        self.width, self.height = 594, 229
        assert len(out) == self.width * self.height * 4, "the frame art is not 594 x 229"
        self.raw = out

    def pixel(self, x, y):
        at = (y * self.width + x) * 4
        return tuple(self.raw[at:at + 3])


class GameRun(bf.BrowserRun):
    """A client run that reaches the game window, with its helpers."""

    def game_window(self):
        for w in lt.client_windows(self.client.pid):
            if w not in (self.splash, self.overlay) and "MAXIMIZED_VERT" in lt.net_wm_state(w):
                return w
        return None

    def boxes(self):
        """The client's message boxes: shown windows owned by another of its windows (not the chat)."""
        windows = lt.client_windows(self.client.pid)
        return [w for w in windows if transient_for(w) in windows and lt.viewable(w) and not is_chat_window(w)]

    def answer_box(self, title, key):
        box = self.wait_for(lambda: [b for b in self.boxes() if window_name(b) == title], 10,
                            f"no box \"{title}\" appeared")[0]
        run("xdotool", "windowactivate", "--sync", str(box), check=False)
        run("xdotool", "key", key)
        self.wait_for(lambda: box not in lt.client_windows(self.client.pid), 10, f"the box \"{title}\" stayed")

    def press(self, button):
        x, y = BUTTONS[button]
        move_pointer(x, y)
        time.sleep(0.2)
        run("xdotool", "click", "1")

    def seen(self, what):
        return [e["params"][what] for e in lt.requests() if e["path"] == "/game/seen" and what in e["params"]]

    def asset_requests(self):
        return [e for e in lt.requests() if e["path"] == "/game/asset.js"]

    def frame_mismatches(self, shot):
        """Caption art, borders and body rows of the maximised window against the frame's picture."""
        bad = []
        probes = []
        for y in range(0, CAPTION, 3):
            probes += [((x, y), (x, y)) for x in (2, 8, 50, 90)]             # left cap, clear of icon and title
            probes += [((x, y), (218, y)) for x in (700, 1000, 1300)]       # the stretched column
            if y < 10 or y > 30:  # the right cap above and below the buttons
                probes += [((W - 50 + x, y), (544 + x, y)) for x in (0, 8, 25, 45)]
        for y in (200, 600, SCREEN[1] - 10):
            probes += [((x, y), (x, CAPTION)) for x in range(BORDER)]                          # left band
            probes += [((W - BORDER + x, y), (594 - BORDER + x, CAPTION)) for x in range(BORDER)]  # right band
        for x in (40, 900, 1800):
            probes += [((x, SCREEN[1] - BORDER + r), (CAPTION, 229 - BORDER + r)) for r in range(BORDER)]  # bottom
            probes += [((x, SCREEN[1] - BORDER - 1 - r), (BORDER + 5, CAPTION)) for r in range(3)]  # body rows
        for (sx, sy), (ax, ay) in probes:
            actual, expected = shot.pixel(sx, sy), FRAME_ART.pixel(ax, ay)
            if not lt.close_to(actual, expected, 6):
                bad.append(f"({sx},{sy}) {actual} not {expected}")
        return bad



class GameWindow(GameRun):
    name = "game"
    modes = {"game_delay": "3"}  # the first game page comes late


    def test_1_the_game_window_shows_the_game_under_our_frame(self):
        self.wait_for_login_page(os.path.join(lt.ARGS.out, "game-login.png"))
        self.fill_and_submit("Return")
        # The launcher's hand-off itself is the launcher tests' own.
        window = self.wait_for(self.game_window, 15, "no game window")
        self.assertEqual(lt.geometry(window), (0, 0) + SCREEN)
        # While the game server is slow to answer, the window is dark: the
        # frame's body colour, never a white page.
        self.wait_for(self.entry_requests, 10, "the game window never asked for the game")
        time.sleep(0.5)
        self.assertFalse(self.seen("version"), "the page came too early to see the window without it")
        early = Screenshot(os.path.join(lt.ARGS.out, "game-before-the-page.png"))
        for x, y in ((BORDER + 5, CAPTION + 5), (W // 2, SCREEN[1] // 2), (W - 20, SCREEN[1] - 20)):
            self.assertTrue(lt.close_to(early.pixel(x, y), (26, 20, 18), 8),
                            f"before the page the window shows {early.pixel(x, y)} at {x},{y} ({early.path})")
        lt.STATE.set_modes({"game_delay": "0"})
        self.wait_for(lambda: self.seen("version"), 15, "the page never reported its version")
        self.assertEqual(self.seen("version"), [EXPECTED_VERSION], "getAppVersion() answered otherwise")
        self.wait_for(lambda: window_name(window) == "Qelunar S12", 10,
                      f"the window's title is \"{window_name(window)}\", not the page's")
        # The page reports its version from its script, before the engine
        # has painted it: its colour is waited for on the screen.
        probes = ((BORDER + 5, CAPTION + 300), (W // 2, SCREEN[1] - 200), (W - BORDER - 2, CAPTION + 2))

        def page_shown():
            shot = Screenshot(os.path.join(lt.ARGS.out, "game-window.png"))
            return shot if all(lt.close_to(shot.pixel(x, y), PAGE) for x, y in probes) else None
        shot = self.wait_for(page_shown, 10, "the page does not fill the client area")
        self.assertEqual(self.frame_mismatches(shot), [], f"the frame is not ours ({shot.path})")
        # The cached script was fetched once, with the session cookie set by then.
        self.assertEqual(len(self.asset_requests()), 1)

    def test_2_a_right_click_shows_the_browsers_menu(self):
        before = lt.viewable_toplevels()
        move_pointer(W // 2, 500)
        run("xdotool", "click", "3")
        new = self.wait_for(lambda: lt.viewable_toplevels() - before, 5, "no menu appeared on a right click")
        run("xdotool", "key", "Escape")
        self.wait_for(lambda: not (lt.viewable_toplevels() - before) & new, 5, "the menu stayed")
        self.assertIsNotNone(self.game_window())

    def test_3_return_and_escape_reach_the_page_and_close_nothing(self):
        move_pointer(150, 205)  # the page's text field, below its three lines
        run("xdotool", "click", "1")
        for key in ("Return", "Escape"):
            run("xdotool", "key", key)
        self.wait_for(lambda: {"Enter", "Escape"} <= set(self.seen("key")), 5,
                      f"the page got only {self.seen('key')}")
        time.sleep(0.5)
        self.assertIsNotNone(self.game_window(), "a key closed the game window")
        self.assertEqual(self.boxes(), [], "a key asked to close the game")

    def test_4_home_and_charge_open_in_the_system_browser(self):
        self.press("home")
        self.press("charge")
        expected = [lt.base() + "/index.html", lt.base() + "/order.html?gkey=qelu&skey=S1&qid="]
        self.wait_for(lambda: self.opened() == expected, 10, f"the system browser got {self.opened()}")

    def test_5_refresh_loads_the_game_again(self):
        before = len(self.entry_requests())
        self.press("refresh")
        self.wait_for(lambda: len(self.entry_requests()) == before + 1, 10, "刷新 did not load the game again")
        self.wait_for(lambda: len(self.seen("version")) == 2, 10, "the reloaded page did not report")
        # Cached: the script is not fetched again.
        self.assertEqual(len(self.asset_requests()), 1)

    def test_6_clean_asks_cleans_the_cache_keeps_the_cookie_and_says_so(self):
        self.press("clean")
        self.answer_box("清理提示", "n")  # No: nothing happens
        self.press("clean")
        self.answer_box("清理提示", "y")
        self.answer_box("KQVClient", "Return")  # 缓存清理完毕
        before = len(self.entry_requests())
        self.press("refresh")
        self.wait_for(lambda: len(self.entry_requests()) == before + 1, 10, "刷新 did not load the game again")
        assets = self.wait_for(lambda: len(self.asset_requests()) == 2 and self.asset_requests(), 10,
                               "the cached script was not fetched again after cleaning")
        self.assertIn("kqv_session=", assets[-1]["headers"].get("Cookie", ""), "the cookie did not survive")

    def test_7_close_asks_and_yes_starts_one_fresh_copy(self):
        self.press("close")
        self.answer_box("关闭提示", "n")
        time.sleep(0.5)
        self.assertIsNotNone(self.game_window(), "No closed the game window")
        shot = Screenshot(os.path.join(lt.ARGS.out, "game-after-no.png"))
        self.assertEqual(self.frame_mismatches(shot), [], f"the frame was not restored ({shot.path})")

        self.press("close")
        self.answer_box("关闭提示", "y")
        self.wait_for(lambda: self.client.poll() is not None, 10, "the client did not end on Yes")
        self.assertEqual(self.client.returncode, 0)
        copies = self.wait_for(self.restarted_copies, 10, "no fresh copy was started")
        self.assertEqual(len(copies), 1, f"{len(copies)} copies started: {[describe(pid) for pid in copies]}")
        with open(f"/proc/{copies[0]}/cmdline", "rb") as f:
            argv = f.read().split(b"\0")[:-1]
        self.assertEqual(argv, [os.path.realpath(self.executable).encode()], "the copy got arguments")
        self.wait_for(lambda: any(lt.geometry(w)[2:] == lt.SPLASH_SIZE for w in lt.client_windows(copies[0])
                                  if lt.viewable(w)), 20, "the fresh copy did not show the launcher")


def describe(pid):
    """A process's parent and command line, for a failure message."""
    try:
        parent = lt.parent_of(pid)
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            command = f.read().replace(b"\0", b" ").decode(errors="replace")
        return f"{pid} (parent {parent}): {command}"
    except (OSError, IndexError, ValueError):
        return f"{pid} (gone)"


def main():
    global FRAME_ART
    parser = argparse.ArgumentParser()
    parser.add_argument("--client", required=True)
    parser.add_argument("--frame-art", required=True, help="res/png/164.png")
    parser.add_argument("--out", required=True, help="folder for screenshots, client logs and request logs")
    args, rest = parser.parse_known_args()
    FRAME_ART = FrameArt(args.frame_art)
    bf.run_cases(args.client, args.out, rest)


if __name__ == "__main__":
    main()
