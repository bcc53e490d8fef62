"""What the stand-in browser control of the Windows tests reads in the
platform's pages, and where it reports.

The control runs no JavaScript. Each page carries a script block of the type
STANDIN_TYPE, which a real engine never runs, with instructions mirroring
what the page's JavaScript does (tests/wine/standin/SCRIPT.md).

    /standin/report     answers 204; the request log is the record

Switch (/__mode):

    externals=read      the game and chat pages' blocks only read each
                        window.external method they know and call none
"""

from __future__ import annotations

from urllib.parse import parse_qsl, urlsplit

from routes import Response, route

STANDIN_TYPE = "text/x-kqv-standin"


def word(text: str) -> str:
    """One word of a script line, quoted when it has to be."""
    if text and not any(c in text for c in ' \t"\\'):
        return text
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def block(*lines: str) -> str:
    """A stand-in script block of the given instruction lines."""
    return f'<script type="{STANDIN_TYPE}">\n' + "\n".join(lines) + "\n</script>"


def reads_only(req) -> bool:
    return req.state.mode("externals") == "read"


def reports(log: list[dict]) -> list[dict]:
    """The stand-in's reports in a request log (GET /__log), each as its
    values, in the order the control sent them."""
    found = []
    for entry in log:
        if entry.get("path") == "/standin/report":
            found.append(dict(parse_qsl(urlsplit(entry["target"]).query, keep_blank_values=True)))
    return sorted(found, key=lambda values: int(values.get("seq", "0")))


@route("/standin/report")
def report(req):
    return Response(204, b"", "text/plain")
