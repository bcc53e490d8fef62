#!/usr/bin/python3
"""The client's life cycle end to end: closing, restarting, upgrading, and
two copies of it with one home.

Run inside a display session (tools/xsession.sh run -- ...): the game run
of client_runs.py against the stand-in of e2e_support.py, on a private
loopback where the machine allows one. The client runs with G_DEBUG=fatal-criticals. One client run per
case class (two for TwoCopies), driven by real pointer and keyboard events:

    UpgradedExecutable  the installed executable is replaced while the game
                        runs, as an upgrade does: getAppVersion() still
                        answers the version, and the close's Yes starts
                        exactly one copy of the file as installed
    CloseWhileCleaning  the window manager's close (Alt+F4) while 清理 waits
                        for the engine (its network process held stopped):
                        no question meanwhile; once cleaning is done its box,
                        then the close question, once; Yes ends the client
                        with one fresh copy and no box after it
    TwoCopies           two clients with one home, started together on a
                        loopback page that sets cookies and local storage:
                        then two more read them back, and every value written
                        is found, each copy's set whole in one of them
"""

import http.server
import os
import pathlib
import shutil
import signal
import socketserver
import subprocess
import sys
import tempfile
import threading
import time
from urllib.parse import parse_qs, urlparse

from client_runs import EXPECTED_VERSION, GameRun
from e2e_support import (SPLASH_SIZE, ScriptCase, client_env, client_windows, describe, geometry, parent_of, poll,
                         run, run_cases_with_stand_in, stop, transient_for, window_name)


def children(pid):
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                if parent_of(int(entry)) == pid:
                    found.append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    return found


def command_name(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except OSError:
        return ""


class InstalledCopy(GameRun):
    """A game run of a copy of the client installed in the run's home."""

    @classmethod
    def prepare(cls, home):
        super().prepare(home)
        built = pathlib.Path(cls.args.client)
        folder = pathlib.Path(home) / "app"
        folder.mkdir()
        shutil.copy2(built, folder / built.name)
        shutil.copytree(built.parent / "kqv-web-extension", folder / "kqv-web-extension")
        return str(folder / built.name)

    def reach_the_game(self):
        self.wait_for_login_page(os.path.join(self.args.out, f"{self.name}-login.png"))
        self.fill_and_submit("Return")
        window = self.wait_for(self.game_window, 15, "no game window")
        self.wait_for(lambda: self.seen("version"), 15, "the game page never reported its version")
        self.assertEqual(self.seen("version"), [EXPECTED_VERSION])
        return window

    def close_with_yes_and_expect_one_copy(self):
        self.answer_box("关闭提示", "y")
        self.wait_for(lambda: self.client.poll() is not None, 10, "the client did not end on Yes")
        ended = time.monotonic()
        self.assertEqual(self.client.returncode, 0)
        copies = self.wait_for(self.restarted_copies, 10, "no fresh copy was started")
        # The fresh copy waits for the old one's data folder (its lock) and
        # gets it: the player's login stays with the restart.
        lock = os.path.join(self.home, "data", "kqvclient", "lock")
        self.wait_for(lambda: lock in open_files(copies[0]), 15,
                      f"the fresh copy did not take {lock}: {sorted(open_files(copies[0]))}")
        print(f"\nthe fresh copy had the data folder {time.monotonic() - ended:.2f} s after the old one ended",
              file=sys.stderr)
        time.sleep(1.0)  # a second copy, if one were coming
        copies = self.restarted_copies()
        self.assertEqual(len(copies), 1, f"{len(copies)} copies started: {[describe(p) for p in copies]}")
        return copies[0]


class UpgradedExecutable(InstalledCopy):
    name = "upgraded"

    def test_1_an_upgrade_replaces_the_file_and_the_client_still_knows_it(self):
        self.reach_the_game()
        # As an installer does: a new file put in the old one's place.
        installed = pathlib.Path(self.executable)
        fresh = installed.with_name(installed.name + ".new")
        shutil.copy2(installed, fresh)
        os.replace(fresh, installed)
        self.assertTrue(os.readlink(f"/proc/{self.client.pid}/exe").endswith(" (deleted)"))

        self.press("refresh")
        self.wait_for(lambda: len(self.seen("version")) == 2, 15, "the reloaded page did not report")
        self.assertEqual(self.seen("version")[-1], EXPECTED_VERSION, "getAppVersion() after the upgrade")

        self.press("close")
        copy = self.close_with_yes_and_expect_one_copy()
        self.assertEqual(os.readlink(f"/proc/{copy}/exe"), str(installed))


class CloseWhileCleaning(InstalledCopy):
    name = "close-while-cleaning"

    def network_process(self):
        found = [p for p in children(self.client.pid) if command_name(p).startswith("WebKitNetwork")]
        self.assertEqual(len(found), 1, f"network processes: {found}")
        return found[0]

    def box_titles(self):
        return [window_name(b) for b in self.boxes()]

    def test_1_a_close_during_cleaning_waits_for_it_and_comes_once(self):
        window = self.reach_the_game()
        network = self.network_process()
        os.kill(network, signal.SIGSTOP)  # the engine cannot answer: cleaning waits
        try:
            self.press("clean")
            self.answer_box("清理提示", "y")
            run("xdotool", "windowactivate", "--sync", window, check=False)
            run("xdotool", "key", "alt+F4")
            time.sleep(1.5)  # the question would be up by now
            self.assertEqual(self.box_titles(), [], "a box came up while cleaning ran")
        finally:
            os.kill(network, signal.SIGCONT)
        self.answer_box("KQVClient", "Return")  # 缓存清理完毕
        self.wait_for(lambda: "关闭提示" in self.box_titles(), 10, "the close was not handled after cleaning")
        self.assertEqual(self.box_titles(), ["关闭提示"])
        self.close_with_yes_and_expect_one_copy()


# ---------------------------------------------------------------- two copies

COOKIES_PER_COPY = 40
VALUES_PER_COPY = 40

STORE_PAGE = """<!doctype html><meta charset="utf-8"><title>store</title>
<body style="background:#335"><script>
const copy = new URLSearchParams(location.search).get("copy");
for (let i = 0; i < %(n)d; i++) {
  document.cookie = `${copy}js${i}=v${i}; max-age=86400; path=/`;
  localStorage.setItem(`${copy}${i}`, `v${i}`);
}
fetch(`/written?copy=${copy}`);
</script></body>"""

READ_PAGE = """<!doctype html><meta charset="utf-8"><title>read</title>
<body style="background:#353"><script>
const copy = new URLSearchParams(location.search).get("copy");
const storage = [];
for (let i = 0; i < localStorage.length; i++) storage.push(localStorage.key(i));
fetch(`/read?copy=${copy}&cookies=${encodeURIComponent(document.cookie)}` +
      `&storage=${encodeURIComponent(storage.join(","))}`);
</script></body>"""


class PageServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self):
        self.reports = []
        self.lock = threading.Lock()
        super().__init__(("127.0.0.1", 0), PageHandler)


class PageHandler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        url = urlparse(self.path)
        params = {k: v[0] for k, v in parse_qs(url.query, keep_blank_values=True).items()}
        if url.path == "/store.html":
            copy = params.get("copy", "")
            body = (STORE_PAGE % {"n": VALUES_PER_COPY}).encode()
            self.send_response(200)
            # Half the cookies from the answer, half from the page's script.
            for i in range(COOKIES_PER_COPY):
                self.send_header("Set-Cookie", f"{copy}http{i}=v{i}; Max-Age=86400; Path=/")
        elif url.path == "/read.html":
            body = READ_PAGE.encode()
            self.send_response(200)
        elif url.path in ("/written", "/read"):
            with self.server.lock:
                self.server.reports.append((url.path, params))
            body = b""
            self.send_response(204)
        else:
            body = b""
            self.send_response(404)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Cache-Control", "no-store")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


class TwoCopies(ScriptCase):
    name = "two-copies"

    @classmethod
    def setUpClass(cls):
        cls.home = tempfile.mkdtemp(prefix="kqv-e2e-two-copies-")
        cls.server = PageServer()
        threading.Thread(target=cls.server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()
        cls.clients = []

    @classmethod
    def tearDownClass(cls):
        for client, log in cls.clients:
            stop(client)
            log.close()
        cls.server.shutdown()
        cls.server.server_close()
        shutil.rmtree(cls.home, ignore_errors=True)

    def start(self, page, copy):
        env = client_env(self.home)
        address = f"http://127.0.0.1:{self.server.server_address[1]}/{page}?copy={copy}"
        log = open(os.path.join(self.args.out, f"client-{self.name}-{page}-{copy}.log"), "wb")
        client = subprocess.Popen([os.path.abspath(self.args.client), "-url", address], env=env, stdout=log,
                                  stderr=subprocess.STDOUT, cwd=self.home)
        self.clients.append((client, log))
        return client

    def reports(self, path):
        with self.server.lock:
            return [params for p, params in self.server.reports if p == path]

    def wait_for(self, condition, seconds, what):
        return poll(condition, seconds) or self.fail(what)

    def close(self, client):
        """The player's way out: the launcher's close, then Yes."""
        deadline = time.monotonic() + 20
        while client.poll() is None and time.monotonic() < deadline:
            windows = client_windows(client.pid)
            # The launcher's overlay is owned by its splash but is no box.
            boxes = [w for w in windows if transient_for(w) in windows and geometry(w)[2:] != SPLASH_SIZE]
            main = [w for w in windows if transient_for(w) is None]
            if boxes:
                run("xdotool", "windowactivate", "--sync", boxes[0], check=False)
                run("xdotool", "key", "y", check=False)
            elif main:
                run("xdotool", "windowactivate", "--sync", main[0], check=False)
                run("xdotool", "key", "alt+F4", check=False)
            time.sleep(0.5)
        self.assertEqual(client.poll(), 0, f"copy {client.args[-1]} did not end through its close")

    def test_1_nothing_written_by_either_copy_is_lost(self):
        first = [self.start("store.html", copy) for copy in ("a", "b")]
        self.wait_for(lambda: len(self.reports("/written")) == 2, 40, "the copies did not both write")
        for client in first:
            self.close(client)
        # Every copy's engine has ended too before the next ones start.
        self.wait_for(lambda: not any(command_name(p).startswith("WebKit") and
                                      f"HOME={self.home}".encode() in environ(p) for p in all_pids()),
                      20, "the engine's processes of the first copies stayed")

        second = [self.start("read.html", copy) for copy in ("x", "y")]
        self.wait_for(lambda: len(self.reports("/read")) == 2, 40, "the copies did not both read")
        for client in second:
            self.close(client)

        expected = {}
        for copy in ("a", "b"):
            names = {f"{copy}http{i}" for i in range(COOKIES_PER_COPY)} | \
                    {f"{copy}js{i}" for i in range(VALUES_PER_COPY)}
            expected[copy] = (names, {f"{copy}{i}" for i in range(VALUES_PER_COPY)})
        seen = []
        for report in self.reports("/read"):
            cookies = {c.split("=", 1)[0].strip() for c in report["cookies"].split(";") if c.strip()}
            storage = {k for k in report["storage"].split(",") if k}
            seen.append((cookies, storage))
        # Each copy's cookies and values are found whole, together, in one of
        # the readers.
        for copy, (cookies, storage) in expected.items():
            whole = [i for i, (c, s) in enumerate(seen) if cookies <= c and storage <= s]
            found_cookies = max(len(cookies & c) for c, _ in seen)
            found_storage = max(len(storage & s) for _, s in seen)
            self.assertTrue(whole, f"copy {copy}: at most {found_cookies} of {len(cookies)} cookies and "
                                   f"{found_storage} of {len(storage)} stored values found together")


def open_files(pid):
    found = set()
    try:
        for fd in os.listdir(f"/proc/{pid}/fd"):
            try:
                found.add(os.readlink(f"/proc/{pid}/fd/{fd}"))
            except OSError:
                pass
    except OSError:
        pass
    return found


def all_pids():
    return [int(e) for e in os.listdir("/proc") if e.isdigit()]


def environ(pid):
    try:
        with open(f"/proc/{pid}/environ", "rb") as f:
            return f.read()
    except OSError:
        return b""


if __name__ == "__main__":
    run_cases_with_stand_in("client", "out")
