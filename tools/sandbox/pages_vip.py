"""The "360" platform's VIP service interface and the contact's chat page.

client.html checks the request exactly as the client signs it:
sign = md5(platform + gkey + skey + type + "#" + key), lower-case hex.
Switch vip=<mode> through /__mode to make it misbehave:

    garbage     an HTML error page instead of JSON
    empty       an empty body
    whitespace  the right object with blanks and tabs around it
    linebreaks  the right object spread over CR LF separated lines
    stall       wait vip_stall seconds (default 10), then answer normally
    fail        a well-formed refusal (errno 1005)
    nochat      success with an empty chat page address

The chat page names the contact (getGsName) once loaded and asks
/vip/messages every half second how many messages the contact has sent:
vip_messages=<n> through /__mode delivers them. Each new one is reported
(getNewMsg) and counted on the page, so a page kept alive while hidden
shows the count it reached.
"""

from __future__ import annotations

import hashlib
import html
import json
import re
import urllib.parse

from pages_standin import block, reads_only, word
from routes import Response, route

SIGNING_KEY = "3b8e0f6a91c4d27e5a0b6c8d1f2e7a94"
PLATFORM_ID = "121140"
GAME_KEY = "qelu"
KNOWN_SERVER = re.compile(r"S([1-9][0-9]?)")  # S1 .. S99

ERR_SIGN = "1001"
ERR_SERVER = "1002"
ERR_PLATFORM = "1003"


def expected_sign(platform: bytes, gkey: bytes, skey: bytes, types: bytes) -> str:
    return hashlib.md5(platform + gkey + skey + types + b"#" + SIGNING_KEY.encode()).hexdigest()


def contact(n: int, base: str) -> dict:
    return {
        "server_name": f"双线{n}服",
        "logout_url": f"{base}/vip/logout.html",
        "gsurl": f"{base}/vip/chat.html?gs=" + urllib.parse.quote(f"客服{n:02d}"),
        "user_name": f"客服{n:02d}",
    }


def answer(req) -> dict:
    platform = req.param_bytes("platform", b"")
    gkey = req.param_bytes("gkey", b"")
    types = req.param_bytes("type", b"")
    skey = req.param_bytes("skey", b"")
    sign = req.param("sign", "")
    if platform != PLATFORM_ID.encode() or gkey != GAME_KEY.encode():
        return {"errno": ERR_PLATFORM, "msg": "unknown platform or game"}
    if sign != expected_sign(platform, gkey, skey, types):
        return {"errno": ERR_SIGN, "msg": "sign error"}
    known = KNOWN_SERVER.fullmatch(skey.decode("latin-1"))
    if not known:
        return {"errno": ERR_SERVER, "msg": "no such server"}
    return {"errno": "0", "msg": "ok", "data": contact(int(known.group(1)), req.base)}


@route("/vip/client.html")
def client(req):
    mode = req.state.mode("vip")
    if mode == "garbage":
        return Response.html("<html><body><h1>502 Bad Gateway</h1></body></html>")
    if mode == "empty":
        return Response(200, b"", "application/json; charset=utf-8")
    if mode == "stall":
        req.state.wait(float(req.state.mode("vip_stall", "10")))
    reply = answer(req)
    if mode == "fail":
        reply = {"errno": "1005", "msg": "service closed"}
    elif mode == "nochat" and "data" in reply:
        reply["data"]["gsurl"] = ""
    body = json.dumps(reply, ensure_ascii=False, separators=(",", ":"))
    if mode == "whitespace":
        body = " \t" + body + "\t "
    elif mode == "linebreaks":
        body = json.dumps(reply, ensure_ascii=False, indent=2).replace("\n", "\r\n") + "\r\n"
    return Response(200, body.encode("utf-8"), "application/json; charset=utf-8")


def standin_chat(req, name: str) -> str:
    """The contact named at load, then the messages asked for every half second."""
    if reads_only(req):
        return block("read getGsName", "read getNewMsg")
    return block("read getGsName", f"call getGsName {word(name)}", "poll 500 /vip/messages getNewMsg 消息")


@route("/vip/chat.html")
def chat(req):
    # The contact's page: it names the contact once loaded and reports each
    # new message, as the service's chat page does, through the window's
    # external object.
    name = req.param("gs", "VIP专员")
    return Response.html(f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>VIP专员</title></head>
<body style="font-family:sans-serif;margin:8px;background:#fffaf0">
<p id="who">{html.escape(name)}</p>
<p>您好，有什么可以帮您？</p>
<p>新消息：<span id="count" style="font-size:32px">0</span></p>
<script>
  var ext = window.external || {{}};
  var seen = 0;
  addEventListener("load", function () {{
    if (typeof ext.getGsName === "function") ext.getGsName({json.dumps(name, ensure_ascii=False)});
  }});
  setInterval(function () {{
    var r = new XMLHttpRequest();
    r.open("GET", "/vip/messages");
    r.onload = function () {{
      var n = parseInt(r.responseText, 10) || 0;
      while (seen < n) {{
        seen++;
        document.getElementById("count").textContent = String(seen);
        if (typeof ext.getNewMsg === "function") ext.getNewMsg("消息" + seen);
      }}
    }};
    r.send();
  }}, 500);
</script>
{standin_chat(req, name)}
</body></html>
""")


@route("/vip/messages")
def messages(req):
    return Response.text(req.state.mode("vip_messages", "0"))


@route("/vip/logout.html")
def logout(req):
    return Response.html("<!DOCTYPE html><html><body><p>已退出</p></body></html>")
