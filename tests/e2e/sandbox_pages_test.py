#!/usr/bin/python3
"""The stand-in platform's own pages over real HTTP, without a display.

The launcher test relies on these answers (the redirect's shape, the form in
its frame, the request log's fields); here each one is checked alone, so a
fault in the stand-in shows as such and not as a client failure.
"""

import json
import pathlib
import re
import shlex
import sys
import threading
import unittest
import urllib.error
import urllib.parse
import urllib.request
from urllib.parse import parse_qs, urlsplit

SANDBOX_DIR = pathlib.Path(__file__).resolve().parents[2] / "tools" / "sandbox"
sys.path.insert(0, str(SANDBOX_DIR))

import pages_browser  # noqa: E402
import pages_platform  # noqa: E402
import pages_standin  # noqa: E402
import sandbox  # noqa: E402
from routes import SandboxState  # noqa: E402


class NoRedirects(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args, **kwargs):
        return None


OPENER = urllib.request.build_opener(NoRedirects, urllib.request.ProxyHandler({}))


class StandIn(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        sandbox.load_pages()
        cls.state = SandboxState()
        cls.server = sandbox.make_server("127.0.0.1", 0, cls.state)
        cls.base = f"http://127.0.0.1:{cls.state.port}"
        threading.Thread(target=cls.server.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()

    def setUp(self):
        self.state.reset()

    def fetch(self, path, data=None, headers=None):
        """(status, headers, body text) without following redirects."""
        request = urllib.request.Request(self.base + path, data=data, headers=headers or {})
        try:
            with OPENER.open(request, timeout=10) as answer:
                return answer.status, answer.headers, answer.read().decode("utf-8")
        except urllib.error.HTTPError as error:
            return error.code, error.headers, error.read().decode("utf-8")

    def log(self):
        return [json.loads(line) for line in self.state.log_lines().splitlines()]

    def login(self, method, user, password="pw"):
        form = f"username={user}&password={password}"
        if method == "POST":
            return self.fetch("/mini/dologin", form.encode(), {"Content-Type": "application/x-www-form-urlencoded"})
        return self.fetch("/mini/dologin?" + form)


class LoginPage(StandIn):
    def test_form_fields_and_method(self):
        for switch, method in (("normal", "post"), ("get", "get")):
            with self.subTest(login_method=switch):
                self.state.set_modes({"login_method": switch})
                status, _, body = self.fetch("/mini/login.html")
                self.assertEqual(status, 200)
                for field in ("username", "password", "submit"):
                    self.assertIn(f'id="{field}"', body)
                self.assertRegex(body, rf'<form id="login" method="{method}" action="/mini/dologin"')
                self.assertNotIn("<iframe", body)

    def test_iframe_switch_moves_the_form_into_a_frame(self):
        self.state.set_modes({"login": "iframe"})
        _, _, outer = self.fetch("/mini/login.html")
        self.assertIn('<iframe id="frame" src="/mini/login_form.html"', outer)
        self.assertNotIn("<form", outer)
        _, _, inner = self.fetch("/mini/login_form.html")
        self.assertIn('<form id="login"', inner)
        # Both fill the panel exactly, so the form lies at the same place.
        width, height = pages_platform.PANEL
        for body in (outer, inner):
            self.assertIn(f"width: {width}px; height: {height}px; overflow: hidden", body)

    def test_layout_fits_the_panel(self):
        width, height = pages_platform.PANEL
        card = pages_platform.LAYOUT["card"]
        for name, (x, y, w, h) in pages_platform.LAYOUT.items():
            with self.subTest(part=name):
                self.assertTrue(0 <= x and x + w <= width and 0 <= y and y + h <= height)
                if name != "card":
                    self.assertTrue(card[0] <= x and x + w <= card[0] + card[2]
                                    and card[1] <= y and y + h <= card[1] + card[3])


class LoginRedirect(StandIn):
    ENTRY = re.compile(r"http://127\.0\.0\.1:\d+/game/login\.php\?uid=([^&]*)&server_id=S12&time=(\d+)&sign=([0-9a-f]{32})")

    def test_both_methods_redirect_to_a_signed_game_entry(self):
        cases = [
            ("POST", "player01", "player01"),
            ("GET", "player01", "player01"),
            ("POST", "qa+tester+7", "qa%20tester%207"),  # form blanks come back escaped
            ("GET", "%E7%8E%A9%E5%AE%B6", "%E7%8E%A9%E5%AE%B6"),  # UTF-8 name
            ("POST", "a%26b%3Dc", "a%26b%3Dc"),  # separators stay inside the value
        ]
        for method, sent, uid in cases:
            with self.subTest(method=method, user=sent):
                status, headers, _ = self.login(method, sent)
                self.assertEqual(status, 302)
                location = headers["Location"]
                match = self.ENTRY.fullmatch(location)
                self.assertIsNotNone(match, location)
                self.assertEqual(match.group(1), uid)
                # The address as handed on is the one the game page accepts.
                status, _, body = self.fetch(location[len(self.base):])
                self.assertEqual(status, 200)
                self.assertIn('id="server_id">S12<', body)

    def test_altered_entry_addresses_are_refused(self):
        _, headers, _ = self.login("POST", "player01")
        target = headers["Location"][len(self.base):]
        query = parse_qs(urlsplit(target).query)
        altered = {
            "other server": target.replace("server_id=S12", "server_id=S13"),
            "other user": target.replace("uid=player01", "uid=player02"),
            "other time": target.replace(f"time={query['time'][0]}", f"time={int(query['time'][0]) + 1}"),
            "no sign": target.split("&sign=")[0],
            "no user": target.replace("uid=player01", "uid="),
        }
        for name, path in altered.items():
            with self.subTest(name):
                self.assertEqual(self.fetch(path)[0], 403)

    def test_empty_user_gets_the_form_again(self):
        for method, user in (("POST", ""), ("GET", "+++")):
            with self.subTest(method=method, user=user):
                status, headers, body = self.login(method, user)
                self.assertEqual(status, 200)
                self.assertNotIn("Location", headers)
                self.assertIn('id="error"', body)
                self.assertIn('<form id="login"', body)


class PlatformPages(StandIn):
    def test_built_in_addresses_answer(self):
        paths = ["/index.html", "/cs?type=game&gamekey=qelu", "/forum-2959-1.html",
                 "/order.html?gkey=qelu&skey=S1&qid=", "/report/firstopen?&mac=001A2B3C4D5E&time=11:04:05 GMT+0800"]
        for path in paths:
            with self.subTest(path=path):
                self.assertEqual(self.fetch(path.replace(" ", "%20"))[0], 200)
        self.assertEqual(self.fetch("/report/firstopen")[2], "ok")
        self.assertEqual([e["path"] for e in self.log()],
                         ["/index.html", "/cs", "/forum-2959-1.html", "/order.html", "/report/firstopen",
                          "/report/firstopen"])

    def test_first_open_report_keeps_the_query_as_sent(self):
        # The report's time goes out unescaped, plus sign included; the raw
        # query is what tells it apart from an escaped blank.
        self.fetch("/report/firstopen?&mac=001A2B3C4D5E&time=11:04:05%20GMT+0800")
        entry = self.log()[-1]
        self.assertEqual(entry["params"]["mac"], "001A2B3C4D5E")
        self.assertEqual(entry["query"], "&mac=001A2B3C4D5E&time=11:04:05%20GMT+0800")


class BrowserVariants(StandIn):
    """The login address's misbehaving pages (pages_browser.py)."""

    def test_each_switch_serves_its_page_at_the_login_address(self):
        width, height = pages_platform.PANEL
        cases = [
            ("crash", "/browser/beacon?page=crash"),
            ("runaway", "if (kept.length < 256) kept.push(new Uint8Array(16 * 1024 * 1024).fill(7))"),
            ("popups", 'target="_blank"'),
        ]
        for switch, marker in cases:
            with self.subTest(login=switch):
                self.state.set_modes({"login": switch})
                status, _, body = self.fetch("/mini/login.html")
                self.assertEqual(status, 200)
                self.assertIn(marker, body)
                self.assertNotIn('<form id="login"', body)
                self.assertIn(f"width: {width}px; height: {height}px; overflow: hidden", body)
        self.state.set_modes({"login": "normal"})
        self.assertIn('<form id="login"', self.fetch("/mini/login.html")[2])

    def test_popups_offer_a_valid_game_entry_and_another_page_each_way(self):
        self.state.set_modes({"login": "popups"})
        _, _, body = self.fetch("/mini/login.html")
        entry = pages_browser.popup_entry(self.base)
        self.assertEqual(body.count(entry.replace("&", "&amp;")), 2)
        for how in ("script", "link"):
            self.assertIn(pages_browser.other_address(self.base, how), body)
        self.assertIn('onclick="window.open(this.dataset.address)"', body)
        # The entry is one the game page accepts, as the login's would be.
        self.assertEqual(self.fetch(entry[len(self.base):])[0], 200)
        width, height = pages_platform.PANEL
        rects = list(pages_browser.POPUPS.values())
        for x, y, w, h in rects:
            self.assertTrue(0 <= x and x + w <= width and 0 <= y and y + h <= height)
        for i, (x, y, w, h) in enumerate(rects):
            for ox, oy, ow, oh in rects[i + 1:]:
                self.assertTrue(x + w <= ox or ox + ow <= x or y + h <= oy or oy + oh <= y, "buttons overlap")

    def test_beacon_is_logged_and_answers_nothing(self):
        status, _, body = self.fetch("/browser/beacon?page=crash&at=1")
        self.assertEqual((status, body), (204, ""))
        self.assertEqual([(e["path"], e["params"].get("page")) for e in self.log()], [("/browser/beacon", "crash")])


class RequestLog(StandIn):
    def test_entries_record_request_and_answer(self):
        self.login("POST", "player01", "secret")
        self.fetch("/mini/login.html", headers={"Referer": "http://x/y", "User-Agent": "probe/1"})
        self.fetch("/nowhere?a=1")
        self.fetch("/__mode?login=iframe")
        self.fetch("/__log")
        entries = self.log()
        self.assertEqual([e["seq"] for e in entries], [1, 2, 3], "control requests are not logged")
        posted, page, missing = entries
        self.assertEqual((posted["method"], posted["target"], posted["status"]), ("POST", "/mini/dologin", 302))
        self.assertEqual(posted["body"], "username=player01&password=secret")
        self.assertTrue(posted["location"].startswith(self.base + "/game/login.php?uid=player01&"))
        self.assertEqual(posted["headers"]["Content-Type"], "application/x-www-form-urlencoded")
        self.assertEqual((page["method"], page["status"], page["body"]), ("GET", 200, ""))
        self.assertEqual(page["headers"]["Referer"], "http://x/y")
        self.assertEqual(page["user_agent"], "probe/1")
        self.assertNotIn("location", page)
        self.assertEqual((missing["target"], missing["query"], missing["status"]), ("/nowhere?a=1", "a=1", 404))


class StandInScripts(StandIn):
    """The blocks the Windows tests' stand-in control reads in each page."""

    BLOCK = re.compile(r'<script type="text/x-kqv-standin">\n(.*?)</script>', re.S)

    def script(self, path):
        status, _, body = self.fetch(path)
        self.assertEqual(status, 200, path)
        return [line for found in self.BLOCK.findall(body) for line in found.splitlines() if line.strip()]

    def game_path(self):
        return urlsplit(pages_platform.entry_address(self.base, "wine", 1767225600)).path + "?" + \
            urlsplit(pages_platform.entry_address(self.base, "wine", 1767225600)).query

    def test_login_clicks_the_button_with_what_the_form_sends(self):
        x, y, w, h = pages_platform.LAYOUT["submit"]
        for switch, line in (("normal", f"submit {x} {y} {w} {h} /mini/dologin username=wine password=wine"),
                             ("get", f"link {x} {y} {w} {h} /mini/dologin?username=wine&password=wine")):
            with self.subTest(login_method=switch):
                self.state.set_modes({"login_method": switch})
                self.assertEqual(self.script("/mini/login.html"), ["fetch /mini/loaded?at=standin", line])
                self.assertEqual(self.script("/mini/login_form.html"), [line])
        # What the click sends is a login the platform takes.
        status, headers, _ = self.login("POST", "wine", "wine")
        self.assertEqual(status, 302)
        self.assertIn("/game/login.php?uid=wine&server_id=S12&", headers["Location"])

    def test_iframe_login_loads_the_form_as_a_frame(self):
        self.state.set_modes({"login": "iframe"})
        outer = self.script("/mini/login.html")
        self.assertIn("frame /mini/login_form.html", outer)
        self.assertFalse([line for line in outer if line.startswith("submit")])
        self.assertTrue(self.script("/mini/login_form.html")[0].startswith("submit "))

    def test_game_and_chat_reach_window_external_as_their_scripts_do(self):
        chat = "/vip/chat.html?gs=" + urllib.parse.quote('客服 "01"')
        cases = (
            ("normal", self.game_path(), ["fetch /game/asset.js", "read getAppVersion", "call getAppVersion"]),
            ("read", self.game_path(), ["fetch /game/asset.js", "read getAppVersion"]),
            ("normal", chat, ["read getGsName", 'call getGsName "客服 \\"01\\""',
                              "poll 500 /vip/messages getNewMsg 消息"]),
            ("read", chat, ["read getGsName", "read getNewMsg"]),
        )
        for switch, path, lines in cases:
            with self.subTest(externals=switch, page=path.split("?")[0]):
                self.state.set_modes({"externals": switch})
                self.assertEqual(self.script(path), lines)
        # The contact's name comes back whole from the quoted word.
        self.state.reset()
        call = self.script(chat)[1]
        self.assertEqual(shlex.split(call), ["call", "getGsName", '客服 "01"'])

    def test_reports_are_logged_and_answer_nothing(self):
        for seq in ("2", "1"):
            status, _, body = self.fetch(f"/standin/report?event=call&seq={seq}&url=u&name=getGsName&hr=0x0")
            self.assertEqual((status, body), (204, ""))
        found = pages_standin.reports(self.log())
        self.assertEqual([(r["seq"], r["event"], r["name"]) for r in found],
                         [("1", "call", "getGsName"), ("2", "call", "getGsName")])


if __name__ == "__main__":
    unittest.main(verbosity=2)
