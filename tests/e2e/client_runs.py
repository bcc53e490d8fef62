"""The client runs the launcher, browser, game window and life-cycle tests
build on: one client process per case class against the stand-in platform
(e2e_support.run_cases_with_stand_in), its windows found and driven by real
input, its close paths taken at the end.

    LauncherRun  the launcher: the login page in its panel, the login, the
                 hand-off to the game window
    BrowserRun   a launcher run whose system browser writes down the
                 addresses it is given
    GameRun      a browser run that goes on to the game window: its caption
                 buttons, its message boxes, what the game page reports
"""

import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from urllib.parse import parse_qsl

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools" / "sandbox"))

import pages_platform  # noqa: E402  (the page's layout and colour, shared with the page)
from e2e_support import (BASE, BROWSER, SCREEN, SPLASH_AT, SPLASH_SIZE, ScriptCase, Screenshot, client_copies,  # noqa: E402
                         client_env, client_windows, close_to, geometry, is_chat_window, move_pointer,
                         net_wm_state, poll, run, stop, transient_for, viewable, wait_for_launcher, window_name)

PAGE_COLOUR = pages_platform.BACKGROUND  # the login page's
ENTRY_PATH = "/game/login.php"
USER = "qa tester 7"  # the blanks come back escaped in the entry address

# The game window, maximised on the screen: its frame's caption height and
# border width, the game page's background, and its caption buttons by their
# middles.
CAPTION, BORDER = 39, 3
GAME_PAGE = (0x1F, 0x2A, 0x44)
CAPTION_BUTTONS = {"home": (SCREEN[0] - 245, 20), "charge": (SCREEN[0] - 200, 20), "clean": (SCREEN[0] - 155, 20),
                   "refresh": (SCREEN[0] - 110, 20), "minimise": (SCREEN[0] - 64, 20),
                   "maximise": (SCREEN[0] - 42, 20), "close": (SCREEN[0] - 20, 20)}
EXPECTED_VERSION = "1.0.0.1"  # what window.external.getAppVersion() answers


class LauncherRun(ScriptCase):
    """One client process, its launcher windows, and the stand-in's log."""

    modes = {}  # the stand-in's switches for this run
    name = "run"
    scale = 1  # device pixels per logical pixel
    extra_env = {}

    @classmethod
    def setUpClass(cls):
        cls.stand_in.state.reset()
        cls.stand_in.state.set_modes(cls.modes)
        cls.home = tempfile.mkdtemp(prefix="kqv-e2e-launcher-")
        cls.executable = cls.prepare(cls.home)
        env = client_env(cls.home, **cls.extra_env)
        cls.log = open(os.path.join(cls.args.out, f"client-{cls.name}.log"), "wb")
        cls.client = subprocess.Popen([cls.executable], env=env, stdout=cls.log, stderr=subprocess.STDOUT,
                                      cwd=cls.home)
        cls.splash, cls.overlay = cls.find_launcher()
        left, top, _, _ = geometry(cls.splash)
        cls.browser = (left + BROWSER[0], top + BROWSER[1], BROWSER[2], BROWSER[3])

    @classmethod
    def prepare(cls, home):
        """The executable to run."""
        return cls.args.client

    @classmethod
    def tearDownClass(cls):
        problem = cls.close_client()
        stop(cls.client)
        # Closing the game window starts a fresh copy at the launcher.
        for pid in cls.restarted_copies():
            os.kill(pid, signal.SIGTERM)
        cls.log.close()
        with open(os.path.join(cls.args.out, f"requests-{cls.name}.jsonl"), "w", encoding="utf-8") as f:
            f.write(cls.stand_in.state.log_lines())
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
        """Other copies of this run's executable with this run's home."""
        return client_copies(os.path.realpath(cls.executable), cls.home, leave_out=(cls.client.pid,))

    @classmethod
    def find_launcher(cls):
        return wait_for_launcher(cls.client, cls.scale)

    # -- helpers

    def wait_for(self, condition, seconds, what):
        value = poll(condition, seconds)
        if not value:
            shot = Screenshot(os.path.join(self.args.out, f"failed-{self.name}.png"))
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
            done = [e for e in self.requests() if e["path"] == "/mini/dologin" and e.get("status") == 302]
            return done[-1] if done else None

        entry = self.wait_for(answered, 15, "the form never reached the login handler")
        fields = entry["params"] if entry["method"] == "GET" else dict(parse_qsl(entry["body"]))
        self.assertEqual((fields.get("username"), fields.get("password")), (USER, "secret"),
                         "the typed text did not all reach the form")
        self.assertIn(f"{ENTRY_PATH}?", entry["location"])
        self.assertIn("server_id=S12", entry["location"])
        return entry

    def requests(self):
        return self.stand_in.requests()

    def entry_requests(self):
        return [e for e in self.requests() if e["path"] == ENTRY_PATH]

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
        self.assertEqual(BASE + loaded[0]["target"], address, "the game window loaded another address")
        self.assertEqual(loaded[0].get("status"), 200, "the entry address was altered on the way (bad sign)")
        # A navigation of the login page carries the page as its referrer;
        # the game window opens the address afresh.
        self.assertNotIn("Referer", loaded[0]["headers"], "the entry request came from the login page")
        self.assertIsNone(self.client.poll(), "the client ended instead of running the game window")
        Screenshot(os.path.join(self.args.out, f"game-{self.name}.png"))



class BrowserRun(LauncherRun):
    """A launcher run whose system browser writes down what it is given: a
    desktop entry of the run's own home, made the handler of web addresses
    through mimeapps.list (GIO's g_app_info_launch_default_for_uri reads
    both from the XDG directories the client is given)."""

    @classmethod
    def prepare(cls, home):
        cls.opened_file = os.path.join(home, "opened-pages.txt")
        applications = os.path.join(home, "data", "applications")
        os.makedirs(applications)
        os.makedirs(os.path.join(home, "config"))
        with open(os.path.join(applications, "kqv-test-browser.desktop"), "w", encoding="utf-8") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Test browser\n"
                    f"Exec=/bin/sh -c 'echo \"$1\" >> {cls.opened_file}' sh %u\n"
                    "MimeType=x-scheme-handler/http;x-scheme-handler/https;\n")
        with open(os.path.join(home, "config", "mimeapps.list"), "w", encoding="utf-8") as f:
            f.write("[Default Applications]\nx-scheme-handler/http=kqv-test-browser.desktop\n"
                    "x-scheme-handler/https=kqv-test-browser.desktop\n")
        return cls.args.client

    def opened(self):
        try:
            with open(self.opened_file, encoding="utf-8") as f:
                return [line.strip() for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def shot(self, what):
        return Screenshot(os.path.join(self.args.out, f"{self.name}-{what}.png"))

    def pixel(self, shot, point):
        return shot.pixel(*self.at(*point))

    def client_running(self):
        self.assertIsNone(self.client.poll(), f"the client ended with {self.client.returncode}")


class GameRun(BrowserRun):
    """A client run that reaches the game window, with its helpers."""

    def game_window(self):
        for w in client_windows(self.client.pid):
            if w not in (self.splash, self.overlay) and "MAXIMIZED_VERT" in net_wm_state(w):
                return w
        return None

    def boxes(self):
        """The client's message boxes: shown windows owned by another of its windows (not the chat)."""
        windows = client_windows(self.client.pid)
        return [w for w in windows if transient_for(w) in windows and viewable(w) and not is_chat_window(w)]

    def answer_box(self, title, key):
        box = self.wait_for(lambda: [b for b in self.boxes() if window_name(b) == title], 10,
                            f"no box \"{title}\" appeared")[0]
        run("xdotool", "windowactivate", "--sync", str(box), check=False)
        run("xdotool", "key", key)
        self.wait_for(lambda: box not in client_windows(self.client.pid), 10, f"the box \"{title}\" stayed")

    def press(self, button):
        x, y = CAPTION_BUTTONS[button]
        move_pointer(x, y)
        time.sleep(0.2)
        run("xdotool", "click", "1")

    def seen(self, what):
        return [e["params"][what] for e in self.requests() if e["path"] == "/game/seen" and what in e["params"]]

    def asset_requests(self):
        return [e for e in self.requests() if e["path"] == "/game/asset.js"]
