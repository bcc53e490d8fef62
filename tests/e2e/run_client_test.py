#!/usr/bin/python3
"""tools/run-client.sh end to end, in the README's own flow, without a display.

The script starts the stand-in and a virtual display of its own and runs the
client (KQV_CLIENT: the build under test, so nothing is built here). The test
logs in, closes the game window and answers 是: the fresh copy the client
starts must find the display and the stand-in still up and show the
launcher. The script ends only when that copy ends, and then takes the
stand-in and the display with it. The stand-in's request log is written to
the file the script names.

Runs in a network namespace of its own where the machine allows one (the
stand-in's port is then always free); pointer and keys come from xdotool on
the script's display.
"""

import os
import pathlib
import shutil
import signal
import subprocess
import tempfile
import time
import urllib.request

from e2e_support import (BASE, BROWSER, SCREEN, SPLASH_AT, SPLASH_SIZE, ScriptCase, Screenshot, arguments,
                         client_copies, client_windows, geometry, move_pointer, poll, private_loopback, run,
                         run_cases, transient_for, window_name)

import pages_platform  # noqa: E402  (tools/sandbox, put on the path by e2e_support)

ROOT = pathlib.Path(__file__).resolve().parents[2]
BROWSER_AT = (SPLASH_AT[0] + BROWSER[0], SPLASH_AT[1] + BROWSER[1])


class RunClientScript(ScriptCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="kqv-e2e-run-client-")
        self.log_file = os.path.join(self.home, "sandbox.log")
        self.client = os.path.realpath(self.args.client)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(HOME=self.home, XDG_DATA_HOME=os.path.join(self.home, "data"),
                   XDG_CACHE_HOME=os.path.join(self.home, "cache"), XDG_CONFIG_HOME=os.path.join(self.home, "config"),
                   KQV_CLIENT=self.client, KQV_SANDBOX_LOG=self.log_file, no_proxy="*", NO_PROXY="*")
        self.out = open(os.path.join(self.args.out, "run-client.out"), "w+b")
        self.script = subprocess.Popen([str(ROOT / "tools" / "run-client.sh")], env=env, stdout=self.out,
                                       stderr=subprocess.STDOUT, start_new_session=True)
        self.display = self.wait_for(self.announced_display, 30, "the script announced no virtual display")
        os.environ["DISPLAY"] = self.display
        # The display's server, by the process id its lock file holds: the
        # number itself may be taken by another session once this one ends.
        with open(f"/tmp/.X{self.display[1:]}-lock") as lock:
            self.server = int(lock.read().strip())

    def tearDown(self):
        for pid in self.copies():
            os.kill(pid, signal.SIGTERM)
        if self.script.poll() is None:
            os.killpg(self.script.pid, signal.SIGTERM)
            self.script.wait(10)
        self.out.close()
        shutil.rmtree(self.home, ignore_errors=True)

    def announced_display(self):
        self.out.seek(0)
        for line in self.out.read().decode(errors="replace").splitlines():
            if line.startswith("virtual display :"):
                return line.split()[2]
        if self.script.poll() is not None:
            self.fail(f"the script ended with {self.script.returncode} before its display was up")
        return None

    def wait_for(self, condition, seconds, what):
        value = poll(condition, seconds, 0.2)
        if not value:
            self.out.seek(0)
            self.fail(f"{what} (after {seconds} s); script output: {self.out.read().decode(errors='replace')!r}")
        return value

    def copies(self):
        """Running copies of the client of this run (not their short-lived forks)."""
        return client_copies(self.client, self.home, zombies=False)

    def launcher(self, pid):
        sized = [w for w in client_windows(pid) if geometry(w)[2:] == SPLASH_SIZE]
        return next((w for w in sized if transient_for(w) is None), None)

    def stand_in_answers(self):
        try:
            with urllib.request.urlopen(f"{BASE}/mini/login.html", timeout=5) as answer:
                return answer.status == 200
        except OSError:
            return False

    def login_page_shown(self):
        x, y = BROWSER_AT
        shot = Screenshot(os.path.join(self.args.out, "run-client-login.png"))
        return all(shot.pixel(x + dx, y + dy) == pages_platform.BACKGROUND for dx, dy in ((4, 4), (880, 470)))

    def click_field(self, name):
        x, y, w, h = pages_platform.LAYOUT[name]
        move_pointer(BROWSER_AT[0] + x + w // 2, BROWSER_AT[1] + y + h // 2)
        run("xdotool", "click", "1")

    def answer_box(self, pid, title, key):
        box = self.wait_for(lambda: [w for w in client_windows(pid) if window_name(w) == title], 10,
                            f"no box \"{title}\"")[0]
        run("xdotool", "windowactivate", "--sync", box, check=False)
        run("xdotool", "key", key)

    def test_the_restarted_copy_keeps_the_stand_in_and_the_display(self):
        first = self.wait_for(self.copies, 20, "the script started no client")[0]
        self.wait_for(lambda: self.launcher(first), 30, "the client showed no launcher")
        self.wait_for(self.login_page_shown, 30, "the login page never filled the panel")
        self.click_field("username")
        run("xdotool", "type", "--delay", "40", "run client")
        self.click_field("password")
        run("xdotool", "type", "--delay", "40", "secret")
        run("xdotool", "key", "Return")

        def game_window():
            return [w for w in client_windows(first)
                    if "MAXIMIZED_VERT" in run("xprop", "-id", w, "_NET_WM_STATE", check=False)]

        self.wait_for(game_window, 30, "no game window after the login")
        time.sleep(1.0)
        move_pointer(SCREEN[0] - 20, 20)  # the game window's close button
        time.sleep(0.2)
        run("xdotool", "click", "1")
        self.answer_box(first, "关闭提示", "y")
        self.wait_for(lambda: first not in self.copies(), 15, "the first client did not end on 是")
        copy = self.wait_for(self.copies, 15, "no fresh copy was started")[0]
        self.wait_for(lambda: self.launcher(copy), 30, "the fresh copy showed no launcher")
        self.assertIsNone(self.script.poll(), "the script ended with the first client")
        self.assertTrue(self.stand_in_answers(), "the stand-in went with the first client")

        # The copy's own close ends the run: the script, the stand-in, the display.
        splash = self.launcher(copy)
        run("xdotool", "windowactivate", "--sync", splash, check=False)
        run("xdotool", "key", "alt+F4")
        deadline = time.monotonic() + 20
        while self.copies() and time.monotonic() < deadline:  # its confirmation: 是
            boxes = [w for w in client_windows(copy) if transient_for(w) in client_windows(copy)]
            if boxes:
                run("xdotool", "windowactivate", "--sync", boxes[0], check=False)
                run("xdotool", "key", "y", check=False)
            time.sleep(1.0)
        self.assertEqual(self.copies(), [], "the fresh copy did not end through its close")
        self.assertEqual(self.script.wait(20), 0)
        self.assertFalse(os.path.exists(f"/proc/{self.server}"), "the display outlived the script")
        self.assertFalse(self.stand_in_answers(), "the stand-in outlived the script")
        with open(self.log_file, encoding="utf-8") as f:
            paths = [line for line in f if '"path": "/mini/dologin"' in line]
        self.assertTrue(paths, "the request log holds no login")


if __name__ == "__main__":
    args, rest = arguments("client", "out")
    private_loopback()
    run_cases(args, rest, failfast=False)
