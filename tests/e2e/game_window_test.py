#!/usr/bin/python3
"""The game window end to end: from the login to the game, its frame and caption.

Run inside a display session (tools/xsession.sh run -- ...): the game run
of client_runs.py (its system browser writes down the addresses it is given)
against the stand-in of e2e_support.py. One client run, its steps in order, driven
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

import os
import time

from client_runs import BORDER, CAPTION, EXPECTED_VERSION, GAME_PAGE, GameRun
from e2e_support import (BASE, SCREEN, SPLASH_SIZE, Art, Screenshot, client_windows, close_to, describe, geometry,
                         move_pointer, run, run_cases_with_stand_in, viewable, viewable_toplevels, window_name)

W = SCREEN[0]
FRAME_ART_SIZE = (594, 229)  # res/png/164.png


class GameWindow(GameRun):
    name = "game"
    modes = {"game_delay": "3"}  # the first game page comes late

    @classmethod
    def setUpClass(cls):
        cls.frame_art = Art(cls.args.frame_art, FRAME_ART_SIZE)
        super().setUpClass()

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
            actual, expected = shot.pixel(sx, sy), self.frame_art.rgb(ax, ay)
            if not close_to(actual, expected, 6):
                bad.append(f"({sx},{sy}) {actual} not {expected}")
        return bad

    def test_1_the_game_window_shows_the_game_under_our_frame(self):
        self.wait_for_login_page(os.path.join(self.args.out, "game-login.png"))
        self.fill_and_submit("Return")
        # The launcher's hand-off itself is the launcher tests' own.
        window = self.wait_for(self.game_window, 15, "no game window")
        self.assertEqual(geometry(window), (0, 0) + SCREEN)
        # While the game server is slow to answer, the window is dark: the
        # frame's body colour, never a white page.
        self.wait_for(self.entry_requests, 10, "the game window never asked for the game")
        time.sleep(0.5)
        self.assertFalse(self.seen("version"), "the page came too early to see the window without it")
        early = Screenshot(os.path.join(self.args.out, "game-before-the-page.png"))
        for x, y in ((BORDER + 5, CAPTION + 5), (W // 2, SCREEN[1] // 2), (W - 20, SCREEN[1] - 20)):
            self.assertTrue(close_to(early.pixel(x, y), (26, 20, 18), 8),
                            f"before the page the window shows {early.pixel(x, y)} at {x},{y} ({early.path})")
        self.stand_in.state.set_modes({"game_delay": "0"})
        self.wait_for(lambda: self.seen("version"), 15, "the page never reported its version")
        self.assertEqual(self.seen("version"), [EXPECTED_VERSION], "getAppVersion() answered otherwise")
        self.wait_for(lambda: window_name(window) == "Qelunar S12", 10,
                      f"the window's title is \"{window_name(window)}\", not the page's")
        # The page reports its version from its script, before the engine
        # has painted it: its colour is waited for on the screen.
        probes = ((BORDER + 5, CAPTION + 300), (W // 2, SCREEN[1] - 200), (W - BORDER - 2, CAPTION + 2))

        def page_shown():
            shot = Screenshot(os.path.join(self.args.out, "game-window.png"))
            return shot if all(close_to(shot.pixel(x, y), GAME_PAGE) for x, y in probes) else None
        shot = self.wait_for(page_shown, 10, "the page does not fill the client area")
        self.assertEqual(self.frame_mismatches(shot), [], f"the frame is not ours ({shot.path})")
        # The cached script was fetched once, with the session cookie set by then.
        self.assertEqual(len(self.asset_requests()), 1)

    def test_2_a_right_click_shows_the_browsers_menu(self):
        before = viewable_toplevels()
        move_pointer(W // 2, 500)
        run("xdotool", "click", "3")
        new = self.wait_for(lambda: viewable_toplevels() - before, 5, "no menu appeared on a right click")
        run("xdotool", "key", "Escape")
        self.wait_for(lambda: not (viewable_toplevels() - before) & new, 5, "the menu stayed")
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
        expected = [BASE + "/index.html", BASE + "/order.html?gkey=qelu&skey=S1&qid="]
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
        shot = Screenshot(os.path.join(self.args.out, "game-after-no.png"))
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
        self.wait_for(lambda: any(geometry(w)[2:] == SPLASH_SIZE for w in client_windows(copies[0])
                                  if viewable(w)), 20, "the fresh copy did not show the launcher")


if __name__ == "__main__":
    run_cases_with_stand_in("client", "frame_art", "out")
