"""Plain HTTP behaviours for the transport tests (not part of the platform).

    /test/echo?body=<escaped bytes>&status=404   that body, with that status
    /test/stall?seconds=N&phase=head|body        silence before the status line,
                                                 or after the first body bytes
    /test/trickle?seconds=N                      one byte every 100 ms, no length
    /test/big?bytes=N&length=0                   N bytes of 'x'; length=0 sends
                                                 no Content-Length (ends at close)
    /test/redirect?to=<path or address>          302 to that path on this server, or to the address
"""

from __future__ import annotations

import time

from routes import Response, route


def number(req, name: str, default: float, low: float, high: float) -> float:
    try:
        value = float(req.param(name, str(default)))
    except ValueError:
        value = default
    return max(low, min(value, high))


@route("/test/echo")
def echo(req):
    status = int(number(req, "status", 200, 200, 599))
    return Response(status, req.param_bytes("body", b""), "text/plain; charset=utf-8")


@route("/test/stall")
def stall(req):
    seconds = number(req, "seconds", 10, 0, 120)
    if req.param("phase", "head") == "body":
        req.write_head(200, {"Content-Type": "text/plain", "Content-Length": "10", "Connection": "close"})
        req.write(b"ab")
        req.state.wait(seconds)
        req.write(b"cdefghij")
    else:
        req.state.wait(seconds)
        req.write_head(200, {"Content-Type": "text/plain", "Content-Length": "2", "Connection": "close"})
        req.write(b"ok")
    return None


@route("/test/trickle")
def trickle(req):
    seconds = number(req, "seconds", 5, 0, 120)
    req.write_head(200, {"Content-Type": "text/plain", "Connection": "close"})
    req.handler.close_connection = True
    end = time.monotonic() + seconds
    while time.monotonic() < end and not req.state.stopping.is_set():
        req.write(b"x")
        req.state.wait(0.1)
    return None


@route("/test/big")
def big(req):
    size = int(number(req, "bytes", 1024 * 1024 + 1, 0, 64 * 1024 * 1024))
    headers = {"Content-Type": "text/plain", "Connection": "close"}
    if req.param("length", "1") != "0":
        headers["Content-Length"] = str(size)
    req.write_head(200, headers)
    req.handler.close_connection = True
    chunk = b"x" * 65536
    left = size
    while left > 0:
        req.write(chunk[: min(left, len(chunk))])
        left -= min(left, len(chunk))
    return None


@route("/test/redirect")
def redirect(req):
    target = req.param("to", "/test/echo?body=redirected")
    # A path stays on the stand-in; a whole address (any scheme) is sent as given.
    location = target if "://" in target else f"{req.base}{target}"
    return Response(302, b"moved", "text/plain", {"Location": location})
