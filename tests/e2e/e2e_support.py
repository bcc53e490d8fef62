"""What the end-to-end tests share: their arguments and start, the stand-in
platform on its fixed port, the client's processes, the launcher's place on
the screen, pictures, and what they read from the X display (windows and
pixels). The client runs the launcher, browser and game window tests build
on are in client_runs.py."""

import argparse
import json
import os
import pathlib
import re
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools" / "sandbox"))

import private_net  # noqa: E402
import sandbox  # noqa: E402
from routes import SandboxState  # noqa: E402

SCREEN = (1920, 1080)
PORT = 47800  # where the client's built-in addresses point
BASE = f"http://127.0.0.1:{PORT}"

# The launcher on a 1920x1080 screen: the splash at (W - w - 326) / 2,
# (H - h - 190) / 2, and what its overlay covers of it, (x, y, w, h) in the
# overlay: the browser's panel (for every platform but "6711") and the
# picture buttons, the last of them the close button.
SPLASH_SIZE = (1357, 852)
SPLASH_AT = (118, 19)
BROWSER = (423, 284, 896, 487)
LAUNCHER_BUTTONS = [(566, 244, 118, 35), (733, 244, 118, 35), (890, 244, 118, 35), (1059, 244, 118, 35),
                    (SPLASH_SIZE[0] - 62, 251, 23, 23)]
CLOSE_BUTTON = (LAUNCHER_BUTTONS[4][0] + 11, LAUNCHER_BUTTONS[4][1] + 11)  # its middle, in the overlay


# ---------------------------------------------------------------- the script's run

_ARGUMENTS = {
    "client": "the client (KQVClient)",
    "airclient_client": "the build whose airclient setting is \"true\"",
    "art": "the splash picture (res/png/143.png)",
    "frame_art": "the game window's frame picture (res/png/164.png)",
    "probes": "the splash picture's probe pixels (res/art-probes.json)",
    "program": "kqv_frame_window",
    "res": "the artwork folder (res/)",
    "out": "folder for screenshots, client logs and request logs",
}


def arguments(*names):
    """The script's arguments, each required, and what is left of its
    command line for unittest (case names)."""
    parser = argparse.ArgumentParser()
    for name in names:
        parser.add_argument("--" + name.replace("_", "-"), required=True, help=_ARGUMENTS[name])
    return parser.parse_known_args()


def require_display():
    if "DISPLAY" not in os.environ:
        sys.exit("no DISPLAY: run this inside tools/xsession.sh run")


def private_loopback():
    """Where user namespaces are allowed, re-runs the script in a network
    namespace of its own, so the stand-in's port is always free there."""
    private_net.private_loopback(PORT)


class ScriptCase(unittest.TestCase):
    """A case of the running script. run_cases hands it the script's
    arguments (and the stand-in, when the script runs one) before any case
    starts."""

    args = None
    stand_in = None


def run_cases(args, rest, stand_in=None, failfast=True):
    """Runs the calling script's cases (its __main__ module) with its
    arguments and exits with their result."""
    os.makedirs(args.out, exist_ok=True)
    ScriptCase.args, ScriptCase.stand_in = args, stand_in
    program = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, failfast=failfast, exit=False)
    sys.exit(0 if program.result.wasSuccessful() else 1)


def run_cases_with_stand_in(*names):
    """Runs the calling script's cases on the current display against the
    stand-in on the port the client's built-in addresses name, on a private
    loopback where the machine allows one; `names` are the script's
    arguments."""
    args, rest = arguments(*names)
    require_display()
    private_loopback()
    stand_in = StandIn()
    stand_in.up()
    try:
        run_cases(args, rest, stand_in)
    finally:
        stand_in.down()


class StandIn:
    """The stand-in platform served from this process on PORT. Each time it
    comes up it starts with an empty log and no switches set."""

    def __init__(self):
        self.state = None
        self._server = None

    def up(self):
        if self._server is not None:
            return
        sandbox.load_pages()
        self.state = SandboxState()
        try:
            self._server = sandbox.make_server("127.0.0.1", PORT, self.state)
        except OSError as error:
            sys.exit(f"port {PORT} on 127.0.0.1 is taken ({error}); the client's built-in addresses point "
                     f"there, so the stand-in must have it: stop what listens there (tools/run-client.sh?)")
        threading.Thread(target=self._server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()

    def down(self):
        if self._server is not None:
            self._server.shutdown()
            self._server.server_close()
            self._server = None

    def requests(self):
        """The request log, oldest first."""
        return [json.loads(line) for line in self.state.log_lines().splitlines() if line]


# ---------------------------------------------------------------- processes

def run(*command, check=True):
    return subprocess.run(command, check=check, capture_output=True, text=True).stdout


def poll(condition, seconds, interval=0.1):
    """The condition's first true value within the time, or its last value."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(interval)
    return condition()


def stop(process):
    """Ends a client still running, by its own PID."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def client_env(home, **extra):
    """The client's environment: a home of its own, no proxies, and a GTK
    or WebKit critical ends it (and fails the case)."""
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=os.path.join(home, "data"),
               XDG_CACHE_HOME=os.path.join(home, "cache"), XDG_CONFIG_HOME=os.path.join(home, "config"),
               no_proxy="*", NO_PROXY="*", G_DEBUG="fatal-criticals", **extra)
    for proxy in ("http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"):
        env.pop(proxy, None)
    return env


def parent_of(pid):
    """A process's parent, from /proc. The command name may hold blanks and
    brackets: the parent follows the last ')'."""
    with open(f"/proc/{pid}/stat") as f:
        return int(f.read().rsplit(")", 1)[1].split()[1])


def client_copies(executable, home, leave_out=(), zombies=True):
    """Processes of an executable (a real path) started with this HOME.

    A copy that is starting its engine's helpers has short-lived forked
    children that still show the executable until they exec: a process
    whose parent is itself a copy is such a child, not a second copy."""
    home = f"HOME={home}".encode()
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) in leave_out:
            continue
        try:
            if os.readlink(f"/proc/{entry}/exe") != executable:
                continue
            with open(f"/proc/{entry}/environ", "rb") as f:
                if home not in f.read().split(b"\0"):
                    continue
            if not zombies:
                with open(f"/proc/{entry}/stat") as f:
                    if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                        continue
            parents[int(entry)] = parent_of(int(entry))
        except (OSError, IndexError, ValueError):
            continue
    return sorted(pid for pid, parent in parents.items() if parent not in parents)


def describe(pid):
    """A process's parent and command line, for a failure message."""
    try:
        parent = parent_of(pid)
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            command = f.read().replace(b"\0", b" ").decode(errors="replace")
        return f"{pid} (parent {parent}): {command}"
    except (OSError, IndexError, ValueError):
        return f"{pid} (gone)"


# ---------------------------------------------------------------- windows

def geometry(window):
    """Position and size of a window on the screen."""
    values = dict(line.split("=", 1) for line in run("xdotool", "getwindowgeometry", "--shell", window).split())
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def move_pointer(x, y):
    """Puts the pointer at a screen point and waits until it is there
    (xdotool's own wait never ends when the pointer is there already)."""
    here = dict(item.split(":") for item in run("xdotool", "getmouselocation").split()[:2])
    if (int(here["x"]), int(here["y"])) != (x, y):
        run("xdotool", "mousemove", "--sync", str(x), str(y))


def client_area(window):
    """A window's own area on the screen, without the window manager's frame
    (xdotool counts the frame's offset twice for decorated windows)."""
    values = {}
    for line in run("xwininfo", "-id", window).splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
            int(values["Width"]), int(values["Height"]))


def client_windows(pid):
    """A process's shown windows, by id."""
    return run("xdotool", "search", "--onlyvisible", "--pid", str(pid), check=False).split()


def transient_for(window):
    text = run("xprop", "-id", window, "WM_TRANSIENT_FOR", check=False)
    if "window id #" not in text:
        return None
    return str(int(text.rsplit("#", 1)[1].strip(), 16))


def net_wm_state(window):
    return run("xprop", "-id", window, "_NET_WM_STATE", check=False)


def viewable(window):
    info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True)
    return info.returncode == 0 and "IsViewable" in info.stdout


def viewable_toplevels():
    """Every mapped child of the root, by id: managed frames and
    override-redirect popups alike."""
    listing = run("xwininfo", "-root", "-children")
    ids = [line.split()[0] for line in listing.splitlines() if line.strip().startswith("0x")]
    return {str(int(w, 16)) for w in ids if viewable(w)}


def launcher_windows(pid, scale=1, together=False):
    """The launcher's splash (a window of its own) and its overlay (transient
    for it), both of the splash's size; None until both are shown (and, if
    `together`, at the same place)."""
    size = (SPLASH_SIZE[0] * scale, SPLASH_SIZE[1] * scale)
    sized = [w for w in client_windows(pid) if geometry(w)[2:] == size]
    splash = [w for w in sized if transient_for(w) is None]
    if len(splash) == 1:
        overlay = [w for w in sized if transient_for(w) == splash[0]]
        if len(overlay) == 1 and (not together or geometry(overlay[0]) == geometry(splash[0])):
            return splash[0], overlay[0]
    return None


def wait_for_launcher(client, scale=1, together=False):
    """The launcher's (splash, overlay) of a client just started."""
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        if client.poll() is not None:
            raise AssertionError(f"the client ended with {client.returncode} before showing its windows")
        found = launcher_windows(client.pid, scale, together)
        if found:
            return found
        time.sleep(0.2)
    raise AssertionError("no splash window with its overlay appeared")


def window_name(window):
    out = run("xprop", "-id", str(window), "_NET_WM_NAME", check=False)
    return _xprop_text(out.split("=", 1)[1].strip()[1:-1]) if "=" in out else ""


def _xprop_text(quoted):
    """xprop writes bytes it does not print (direction marks among them) as
    octal escapes, and escapes quotes and backslashes."""
    data, i = bytearray(), 0
    while i < len(quoted):
        if quoted[i] == "\\" and re.fullmatch(r"[0-7]{3}", quoted[i + 1:i + 4]):
            data.append(int(quoted[i + 1:i + 4], 8))
            i += 4
        elif quoted[i] == "\\" and i + 1 < len(quoted):
            data += quoted[i + 1].encode()
            i += 2
        else:
            data += quoted[i].encode()
            i += 1
    return data.decode("utf-8", "replace")


def is_chat_window(window):
    """The VIP chat window, owned by the game window but no message box."""
    name = window_name(window)
    return name.endswith("正在和您通话") or name in ("客服", "VIP专员")


# ---------------------------------------------------------------- pixels

def close_to(actual, expected, tolerance=3):
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))


def in_any(x, y, rects, margin=2):
    return any(rx - margin <= x < rx + rw + margin and ry - margin <= y < ry + rh + margin
               for rx, ry, rw, rh in rects)


class Screenshot:
    """The root window's pixels, saved as a PNG artefact."""

    def __init__(self, path):
        run("import", "-window", "root", path)
        self.raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True,
                                  capture_output=True).stdout
        if len(self.raw) != SCREEN[0] * SCREEN[1] * 3:
            raise AssertionError(f"screenshot of {len(self.raw)} bytes, not {SCREEN[0]}x{SCREEN[1]} RGB")
        self.path = path

    def pixel(self, x, y):
        at = (y * SCREEN[0] + x) * 3
        return tuple(self.raw[at:at + 3])

    def region(self, x, y, w, h):
        return b"".join(self.raw[((y + row) * SCREEN[0] + x) * 3:((y + row) * SCREEN[0] + x + w) * 3]
                        for row in range(h))


class Art:
    """A picture of res/ as RGBA pixels; of the size given, or its own."""

    def __init__(self, path, size=None):
        if size is None:
            size = tuple(int(v) for v in run("identify", "-format", "%w %h", path).split())
        self.width, self.height = size
        self.raw = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], check=True,
                                  capture_output=True).stdout
        assert len(self.raw) == self.width * self.height * 4, f"{path} is not {self.width} x {self.height}"

    def pixel(self, x, y):
        at = (y * self.width + x) * 4
        return tuple(self.raw[at:at + 4])

    def rgb(self, x, y):
        return self.pixel(x, y)[:3]


def splash_art(path):
    return Art(path, SPLASH_SIZE)
