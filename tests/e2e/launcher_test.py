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

import argparse
import json
import os
import pathlib
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from urllib.parse import parse_qsl

HERE = pathlib.Path(__file__).resolve().parent
SANDBOX_DIR = HERE.parents[1] / "tools" / "sandbox"
sys.path.insert(0, str(SANDBOX_DIR))

import pages_platform  # noqa: E402  (the page's layout and colour, shared with the page)
import private_net  # noqa: E402
import sandbox  # noqa: E402
from routes import SandboxState  # noqa: E402
from e2e_support import (SCREEN, Screenshot, client_area, geometry, is_chat_window, move_pointer, poll, run,  # noqa: E402
                          stop, transient_for)

PORT = 47800  # where the client's built-in addresses point
SPLASH_SIZE = (1357, 852)
SPLASH_AT = (118, 19)
BROWSER = (423, 284, 896, 487)  # in the overlay, for every platform but "6711"
# The overlay's picture buttons, (x, y, w, h) in the overlay: the ring of
# probes around the browser skips them.
BUTTONS = [(566, 244, 118, 35), (733, 244, 118, 35), (890, 244, 118, 35), (1059, 244, 118, 35),
           (SPLASH_SIZE[0] - 62, 251, 23, 23)]
PAGE_COLOUR = pages_platform.BACKGROUND
ENTRY_PATH = "/game/login.php"
USER = "qa tester 7"  # the blanks come back escaped in the entry address

ARGS = None
STATE = None  # the stand-in's shared state


# ---------------------------------------------------------------- network

def private_loopback():
    private_net.private_loopback(PORT)


def start_sandbox():
    global STATE
    sandbox.load_pages()
    STATE = SandboxState()
    try:
        server = sandbox.make_server("127.0.0.1", PORT, STATE)
    except OSError as error:
        sys.exit(f"port {PORT} on 127.0.0.1 is taken ({error}); the client's built-in addresses point "
                 f"there, so the stand-in must have it: stop what listens there (tools/run-client.sh?)")
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()
    return server


def requests():
    return [json.loads(line) for line in STATE.log_lines().splitlines() if line]


def base():
    return f"http://127.0.0.1:{PORT}"


# ---------------------------------------------------------------- X helpers

def net_wm_state(window):
    return run("xprop", "-id", window, "_NET_WM_STATE", check=False)


def viewable(window):
    info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True)
    return info.returncode == 0 and "IsViewable" in info.stdout


def viewable_toplevels():
    """Every mapped child of the root: managed frames and override-redirect popups alike."""
    listing = run("xwininfo", "-root", "-children")
    ids = [line.split()[0] for line in listing.splitlines() if line.strip().startswith("0x")]
    return {w for w in ids if viewable(w)}


def client_windows(pid):
    return run("xdotool", "search", "--onlyvisible", "--pid", str(pid), check=False).split()


class Art:
    """The splash picture, RGBA, to tell what the panel shows around the browser."""

    def __init__(self, path):
        self.raw = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], check=True,
                                  capture_output=True).stdout
        assert len(self.raw) == SPLASH_SIZE[0] * SPLASH_SIZE[1] * 4, "the art is not the splash picture"

    def pixel(self, x, y):
        at = (y * SPLASH_SIZE[0] + x) * 4
        return tuple(self.raw[at:at + 4])


def close_to(actual, expected, tolerance=3):
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))


def in_any(x, y, rects, margin=2):
    return any(rx - margin <= x < rx + rw + margin and ry - margin <= y < ry + rh + margin
               for rx, ry, rw, rh in rects)


# ---------------------------------------------------------------- the runs

def parent_of(pid):
    """A process's parent, from /proc. The command name may hold blanks and
    brackets: the parent follows the last ')'."""
    with open(f"/proc/{pid}/stat") as f:
        return int(f.read().rsplit(")", 1)[1].split()[1])


class LauncherRun(unittest.TestCase):
    """One client process, its launcher windows, and the stand-in's log."""

    modes = {}  # the stand-in's switches for this run
    name = "run"
    scale = 1  # device pixels per logical pixel
    extra_env = {}

    @classmethod
    def setUpClass(cls):
        STATE.reset()
        STATE.set_modes(cls.modes)
        cls.home = tempfile.mkdtemp(prefix="kqv-e2e-launcher-")
        cls.executable = cls.prepare(cls.home)
        env = dict(os.environ, HOME=cls.home, XDG_DATA_HOME=os.path.join(cls.home, "data"),
                   XDG_CACHE_HOME=os.path.join(cls.home, "cache"),
                   XDG_CONFIG_HOME=os.path.join(cls.home, "config"),
                   no_proxy="*", NO_PROXY="*", G_DEBUG="fatal-criticals", **cls.extra_env)
        for proxy in ("http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"):
            env.pop(proxy, None)
        cls.log = open(os.path.join(ARGS.out, f"client-{cls.name}.log"), "wb")
        cls.client = subprocess.Popen([cls.executable], env=env, stdout=cls.log, stderr=subprocess.STDOUT,
                                      cwd=cls.home)
        cls.splash, cls.overlay = cls.find_launcher()
        left, top, _, _ = geometry(cls.splash)
        cls.browser = (left + BROWSER[0], top + BROWSER[1], BROWSER[2], BROWSER[3])

    @classmethod
    def prepare(cls, home):
        """The executable to run."""
        return ARGS.client

    @classmethod
    def tearDownClass(cls):
        problem = cls.close_client()
        stop(cls.client)
        # Closing the game window starts a fresh copy at the launcher.
        for pid in cls.restarted_copies():
            os.kill(pid, signal.SIGTERM)
        cls.log.close()
        with open(os.path.join(ARGS.out, f"requests-{cls.name}.jsonl"), "w", encoding="utf-8") as f:
            f.write(STATE.log_lines())
        shutil.rmtree(cls.home, ignore_errors=True)
        if problem:
            raise AssertionError(problem)

    @classmethod
    def close_client(cls):
        """Ends a client still running the way a player would: every window
        it shows gets a close request from the window manager (Alt+F4), and
        the launcher's confirmation is answered Yes."""
        deadline = time.monotonic() + 15
        while cls.client.poll() is None and time.monotonic() < deadline:
            windows = client_windows(cls.client.pid)
            boxes = [w for w in windows if w not in (cls.splash, cls.overlay) and transient_for(w) in windows
                     and not is_chat_window(w)]
            if boxes:
                run("xdotool", "windowactivate", "--sync", boxes[0], check=False)
                run("xdotool", "key", "y", check=False)
            elif windows:
                # The splash's close ends the launcher; the overlay's only hides it.
                target = cls.splash if cls.splash in windows else windows[-1]
                run("xdotool", "windowactivate", "--sync", target, check=False)
                run("xdotool", "key", "alt+F4", check=False)
            time.sleep(1.0)
        if cls.client.poll() is None:
            return "the client did not end through its own close paths"
        if cls.client.returncode != 0:
            return f"the client ended with {cls.client.returncode} (see client-{cls.name}.log: a critical?)"
        return None

    @classmethod
    def restarted_copies(cls):
        """Other processes of this run's executable with this run's home.

        A copy that is starting its engine's helpers has short-lived forked
        children that still show our executable until they exec: a process
        whose parent is itself a copy is such a child, not a second copy."""
        executable = os.path.realpath(cls.executable)
        home = f"HOME={cls.home}".encode()
        parents = {}
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == cls.client.pid:
                continue
            try:
                if os.readlink(f"/proc/{entry}/exe") != executable:
                    continue
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if home not in f.read().split(b"\0"):
                        continue
                parents[int(entry)] = parent_of(int(entry))
            except (OSError, IndexError, ValueError):
                continue
        return sorted(pid for pid, parent in parents.items() if parent not in parents)

    @classmethod
    def find_launcher(cls):
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if cls.client.poll() is not None:
                raise AssertionError(f"the client ended with {cls.client.returncode} before showing its windows")
            ids = client_windows(cls.client.pid)
            size = (SPLASH_SIZE[0] * cls.scale, SPLASH_SIZE[1] * cls.scale)
            sized = [w for w in ids if geometry(w)[2:] == size]
            splash = [w for w in sized if transient_for(w) is None]
            if len(splash) == 1:
                overlay = [w for w in sized if transient_for(w) == splash[0]]
                if len(overlay) == 1:
                    return splash[0], overlay[0]
            time.sleep(0.2)
        raise AssertionError("no splash window with its overlay appeared")

    # -- helpers

    def wait_for(self, condition, seconds, what):
        value = poll(condition, seconds)
        if not value:
            shot = Screenshot(os.path.join(ARGS.out, f"failed-{self.name}.png"))
            self.fail(f"{what} (after {seconds} s; screen in {shot.path}; {self.describe_launcher()})")
        return value

    def describe_launcher(self):
        where = []
        for role, window in (("splash", self.splash), ("overlay", self.overlay)):
            where.append(f"{role} at {geometry(window)}" if viewable(window) else f"{role} gone")
        return ", ".join(where)

    def at(self, dx, dy):
        """A screen point inside the browser."""
        return self.browser[0] + dx, self.browser[1] + dy

    def click(self, dx, dy, button=1):
        x, y = self.at(dx, dy)
        move_pointer(x, y)
        run("xdotool", "click", str(button))

    def click_field(self, name):
        x, y, w, h = pages_platform.LAYOUT[name]
        self.click(x + w // 2, y + h // 2)

    def shows_page(self, shot):
        """The page's colour fills the browser rectangle out to its corners."""
        _, _, w, h = self.browser
        corners = [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1), (w // 2, 2), (3, h // 2)]
        return all(close_to(shot.pixel(*self.at(x, y)), PAGE_COLOUR) for x, y in corners)

    def assert_launcher_in_place(self):
        expected = SPLASH_AT + SPLASH_SIZE
        self.assertEqual((geometry(self.splash), geometry(self.overlay)), (expected, expected),
                         "the splash and its overlay are not where they were placed")

    def wait_for_login_page(self, path):
        def shown():
            return self.shows_page(Screenshot(path))

        self.wait_for(shown, 20, f"the login page never filled the panel at {self.browser[:2]} ({path})")
        # Late answers of the window manager to the start-up moves arrive
        # within the first second; the launcher must stay where it is.
        time.sleep(1.0)
        self.assert_launcher_in_place()
        shot = Screenshot(path)
        self.assertTrue(self.shows_page(shot), f"the login page left the panel ({path})")
        return shot

    def fill_and_submit(self, submit):
        self.assert_launcher_in_place()
        self.click_field("username")
        run("xdotool", "type", "--delay", "40", USER)
        self.click_field("password")
        run("xdotool", "type", "--delay", "40", "secret")
        if submit == "Return":
            run("xdotool", "key", "Return")
        else:
            # The browser hands keys to the page one at a time and clicks on
            # a path of their own: a click at once could overtake the last keys.
            time.sleep(0.5)
            self.click_field("submit")

    def login_answer(self):
        """The stand-in's redirect to the game entry, once the form has arrived."""
        def answered():
            done = [e for e in requests() if e["path"] == "/mini/dologin" and e.get("status") == 302]
            return done[-1] if done else None

        entry = self.wait_for(answered, 15, "the form never reached the login handler")
        fields = entry["params"] if entry["method"] == "GET" else dict(parse_qsl(entry["body"]))
        self.assertEqual((fields.get("username"), fields.get("password")), (USER, "secret"),
                         "the typed text did not all reach the form")
        self.assertIn(f"{ENTRY_PATH}?", entry["location"])
        self.assertIn("server_id=S12", entry["location"])
        return entry

    def entry_requests(self):
        return [e for e in requests() if e["path"] == ENTRY_PATH]

    def launcher_open(self):
        return viewable(self.splash) or viewable(self.overlay)

    def hand_off_to_game_window(self):
        """After the submission: the launcher cancels the entry, ends, and the game window loads it."""
        address = self.login_answer()["location"]
        # The log is read before the windows are looked at: an entry request
        # seen while the launcher is still open came from the launcher.
        def launcher_gone():
            early = self.entry_requests()
            still_open = self.launcher_open()
            self.assertFalse(early and still_open,
                             f"the stand-in got the game entry while the launcher was open: {early}")
            return not still_open

        self.wait_for(launcher_gone, 15, "the launcher did not end after the login")

        def game_window():
            for w in client_windows(self.client.pid):
                if w not in (self.splash, self.overlay) and "MAXIMIZED_VERT" in net_wm_state(w) \
                        and "MAXIMIZED_HORZ" in net_wm_state(w):
                    return w
            return None

        window = self.wait_for(game_window, 15, "no maximised game window appeared")
        self.assertEqual(geometry(window), (0, 0) + SCREEN, "the game window does not cover the screen")
        loaded = self.wait_for(self.entry_requests, 15, "the game window never asked for the game entry")
        time.sleep(1.0)  # a second request, if one were coming
        loaded = self.entry_requests()
        self.assertEqual(len(loaded), 1, f"the game entry was asked for {len(loaded)} times: {loaded}")
        self.assertEqual(base() + loaded[0]["target"], address, "the game window loaded another address")
        self.assertEqual(loaded[0].get("status"), 200, "the entry address was altered on the way (bad sign)")
        # A navigation of the login page carries the page as its referrer;
        # the game window opens the address afresh.
        self.assertNotIn("Referer", loaded[0]["headers"], "the entry request came from the login page")
        self.assertIsNone(self.client.poll(), "the client ended instead of running the game window")
        Screenshot(os.path.join(ARGS.out, f"game-{self.name}.png"))


class LoginOnPage(LauncherRun):
    name = "page"

    def test_1_login_page_in_the_panel(self):
        self.assertEqual(geometry(self.splash)[:2], SPLASH_AT)
        self.assertEqual(self.browser[:2], (541, 303))
        shot = self.wait_for_login_page(os.path.join(ARGS.out, "launcher-login.png"))
        art = Art(ARGS.art)
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
                if a != 255 or in_any(x, y, BUTTONS):
                    continue
                checked += 1
                actual = shot.pixel(left + x, top + y)
                self.assertTrue(close_to(actual, (r, g, b), 4),
                                f"overlay ({x}, {y}) shows {actual}, the picture has {(r, g, b)} ({shot.path})")
        self.assertGreater(checked, 200, "too few opaque picture pixels around the panel to judge")
        self.assertEqual([e["method"] for e in requests() if e["path"] == "/mini/login.html"], ["GET"])

    def test_2_right_click_shows_no_menu(self):
        self.assert_launcher_in_place()
        before_windows = viewable_toplevels()
        before = Screenshot(os.path.join(ARGS.out, "right-click-before.png"))
        self.click(60, 60, button=3)
        time.sleep(1.0)
        after = Screenshot(os.path.join(ARGS.out, "right-click-after.png"))
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
        form = [e for e in requests() if e["path"] == "/mini/dologin"]
        self.assertEqual(form[-1]["method"], "POST")


class LoginInFrame(LauncherRun):
    name = "frame"
    modes = {"login": "iframe", "login_method": "get"}

    def test_login_in_a_frame_hands_the_address_to_the_game_window(self):
        self.wait_for_login_page(os.path.join(ARGS.out, "launcher-login-frame.png"))
        self.assertTrue(any(e["path"] == "/mini/login_form.html" for e in requests()), "the frame never loaded")
        self.fill_and_submit("click")
        self.hand_off_to_game_window()
        form = [e for e in requests() if e["path"] == "/mini/dologin"]
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
        shutil.copy2(ARGS.airclient_client, executable)
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
        self.wait_for_login_page(os.path.join(ARGS.out, "launcher-login-airclient.png"))
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


def stacking():
    """Managed windows, bottom first."""
    text = run("xprop", "-root", "_NET_CLIENT_LIST_STACKING")
    return [str(int(w, 16)) for w in text.split("#", 1)[1].replace(",", " ").split()] if "#" in text else []


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
        path = os.path.join(ARGS.out, f"usable-{label}.png")
        self.wait_for(lambda: self.shows_page(Screenshot(path)), 5,
                      f"{label}: the login page is not visible in the panel")

    def close_button(self):
        x, y, w, h = BUTTONS[4]
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
        self.wait_for_login_page(os.path.join(ARGS.out, "usable-start.png"))
        art = Art(ARGS.art)
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


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--client", required=True)
    parser.add_argument("--airclient-client", required=True, help="the build whose airclient setting is \"true\"")
    parser.add_argument("--art", required=True, help="the splash picture (res/png/143.png)")
    parser.add_argument("--out", required=True, help="folder for screenshots, client logs and request logs")
    ARGS, rest = parser.parse_known_args()
    if "DISPLAY" not in os.environ:
        sys.exit("no DISPLAY: run this inside tools/xsession.sh run")
    private_loopback()
    os.makedirs(ARGS.out, exist_ok=True)
    server = start_sandbox()
    try:
        program = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, failfast=True, exit=False)
    finally:
        server.shutdown()
        server.server_close()
    sys.exit(0 if program.result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
