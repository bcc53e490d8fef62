"""The platform's own pages: login, the game entry, home, top-up, forum,
customer service and the first-open report.

    /mini/login.html        the launcher's login page (896 x 487, no scrolling)
    /mini/login_form.html   the same form, for the frame of the iframe variant
    /mini/dologin           checks the form and answers 302 to the game entry
    /game/login.php         the game entry: ?uid=&server_id=S12&time=&sign=
    /index.html /order.html /forum-2959-1.html /cs   home, top-up, forum, service
    /report/firstopen       the first-open report; answers "ok"
    /mini/loaded            the login page's load beacon; answers 204

Switches (/__mode):

    login=iframe        /mini/login.html shows the form inside an iframe, so
                        the submission and its redirect happen in the frame
    login=<other>       a page of LOGIN_VARIANTS instead (pages_browser.py)
    login_method=get    the form submits with GET instead of POST

LAYOUT gives where the form's parts lie on the page, for tests that click them.
"""

from __future__ import annotations

import hashlib
import html
import urllib.parse
import time
from urllib.parse import quote

from pages_standin import block, reads_only
from routes import Response, route

SERVER_ID = "S12"
ENTRY_KEY = "9f3c2a7e5b1d4c60"

PANEL = (896, 487)
BACKGROUND = (244, 236, 220)  # parchment; the splash's panel is dark, so the page stands out
# Rectangles (x, y, width, height) on the page.
LAYOUT = {
    "card": (298, 60, 300, 350),
    "username": (328, 148, 240, 34),
    "password": (328, 216, 240, 34),
    "submit": (328, 280, 240, 40),
}


def entry_sign(uid: str, server_id: str, stamp: str) -> str:
    return hashlib.md5(f"{uid}|{server_id}|{stamp}|{ENTRY_KEY}".encode("utf-8")).hexdigest()


def entry_address(base: str, uid: str, stamp: int) -> str:
    return (f"{base}/game/login.php?uid={quote(uid, safe='')}&server_id={SERVER_ID}"
            f"&time={stamp}&sign={entry_sign(uid, SERVER_ID, str(stamp))}")


def rgb(colour) -> str:
    return "#%02x%02x%02x" % colour


def box(name: str) -> str:
    x, y, w, h = LAYOUT[name]
    return f"position:absolute;left:{x}px;top:{y}px;width:{w}px;height:{h}px;box-sizing:border-box;"


def page(title: str, body: str, style: str = "", status: int = 200) -> Response:
    return Response.html(f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>{html.escape(title)}</title>
<style>
html, body {{ margin: 0; padding: 0; }}
body {{ font: 14px "WenQuanYi Micro Hei", "Noto Sans CJK SC", sans-serif; color: #3b2a1a; }}
{style}
</style></head>
<body>
{body}
</body></html>
""", status)


PANEL_STYLE = f"""
html, body {{ width: {PANEL[0]}px; height: {PANEL[1]}px; overflow: hidden; background: {rgb(BACKGROUND)}; }}
"""


# Asked for by the login page at its load event, so that a watcher outside the
# browser (the start-up benchmark) sees when the page was fully loaded.
LOAD_BEACON = """
<script>
window.addEventListener("load", function () { new Image().src = "/mini/loaded?at=" + Date.now(); });
</script>
""" + block("fetch /mini/loaded?at=standin")


# Tab from 登录 goes back to the account field, and Shift+Tab the other way,
# as in a dialog: without it focus leaves the page for a stop that shows
# nothing before coming back.
TAB_RING = """
<script>
(function () {
  var controls = document.querySelectorAll("#login input, #login button");
  var first = controls[0], last = controls[controls.length - 1];
  function wrap(from, to, backwards) {
    from.addEventListener("keydown", function (e) {
      if (e.key === "Tab" && e.shiftKey === backwards && !e.altKey && !e.ctrlKey) { e.preventDefault(); to.focus(); }
    });
  }
  wrap(last, first, false);
  wrap(first, last, true);
})();
</script>
"""


def standin_login(method: str) -> str:
    """The stand-in's click on 登录, sending what a player typed: wine/wine."""
    x, y, w, h = LAYOUT["submit"]
    if method == "get":
        return block(f"link {x} {y} {w} {h} /mini/dologin?username=wine&password=wine")
    return block(f"submit {x} {y} {w} {h} /mini/dologin username=wine password=wine")


def login_form(req, error: str = "", beacon: str = "") -> Response:
    method = "get" if req.state.mode("login_method") == "get" else "post"
    cx, cy, cw, ch = LAYOUT["card"]
    ux, uy, _, _ = LAYOUT["username"]
    px, py, _, _ = LAYOUT["password"]
    notice = f'<p id="error" style="position:absolute;left:{cx}px;top:{cy + ch + 8}px;width:{cw}px;' \
             f'margin:0;text-align:center;color:#b5452b">{html.escape(error)}</p>' if error else ""
    body = f"""
<div id="card" style="{box('card')}background:#fffaf0;border:1px solid #c9a96e;border-radius:6px;
  box-shadow:0 2px 10px rgba(80,50,20,.18)"></div>
<h1 style="position:absolute;left:{cx}px;top:{cy + 18}px;width:{cw}px;margin:0;text-align:center;
  font-size:20px;letter-spacing:4px;color:#7a2e1d">账号登录</h1>
<form id="login" method="{method}" action="/mini/dologin" autocomplete="off">
  <label for="username" style="position:absolute;left:{ux}px;top:{uy - 22}px">账号</label>
  <input id="username" name="username" type="text" style="{box('username')}padding:0 8px;
    border:1px solid #c9a96e;border-radius:4px;background:#fff;font-size:15px">
  <label for="password" style="position:absolute;left:{px}px;top:{py - 22}px">密码</label>
  <input id="password" name="password" type="password" style="{box('password')}padding:0 8px;
    border:1px solid #c9a96e;border-radius:4px;background:#fff;font-size:15px">
  <button id="submit" type="submit" style="{box('submit')}border:0;border-radius:4px;background:#b5452b;
    color:#fff;font-size:16px;letter-spacing:6px">登录</button>
</form>
<p style="position:absolute;left:{cx}px;top:{cy + ch - 34}px;width:{cw}px;margin:0;text-align:center;
  font-size:12px;color:#8a7458">测试平台：任意账号、密码均可登录</p>
{notice}{TAB_RING}
{beacon}{standin_login(method)}"""
    return page("Qelunar 登录", body, PANEL_STYLE)


# Other pages the login address can show instead, by the switch login=<name>
# (pages_browser.py adds its own).
LOGIN_VARIANTS = {}


@route("/mini/login.html")
def login(req):
    variant = LOGIN_VARIANTS.get(req.state.mode("login"))
    if variant:
        return variant(req)
    if req.state.mode("login") != "iframe":
        return login_form(req, beacon=LOAD_BEACON)
    # The form in a frame of its own: its submission, and the redirect that
    # follows, are navigations of the frame, not of the page.
    return page("Qelunar 登录", f"""
<iframe id="frame" src="/mini/login_form.html" scrolling="no"
  style="position:absolute;left:0;top:0;width:{PANEL[0]}px;height:{PANEL[1]}px;border:0"></iframe>
{LOAD_BEACON}{block("frame /mini/login_form.html")}""", PANEL_STYLE)


@route("/mini/login_form.html")
def login_framed(req):
    return login_form(req)


@route("/mini/dologin")
def do_login(req):
    user = (req.field("username") or "").strip()
    if not user:
        return login_form(req, "请输入账号")
    address = entry_address(req.base, user, int(time.time()))
    return Response(302, b"", "text/html; charset=utf-8", {"Location": address})


def standin_game(req) -> str:
    """The script's asset, then its typeof check and call of getAppVersion."""
    if reads_only(req):
        return block("fetch /game/asset.js", "read getAppVersion")
    return block("fetch /game/asset.js", "read getAppVersion", "call getAppVersion")


@route("/game/login.php")
def game(req):
    uid = req.param("uid", "")
    server = req.param("server_id", "")
    stamp = req.param("time", "")
    if not uid or req.param("sign", "") != entry_sign(uid, server, stamp):
        return page("签名错误", "<h1>签名错误</h1>", status=403)
    # A slow game server: what the window shows before the page can paint.
    req.state.wait(float(req.state.mode("game_delay", "0")))
    response = page(f"Qelunar {server}", f"""
<h1 id="server">Qelunar · {html.escape(server)}</h1>
<p>玩家 <span id="uid">{html.escape(uid)}</span> 已进入服务器 <span id="server_id">{html.escape(server)}</span>。</p>
<p id="version">客户端版本：无</p>
<p><input id="say" placeholder="说点什么" style="width: 320px; font-size: 16px;"></p>
<script src="/game/asset.js"></script>
<script>
  function tell(what, value) {{
    new Image().src = "/game/seen?" + what + "=" + encodeURIComponent(value);
  }}
  var ext = window.external;
  if (ext && typeof ext.getAppVersion === "function") {{
    var version = ext.getAppVersion();
    document.getElementById("version").textContent = "客户端版本：" + version;
    tell("version", version);
  }}
  document.getElementById("say").addEventListener("keydown", function (e) {{ tell("key", e.key); }});
</script>
{standin_game(req)}
""", "body { background: #1f2a44; color: #f1e6cf; padding: 24px; } h1 { color: #e7b65c; }")
    # A cookie for the session, and the script kept in the browser's cache:
    # cleaning the cache must fetch the script again and keep the cookie.
    response.headers["Set-Cookie"] = "kqv_session=" + urllib.parse.quote(uid, safe="") + "; Path=/; Max-Age=3600"
    return response


@route("/game/asset.js")
def game_asset(req):
    response = Response(200, b"window.kqvAsset = 1;\n", "application/javascript")
    response.headers["Cache-Control"] = "max-age=3600"
    return response


@route("/game/seen")
def game_seen(req):
    """What the game page reports: the version it was given, keys that reached it."""
    return Response.text("")


def plain(title: str, text: str) -> Response:
    return page(title, f"<h1>{html.escape(title)}</h1><p>{html.escape(text)}</p>",
                "body { padding: 24px; background: #fffaf0; }")


@route("/index.html")
def home(req):
    return plain("Qelunar 官网", "月下仗剑，踏歌而行。")


@route("/order.html")
def order(req):
    return plain("充值中心", f"游戏 {req.param('gkey', '')}，服务器 {req.param('skey', '')}")


@route("/forum-2959-1.html")
def forum(req):
    return plain("Qelunar 游戏论坛", "版块 2959，第 1 页")


@route("/cs")
def service(req):
    return plain("在线客服", f"类型 {req.param('type', '')}，游戏 {req.param('gamekey', '')}")


@route("/mini/loaded")
def loaded(req):
    return Response(204, b"", "text/plain; charset=utf-8")


@route("/report/firstopen")
def first_open(req):
    return Response.text("ok")
