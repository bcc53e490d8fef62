#!/usr/bin/python3
"""The launcher's browser when the platform's pages fail, end to end.

Run inside a display session (tools/xsession.sh run -- ...): the launcher
run of client_runs.py against the stand-in of e2e_support.py, on a private
loopback where the machine allows one. The client runs with
G_DEBUG=fatal-criticals, so a GTK or WebKit critical ends it. Its "system
browser" (BrowserRun) writes each address it is handed to a file.

One client run per case class, driven by real pointer and keyboard events,
judged by screenshots of the panel, the client's windows, its web processes
and the stand-in's request log:

    StandInDown         the stand-in is down: our page shows in the panel; once
                        it is back, the retry button loads the login page
    CrashingPage        the page's process is ended each time the page has
                        loaded: three reloads, then our page
    RunawayPage         a page allocating without end is stopped at the memory
                        bound, not reloaded; the close button still asks, and
                        the client ends on the yes
    PopupEntryByScript  window.open with the game entry hands it off
    PopupEntryByLink    a target=_blank link to the game entry hands it off
    PopupOthers         other addresses, both ways, open in the system browser
"""

import os
import signal
import threading
import time

from client_runs import ENTRY_PATH, BrowserRun
from e2e_support import (BASE, BROWSER, CLOSE_BUTTON, client_windows, close_to, geometry, net_wm_state, run,
                         run_cases_with_stand_in)

import pages_browser  # noqa: E402  (tools/sandbox, put on the path by e2e_support)
import pages_platform  # noqa: E402

PARCHMENT = pages_platform.BACKGROUND
# Our error page (src/platform/gtk/BrowserErrorPage.cpp): a card of 360 x 230
# in the middle of the browser, the retry button 65 pixels below the middle.
CARD = (255, 250, 240)
BRICK = (181, 69, 43)
WHITE = (255, 255, 255)
MIDDLE = (BROWSER[2] // 2, BROWSER[3] // 2)
RETRY = (MIDDLE[0], MIDDLE[1] + 65)
# Points inside our card, clear of its text, that lie outside the login
# page's card (x 298..598): parchment there.
CARD_ONLY = [(MIDDLE[0] - 168, MIDDLE[1] - 40), (MIDDLE[0] + 162, MIDDLE[1] + 97)]
# Inside the login page's empty user-name field: white there, card or text on ours.
USERNAME_FIELD = (pages_platform.LAYOUT["username"][0] + 12, pages_platform.LAYOUT["username"][1] + 17)


def alive(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def web_processes(parent):
    """The client's web processes (one per view), by id."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        name = stat[stat.index("(") + 1:stat.rindex(")")]
        state, ppid = stat[stat.rindex(")") + 2:].split()[:2]
        if int(ppid) == parent and name.startswith("WebKitWebProces") and state != "Z":
            found.append(int(entry))
    return found


def rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


class ErrorPageRun(BrowserRun):
    """A browser run that tells our error page from the login page."""

    def shows_error_page(self, shot):
        return (self.shows_page(shot)
                and all(close_to(self.pixel(shot, p), CARD) for p in CARD_ONLY)
                and close_to(self.pixel(shot, RETRY), BRICK, 6))

    def shows_login_page(self, shot):
        return (self.shows_page(shot)
                and all(close_to(self.pixel(shot, p), PARCHMENT) for p in CARD_ONLY)
                and close_to(self.pixel(shot, USERNAME_FIELD), WHITE))

    def wait_for_error_page(self, what, seconds=20):
        def shown():
            return self.shows_error_page(self.shot(what))

        self.wait_for(shown, seconds, f"our page never showed in the panel ({what})")
        self.assert_launcher_in_place()

    def logins(self):
        return [e for e in self.requests() if e["path"] == "/mini/login.html"]

    def click_retry(self):
        self.click(*RETRY)


class StandInDown(ErrorPageRun):
    name = "down"

    @classmethod
    def setUpClass(cls):
        cls.stand_in.down()
        super().setUpClass()

    @classmethod
    def tearDownClass(cls):
        cls.stand_in.up()
        super().tearDownClass()

    def test_our_page_shows_and_its_retry_loads_the_login_page_once_the_stand_in_is_back(self):
        self.wait_for_error_page("unreachable")
        # The engine's English page, or an empty panel, would fail the
        # colours; the address stays the same whatever page shows.
        self.stand_in.up()
        time.sleep(1.5)
        shot = self.shot("back-before-retry")
        self.assertTrue(self.shows_error_page(shot), f"our page went before the retry ({shot.path})")
        self.assertEqual(self.logins(), [], "the page was loaded again without the player asking")

        self.click_retry()
        self.wait_for(lambda: self.shows_login_page(self.shot("after-retry")), 15,
                      "the retry did not bring the login page")
        time.sleep(1.0)  # a second request, if one were coming
        self.assertEqual(len(self.logins()), 1, f"the login page was asked for {len(self.logins())} times")
        self.assert_launcher_in_place()
        self.client_running()


class CrashingPage(ErrorPageRun):
    name = "crash"
    modes = {"login": "crash"}

    def test_three_reloads_then_our_page(self):
        kills = []
        stop = threading.Event()

        def crash_each_load():
            # Each time the page has loaded and said so, its process ends.
            seen = 0
            while not stop.is_set():
                beacons = [e for e in self.requests() if e["path"] == "/browser/beacon"]
                for _ in beacons[seen:]:
                    ended = web_processes(self.client.pid)
                    for pid in ended:
                        os.kill(pid, signal.SIGKILL)
                    kills.append(ended)
                seen = len(beacons)
                time.sleep(0.05)

        killer = threading.Thread(target=crash_each_load, daemon=True)
        killer.start()
        try:
            self.wait_for_error_page("crashed", 40)
            time.sleep(2.0)  # a further reload, if one were coming
        finally:
            stop.set()
            killer.join()
        self.assertEqual(len(self.logins()), 4, "not the first load and three reloads")
        self.assertEqual(len(kills), 4, f"processes ended at each load: {kills}")
        self.assertTrue(all(kills), f"a load's process was not found: {kills}")
        shot = self.shot("crashed-later")
        self.assertTrue(self.shows_error_page(shot), f"our page did not stay ({shot.path})")
        self.client_running()

        # A retry starts afresh, and the page that no longer crashes loads.
        self.stand_in.state.set_modes({"login": "normal"})
        self.click_retry()
        self.wait_for(lambda: self.shows_login_page(self.shot("after-retry")), 15,
                      "the retry did not bring the login page")
        self.assertEqual(len(self.logins()), 5)


class RunawayPage(ErrorPageRun):
    name = "runaway"
    modes = {"login": "runaway"}

    def test_the_page_is_stopped_and_the_client_answers(self):
        # The page is in the panel, so its process is the one that runs it.
        self.wait_for(lambda: self.shows_page(self.shot("runaway")), 20, "the page never filled the panel")
        peak = {pid: 0 for pid in web_processes(self.client.pid)}
        self.assertTrue(peak, "no web process")
        started = time.monotonic()

        def stopped():
            for pid in peak:
                peak[pid] = max(peak[pid], rss_kib(pid))
            return not all(alive(pid) for pid in peak) and self.shows_error_page(self.shot("stopped"))

        self.wait_for(stopped, 60, "the runaway page was not stopped")
        print(f"runaway page stopped after {time.monotonic() - started:.1f} s; its process peaked at "
              f"{max(peak.values()) / 1024:.0f} MiB (sampled)", flush=True)
        self.assert_launcher_in_place()
        time.sleep(1.5)  # a reload, if one were coming
        self.assertEqual(len(self.logins()), 1, "the runaway page was loaded again")
        self.assertTrue(self.shows_error_page(self.shot("stopped-later")))

        # The close button still asks its question, and a yes ends the client.
        before = set(client_windows(self.client.pid))
        left, top, _, _ = geometry(self.overlay)
        run("xdotool", "mousemove", "--sync", str(left + CLOSE_BUTTON[0]), str(top + CLOSE_BUTTON[1]))
        run("xdotool", "click", "1")
        self.wait_for(lambda: set(client_windows(self.client.pid)) - before, 10, "the close button did not ask")
        self.shot("close-asked")
        self.client_running()
        run("xdotool", "key", "y")
        self.wait_for(lambda: self.client.poll() is not None, 10, "the client did not end on the yes")
        self.assertEqual(self.client.returncode, 0)


class PopupRun(BrowserRun):
    modes = {"login": "popups"}

    def setUp(self):
        self.wait_for(lambda: self.shows_page(self.shot("popups")), 20, "the pop-up page never filled the panel")

    def click_button(self, name):
        x, y, w, h = pages_browser.POPUPS[name]
        self.click(x + w // 2, y + h // 2)

    def expect_hand_off(self, address):
        """The launcher ends without loading the address; the game window loads it, once."""
        def launcher_gone():
            early = [e for e in self.requests() if e["path"] == ENTRY_PATH]
            still_open = self.launcher_open()
            self.assertFalse(early and still_open, f"the game entry was loaded while the launcher was open: {early}")
            return not still_open

        self.wait_for(launcher_gone, 15, "the launcher did not end")

        def game_window():
            return [w for w in client_windows(self.client.pid)
                    if w not in (self.splash, self.overlay) and "MAXIMIZED_VERT" in net_wm_state(w)]

        self.wait_for(game_window, 15, "no maximised game window appeared")
        self.wait_for(self.entry_requests, 15, "the game window never asked for the game entry")
        time.sleep(1.0)
        loaded = self.entry_requests()
        self.assertEqual([BASE + e["target"] for e in loaded], [address])
        self.assertEqual(loaded[0].get("status"), 200)
        self.shot("game")
        self.assertEqual(self.opened(), [], "the system browser got something")
        self.client_running()


class PopupEntryByScript(PopupRun):
    name = "popup-entry-script"

    def test_window_open_with_the_game_entry_hands_it_off(self):
        self.click_button("entry_script")
        self.expect_hand_off(pages_browser.popup_entry(BASE))


class PopupEntryByLink(PopupRun):
    name = "popup-entry-link"

    def test_a_blank_target_link_to_the_game_entry_hands_it_off(self):
        self.click_button("entry_link")
        self.expect_hand_off(pages_browser.popup_entry(BASE))


class PopupOthers(PopupRun):
    name = "popup-others"

    def test_other_addresses_open_in_the_system_browser_either_way(self):
        expected = []
        for how in ("script", "link"):
            before = self.shot(f"before-{how}")
            self.click_button(f"other_{how}")
            expected.append(pages_browser.other_address(BASE, how))
            self.wait_for(lambda: self.opened() == expected, 10, f"the system browser did not get {expected}")
            time.sleep(0.5)
            after = self.shot(f"after-{how}")
            self.assertTrue(after.region(*self.browser) == before.region(*self.browser),
                            f"the panel changed ({after.path})")
            self.assertTrue(self.launcher_open())
        time.sleep(1.0)
        self.assertEqual(self.opened(), expected, "an address went to the system browser twice")
        self.assertEqual([e for e in self.requests() if e["path"] in ("/index.html", ENTRY_PATH)], [],
                         "the client itself loaded an address it handed on")
        self.assert_launcher_in_place()
        self.client_running()


if __name__ == "__main__":
    run_cases_with_stand_in("client", "out")
