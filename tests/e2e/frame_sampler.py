"""The first frames a player sees, sampled from the X server.

A screenshot now and then misses a frame that stays up for 50 ms. The
sampler reads the root window with XGetImage (libX11 through ctypes, on a
connection of its own) every few tens of milliseconds on a thread of its
own, and at once whenever a window is mapped, moved or resized on the
screen (the root's structure events): the first frame of a new window is
the one most likely to be wrong. It keeps, for each sample, its time and
the colours at a fixed set of screen points; the test then judges every
sample.
"""

import ctypes
import ctypes.util
import select
import subprocess
import threading
import time

_ZPIXMAP = 2
_SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
_ALL_PLANES = ctypes.c_ulong(0xFFFFFFFF)


class _Funcs(ctypes.Structure):
    _fields_ = [(name, ctypes.c_void_p) for name in
                ("create_image", "destroy_image", "get_pixel", "put_pixel", "sub_image", "add_pixel")]


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong),
                ("obdata", ctypes.c_void_p), ("f", _Funcs)]


_X = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
_X.XOpenDisplay.restype = ctypes.c_void_p
_X.XOpenDisplay.argtypes = [ctypes.c_char_p]
_X.XDefaultRootWindow.restype = ctypes.c_ulong
_X.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_X.XGetImage.restype = ctypes.POINTER(_XImage)
_X.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                         ctypes.c_ulong, ctypes.c_int]
_X.XCloseDisplay.argtypes = [ctypes.c_void_p]
_X.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
_X.XConnectionNumber.argtypes = [ctypes.c_void_p]
_X.XPending.argtypes = [ctypes.c_void_p]
_X.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
_X.XFlush.argtypes = [ctypes.c_void_p]
_DESTROY = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(_XImage))


class Sample:
    def __init__(self, at, colours):
        self.at = at  # seconds since the sampler started
        self.colours = colours  # (r, g, b) for each point, in the sampler's order
        self.image = None  # the whole rectangle, kept for the first samples the test's judge rejects


class FrameSampler:
    """Samples the colours at screen points (x, y) until stopped, reading
    only the rectangle around them."""

    def __init__(self, points, interval=0.03, judge=None, keep=3):
        self.judge = judge  # colours -> True when wrong: such a sample keeps its image
        self.keep = keep
        self.points = list(points)
        assert self.points, "nothing to sample"
        xs, ys = [x for x, _ in self.points], [y for _, y in self.points]
        self.rect = (min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)
        self.interval = interval
        self.samples = []
        self._stop = threading.Event()
        self._display = _X.XOpenDisplay(None)
        if not self._display:
            raise AssertionError("the sampler cannot open the display")
        self._root = _X.XDefaultRootWindow(self._display)
        _X.XSelectInput(self._display, self._root, _SUBSTRUCTURE_NOTIFY_MASK)
        _X.XFlush(self._display)
        self._event = ctypes.create_string_buffer(192)  # an XEvent
        self._thread = threading.Thread(target=self._run, daemon=True)
        self.started = None

    def grab(self):
        """One sample now: the colours at the points, and the raw rectangle
        (32 bits a pixel, blue first) with its pitch."""
        x, y, w, h = self.rect
        image = _X.XGetImage(self._display, self._root, x, y, w, h, _ALL_PLANES, _ZPIXMAP)
        if not image:
            raise AssertionError("XGetImage of the root window failed")
        try:
            ximage = image.contents
            assert ximage.bits_per_pixel == 32, f"a root window of {ximage.bits_per_pixel} bits per pixel"
            pitch = ximage.bytes_per_line
            raw = ctypes.string_at(ximage.data, pitch * h)
        finally:
            _DESTROY(image.contents.f.destroy_image)(image)
        colours = []
        for px, py in self.points:
            at = (py - y) * pitch + (px - x) * 4  # little-endian 0x00RRGGBB: blue first
            colours.append((raw[at + 2], raw[at + 1], raw[at]))
        return colours, raw, pitch

    def save(self, sample, path):
        """Writes a kept sample's rectangle as a PNG."""
        _, _, w, h = self.rect
        raw, pitch = sample.image
        rows = b"".join(raw[y * pitch:y * pitch + w * 4] for y in range(h))
        subprocess.run(["convert", "-size", f"{w}x{h}", "-depth", "8", "bgra:-", "-alpha", "off", path],
                       input=rows, check=True)

    def _run(self):
        connection = _X.XConnectionNumber(self._display)
        while not self._stop.is_set():
            began = time.monotonic()
            colours, raw, pitch = self.grab()
            sample = Sample(began - self.started, colours)
            if self.judge and self.keep > 0 and self.judge(colours):
                self.keep -= 1
                sample.image = (raw, pitch)
            self.samples.append(sample)
            # Until the interval is over or the windows on the screen change.
            changed = False
            while not changed and not self._stop.is_set():
                left = self.interval - (time.monotonic() - began)
                if left <= 0:
                    break
                while _X.XPending(self._display):
                    _X.XNextEvent(self._display, self._event)
                    changed = True
                if not changed:
                    select.select([connection], [], [], left)

    def start(self):
        self.started = time.monotonic()
        self._thread.start()
        return self

    def stop(self):
        self._stop.set()
        self._thread.join(10)
        _X.XCloseDisplay(self._display)
        return self.samples

    def gaps(self):
        """The longest time between two samples, in seconds."""
        times = [s.at for s in self.samples]
        return max((b - a for a, b in zip(times, times[1:])), default=0.0)
