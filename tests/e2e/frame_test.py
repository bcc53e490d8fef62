#!/usr/bin/python3
"""The skinned frame end to end, on a real X display with a window manager.

Run inside a display session (tools/xsession.sh run -- ...). Starts
kqv_frame_window (the frame of the game or chat window around an empty client
area), drives it with real pointer events from xdotool and judges it by what
a player sees: screenshots of the root window compared with the artwork in
res/, the window's geometry and state as the window manager has it, and the
events the program prints.

    Game   the game window's frame: caption, borders, body rows and rounded
           corners; the caption buttons' hover, pressed and normal cells;
           minimise, maximise and restore by the drawn buttons; a caption
           double-click; a caption drag; a border resize down to the
           minimum height; the icon's system menu and its close entry
    Chat   the chat window's frame: caption artwork, a caption double-click
           that changes nothing, the close button

The program runs with G_DEBUG=fatal-criticals: a GTK critical ends it, and
the test with it.
"""

import os
import subprocess
import threading
import time

from e2e_support import (Art, ScriptCase, Screenshot, arguments, client_windows, close_to, geometry, move_pointer, poll,
                         require_display, run, run_cases, stop, viewable, viewable_toplevels)

ROOT_COLOUR = (58, 123, 213)  # the desktop, which the art never shows
CLIENT_COLOUR = (240, 240, 240)  # the empty client area
BODY_COLOUR = (26, 20, 18)
TOLERANCE = 2


class Variant:
    """What the frame of one window is made of (its variant table)."""

    def __init__(self, res, caption, extra_rows, background, fill_column, right_cap, icon, title, buttons):
        self.caption = caption
        self.border = 3
        self.extra_rows = extra_rows
        self.art = Art(os.path.join(res, "png", f"{background}.png"))
        self.fill_column = fill_column
        self.right_cap = right_cap
        self.icon = icon
        self.title = title
        # id -> (left, right) from the window's right edge, strip, cell count
        self.buttons = {id: (left, right, Art(os.path.join(res, "bmp", f"{strip}.bmp")))
                        for id, (left, right, strip) in buttons.items()}
        self.button_top, self.button_bottom = (10, 30) if caption == 39 else (3, 23)

    def button_rect(self, id, width):
        left, right, _ = self.buttons[id]
        return width + left, self.button_top, width + right, self.button_bottom

    def probes(self, width, height, skip_columns=()):
        """(x, y, colour, what) in the window: caption artwork, borders, body
        rows, the client area and the cut corners."""
        c, b, art = self.caption, self.border, self.art
        x_fill, r = self.fill_column, self.right_cap
        # What is drawn over the artwork: buttons, icon and title.
        (ix, iy), (tx, ty) = self.icon, self.title
        busy = [self.button_rect(id, width) for id in self.buttons]
        busy += [(ix - 1, iy - 1, ix + 17, iy + 17), (tx - 1, ty - 3, tx + 100, ty + 17)]
        found = []

        def add(x, y, colour, what):
            if any(left <= x < right and top <= y < bottom for left, top, right, bottom in busy):
                return
            if x in skip_columns:
                return
            found.append((x, y, colour, what))

        # Left cap, beside the icon and title rows; the first stretched
        # column; the middle; the last stretched one; the right cap.
        for x in (4, 10, x_fill // 2, x_fill - 1):
            if x < width - r:
                for y in range(2, c):
                    add(x, y, art.rgb(x, y), f"left cap column {x}")
        for x in (x_fill, (x_fill + width - r) // 2, width - r - 1):
            if x_fill <= x < width - r:
                for y in range(c):
                    add(x, y, art.rgb(x_fill, y), f"stretched column {x}")
        for x in (width - r, width - r + 5, width - 5, width - 3):
            for y in range(2, c):
                add(x, y, art.rgb(art.width - (width - x), y), f"right cap column {x}")
        # The three-pixel border profile, left, right and bottom.
        for y in {c + 5, height // 2, height - b - 1} & set(range(c, height - b)):
            for i in range(b):
                add(i, y, art.rgb(i, c + 1), f"left border column {i}")
                add(width - b + i, y, art.rgb(art.width - b + i, c + 1), f"right border column {i}")
        for x in (b + 2, width // 2, width - b - 3):
            for i in range(b):
                add(x, height - b + i, art.rgb(c + 1, art.height - b + i), f"bottom border row {i}")
            # The rows between the client area and the bottom band show the body.
            for i in range(self.extra_rows):
                if height - b - self.extra_rows + i >= c:
                    add(x, height - b - self.extra_rows + i, BODY_COLOUR, f"body row {i}")
            if height - c - b - self.extra_rows > 2:
                add(x, height - b - self.extra_rows - 1, CLIENT_COLOUR, "last client row")
                add(x, c, CLIENT_COLOUR, "first client row")
        for x, y in ((0, 0), (width - 1, 0), (0, height - 1), (width - 1, height - 1)):
            add(x, y, ROOT_COLOUR, "cut corner")
        return found


def game_variant(res):
    return Variant(res, 39, 3, 164, 218, 50, (15, 13), (97, 15), {
        110: (-30, -10, 161), 111: (-52, -32, 162), 112: (-74, -54, 163),
        10: (-265, -225, 165), 11: (-220, -180, 165), 13: (-175, -135, 165), 12: (-130, -90, 165)})


def chat_variant(res):
    return Variant(res, 26, 0, 166, 30, 30, (5, 5), (5, 7), {20: (-25, -5, 161)})


class FrameRun(ScriptCase):
    """One run of the frame program, checked step by step."""

    variant_name = "game"
    place = (200, 150, 800, 500)

    @classmethod
    def setUpClass(cls):
        cls.variant = game_variant(cls.args.res) if cls.variant_name == "game" else chat_variant(cls.args.res)
        swatch = os.path.join(cls.args.out, "root-colour.png")
        run("convert", "-size", "8x8", "xc:#%02x%02x%02x" % ROOT_COLOUR, swatch)
        run("display", "-window", "root", swatch, check=False)
        move_pointer(1900, 1070)
        cls.lines = []
        cls.lock = threading.Lock()
        cls.errors = open(os.path.join(cls.args.out, f"{cls.variant_name}-stderr.log"), "wb")
        cls.program = subprocess.Popen(
            [cls.args.program, cls.variant_name] + [str(v) for v in cls.place],
            env=dict(os.environ, G_DEBUG="fatal-criticals"), stdout=subprocess.PIPE, stderr=cls.errors, text=True)
        threading.Thread(target=cls.read_lines, daemon=True).start()
        cls.window = cls.find_window()

    @classmethod
    def read_lines(cls):
        for line in cls.program.stdout:
            with cls.lock:
                cls.lines.append(line.strip())

    @classmethod
    def tearDownClass(cls):
        stop(cls.program)
        cls.errors.close()
        with open(os.path.join(cls.args.out, f"{cls.variant_name}-events.log"), "w", encoding="utf-8") as f:
            f.write("\n".join(cls.lines) + "\n")

    @classmethod
    def find_window(cls):
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            if cls.program.poll() is not None:
                raise AssertionError(f"the program ended with {cls.program.returncode} before showing its window")
            ids = client_windows(cls.program.pid)
            framed = [w for w in ids if geometry(w) == cls.place]
            if len(framed) == 1:
                return framed[0]
            time.sleep(0.1)
        raise AssertionError(f"no window at {cls.place} appeared")

    # ------------------------------------------------------------ helpers

    def events(self):
        with self.lock:
            return list(self.lines)

    def wait_for(self, condition, seconds=5):
        return poll(condition, seconds, 0.05)

    def wait_events(self, since, wanted, seconds=5):
        """Waits until the events after `since` start with `wanted`; the events."""
        self.wait_for(lambda: self.events()[since:since + len(wanted)] == wanted, seconds)
        return self.events()[since:]

    def state(self):
        text = run("xprop", "-id", self.window, "_NET_WM_STATE", check=False)
        if "_NET_WM_STATE_HIDDEN" in text:
            return "minimised"
        if "_NET_WM_STATE_MAXIMIZED_VERT" in text and "_NET_WM_STATE_MAXIMIZED_HORZ" in text:
            return "maximised"
        return "normal"

    def mapped(self):
        return viewable(self.window)

    def wrong_pixels(self, shot, left, top, probes):
        return [f"{what} ({x}, {y}): {shot.pixel(left + x, top + y)}, not {colour}"
                for x, y, colour, what in probes if not close_to(shot.pixel(left + x, top + y), colour, TOLERANCE)]

    def check_frame(self, name, rect=None, skip_columns=()):
        """Waits until the screen shows the frame at the window's place and
        size (the window manager's), and keeps the screenshot."""
        rect = rect or geometry(self.window)
        left, top, width, height = rect
        probes = self.variant.probes(width, height, skip_columns)
        self.assertGreater(len(probes), 100)
        path = os.path.join(self.args.out, f"{self.variant_name}-{name}.png")
        wrong = []
        for _ in range(30):
            shot = Screenshot(path)
            wrong = self.wrong_pixels(shot, left, top, probes)
            if not wrong:
                return shot
            time.sleep(0.1)
        self.fail(f"{len(wrong)} of {len(probes)} frame pixels wrong at {rect} ({path}): {wrong[:8]}")

    def cell_of(self, shot, id, rect):
        """Which cell of its strip a caption button shows: the index whose
        pixels are nearest, and how far the nearest is."""
        left, top, width, _ = rect
        bx0, by0, bx1, by1 = self.variant.button_rect(id, width)
        _, _, strip = self.variant.buttons[id]
        cell_width = strip.width // 3
        scale = cell_width / (bx1 - bx0)
        # Away from a label: the outer two columns and rows of the button.
        points = [(x, y) for x in range(bx1 - bx0) for y in range(by1 - by0)
                  if min(x, y) < 2 or x >= bx1 - bx0 - 2 or y >= by1 - by0 - 2]
        distances = []
        for cell in range(3):
            worst = 0
            for x, y in points:
                # Bilinear across the cell's columns, its edges padded, as
                # the stretched drawing samples it.
                at = min(max((x + 0.5) * scale - 0.5, 0), cell_width - 1)
                low = int(at)
                high = min(low + 1, cell_width - 1)
                a = strip.rgb(cell * cell_width + low, y)
                z = strip.rgb(cell * cell_width + high, y)
                expected = [p + (q - p) * (at - low) for p, q in zip(a, z)]
                actual = shot.pixel(left + bx0 + x, top + by0 + y)
                worst = max(worst, max(abs(a - e) for a, e in zip(actual, expected)))
            distances.append(worst)
        best = min(range(3), key=lambda i: distances[i])
        return best, distances[best]

    def wait_cell(self, id, cell, name):
        rect = geometry(self.window)
        path = os.path.join(self.args.out, f"{self.variant_name}-button-{id}-{name}.png")
        seen = None
        for _ in range(30):
            shot = Screenshot(path)
            seen = self.cell_of(shot, id, rect)
            # Labelled buttons are 40 wide, their cells 41: resampled.
            button_left, button_right, strip = self.variant.buttons[id]
            exact = strip.width == 3 * (button_right - button_left)
            if seen[0] == cell and seen[1] <= (TOLERANCE if exact else 8):
                return
            time.sleep(0.1)
        self.fail(f"button {id} shows cell {seen[0]} (off by {seen[1]}), not {cell} ({path})")

    def point(self, x, y):
        left, top, _, _ = geometry(self.window)
        return left + x, top + y

    def click_at(self, x, y, repeat=1):
        sx, sy = self.point(x, y)
        move_pointer(sx, sy)
        if repeat == 1:
            run("xdotool", "click", "1")
        else:
            run("xdotool", "click", "--repeat", str(repeat), "--delay", "80", "1")

    def drag(self, start, delta, steps=8):
        """Presses at a screen point, moves by delta in steps, releases."""
        move_pointer(*start)
        run("xdotool", "mousedown", "1")
        for i in range(1, steps + 1):
            time.sleep(0.04)
            run("xdotool", "mousemove", str(start[0] + delta[0] * i // steps), str(start[1] + delta[1] * i // steps))
        time.sleep(0.15)
        run("xdotool", "mouseup", "1")

    def close_by_button(self, id):
        before = len(self.events())
        _, _, width, _ = geometry(self.window)
        x0, y0, x1, y1 = self.variant.button_rect(id, width)
        self.click_at((x0 + x1) // 2, (y0 + y1) // 2)
        self.assert_closed(before, ["syscommand close", "command 2", "end 2"])

    def assert_closed(self, before, wanted):
        try:
            code = self.program.wait(10)
        except subprocess.TimeoutExpired:
            self.fail(f"the window did not close; events {self.events()[before:]}")
        self.assertEqual(code, 0)
        self.assertTrue(self.wait_for(lambda: self.events()[before:] == wanted, 2), self.events()[before:])
        self.assertFalse(self.mapped())


class Game(FrameRun):
    variant_name = "game"

    def test_1_frame_is_drawn_from_the_artwork(self):
        shot = self.check_frame("frame", self.place)
        # The artefact of this run: the whole frame as first drawn.
        run("cp", shot.path, os.path.join(self.args.out, "game-frame-artefact.png"))
        rect = geometry(self.window)
        for id in (110, 111, 112, 10, 11, 13, 12):
            self.assertEqual(self.cell_of(shot, id, rect)[0], 0, f"button {id} is not in its normal cell")

    def test_2_buttons_light_up_press_and_come_back(self):
        _, _, width, _ = geometry(self.window)
        for id in (112, 111, 110, 10):
            with self.subTest(button=id):
                before = len(self.events())
                x0, y0, x1, y1 = self.variant.button_rect(id, width)
                move_pointer(*self.point((x0 + x1) // 2, (y0 + y1) // 2))
                self.wait_cell(id, 1, "hover")
                run("xdotool", "mousedown", "1")
                self.wait_cell(id, 2, "pressed")
                # Off the button onto the bare caption, the button still held.
                move_pointer(*self.point(400, 20))
                self.wait_cell(id, 0, "normal")
                run("xdotool", "mouseup", "1")
                time.sleep(0.3)
                self.assertEqual(self.events()[before:], [], "a release off the button did something")
        # A release over a labelled button is its action.
        before = len(self.events())
        x0, y0, x1, y1 = self.variant.button_rect(10, width)
        self.click_at((x0 + x1) // 2, (y0 + y1) // 2)
        self.assertEqual(self.wait_events(before, ["action 10"]), ["action 10"])
        move_pointer(*self.point(400, 20))
        self.wait_cell(10, 0, "left")
        self.assertEqual(self.state(), "normal")

    def test_3_minimise_and_back(self):
        before = len(self.events())
        _, _, width, _ = geometry(self.window)
        x0, y0, x1, y1 = self.variant.button_rect(112, width)
        self.click_at((x0 + x1) // 2, (y0 + y1) // 2)
        self.assertTrue(self.wait_for(lambda: self.state() == "minimised" and not self.mapped()),
                        f"not minimised: {self.state()}")
        self.assertEqual(self.events()[before], "syscommand minimize")
        run("xdotool", "windowactivate", "--sync", self.window, check=False)
        self.assertTrue(self.wait_for(lambda: self.state() == "normal" and self.mapped()), "not shown again")
        self.assertEqual(geometry(self.window), self.place)
        self.check_frame("after-minimise", self.place)

    def test_4_maximise_and_restore_by_the_button(self):
        before = len(self.events())
        screen = (0, 0, 1920, 1080)
        _, _, width, _ = geometry(self.window)
        x0, y0, x1, y1 = self.variant.button_rect(111, width)
        self.click_at((x0 + x1) // 2, (y0 + y1) // 2)
        self.assertTrue(self.wait_for(lambda: self.state() == "maximised" and geometry(self.window) == screen),
                        f"{self.state()} at {geometry(self.window)}")
        self.assertEqual(self.events()[before], "syscommand maximize")
        self.assertIn("size maximized 0 0 1920 1080", self.events()[before:])
        # Maximised, the corners stay round and the buttons move along.
        self.check_frame("maximised", screen)
        x0, y0, x1, y1 = self.variant.button_rect(111, 1920)
        before = len(self.events())
        self.click_at((x0 + x1) // 2, (y0 + y1) // 2)
        self.assertTrue(self.wait_for(lambda: self.state() == "normal" and geometry(self.window) == self.place),
                        f"{self.state()} at {geometry(self.window)}")
        self.assertEqual(self.events()[before], "syscommand restore")
        self.check_frame("restored", self.place)

    def test_5_caption_double_click_toggles_maximised(self):
        screen = (0, 0, 1920, 1080)
        self.click_at(400, 20, repeat=2)
        self.assertTrue(self.wait_for(lambda: geometry(self.window) == screen and self.state() == "maximised"),
                        f"{self.state()} at {geometry(self.window)}")
        self.check_frame("double-click-maximised", screen)
        self.click_at(400, 20, repeat=2)
        self.assertTrue(self.wait_for(lambda: geometry(self.window) == self.place and self.state() == "normal"),
                        f"{self.state()} at {geometry(self.window)}")
        self.check_frame("double-click-restored", self.place)

    def test_6_caption_drag_moves_the_window(self):
        left, top, width, height = geometry(self.window)
        self.drag((left + 300, top + 20), (150, 100))
        moved = (left + 150, top + 100, width, height)
        self.assertTrue(self.wait_for(lambda: geometry(self.window) == moved), f"at {geometry(self.window)}")
        self.assertEqual(self.state(), "normal")
        self.check_frame("moved", moved)

    def test_7_border_resize_stops_at_the_caption_and_bottom_band(self):
        left, top, width, height = geometry(self.window)
        # From the bottom-right corner: wider, and far up past the minimum.
        self.drag((left + width - 2, top + height - 2), (100, -(top + height)))
        smallest = (left, top, width + 100, 42)
        self.assertTrue(self.wait_for(lambda: geometry(self.window) == smallest), f"at {geometry(self.window)}")
        self.assertTrue(self.wait_for(lambda: f"size restored {' '.join(map(str, smallest))}" in self.events()))
        self.check_frame("smallest", smallest)
        # And larger again from the bottom edge's right end.
        self.drag((left + width + 100 - 2, top + 41), (-200, 358))
        larger = (left, top, width - 100, 400)
        self.assertTrue(self.wait_for(lambda: geometry(self.window) == larger), f"at {geometry(self.window)}")
        self.check_frame("larger", larger)

    def test_8_icon_opens_the_system_menu_whose_close_entry_closes(self):
        before_windows = viewable_toplevels()
        x, y = self.variant.icon[0] + 8, self.variant.icon[1] + 8
        click = self.point(x, y)
        self.click_at(x, y)

        def menus():
            # New on the screen (GTK also maps a helper window off it).
            return [geometry(w) for w in viewable_toplevels() - before_windows if geometry(w)[0] >= 0]

        self.assertTrue(self.wait_for(lambda: len(menus()) == 1), f"no menu appeared: {menus()}")
        mx, my, mw, mh = menus()[0]
        self.assertEqual((mx, my), click, "the menu's top-left corner is not at the press")
        self.assertGreater(mh, 6 * 20, "the menu is too short for its entries")
        shot = Screenshot(os.path.join(self.args.out, "game-system-menu.png"))
        # The menu is on top of the frame: its light face where the caption was.
        self.assertTrue(all(sum(shot.pixel(mx + dx, my + dy)) > 450 for dx, dy in ((40, mh // 2), (mw - 20, mh - 8))),
                        f"no menu on the screen ({shot.path})")
        before = len(self.events())
        # The close entry is the last one.
        move_pointer(mx + 40, my + mh - 16)
        time.sleep(0.2)
        run("xdotool", "click", "1")
        self.assert_closed(before, ["menu-closed", "syscommand close", "command 2", "end 2"])


class Chat(FrameRun):
    variant_name = "chat"
    place = (300, 200, 434, 386)

    def test_1_frame_is_drawn_from_the_artwork(self):
        shot = self.check_frame("frame", self.place)
        self.assertEqual(self.cell_of(shot, 20, self.place)[0], 0)

    def test_2_caption_double_click_changes_nothing(self):
        before = len(self.events())
        self.click_at(217, 13, repeat=2)
        time.sleep(1.0)
        self.assertEqual(self.events()[before:], [])
        self.assertEqual(geometry(self.window), self.place)
        self.assertEqual(self.state(), "normal")
        self.check_frame("after-double-click", self.place)

    def test_3_close_button_closes(self):
        self.close_by_button(20)


if __name__ == "__main__":
    args, rest = arguments("program", "res", "out")
    require_display()
    run_cases(args, rest)
