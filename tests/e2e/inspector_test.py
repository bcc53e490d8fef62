#!/usr/bin/python3
"""Page inspection in the real client (KQV_INSPECT=1), end to end.

Run inside a display session (tools/xsession.sh run -- ...): the game run
of client_runs.py against the stand-in of e2e_support.py. One client run per case, driven by real keys and clicks:

    Composited      the engine's compositing on (WEBKIT_DISABLE_COMPOSITING_MODE=0)
    NotComposited   the client's default, compositing off

In each: F12 in the launcher's login page opens the inspector in a window of
its own, and the window's close ends it; after the login, the game page's
context menu has the inspector's entry (its last), which opens the inspector
in a window of its own as well.
"""

import os
import time

from client_runs import GameRun
from e2e_support import (BROWSER, SCREEN, client_windows, geometry, move_pointer, run, run_cases_with_stand_in,
                         viewable, viewable_toplevels, window_name)

TITLE = "Web Inspector"


class Inspection(GameRun):
    compositing = "1"

    @classmethod
    def setUpClass(cls):
        cls.extra_env = {"KQV_INSPECT": "1", "WEBKIT_DISABLE_COMPOSITING_MODE": cls.compositing}
        super().setUpClass()

    def inspectors(self):
        return [w for w in client_windows(self.client.pid) if window_name(w) == TITLE and viewable(w)]

    def test_1_f12_in_the_login_page_opens_the_inspector_in_a_window(self):
        self.wait_for_login_page(os.path.join(self.args.out, f"{self.name}-login.png"))
        self.assertEqual(self.inspectors(), [])
        self.click(40, 40)  # the page, away from its fields
        run("xdotool", "key", "F12")
        window = self.wait_for(self.inspectors, 20, "F12 opened no inspector window")[0]
        x, y, w, h = geometry(window)
        self.assertGreater(w, BROWSER[2] // 2, "the inspector's window is too small to be its own")
        run("xdotool", "windowactivate", "--sync", window, check=False)
        run("xdotool", "key", "alt+F4")
        self.wait_for(lambda: not self.inspectors(), 10, "the inspector's window stayed after its close")
        self.assertIsNone(self.client.poll(), "closing the inspector ended the client")

    def test_2_the_game_pages_menu_opens_the_inspector_in_a_window(self):
        self.fill_and_submit("Return")
        self.wait_for(self.game_window, 15, "no game window")
        self.wait_for(lambda: self.seen("version"), 15, "the game page never loaded")
        before = viewable_toplevels()
        move_pointer(SCREEN[0] // 2, 500)
        run("xdotool", "click", "3")
        self.wait_for(lambda: viewable_toplevels() - before, 5, "no menu appeared on a right click")
        time.sleep(0.3)
        run("xdotool", "key", "Up", "Return")  # the menu's last entry: inspect the element
        self.wait_for(self.inspectors, 20, "the menu's inspector entry opened no inspector window")
        self.assertIsNotNone(self.game_window(), "the game window went")


class Composited(Inspection):
    name = "inspect-composited"
    compositing = "0"


class NotComposited(Inspection):
    name = "inspect"
    compositing = "1"


del Inspection  # only its cases run


if __name__ == "__main__":
    run_cases_with_stand_in("client", "out")
