"""Pages that misbehave in the client's browser, shown at the login address
by a switch, for the end-to-end tests of the browser's failure handling.

    login=crash     the panel's page; 200 ms after its load it asks for
                    /browser/beacon?page=crash, so a test can end the page's
                    process each time it has loaded
    login=runaway   the panel's page, then it allocates without end (16 MB
                    every 50 ms, each byte written), up to 4 GiB: twice the
                    client's bound, so a client without one cannot take the
                    test machine down with it
    login=popups    four buttons (POPUPS gives where): the game entry by
                    window.open and by a link with target=_blank, and another
                    page of the platform the same two ways

    /browser/beacon     answers 204; the request log is the record

POPUP_ENTRY is the game entry the popups page offers, signed as the login
would sign it (for user POPUP_USER at a fixed time).
"""

from __future__ import annotations

import html

from pages_platform import LOGIN_VARIANTS, PANEL_STYLE, entry_address, page
from routes import Response, route

POPUP_USER = "popup tester"
POPUP_STAMP = 1767225600
# Rectangles (x, y, width, height) of the popups page's buttons.
POPUPS = {
    "entry_script": (48, 60, 360, 150),
    "entry_link": (488, 60, 360, 150),
    "other_script": (48, 277, 360, 150),
    "other_link": (488, 277, 360, 150),
}


def popup_entry(base: str) -> str:
    return entry_address(base, POPUP_USER, POPUP_STAMP)


def other_address(base: str, how: str) -> str:
    return f"{base}/index.html?via={how}"


def panel_page(title: str, script: str) -> Response:
    return page(title, f"<p style=\"margin:24px\">{html.escape(title)}</p>\n<script>\n{script}\n</script>",
                PANEL_STYLE)


def crash(req):
    return panel_page("Qelunar 登录", """
window.addEventListener('load', function () {
  setTimeout(function () { new Image().src = '/browser/beacon?page=crash&at=' + Date.now(); }, 200);
});""")


def runaway(req):
    return panel_page("Qelunar 登录", """
var kept = [];
window.addEventListener('load', function () {
  setInterval(function () {
    if (kept.length < 256) kept.push(new Uint8Array(16 * 1024 * 1024).fill(7));
  }, 50);
});""")


def box(name: str, colour: str) -> str:
    x, y, w, h = POPUPS[name]
    return (f"position:absolute;left:{x}px;top:{y}px;width:{w}px;height:{h}px;box-sizing:border-box;"
            f"display:block;border:0;border-radius:4px;background:{colour};color:#fff;font-size:16px;"
            f"text-align:center;line-height:{h}px;text-decoration:none;")


def popups(req):
    entry = html.escape(popup_entry(req.base), quote=True)
    script_other = html.escape(other_address(req.base, "script"), quote=True)
    link_other = html.escape(other_address(req.base, "link"), quote=True)
    return page("Qelunar 登录", f"""
<button id="entry_script" type="button" style="{box('entry_script', '#b5452b')}"
  onclick="window.open(this.dataset.address)" data-address="{entry}">进入游戏（脚本）</button>
<a id="entry_link" href="{entry}" target="_blank" style="{box('entry_link', '#b5452b')}">进入游戏（链接）</a>
<button id="other_script" type="button" style="{box('other_script', '#7a2e1d')}"
  onclick="window.open(this.dataset.address)" data-address="{script_other}">官网（脚本）</button>
<a id="other_link" href="{link_other}" target="_blank" style="{box('other_link', '#7a2e1d')}">官网（链接）</a>
""", PANEL_STYLE)


LOGIN_VARIANTS.update({"crash": crash, "runaway": runaway, "popups": popups})


@route("/browser/beacon")
def beacon(req):
    return Response(204, b"", "text/plain")
