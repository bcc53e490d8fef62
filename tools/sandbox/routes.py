"""The sandbox's routing table and the request/response types pages use.

A page is a function taking a Request and returning a Response, or None when
it has written its answer to the socket itself (stalls, trickles). Register
it with the decorator:

    @route("/login.php")
    def login(req):
        return Response.html("<p>hello</p>")

Modules named pages_*.py beside this file are imported at start-up, so a new
page needs no edit anywhere else.
"""

from __future__ import annotations

import json
import threading
from dataclasses import dataclass, field
from urllib.parse import unquote_to_bytes

ROUTES: dict[str, callable] = {}


def route(path: str):
    """Registers a page for an exact path (no query)."""

    def register(handler):
        if path in ROUTES:
            raise ValueError(f"two pages for {path}")
        ROUTES[path] = handler
        return handler

    return register


@dataclass
class Response:
    status: int = 200
    body: bytes = b""
    content_type: str = "text/html; charset=utf-8"
    headers: dict[str, str] = field(default_factory=dict)

    @staticmethod
    def html(text: str, status: int = 200) -> "Response":
        return Response(status, text.encode("utf-8"), "text/html; charset=utf-8")

    @staticmethod
    def text(data: str | bytes, status: int = 200) -> "Response":
        if isinstance(data, str):
            data = data.encode("utf-8")
        return Response(status, data, "text/plain; charset=utf-8")

    @staticmethod
    def json(value, status: int = 200) -> "Response":
        # Raw UTF-8, never \\u escapes: the client's reader decodes \\u to one byte.
        data = json.dumps(value, ensure_ascii=False, separators=(",", ":")).encode("utf-8")
        return Response(status, data, "application/json; charset=utf-8")


class SandboxState:
    """What all requests share: switches set by tests and the request log."""

    def __init__(self, log_file: str | None = None):
        self._lock = threading.Lock()
        self._modes: dict[str, str] = {}
        self._log: list[dict] = []
        self._log_file = log_file
        self.port = 0
        self.stopping = threading.Event()  # set at shutdown: ends every wait early

    def mode(self, name: str, default: str = "normal") -> str:
        with self._lock:
            return self._modes.get(name, default)

    def set_modes(self, values: dict[str, str]) -> dict[str, str]:
        with self._lock:
            for key, value in values.items():
                if value in ("", "normal"):
                    self._modes.pop(key, None)
                else:
                    self._modes[key] = value
            return dict(self._modes)

    def record(self, entry: dict) -> dict:
        with self._lock:
            entry = {"seq": len(self._log) + 1, **entry}
            self._log.append(entry)
            if self._log_file:
                with open(self._log_file, "a", encoding="utf-8") as f:
                    f.write(json.dumps(entry, ensure_ascii=False) + "\n")
            return entry

    def annotate(self, entry: dict, **values) -> None:
        """Adds what became of a logged request (the log file keeps the request as it came)."""
        with self._lock:
            entry.update({k: v for k, v in values.items() if v is not None})

    def log_lines(self) -> str:
        with self._lock:
            return "".join(json.dumps(e, ensure_ascii=False) + "\n" for e in self._log)

    def reset(self) -> None:
        with self._lock:
            self._log.clear()
            self._modes.clear()

    def wait(self, seconds: float) -> None:
        """Sleeps, bounded, and wakes at shutdown so the server always stops."""
        self.stopping.wait(max(0.0, min(seconds, 120.0)))


def parse_query(raw_query: str) -> list[tuple[bytes, bytes]]:
    """Form-decodes a query into byte pairs, in order, blanks kept.

    http.server hands over the request line as Latin-1, so each character is
    one byte as the client sent it; escapes are decoded to bytes too. Pages
    that sign or compare bytes (the service's sign) must see exactly those.
    """
    pairs = []
    for piece in raw_query.encode("latin-1").split(b"&"):
        if not piece:
            continue
        key, _, value = piece.partition(b"=")
        pairs.append((unquote_to_bytes(key.replace(b"+", b" ")), unquote_to_bytes(value.replace(b"+", b" "))))
    return pairs


def as_text(data: bytes) -> str:
    return data.decode("utf-8", "replace")


class Request:
    def __init__(self, handler, state: SandboxState, path: str, raw_query: str, body: bytes = b""):
        self.handler = handler  # the BaseHTTPRequestHandler, for pages that write raw
        self.state = state
        self.method = handler.command
        self.path = path
        self.raw_query = raw_query
        self.params = parse_query(raw_query)
        self.headers = handler.headers
        self.body = body
        form = "application/x-www-form-urlencoded" in handler.headers.get("Content-Type", "")
        self.form = parse_query(body.decode("latin-1")) if form else []

    def field(self, name: str, default: str | None = None) -> str | None:
        """A form field of a POST body, else the query parameter, as UTF-8 text."""
        key = name.encode("utf-8")
        for k, v in self.form:
            if k == key:
                return as_text(v)
        return self.param(name, default)

    def param_bytes(self, name: str, default: bytes | None = None) -> bytes | None:
        """The first value of a query parameter, as the bytes the client sent."""
        key = name.encode("utf-8")
        for k, v in self.params:
            if k == key:
                return v
        return default

    def param(self, name: str, default: str | None = None) -> str | None:
        """The first value of a query parameter, as UTF-8 text."""
        value = self.param_bytes(name)
        return default if value is None else as_text(value)

    @property
    def base(self) -> str:
        """Scheme, host and port of this sandbox, as the client reaches it."""
        return f"http://127.0.0.1:{self.state.port}"

    def write_head(self, status: int, headers: dict[str, str]) -> None:
        h = self.handler
        h.send_response(status)
        for key, value in headers.items():
            h.send_header(key, value)
        h.end_headers()
        h.wfile.flush()

    def write(self, data: bytes) -> None:
        self.handler.wfile.write(data)
        self.handler.wfile.flush()
