"""What the end-to-end tests share: the client process, and what they read
from the X display (windows and pixels)."""

import re
import subprocess
import time

SCREEN = (1920, 1080)


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


def transient_for(window):
    text = run("xprop", "-id", window, "WM_TRANSIENT_FOR", check=False)
    if "window id #" not in text:
        return None
    return str(int(text.rsplit("#", 1)[1].strip(), 16))


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


def stop(process):
    """Ends a client still running, by its own PID."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
