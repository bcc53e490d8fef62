#!/usr/bin/python3
"""The local stand-in for the game platform's pages and service.

    sandbox.py --port 0            pick a free loopback port
    sandbox.py --port 47800        the port a default build points at

The first line on stdout is "PORT <n>". Pages live in pages_*.py beside this
file (see routes.py). Test hooks, never logged:

    GET /__log              every request so far, one JSON object a line
    GET /__mode?vip=stall   switches pages read (vip=normal turns one off)
    GET /__reset            clears the log and all switches
"""

from __future__ import annotations

import argparse
import datetime
import importlib
import os
import pathlib
import signal
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from routes import ROUTES, Request, Response, SandboxState, as_text, parse_query  # noqa: E402


def load_pages() -> None:
    for module in sorted(HERE.glob("pages_*.py")):
        importlib.import_module(module.stem)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KQVSandbox/1.0"
    state: SandboxState  # set on the class by make_server

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass  # the request log is the record; stderr stays quiet

    def do_GET(self):
        self._handle()

    def do_HEAD(self):
        self._handle()

    def do_POST(self):
        self._handle()

    def _read_body(self) -> bytes:
        try:
            length = int(self.headers.get("Content-Length", "0") or "0")
        except ValueError:
            length = 0
        # Bounded: the stand-in only ever gets small forms.
        return self.rfile.read(max(0, min(length, 1024 * 1024))) if length > 0 else b""

    def _handle(self):
        target = urlsplit(self.path)
        path, raw_query = target.path, target.query
        try:
            body = self._read_body()
            if path.startswith("/__"):
                self._control(path, raw_query)
                return
            entry = self.state.record({
                "time": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="milliseconds"),
                "method": self.command,
                "target": as_text(self.path.encode("latin-1")),
                "path": as_text(path.encode("latin-1")),
                "query": as_text(raw_query.encode("latin-1")),
                "params": {as_text(k): as_text(v) for k, v in parse_query(raw_query)},
                "user_agent": self.headers.get("User-Agent", ""),
                "headers": {k: v for k, v in self.headers.items()},
                "body": as_text(body),
            })
            page = ROUTES.get(path)
            response = Response.html("<h1>404 Not Found</h1>", 404) if page is None else \
                page(Request(self, self.state, path, raw_query, body))
            if response is not None:
                self._send(response)
                # Which answer the client got, a redirect's target included.
                self.state.annotate(entry, status=response.status, location=response.headers.get("Location"))
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError):
            self.close_connection = True  # the client left early, as clients may

    def _control(self, path: str, raw_query: str) -> None:
        if path == "/__log":
            self._send(Response(200, self.state.log_lines().encode("utf-8"), "application/x-ndjson; charset=utf-8"))
        elif path == "/__mode":
            modes = self.state.set_modes({as_text(k): as_text(v) for k, v in parse_query(raw_query)})
            self._send(Response.json(modes))
        elif path == "/__reset":
            self.state.reset()
            self._send(Response.json({}))
        else:
            self._send(Response.html("<h1>404 Not Found</h1>", 404))

    def _send(self, response: Response) -> None:
        self.send_response(response.status)
        self.send_header("Content-Type", response.content_type)
        self.send_header("Content-Length", str(len(response.body)))
        if "Cache-Control" not in response.headers:
            self.send_header("Cache-Control", "no-store")
        self.send_header("Connection", "close")
        for key, value in response.headers.items():
            self.send_header(key, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(response.body)
        self.wfile.flush()


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def make_server(host: str, port: int, state: SandboxState) -> Server:
    handler = type("BoundHandler", (Handler,), {"state": state})
    server = Server((host, port), handler)
    state.port = server.server_address[1]
    return server


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--host", default="127.0.0.1", help="loopback by default")
    parser.add_argument("--port", type=int, default=47800, help="0 picks a free port")
    parser.add_argument("--port-file", help="also write the port, alone, to this file")
    parser.add_argument("--log-file", help="also append the request log to this file")
    parser.add_argument("--exit-after", type=float, default=0,
                        help="stop by itself after this many seconds (0: run until stopped)")
    args = parser.parse_args(argv)

    load_pages()
    state = SandboxState(args.log_file)
    server = make_server(args.host, args.port, state)

    print(f"PORT {state.port}", flush=True)
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w", encoding="ascii") as f:
            f.write(f"{state.port}\n")
        os.replace(tmp, args.port_file)  # readers never see a half-written file

    def stop(*_):
        state.stopping.set()
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    if args.exit_after > 0:
        timer = threading.Timer(args.exit_after, stop)
        timer.daemon = True
        timer.start()

    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        state.stopping.set()
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
