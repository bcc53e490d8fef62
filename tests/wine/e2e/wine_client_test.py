#!/usr/bin/python3
"""KQVClient.exe end to end under Wine, on the stand-in browser control.

Run inside a display session with a window manager (with-display.sh). The
real Windows program runs in a Wine prefix of these tests alone, where the
stand-in control (tests/wine/standin) is registered under the WebBrowser
control's CLSID, against the stand-in platform on the port its built-in
addresses name. The stand-in follows the scripts the platform's pages carry
and reports what it did and what the program answered to the platform's
request log (standin/SCRIPT.md); the test reads that log, the X server's view
of the windows and screenshots, taken after each action and kept by step in
the output folder; what X does not show (hidden windows, WinINet's URL cache)
it asks window_probe.exe, run in the same prefix. Input is real X input
(xdotool).

One program run per case class, its steps in order:

    Login          the launcher's browser placed in the panel once the login
                   page completes, its host handler taking that page (no
                   menu on a right click); the login's redirect to the game entry
                   cancelled by the launcher (never requested by it); the
                   game window maximised, titled from its page, getAppVersion
                   answering the executable's version
    GameWindow     the browser's menu on a right click; 刷新 requesting the
                   game once; 清理 asked, answered Yes, cleaning the cache
                   and keeping the cookie; close answered Yes starting
                   exactly one fresh copy without arguments
    Chat           the contact's name showing the VIP button, a message
                   lighting it; the chat window shown by it, placed at the
                   game window's right edge by 刷新, hidden by its close
                   button and shown again by the VIP button
    ExternalsRead  window.external methods read as properties run nothing;
                   called, each runs once
"""

import argparse
import os
import pathlib
import subprocess
import sys
import time
import unittest
from urllib.parse import parse_qsl

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "e2e"))
sys.path.insert(0, str(HERE.parents[2] / "tools" / "sandbox"))

import pages_platform  # noqa: E402  (the login page's layout, shared with the page)
from e2e_support import (BASE, BROWSER, SCREEN, SPLASH_SIZE, Art, Screenshot, StandIn, client_windows,  # noqa: E402
                         close_to, geometry, move_pointer, net_wm_state, poll, private_loopback, require_display,
                         run, transient_for, viewable, viewable_toplevels, window_name)

W, H = SCREEN
ENTRY_PATH = "/game/login.php"
REPORT_PATH = "/standin/report"
USER = "wine tester"
WHITE = (255, 255, 255)  # the stand-in's view shows its page on white
GAME_TITLE = "Qelunar S12"

# The game window's caption buttons by their middles, maximised (the frame's
# own layout: the labelled buttons from W - 265, the system buttons at the
# right end).
CAPTION_BUTTONS = {"clean": (W - 155, 20), "refresh": (W - 110, 20), "close": (W - 20, 20), "vip": (W - 340, 20)}
# The VIP button, W - 395 .. W - 285 by 10 .. 30, shows one 41 x 20 cell of
# strip 165 stretched to 110 x 20: normal, highlight, pressed. These screen
# points lie right of its label and left of the cell's edge; each maps to the strip's column x * 41 / 110.
VIP_LEFT, VIP_TOP, VIP_SIZE, VIP_CELL = W - 395, 10, (110, 20), 41
VIP_PROBES = [(VIP_LEFT + x, VIP_TOP + y) for x in (93, 96, 99, 101) for y in (4, 8, 12, 16)]
# Opaque pixels of its icon, PNG 167, drawn at the button's top left.
VIP_ICON_PROBES = [(8, 6), (8, 8), (1, 4), (3, 12), (8, 10)]
# The chat window: 434 x 386 of page under a 26-pixel caption and 3-pixel
# borders, its page area's top 80 pixels below the game window's top.
CHAT_CLIENT = (434, 386)
CHAT_CAPTION, CHAT_BORDER = 26, 3


def executable_version(path):
    """The FileVersion string of the executable's version resource, read
    from the file itself: what getAppVersion must answer."""
    data = pathlib.Path(path).read_bytes()
    key = "FileVersion\0".encode("utf-16-le")
    at = data.find(key)
    if at < 0:
        raise AssertionError(f"{path} has no FileVersion")
    start = (at + len(key) + 3) // 4 * 4  # a value starts on a 32-bit boundary
    end = start
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[start:end].decode("utf-16-le")


class ClientRun(unittest.TestCase):
    """One KQVClient.exe in the tests' prefix, its windows, the platform's log."""

    args = None
    stand_in = None
    modes = {}  # the platform's switches for this run
    name = "run"

    @classmethod
    def setUpClass(cls):
        cls.stand_in.state.reset()
        cls.stand_in.state.set_modes(cls.modes)
        cls.shots = os.path.join(cls.args.out, "screenshots")
        os.makedirs(cls.shots, exist_ok=True)
        for old in pathlib.Path(cls.shots).glob(f"{cls.name}-*.png"):
            old.unlink()
        cls.step = 0
        cls.log = open(os.path.join(cls.args.out, f"client-{cls.name}.log"), "wb")
        cls.client = subprocess.Popen(
            [cls.args.standin_run, cls.args.prefix, cls.args.standin, cls.args.runner, cls.args.client],
            stdin=subprocess.DEVNULL, stdout=cls.log, stderr=subprocess.STDOUT)
        cls.splash = cls.overlay = None
        cls.splash, cls.overlay = cls.find_launcher(cls.client.pid)
        left, top, _, _ = geometry(cls.splash)
        cls.panel = (left + BROWSER[0], top + BROWSER[1], BROWSER[2], BROWSER[3])

    @classmethod
    def find_launcher(cls, pid):
        """The launcher's splash (owned by no window) and its overlay (owned
        by the splash), both of the picture's size. The first run in a fresh
        prefix makes the prefix first."""
        def both():
            if cls.client.poll() is not None and pid == cls.client.pid:
                raise AssertionError(f"the program ended with {cls.client.returncode} before its launcher showed")
            sized = [w for w in client_windows(pid) if geometry(w)[2:] == SPLASH_SIZE]
            splash = [w for w in sized if transient_for(w) is None]
            overlay = [w for w in sized if splash and transient_for(w) == splash[0]]
            return (splash[0], overlay[0]) if len(splash) == 1 and len(overlay) == 1 else None

        found = poll(both, 180, 0.3)
        if not found:
            raise AssertionError("the launcher's splash and overlay did not appear")
        return found

    @classmethod
    def tearDownClass(cls):
        with open(os.path.join(cls.args.out, f"requests-{cls.name}.jsonl"), "w", encoding="utf-8") as f:
            f.write(cls.stand_in.state.log_lines())
        # Every process of the prefix is this run's: the program and any copy it started.
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=cls.args.prefix),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        try:
            cls.client.wait(30)
        except subprocess.TimeoutExpired:
            cls.client.kill()
            cls.client.wait()
        cls.log.close()

    # -- what is seen

    def shot(self, what):
        """A screenshot after an action, kept by step."""
        type(self).step += 1
        return Screenshot(os.path.join(self.shots, f"{self.name}-{self.step:02d}-{what}.png"))

    def wait_for(self, condition, seconds, what):
        value = poll(condition, seconds, 0.2)
        if not value:
            shot = self.shot("failed")
            self.fail(f"{what} (after {seconds} s; screen in {shot.path})")
        return value

    def requests(self):
        return self.stand_in.requests()

    def reports(self, event, **values):
        """The stand-in's reports of one kind, with these values, oldest first."""
        found = []
        for entry in self.requests():
            params = entry["params"]
            if entry["path"] == REPORT_PATH and params.get("event") == event and \
                    all(params.get(k) == v for k, v in values.items()):
                found.append(params)
        return found

    def entry_requests(self):
        return [e for e in self.requests() if e["path"] == ENTRY_PATH]

    def in_panel(self, dx, dy):
        return self.panel[0] + dx, self.panel[1] + dy

    def panel_shows_the_page(self, shot):
        """The stand-in's view fills the panel exactly: white out to the
        panel's corners (the title is drawn at its top left), the splash's
        art just outside."""
        x, y, w, h = self.panel
        inside = [(x + w - 1, y), (x, y + h - 1), (x + w - 1, y + h - 1), (x + w // 2, y + h // 2),
                  (x, y + h // 2), (x + w // 2, y)]
        outside = [(x - 1, y + h // 2), (x + w, y + h // 2), (x + w // 2, y - 1), (x + w // 2, y + h)]
        return all(shot.pixel(*p) == WHITE for p in inside) and not any(shot.pixel(*p) == WHITE for p in outside)

    # -- the VIP button and the chat window

    def vip_cell(self, shot):
        """Which cell of strip 165 the VIP button shows, or None (hidden)."""
        if not hasattr(type(self), "cells"):
            strip = Art(os.path.join(self.args.res, "bmp", "165.bmp"))
            # What each cell puts at the probes, from the strip itself.
            type(self).cells = {
                name: [strip.rgb(index * VIP_CELL + (x - VIP_LEFT) * VIP_CELL // VIP_SIZE[0],
                                 (y - VIP_TOP) * strip.height // VIP_SIZE[1]) for x, y in VIP_PROBES]
                for index, name in enumerate(("normal", "highlight", "pressed"))}
            icon = Art(os.path.join(self.args.res, "png", "167.png"))
            type(self).icon = [((VIP_LEFT + x, VIP_TOP + y), icon.rgb(x, y)) for x, y in VIP_ICON_PROBES]
        # Its icon at its place tells the button from the caption behind it.
        if not all(close_to(shot.pixel(*at), colour, 12) for at, colour in self.icon):
            return None
        seen = [shot.pixel(x, y) for x, y in VIP_PROBES]
        for name, expected in self.cells.items():
            if sum(close_to(a, e, 12) for a, e in zip(seen, expected)) >= len(VIP_PROBES) - 1:
                return name
        return None

    def vip_icon_anywhere(self, shot):
        """Whether the VIP button's icon shows anywhere on the caption's right
        half, wherever the caption was last laid out: its colours are none of
        the caption's own."""
        self.vip_cell(shot)  # loads the art
        colours = [colour for _, colour in self.icon]
        region = shot.region(W - 420, 8, 160, 24)
        pixels = (tuple(region[i:i + 3]) for i in range(0, len(region), 3))
        return any(any(close_to(p, c, 12) for c in colours) for p in pixels)

    def vip_shows(self, cell, what):
        return self.vip_cell(self.shot(what)) == cell

    def chat_windows(self):
        return [w for w in client_windows(self.client.pid) if window_name(w).endswith("正在和您通话")
                or window_name(w) in ("客服", "VIP专员")]

    def shown_chat(self):
        shown = [w for w in self.chat_windows() if viewable(w)]
        return shown[0] if shown else None

    def chat_pages(self):
        return [e for e in self.requests() if e["path"] == "/vip/chat.html"]

    def probe(self, what):
        """What window_probe.exe, run in the program's prefix, lists."""
        return subprocess.run([self.args.runner, self.args.probe, what], capture_output=True, text=True, timeout=60,
                              env=dict(os.environ, KQV_WINEPREFIX=self.args.prefix)).stdout

    def cache_entries(self):
        """The URL cache's addresses (a cookie's, where the cache lists one,
        begins with "Cookie:")."""
        return [line.split(" ", 1)[1] for line in self.probe("cache").splitlines() if " " in line]

    def program_windows(self):
        """(owner, visible, class, title, rect) of every top-level window in the
        prefix, hidden ones too, from a lister run there."""
        windows = []
        out = self.probe("windows")
        for line in out.splitlines():
            parts = line.split(" ", 8)
            if len(parts) == 9:
                rect = tuple(int(v) for v in parts[3:7])
                windows.append((parts[1], parts[2] == "1", parts[7], parts[8], rect))
        return windows

    def chat_titles(self):
        """The titles of the program's dialogs owned by another window: the
        chat window, shown or hidden (and any message box)."""
        return [title for owner, _, kind, title, _ in self.program_windows() if kind == "#32770" and owner != "0"]

    # -- the player's path to the game

    def wait_for_login_page(self):
        # The launcher opens a blank page first, only if its fresh browser
        # says it is complete (ready state 4), and the login page after it.
        self.wait_for(lambda: [e for e in self.requests() if e["path"] == "/mini/login.html"], 60,
                      "the launcher never asked for its login page")
        self.wait_for(lambda: self.reports("complete", url=BASE + "/mini/login.html"), 30,
                      "the login page never completed in the launcher's browser")
        return self.wait_for(lambda: (lambda s: s if self.panel_shows_the_page(s) else None)(self.shot("login-page")),
                             15, f"the browser was not placed in the panel at {self.panel}")

    def log_in(self):
        """A click on 登录: the stand-in posts the form; the platform answers
        with the game entry, which the launcher cancels and hands over."""
        x, y, w, h = pages_platform.LAYOUT["submit"]
        move_pointer(*self.in_panel(x + w // 2, y + h // 2))
        run("xdotool", "click", "1")

        def answered():
            done = [e for e in self.requests() if e["path"] == "/mini/dologin" and e.get("status") == 302]
            return done[-1] if done else None

        return self.wait_for(answered, 20, "the form never reached the login handler")

    def game_window(self):
        for w in client_windows(self.client.pid):
            if w not in (self.splash, self.overlay) and "MAXIMIZED_VERT" in net_wm_state(w) \
                    and "MAXIMIZED_HORZ" in net_wm_state(w):
                return w
        return None

    def launcher_open(self):
        return viewable(self.splash) or viewable(self.overlay)

    def game_window_after_the_launcher(self):
        """Waits for the launcher to end, the game entry never asked for while
        it is open, then for the maximised game window."""
        def launcher_gone():
            early = self.entry_requests()
            still_open = self.launcher_open()
            self.assertFalse(early and still_open, f"the game entry was requested while the launcher was open: {early}")
            return not still_open

        self.wait_for(launcher_gone, 20, "the launcher did not end after the login")
        return self.wait_for(self.game_window, 20, "no maximised game window appeared")

    def reach_the_game(self):
        """From the login page to the game window showing the game."""
        self.wait_for_login_page()
        address = self.log_in()["location"]

        window = self.game_window_after_the_launcher()
        self.wait_for(lambda: self.reports("complete", url=address), 20, "the game page never completed")
        return window, address

    # -- the game window's parts

    def press(self, button):
        move_pointer(*CAPTION_BUTTONS[button])
        run("xdotool", "click", "1")

    def boxes(self, title):
        """The program's shown windows of this title owned by another of its windows."""
        windows = client_windows(self.client.pid)
        return [w for w in windows if window_name(w) == title and transient_for(w) in windows and viewable(w)]

    def answer_box(self, title, key, what):
        box = self.wait_for(lambda: self.boxes(title), 15, f"no box \"{title}\" appeared")[0]
        self.shot(f"{what}-asked")
        run("xdotool", "windowactivate", "--sync", box, check=False)
        run("xdotool", "key", key)
        self.wait_for(lambda: box not in client_windows(self.client.pid), 15, f"the box \"{title}\" stayed")
        self.shot(f"{what}-answered")


class Login(ClientRun):
    name = "login"

    def test_1_the_login_page_completes_and_the_browser_takes_the_panel(self):
        shot = self.wait_for_login_page()
        self.assertEqual(geometry(self.splash), geometry(self.overlay))
        complete = self.reports("complete", url=BASE + "/mini/login.html", frame="0")
        self.assertEqual([c.get("title") for c in complete], ["Qelunar 登录"], "the login page completed otherwise")
        # The launcher's own host handler, taken on its first document:
        # no border, no scroll bars (DOCHOSTUIFLAG_NO3DBORDER | SCROLL_NO).
        hostinfo = self.reports("hostinfo", url=BASE + "/mini/login.html")
        self.assertTrue(hostinfo, "the login page's document never asked the host for its info")
        self.assertEqual(int(hostinfo[-1]["flags"]) & 0xC, 0xC, f"host flags {hostinfo[-1]['flags']}")
        self.assertTrue(self.panel_shows_the_page(shot), shot.path)

    def test_2_the_launchers_right_click_shows_no_menu(self):
        before = viewable_toplevels()
        move_pointer(*self.in_panel(120, 420))
        run("xdotool", "click", "3")
        menus = self.wait_for(lambda: self.reports("contextmenu", url=BASE + "/mini/login.html"), 10,
                              "a right click in the login page reached no handler")
        self.assertEqual(menus[-1]["hr"], "0x0", "the launcher's handler did not take the right click")
        self.assertEqual(menus[-1].get("shown", "0"), "0", f"the browser showed its menu: {menus[-1]}")
        self.shot("login-right-click")
        self.assertEqual(viewable_toplevels() - before, set(), "a menu appeared over the launcher")

    def test_3_the_login_hands_the_game_entry_to_the_game_window(self):
        answer = self.log_in()
        fields = dict(parse_qsl(answer["body"])) if answer["method"] == "POST" else answer["params"]
        self.assertIn("username", fields, f"the form arrived without its fields: {answer}")
        address = answer["location"]
        self.assertIn(ENTRY_PATH + "?", address)
        # The redirect raised BeforeNavigate2 in the launcher, which cancelled it.
        before = self.wait_for(lambda: self.reports("before", target=address), 20,
                               "the redirect to the game entry raised no BeforeNavigate2")
        self.assertEqual(before[0]["cancel"], "1", f"the launcher let the game entry load: {before}")

        window = self.game_window_after_the_launcher()
        self.assertEqual(geometry(window), (0, 0) + SCREEN, "the game window does not cover the screen")
        self.wait_for(lambda: self.reports("complete", url=address), 20, "the game page never completed")
        self.wait_for(lambda: window_name(window) == GAME_TITLE, 10,
                      f"the game window is titled \"{window_name(window)}\", not from its page")
        time.sleep(0.5)  # a second request, if one were coming, is on its way by now
        entries = self.entry_requests()
        self.assertEqual(len(entries), 1, f"the game entry was requested {len(entries)} times")
        self.assertEqual(BASE + entries[0]["target"], address)
        self.assertEqual(entries[0].get("status"), 200, "the entry address was altered on the way")
        self.shot("game")

    def test_4_get_app_version_answers_the_executables_version(self):
        calls = self.wait_for(lambda: self.reports("call", name="getAppVersion"), 15,
                              "the game page's getAppVersion call was never reported")
        self.assertEqual(len(calls), 1, f"getAppVersion was called {len(calls)} times: {calls}")
        self.assertEqual(calls[0]["hr"], "0x0", f"the call failed: {calls[0]}")
        self.assertEqual(calls[0].get("answer"), executable_version(self.args.client))



class GameWindow(ClientRun):
    name = "game"

    def test_1_the_game_window_shows_the_game(self):
        window, type(self).address = self.reach_the_game()
        self.assertEqual(geometry(window), (0, 0) + SCREEN, "the game window does not cover the screen")
        self.wait_for(lambda: window_name(window) == GAME_TITLE, 10, "the game window is not titled from its page")
        self.shot("game")

    def test_2_a_right_click_gives_the_browsers_menu_and_escape_closes_it(self):
        before = viewable_toplevels()
        menus = len(self.reports("contextmenu", url=self.address))
        move_pointer(W // 2, 500)
        run("xdotool", "click", "3")
        report = self.wait_for(lambda: self.reports("contextmenu", url=self.address)[menus:], 10,
                               "a right click in the game page reached no handler")[0]
        # The game window leaves the menu to the browser.
        self.assertNotEqual(report["hr"], "0x0", f"the game window's handler kept the menu: {report}")
        self.assertEqual(report.get("shown"), "1", f"the browser showed no menu: {report}")
        menu = self.wait_for(lambda: viewable_toplevels() - before, 10, "no menu appeared on the screen")
        self.shot("menu")
        run("xdotool", "key", "Escape")
        self.wait_for(lambda: not (viewable_toplevels() & menu), 10, "Escape left the menu on the screen")
        self.shot("menu-closed")
        self.assertIsNotNone(self.game_window(), "the game window went with the menu")

    def completions(self):
        return self.reports("complete", url=self.address, frame="0")

    def test_3_refresh_requests_the_game_once(self):
        entries, pages = len(self.entry_requests()), len(self.completions())
        self.press("refresh")
        self.wait_for(lambda: len(self.completions()) > pages, 15, "刷新 did not load the game again")
        self.shot("refreshed")
        self.assertEqual(len(self.entry_requests()), entries + 1, "刷新 did not make exactly one request")
        self.assertEqual(len(self.completions()), pages + 1)

    def assets(self):
        return [e for e in self.requests() if e["path"] == "/game/asset.js"]

    def test_4_clean_asks_then_cleans_the_cache_and_keeps_the_cookie(self):
        asset = BASE + "/game/asset.js"
        kept = self.cache_entries()
        self.assertIn(asset, kept, f"the game's script is not in the URL cache: {kept}")
        self.press("clean")
        self.answer_box("清理提示", "y", "clean")
        self.answer_box("KQVClient", "Return", "cleaned")  # 缓存清理完毕
        left = self.cache_entries()
        self.assertEqual([e for e in left if not e.startswith("Cookie:")], [], "cleaning left pages in the cache")
        pages, assets = len(self.completions()), len(self.assets())
        self.press("refresh")
        self.wait_for(lambda: len(self.completions()) > pages, 15, "刷新 did not load the game again")
        self.shot("refreshed-after-cleaning")
        self.assertEqual(len(self.assets()), assets + 1, "the game's script was not fetched again")
        self.assertIn("kqv_session=", self.assets()[-1]["headers"].get("Cookie", ""), "the cookie was not sent")
        self.assertIn(asset, self.cache_entries(), "the script was not cached again")

    def copies(self):
        """Programs running in the tests' prefix, other than the first: Linux
        processes whose first argument names KQVClient.exe."""
        found = {}
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == self.client.pid:
                continue
            try:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if f"WINEPREFIX={self.args.prefix}".encode() not in f.read().split(b"\0"):
                        continue
                with open(f"/proc/{entry}/stat") as f:
                    if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                        continue
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    argv = f.read().decode(errors="replace").split("\0")
            except (OSError, IndexError):
                continue
            # Wine pads the argument area with zeros.
            while argv and argv[-1] == "":
                argv.pop()
            if argv and argv[0].replace("\\", "/").rsplit("/", 1)[-1].lower() == "kqvclient.exe":
                found[int(entry)] = argv
        return found

    def test_5_close_answered_yes_starts_exactly_one_fresh_copy_without_arguments(self):
        self.assertEqual(self.copies(), {}, "another copy was running before the close")
        self.press("close")
        self.answer_box("关闭提示", "y", "close")
        self.wait_for(lambda: self.client.poll() is not None, 20, "the program did not end on Yes")
        self.assertEqual(self.client.returncode, 0)
        copies = self.wait_for(self.copies, 20, "no fresh copy was started")
        self.assertEqual(len(copies), 1, f"{len(copies)} copies started: {copies}")
        (pid, argv), = copies.items()
        self.assertEqual(len(argv), 1, f"the fresh copy got arguments: {argv}")
        splash, _ = self.find_launcher(pid)
        self.assertEqual(geometry(splash)[2:], SPLASH_SIZE)
        self.shot("fresh-copy")
        time.sleep(1.0)  # a second copy, if one were coming, is up by now
        self.assertEqual(len(self.copies()), 1, f"more copies came: {self.copies()}")


class Chat(ClientRun):
    name = "chat"

    def test_1_the_contact_named_shows_the_vip_button(self):
        type(self).game, type(self).address = self.reach_the_game()
        self.wait_for(lambda: self.reports("call", name="getGsName"), 20, "the chat page never named its contact")
        move_pointer(W // 2, H // 2)
        self.wait_for(lambda: self.vip_shows("normal", "vip-shown"), 10, "the VIP button does not show its art")
        self.assertIsNone(self.shown_chat(), "the chat window showed by itself")

    def test_2_a_message_lights_the_vip_button(self):
        self.stand_in.state.set_modes({"vip_messages": "1"})
        call = self.wait_for(lambda: self.reports("call", name="getNewMsg"), 20, "the message was never delivered")
        self.assertEqual(call[0]["args"], "消息1")
        self.wait_for(lambda: self.vip_shows("highlight", "vip-lit"), 10, "the VIP button did not light up")
        self.assertIsNone(self.shown_chat(), "a message showed the chat window")

    def chat_shows_its_page(self, chat, what):
        """The chat window drawn: the stand-in's white page in its client
        area, its frame's caption above."""
        x, y, w, h = geometry(chat)
        shot = self.shot(what)
        return shot.pixel(x + w // 2, y + h - 40) == WHITE and shot.pixel(x + w - 40, y + 8) != WHITE

    def test_3_the_vip_button_shows_the_chat_window(self):
        self.press("vip")
        chat = self.wait_for(self.shown_chat, 10, "the VIP button did not show the chat window")
        type(self).chat = chat
        self.wait_for(lambda: self.chat_shows_its_page(chat, "chat-shown"), 10, "the chat window shows no page")
        self.assertEqual(window_name(chat), "\u2068客服12\u2069 正在和您通话")
        # Its page area, 434 x 386, within the platform's standard frame
        # (3-pixel borders): the size the window was given.
        _, _, w, h = geometry(chat)
        self.assertEqual(w, CHAT_CLIENT[0] + 2 * CHAT_BORDER, f"the chat window is {w} wide")
        self.assertGreater(h, CHAT_CLIENT[1], f"the chat window is {h} high")
        # Off the button along the caption: the plain cell, the light gone.
        move_pointer(W // 2, 20)
        self.wait_for(lambda: self.vip_shows("normal", "vip-after-press"), 10, "the light stayed on after the press")

    def test_4_refresh_puts_the_chat_at_the_game_windows_right_edge(self):
        # Made while the game window was being set up, the chat window was
        # placed against its rectangle before it was maximised; 刷新 places
        # it against the maximised window.
        chat = self.chat
        pages = len(self.chat_pages())
        self.press("refresh")
        self.wait_for(lambda: len(self.chat_pages()) == pages + 1, 15, "刷新 did not load the chat page again")
        # Its page area from the game window's right edge, 80 .. 466 below its top.
        expected_x, expected_bottom = W - CHAT_CLIENT[0] - CHAT_BORDER, 466 + CHAT_BORDER

        def placed():
            x, y, w, h = geometry(chat)
            return x == expected_x and y + h == expected_bottom and y < 80 and w == CHAT_CLIENT[0] + 2 * CHAT_BORDER

        self.wait_for(placed, 10, f"the chat window is at {geometry(chat)}, not at the game window's right edge")
        self.wait_for(lambda: self.chat_shows_its_page(chat, "chat-at-the-right-edge"), 10,
                      "the chat window shows no page at its new place")
        self.wait_for(lambda: window_name(chat).endswith("正在和您通话"), 10, "the reloaded page did not name its contact")
        self.assertEqual(self.chat_windows(), [chat], "more than one chat window")

    def test_5_its_close_button_hides_it_and_the_vip_button_shows_it_again(self):
        chat = self.chat
        x, y, w, _ = geometry(chat)
        where = geometry(chat)
        pages = len(self.chat_pages())
        move_pointer(x + w - 15, y + 13)
        run("xdotool", "click", "1")
        self.wait_for(lambda: not viewable(chat), 10, "the close button did not hide the chat window")
        self.shot("chat-hidden")
        self.assertIsNotNone(self.game_window(), "the game window went with the chat")
        self.press("vip")
        again = self.wait_for(self.shown_chat, 10, "the VIP button did not show the chat window again")
        self.assertEqual(again, chat, "another chat window came")
        self.wait_for(lambda: self.chat_shows_its_page(chat, "chat-shown-again"), 10, "the chat window came back empty")
        # Mapped again, it is pulled onto the screen by the window manager:
        # its right border had stood out past the screen's edge.
        x, y, w, h = where
        self.assertEqual(geometry(again), (min(x, W - w), y, w, h), "the chat window came back elsewhere")
        self.assertEqual(len(self.chat_pages()), pages, "the chat page was loaded again")


class ExternalsRead(ClientRun):
    """Pages that only read window.external's methods as properties, as a
    feature test does (`if (window.external.getNewMsg)`); then, switched
    back, pages that call them."""

    name = "externals"
    modes = {"externals": "read", "vip_messages": "1"}
    methods = {"getAppVersion": "game", "getGsName": "chat", "getNewMsg": "chat"}

    def test_1_reading_each_method_runs_nothing(self):
        type(self).game, type(self).address = self.reach_the_game()
        for name in self.methods:
            read = self.wait_for(lambda: self.reports("read", name=name), 20, f"{name} was never read")
            # Automation's answer for a method read as a property.
            self.assertEqual((read[0]["hr"], read[0]["vt"]), ("0x80020003", "0"), f"{name} read: {read[0]}")
        self.assertEqual(self.reports("call"), [], "a page called a method")
        move_pointer(W // 2, H // 2)
        shot = self.shot("after-the-reads")
        self.assertFalse(self.vip_icon_anywhere(shot), "a read showed or lit the VIP button")
        # Titled by its page, as every window of a page is; getGsName alone
        # names the contact.
        self.assertEqual(self.chat_titles(), ["VIP专员"], "a read renamed the chat window")
        self.assertIsNone(self.shown_chat(), "the chat window showed")

    def test_2_calling_each_method_runs_it_once(self):
        self.stand_in.state.set_modes({"externals": "normal"})
        pages = len(self.chat_pages())
        self.press("refresh")
        self.wait_for(lambda: len(self.chat_pages()) > pages, 15, "刷新 did not load the chat page again")
        for name in self.methods:
            self.wait_for(lambda: self.reports("call", name=name), 20, f"{name} was never called")
        self.wait_for(lambda: self.chat_titles() == ["\u2068客服12\u2069 正在和您通话"], 10,
                      f"getGsName did not name the chat window: {self.chat_titles()}")
        move_pointer(W // 2, H // 2)
        self.wait_for(lambda: self.vip_shows("highlight", "after-the-calls"), 10, "getNewMsg did not light the VIP button")
        calls = {name: len(self.reports("call", name=name)) for name in self.methods}
        self.assertEqual(calls, {name: 1 for name in self.methods}, "a method was not called exactly once")
        version = self.reports("call", name="getAppVersion")[0]
        self.assertEqual(version.get("answer"), executable_version(self.args.client))


def run_cases():
    parser = argparse.ArgumentParser()
    parser.add_argument("--standin-run", required=True, help="standin/run-with-standin.sh")
    parser.add_argument("--prefix", required=True, help="the tests' Wine prefix (…/wineprefix…)")
    parser.add_argument("--standin", required=True, help="kqv_standin.dll")
    parser.add_argument("--runner", required=True, help="the cross build's emulator (tools/wine-run.sh)")
    parser.add_argument("--client", required=True, help="KQVClient.exe")
    parser.add_argument("--probe", required=True, help="window_probe.exe: the prefix's windows and URL cache")
    parser.add_argument("--res", required=True, help="the artwork folder (res/)")
    parser.add_argument("--out", required=True, help="screenshots, program output and request logs")
    args, rest = parser.parse_known_args()
    require_display()
    private_loopback()
    os.makedirs(args.out, exist_ok=True)
    stand_in = StandIn()
    stand_in.up()
    ClientRun.args, ClientRun.stand_in = args, stand_in
    try:
        program = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, failfast=True, exit=False)
    finally:
        stand_in.down()
    sys.exit(0 if program.result.wasSuccessful() else 1)


if __name__ == "__main__":
    run_cases()
