#!/usr/bin/python3
"""The VIP service chat beside the game window, end to end (platform "360").

Run inside a display session (tools/xsession.sh run -- ...). One client run,
its steps in order, on the stand-in whose service names the contact and
whose chat page reports the messages delivered through a switch; driven by
real pointer events and judged by screenshots, the window manager's view
of the windows and the stand-in's request log:

    after the login the game window shows and no chat window; the VIP
    button appears; a delivered message lights it with its highlight cell;
    pressing it clears the light and shows the chat window with our frame,
    the contact in its title and the chat page; its close button hides it;
    the VIP button shows the same window with its page's count unchanged;
    刷新 while it is shown loads the chat page again and puts the window back
    at the game window's right edge, and no second chat window is made;
    minimising the game window hides the chat window with it.
"""

import os
import time

from client_runs import GameRun
from e2e_support import (SCREEN, Screenshot, client_windows, close_to, geometry, move_pointer, run,
                         run_cases_with_stand_in, viewable, window_name)

W = SCREEN[0]
VIP = (W - 340, 20)        # the VIP button's middle (W - 395 .. W - 285)
VIP_PLAIN = (W - 300, 20)  # right of its label, clear of the strip's cell border
VIP_ICON = ((W - 395 + 8, 10 + 6), (245, 194, 91))  # an opaque pixel of its icon, gold
# Strip 165's cells at the button's middle row: normal, highlight, pressed.
CELLS = {"normal": (66, 33, 24), "highlight": (116, 58, 34), "pressed": (46, 22, 15)}
CHAT_NAME = "客服12"
CHAT_PAGE = (0xFF, 0xFA, 0xF0)


class ChatWindow(GameRun):
    name = "chat"
    modes = {}

    def chat_window(self):
        for w in client_windows(self.client.pid):
            if window_name(w).endswith("正在和您通话") and viewable(w):
                return w
        return None

    def chat_pages(self):
        return [e for e in self.requests() if e["path"] == "/vip/chat.html"]

    def vip_cell(self, what):
        """The VIP button is shown, its icon drawn, in that cell of its strip."""
        shot = Screenshot(os.path.join(self.args.out, f"chat-vip-{what}.png"))
        return close_to(shot.pixel(*VIP_ICON[0]), VIP_ICON[1], 12) and \
            close_to(shot.pixel(*VIP_PLAIN), CELLS[what], 10)

    def test_1_the_game_comes_with_the_vip_button_and_no_chat_window(self):
        self.wait_for_login_page(os.path.join(self.args.out, "chat-login.png"))
        self.fill_and_submit("Return")
        self.wait_for(self.game_window, 15, "no game window")
        self.wait_for(lambda: self.chat_pages(), 15, "the chat page was never loaded")
        move_pointer(W // 2, SCREEN[1] // 2)
        self.wait_for(lambda: self.vip_cell("normal"), 10, "the VIP button did not appear")
        self.assertIsNone(self.chat_window(), "the chat window showed by itself")

    def test_2_a_message_lights_the_button_and_pressing_it_shows_the_chat(self):
        self.stand_in.state.set_modes({"vip_messages": "1"})
        self.wait_for(lambda: self.vip_cell("highlight"), 10, "the VIP button did not light up")
        self.assertIsNone(self.chat_window(), "a message showed the chat window")
        move_pointer(*VIP)
        run("xdotool", "mousedown", "1")
        self.wait_for(lambda: self.vip_cell("pressed"), 5, "the pressed VIP button")
        run("xdotool", "mouseup", "1")
        chat = self.wait_for(self.chat_window, 10, "the VIP button did not show the chat window")
        # The page's name is kept apart from the client's words around it.
        self.assertEqual(window_name(chat), f"\u2068{CHAT_NAME}\u2069 正在和您通话")
        # Off the button along the caption: the light is gone, the plain cell back.
        move_pointer(W // 2, 20)
        self.wait_for(lambda: self.vip_cell("normal"), 5, "the light stayed on after the press")
        x, y, w, h = geometry(chat)
        self.assertEqual((w, h), (440, 415), "the chat window is not 434 x 386 inside a standard frame")
        shot = Screenshot(os.path.join(self.args.out, "game-with-chat.png"))
        # Its page in the client area, its frame's caption above it.
        self.assertTrue(close_to(shot.pixel(x + 200, y + 300), CHAT_PAGE, 6), "no chat page in the window")
        self.assertFalse(close_to(shot.pixel(x + 100, y + 10), CHAT_PAGE, 30), "no caption above the page")

    def test_3_close_hides_and_the_vip_button_brings_back_the_same_page(self):
        chat = self.chat_window()
        x, y, w, h = geometry(chat)
        before = Screenshot(os.path.join(self.args.out, "chat-before-close.png")).region(x + 3, y + 26, w - 6, h - 29)
        pages = len(self.chat_pages())
        move_pointer(x + w - 15, y + 13)  # its close button
        run("xdotool", "click", "1")
        self.wait_for(lambda: self.chat_window() is None, 5, "the close button did not hide the chat window")
        self.press_vip()
        again = self.wait_for(self.chat_window, 10, "the VIP button did not show the chat window again")
        self.assertEqual(again, chat, "another chat window came")
        move_pointer(W // 2, SCREEN[1] // 2)
        time.sleep(0.5)
        after = Screenshot(os.path.join(self.args.out, "chat-after-show.png")).region(x + 3, y + 26, w - 6, h - 29)
        self.assertEqual(after, before, "the chat page changed while hidden (its count is gone)")
        self.assertEqual(len(self.chat_pages()), pages, "the chat page was loaded again")

    def press_vip(self):
        move_pointer(*VIP)
        time.sleep(0.2)
        run("xdotool", "click", "1")

    def test_4_refresh_sends_the_chat_back_to_its_place_without_a_second_window(self):
        chat = self.chat_window()
        run("xdotool", "windowmove", "--sync", str(chat), "200", "200", check=False)
        pages = len(self.chat_pages())
        self.press("refresh")
        self.wait_for(lambda: len(self.chat_pages()) == pages + 1, 10, "刷新 did not load the chat page again")
        # The client area (W - 434, 80) .. (W, 466) inside the standard frame.
        self.wait_for(lambda: geometry(chat) == (W - 437, 54, 440, 415), 10,
                      f"the chat window is at {geometry(chat)}, not at the game window's right edge")
        # The reloaded page's title shows until the page names the contact again.
        self.wait_for(lambda: self.chat_window() == chat, 10, "the chat window lost its contact's name")
        chats = [w for w in client_windows(self.client.pid) if "正在和您通话" in window_name(w)
                 or window_name(w) in ("客服", "VIP专员")]
        self.assertEqual(chats, [chat], "more than one chat window")

    def test_5_minimising_the_game_hides_the_chat(self):
        game = self.game_window()
        self.press("minimise")
        self.wait_for(lambda: self.chat_window() is None, 10, "the chat window stayed up with the game minimised")
        # Restored, the game brings its chat window back; the run then ends
        # through the windows' own close paths.
        run("xdotool", "windowactivate", game, check=False)
        self.wait_for(self.game_window, 10, "the game window did not come back")
        self.wait_for(self.chat_window, 10, "the chat window did not come back with the game")


if __name__ == "__main__":
    run_cases_with_stand_in("client", "out")
