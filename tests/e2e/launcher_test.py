#!/usr/bin/python3
"""The launcher end to end: login page in the panel, login, hand-off.

Run inside a display session (tools/xsession.sh run -- ...). The stand-in
platform runs in this process on 127.0.0.1:47800, the address a default build
points at. Where user namespaces are available the test first moves itself
into a network namespace of its own (only loopback, nothing else listening),
so the port is always free and runs side by side never meet; the X server is
still reached through its socket file. Otherwise it uses the machine's
loopback and fails at once if the port is taken.

One client run per case class, driven by real pointer and keyboard events
from xdotool, judged by screenshots, window states and the request log:

    LoginOnPage       the form on the page, submitted (POST) with Return
    LoginInFrame      the form in an iframe, submitted (GET) with its button
    LoginToGameClient the airclient build hands the address to game/KQVClient
    StaysUsable       clicks, drags and Alt+Tab never hide the panel; every
                      way out of the close confirmation; the close button ends
    ScaledScreen      with GDK_SCALE=2 the launcher sits at its place in the
                      desktop's logical pixels (run on a 3840x2160 display)

Every run ends the client through its own close paths, and the client runs
with G_DEBUG=fatal-criticals: a GTK critical ends it, and the test with it.
"""

import json
import os
import shutil
import stat
import subprocess
import sys
import time

from client_runs import USER, LauncherRun
from e2e_support import (BROWSER, LAUNCHER_BUTTONS, SPLASH_AT, SPLASH_SIZE, Screenshot, client_area, client_windows,
                         close_to, geometry, in_any, move_pointer, run, run_cases_with_stand_in, splash_art,
                         transient_for, viewable_toplevels)


def stacking():
    """Managed windows, bottom first."""
    text = run("xprop", "-root", "_NET_CLIENT_LIST_STACKING")
    return [str(int(w, 16)) for w in text.split("#", 1)[1].replace(",", " ").split()] if "#" in text else []


class LoginOnPage(LauncherRun):
    name = "page"

    def test_1_login_page_in_the_panel(self):
        self.assertEqual(geometry(self.splash)[:2], SPLASH_AT)
        self.assertEqual(self.browser[:2], (541, 303))
        shot = self.wait_for_login_page(os.path.join(self.args.out, "launcher-login.png"))
        art = splash_art(self.args.art)
        left, top = SPLASH_AT
        bx, by, bw, bh = BROWSER
        # A ring just outside the browser shows the picture's own opaque
        # pixels: the browser neither spills over nor leaves a gap.
        checked = 0
        for distance in (1, 6):
            ring = [(x, by - distance) for x in range(bx - distance, bx + bw + distance, 16)] + \
                   [(x, by + bh - 1 + distance) for x in range(bx - distance, bx + bw + distance, 16)] + \
                   [(bx - distance, y) for y in range(by, by + bh, 16)] + \
                   [(bx + bw - 1 + distance, y) for y in range(by, by + bh, 16)]
            for x, y in ring:
                r, g, b, a = art.pixel(x, y)
                if a != 255 or in_any(x, y, LAUNCHER_BUTTONS):
                    continue
                checked += 1
                actual = shot.pixel(left + x, top + y)
                self.assertTrue(close_to(actual, (r, g, b), 4),
                                f"overlay ({x}, {y}) shows {actual}, the picture has {(r, g, b)} ({shot.path})")
        self.assertGreater(checked, 200, "too few opaque picture pixels around the panel to judge")
        self.assertEqual([e["method"] for e in self.requests() if e["path"] == "/mini/login.html"], ["GET"])

    def test_2_right_click_shows_no_menu(self):
        self.assert_launcher_in_place()
        before_windows = viewable_toplevels()
        before = Screenshot(os.path.join(self.args.out, "right-click-before.png"))
        self.click(60, 60, button=3)
        time.sleep(1.0)
        after = Screenshot(os.path.join(self.args.out, "right-click-after.png"))
        new = viewable_toplevels() - before_windows
        if new:
            run("xdotool", "key", "Escape")
        self.assertEqual(new, set(), "a window (a menu) appeared on the right click")
        self.assert_launcher_in_place()
        self.assertTrue(after.region(*self.browser) == before.region(*self.browser),
                        "the page changed on a right click")

    def test_3_login_hands_the_address_to_the_game_window(self):
        # The password first: Tab to 登录, and Tab again back to the account
        # field, with no stop between that shows nothing.
        self.assert_launcher_in_place()
        self.click_field("password")
        run("xdotool", "type", "--delay", "40", "secret")
        run("xdotool", "key", "--delay", "150", "Tab", "Tab")
        run("xdotool", "type", "--delay", "40", USER)
        run("xdotool", "key", "Return")
        self.hand_off_to_game_window()
        form = [e for e in self.requests() if e["path"] == "/mini/dologin"]
        self.assertEqual(form[-1]["method"], "POST")


class LoginInFrame(LauncherRun):
    name = "frame"
    modes = {"login": "iframe", "login_method": "get"}

    def test_login_in_a_frame_hands_the_address_to_the_game_window(self):
        self.wait_for_login_page(os.path.join(self.args.out, "launcher-login-frame.png"))
        self.assertTrue(any(e["path"] == "/mini/login_form.html" for e in self.requests()), "the frame never loaded")
        self.fill_and_submit("click")
        self.hand_off_to_game_window()
        form = [e for e in self.requests() if e["path"] == "/mini/dologin"]
        self.assertEqual(form[-1]["method"], "GET")
        # The submission was the frame's: its page was the frame's document.
        self.assertIn("/mini/login_form.html", form[-1]["headers"].get("Referer", ""))


class LoginToGameClient(LauncherRun):
    name = "airclient"

    @classmethod
    def prepare(cls, home):
        # The airclient build beside a stand-in game client that writes down
        # the arguments it was started with.
        folder = os.path.join(home, "client")
        os.makedirs(os.path.join(folder, "game"))
        executable = os.path.join(folder, "KQVClient")
        shutil.copy2(cls.args.airclient_client, executable)
        cls.argv_file = os.path.join(folder, "game", "argv.json")
        stand_in = os.path.join(folder, "game", "KQVClient")
        with open(stand_in, "w", encoding="utf-8") as f:
            f.write(f"#!{sys.executable}\nimport json, sys\n"
                    f"with open({cls.argv_file!r} + '.tmp', 'w') as f:\n"
                    "    json.dump(sys.argv[1:], f)\n"
                    f"import os; os.replace({cls.argv_file!r} + '.tmp', {cls.argv_file!r})\n")
        os.chmod(stand_in, os.stat(stand_in).st_mode | stat.S_IXUSR)
        return executable

    def test_login_starts_the_game_client_and_the_launcher_ends(self):
        self.wait_for_login_page(os.path.join(self.args.out, "launcher-login-airclient.png"))
        self.fill_and_submit("Return")
        address = self.login_answer()["location"]

        def ended():
            others = [w for w in client_windows(self.client.pid) if w not in (self.splash, self.overlay)]
            self.assertEqual(others, [], "a window other than the launcher's appeared")
            return self.client.poll() is not None

        self.wait_for(ended, 15, "the launcher did not end after starting the game client")
        self.assertEqual(self.client.returncode, 0)
        self.wait_for(lambda: os.path.exists(self.argv_file), 5, "the game client was never started")
        with open(self.argv_file, encoding="utf-8") as f:
            self.assertEqual(json.load(f), ["p", address])
        time.sleep(1.0)  # anything still on its way from the ended client
        self.assertEqual(self.entry_requests(), [], "the stand-in got the game entry")


class StaysUsable(LauncherRun):
    """Whatever the player does to the picture, the login page and the
    buttons stay on it, as an owned window stays above its owner."""

    name = "usable"
    GRAB = (250, 500)  # an opaque point of the picture, left of the panel

    def setUp(self):
        self.locate()

    def locate(self):
        left, top, _, _ = geometry(self.splash)
        self.browser = (left + BROWSER[0], top + BROWSER[1], BROWSER[2], BROWSER[3])

    def splash_point(self, x, y):
        left, top, _, _ = geometry(self.splash)
        return left + x, top + y

    def assert_usable(self, label):
        """The overlay is above its splash, on it, and shows the login page."""
        order = stacking()
        self.assertLess(order.index(self.splash), order.index(self.overlay),
                        f"{label}: the splash is above its overlay ({order})")
        self.assertEqual(geometry(self.overlay), geometry(self.splash), f"{label}: the overlay left the splash")
        self.locate()
        path = os.path.join(self.args.out, f"usable-{label}.png")
        self.wait_for(lambda: self.shows_page(Screenshot(path)), 5,
                      f"{label}: the login page is not visible in the panel")

    def close_button(self):
        x, y, w, h = LAUNCHER_BUTTONS[4]
        return self.splash_point(x + w // 2, y + h // 2)

    def open_confirmation(self):
        x, y = self.close_button()
        before = set(client_windows(self.client.pid))
        move_pointer(x, y)
        run("xdotool", "click", "1")

        def box():
            new = [w for w in client_windows(self.client.pid) if w not in before]
            return new[0] if len(new) == 1 and transient_for(new[0]) == self.overlay else None

        return self.wait_for(box, 10, "the close button did not ask for confirmation")

    def test_1_click_on_the_picture(self):
        self.wait_for_login_page(os.path.join(self.args.out, "usable-start.png"))
        art = splash_art(self.args.art)
        self.assertEqual(art.pixel(*self.GRAB)[3], 255, "the grab point is not on the picture")
        for _ in range(2):
            x, y = self.splash_point(*self.GRAB)
            move_pointer(x, y)
            run("xdotool", "click", "1")
            time.sleep(0.7)
            self.assert_usable("click")

    def test_2_drag_moves_both_at_every_step(self):
        start = geometry(self.splash)
        gx, gy = self.splash_point(*self.GRAB)
        move_pointer(gx, gy)
        run("xdotool", "mousedown", "1")
        try:
            path = [(-20, 10), (-60, 30), (-90, 50)]
            for i, (dx, dy) in enumerate(path):
                run("xdotool", "mousemove", str(gx + dx), str(gy + dy))
                time.sleep(0.3)
                expected = (start[0] + dx, start[1] + dy) + start[2:]
                # Button still held: both windows are already there.
                self.wait_for(lambda: geometry(self.splash) == expected and geometry(self.overlay) == expected, 3,
                              f"step {i}: splash {geometry(self.splash)}, overlay {geometry(self.overlay)}, "
                              f"expected {expected}")
                self.assert_usable(f"drag-step-{i}")
        finally:
            run("xdotool", "mouseup", "1")
        time.sleep(0.8)  # late answers of the window manager
        dropped = (start[0] - 90, start[1] + 50) + start[2:]
        self.assertEqual((geometry(self.splash), geometry(self.overlay)), (dropped, dropped))
        self.assert_usable("drop")

    def test_3_alt_tab_back_to_the_launcher(self):
        # Another program's window over the panel, active.
        bx, by, _, _ = self.browser
        other = subprocess.Popen(["xmessage", "-geometry", f"500x300+{bx + 100}+{by + 50}", "another program"],
                                 stderr=subprocess.DEVNULL)
        try:
            def other_on_top():
                order = stacking()
                mine = [w for w in order if w in (self.splash, self.overlay)]
                return order and order[-1] not in mine and len(mine) == 2
            self.wait_for(other_on_top, 10, "the other program's window did not come up")
            for attempt in range(3):
                run("xdotool", "key", "alt+Tab")
                time.sleep(0.8)
                if stacking()[-1] in (self.splash, self.overlay):
                    break
            self.assertIn(stacking()[-1], (self.splash, self.overlay), "Alt+Tab did not bring the launcher up")
            self.assert_usable("alt-tab")
        finally:
            other.terminate()
            other.wait(5)

    def test_4_every_way_out_of_the_confirmation(self):
        for way in ("key n", "key Escape", "key alt+F4", "click no"):
            box = self.open_confirmation()
            run("xdotool", "windowactivate", "--sync", box, check=False)
            if way == "click no":
                # The box's two buttons share its bottom row: 是 left, 否 right.
                x, y, w, h = client_area(box)
                move_pointer(x + w * 3 // 4, y + h - 12)
                run("xdotool", "click", "1")
            else:
                run("xdotool", *way.split())
            self.wait_for(lambda: box not in client_windows(self.client.pid), 5, f"{way}: the box stayed")
            time.sleep(0.5)
            self.assertIsNone(self.client.poll(), f"{way}: the client ended (code {self.client.returncode})")
            self.assert_usable(way.replace(" ", "-"))

    def test_5_yes_ends_the_client(self):
        box = self.open_confirmation()
        x, y, w, h = client_area(box)
        move_pointer(x + w // 4, y + h - 12)
        run("xdotool", "click", "1")
        try:
            code = self.client.wait(10)
        except subprocess.TimeoutExpired:
            self.fail("Yes did not end the client")
        self.assertEqual(code, 0)
        self.assertEqual(self.entry_requests(), [], "the stand-in got a game entry")


class ScaledScreen(LauncherRun):
    """A desktop scaled 2x: 1920x1080 logical pixels on a 3840x2160 display."""

    name = "scaled"
    scale = 2
    extra_env = {"GDK_SCALE": "2"}

    def test_placed_by_the_formula_in_logical_pixels(self):
        expected = (SPLASH_AT[0] * 2, SPLASH_AT[1] * 2, SPLASH_SIZE[0] * 2, SPLASH_SIZE[1] * 2)
        time.sleep(1.0)  # late answers of the window manager
        self.assertEqual(geometry(self.splash), expected)
        self.assertEqual(geometry(self.overlay), expected)


if __name__ == "__main__":
    run_cases_with_stand_in("client", "airclient_client", "art", "out")
