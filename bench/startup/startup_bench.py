#!/usr/bin/python3
"""Start-up speed and memory of the Linux client against a minimal WebKitGTK
program showing the same page (bench/startup/baseline.cpp).

Run inside a display session with a window manager:

    tools/xsession.sh run -- bench/startup/startup_bench.py \\
        --client build/linux/KQVClient --baseline build/linux/bench/startup/startup_baseline \\
        --watch build/linux/bench/startup/map_watch

or simply `cmake --build --preset linux --target bench_startup`. See README.md
beside this file for what is measured and how.
"""

import argparse
import json
import os
import pathlib
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = pathlib.Path(__file__).resolve().parent
SANDBOX_DIR = HERE.parents[1] / "tools" / "sandbox"
sys.path.insert(0, str(SANDBOX_DIR))

import private_net  # noqa: E402
import sandbox  # noqa: E402
from routes import ROUTES, Response, SandboxState  # noqa: E402

PORT = 47800  # where the client's built-in addresses point
LOGIN_PATH = "/mini/login.html"
LOGIN_PAGE = f"http://127.0.0.1:{PORT}{LOGIN_PATH}"
BEACON_PATH = "/mini/loaded"  # the login page asks for it at its load event
SUBMIT_PATH = "/mini/dologin"  # the login's submission, answered with the game entry
ENTRY_PATH = "/game/login.php"  # the game entry: the game page
GO_PATH = "/bench/go"  # the login page waits on it, then logs in
GAME_BEACON_PATH = "/bench/game-loaded"  # the game page asks for it at its load event

# What the client should reach, against the baseline measured in the same run.
TARGET_SPLASH_MS = 150.0
TARGET_LOADED_RATIO = 0.95
TARGET_UI_RSS_EXTRA_MB = 5.0
TARGET_HANDOFF_RATIO = 1.0

# Put into the login page: once it has loaded, it waits for the benchmark's
# word (the player typing), then logs in as a player would, through the form.
LOGIN_SCRIPT = f"""
<script>
window.addEventListener("load", function () {{
  fetch("{GO_PATH}?at=" + Date.now(), {{cache: "no-store"}}).then(function (r) {{ return r.text(); }})
    .then(function (word) {{
      if (word !== "go") return;
      document.getElementById("username").value = "bench";
      document.getElementById("password").value = "bench";
      document.getElementById("submit").click();
    }});
}});
</script>
"""
# Put into the game page: its load event, as the login page's.
GAME_SCRIPT = f"""
<script>
window.addEventListener("load", function () {{ new Image().src = "{GAME_BEACON_PATH}?at=" + Date.now(); }});
</script>
"""


# ---------------------------------------------------------------- network

def private_loopback():
    private_net.private_loopback(PORT)


def inject(page, script):
    """A route answering what `page` answers, with `script` at the end of its body."""

    def injected(req):
        response = page(req)
        if response.status == 200 and response.content_type.startswith("text/html"):
            response.body = response.body.replace(b"</body>", script.encode("utf-8") + b"</body>", 1)
        return response

    return injected


class Beacons:
    """Arrival times (CLOCK_MONOTONIC ns) of the requests the figures are made of:
    the login page, its load beacon, the login's submission, the game entry and
    the game page's load beacon. Also holds the login page's wait for the word."""

    WATCHED = (LOGIN_PATH, BEACON_PATH, SUBMIT_PATH, ENTRY_PATH, GAME_BEACON_PATH)

    def __init__(self):
        self.times = {path: [] for path in self.WATCHED}
        self.cond = threading.Condition()
        self.word = None  # what the waiting login pages are told: "go", or "stay" at the end of a run
        self.waiting = 0
        ROUTES[LOGIN_PATH] = inject(ROUTES[LOGIN_PATH], LOGIN_SCRIPT)
        ROUTES[ENTRY_PATH] = inject(ROUTES[ENTRY_PATH], GAME_SCRIPT)
        ROUTES[GAME_BEACON_PATH] = lambda req: Response(204, b"", "text/plain; charset=utf-8")
        for path in self.WATCHED:
            ROUTES[path] = self._recorded(path, ROUTES[path])
        ROUTES[GO_PATH] = self._go

    def _recorded(self, path, page):
        def recorded(req):
            with self.cond:
                self.times[path].append(time.monotonic_ns())
                self.cond.notify_all()
            return page(req)

        return recorded

    def _go(self, req):
        with self.cond:
            self.waiting += 1
            self.cond.notify_all()
            while self.word is None:
                self.cond.wait(0.5)
            self.waiting -= 1
            return Response(200, self.word.encode(), "text/plain; charset=utf-8")

    def release(self, word):
        """Answers the login pages waiting for the word; later ones wait again."""
        with self.cond:
            self.word = word
            self.cond.notify_all()
            while self.waiting:
                self.cond.wait(0.5)
            self.word = None

    def first_after(self, start_ns, deadline, path=BEACON_PATH):
        with self.cond:
            while True:
                later = [t for t in self.times[path] if t >= start_ns]
                if later:
                    return later[0]
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.cond.wait(left)

    def waiting_page(self, deadline):
        """Waits until a login page waits for the word."""
        with self.cond:
            while not self.waiting:
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self.cond.wait(left)
            return True


def start_sandbox():
    sandbox.load_pages()
    if BEACON_PATH not in ROUTES:
        sys.exit(f"the stand-in has no {BEACON_PATH}: the login page sends no load beacon")
    beacons = Beacons()
    try:
        server = sandbox.make_server("127.0.0.1", PORT, SandboxState(os.environ.get("KQV_SANDBOX_LOG")))
    except OSError as error:
        sys.exit(f"port {PORT} on 127.0.0.1 is taken ({error}); the client's built-in addresses point there")
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()
    return server, beacons


# ---------------------------------------------------------------- X

class MapWatch:
    """First maps of top-level windows, from map_watch."""

    def __init__(self, program):
        self.process = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise SystemExit("map_watch did not start (no display?)")
        self.maps = []
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            parts = line.split()
            if len(parts) != 7 or parts[0] != "map":
                continue
            with self.cond:
                self.maps.append({"at": int(parts[1]), "pid": int(parts[2]), "transient": parts[3] == "1",
                                  "size": (int(parts[4]), int(parts[5]))})
                self.cond.notify_all()

    def first_main_window(self, pid, deadline):
        """When the process's first window that belongs to no other was mapped."""
        with self.cond:
            while True:
                found = [m for m in self.maps if m["pid"] == pid and not m["transient"]]
                if found:
                    return found[0]["at"]
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.cond.wait(left)

    def close(self):
        self.process.stdin.close()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


# ---------------------------------------------------------------- processes

def parent_map():
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", encoding="utf-8", errors="replace") as f:
                stat = f.read()
        except OSError:
            continue
        # The name may hold blanks and parentheses: the fields follow the last ')'.
        fields = stat[stat.rfind(")") + 2:].split()
        parents[int(entry)] = int(fields[1])
    return parents


def descendants(pid):
    parents = parent_map()
    found, frontier = [], [pid]
    while frontier:
        current = frontier.pop()
        children = [p for p, parent in parents.items() if parent == current]
        found += children
        frontier += children
    return found


def memory(pid):
    """VmRSS and RssAnon of a process, in KiB; None once it is gone."""
    values = {}
    try:
        with open(f"/proc/{pid}/status", encoding="utf-8") as f:
            for line in f:
                key, _, rest = line.partition(":")
                if key in ("Name", "VmRSS", "RssAnon"):
                    values[key] = rest.split()[0]
    except OSError:
        return None
    if "VmRSS" not in values:
        return None
    return {"name": values.get("Name", "?"), "rss": int(values["VmRSS"]), "anon": int(values.get("RssAnon", 0))}


def end(pid, process=None):
    """Ends one process we started (directly or through the program), by its id."""
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        if process is not None and process.poll() is not None:
            return
        if process is None and not os.path.exists(f"/proc/{pid}"):
            return
        time.sleep(0.02)
    try:
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    if process is not None:
        process.wait()


# ---------------------------------------------------------------- one run

def read_trace(path, start_ns):
    """The program's "kqv-trace EVENT MS" lines, as {event: [ms after exec, ...]}."""
    events = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            parts = line.split()
            if len(parts) == 3 and parts[0] == "kqv-trace":
                try:
                    at = float(parts[2]) - start_ns / 1e6
                except ValueError:
                    continue
                events.setdefault(parts[1], []).append(round(at, 1))
    return events


class Runner:
    def __init__(self, args, watch, beacons):
        self.args = args
        self.watch = watch
        self.beacons = beacons
        self.root = tempfile.mkdtemp(prefix="kqv-bench-startup-")

    def command(self, which):
        return [self.args.client] if which == "client" else [self.args.baseline, LOGIN_PAGE]

    def run(self, which):
        # Each program keeps its own home across its runs, as a player's does.
        home = os.path.join(self.root, which)
        os.makedirs(home, exist_ok=True)
        env = dict(os.environ, HOME=home, XDG_DATA_HOME=os.path.join(home, "data"),
                   XDG_CACHE_HOME=os.path.join(home, "cache"), XDG_CONFIG_HOME=os.path.join(home, "config"),
                   no_proxy="*", NO_PROXY="*", KQV_TRACE_STARTUP="1")
        for proxy in ("http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
            env.pop(proxy, None)
        # The run's output is read for its trace, then kept with the report.
        run_log = os.path.join(self.root, f"{which}.run.log")
        log = open(run_log, "wb")
        start = time.monotonic_ns()
        process = subprocess.Popen(self.command(which), env=env, stdout=log, stderr=subprocess.STDOUT, cwd=home)
        handoff = None
        try:
            deadline = time.monotonic() + self.args.timeout
            mapped = self.watch.first_main_window(process.pid, deadline)
            loaded = self.beacons.first_after(start, deadline)
            if mapped is None or loaded is None or process.poll() is not None:
                raise RuntimeError(f"{which}: " + ("ended early" if process.poll() is not None else
                                                   "no window mapped" if mapped is None else "the page never loaded"))
            time.sleep(self.args.settle)
            ui = memory(process.pid)
            engine = [m for m in (memory(p) for p in descendants(process.pid)) if m]
            if ui is None:
                raise RuntimeError(f"{which}: ended before its memory was read")
            if self.args.handoff:
                handoff = self.hand_off(which, process)
        finally:
            children = descendants(process.pid)
            end(process.pid, process)
            for child in children:
                end(child)
            # A login page still waiting for the word is told to stay.
            self.beacons.release("stay")
            log.close()
        trace = read_trace(run_log, start)
        with open(os.path.join(self.args.out or self.root, f"{which}.log"), "ab") as kept, open(run_log, "rb") as f:
            kept.write(f"# exec {start / 1e6:.1f}\n".encode())
            shutil.copyfileobj(f, kept)
        result = {
            "program": which,
            "splash_ms": (mapped - start) / 1e6,
            "loaded_ms": (loaded - start) / 1e6,
            "ui_rss_kib": ui["rss"],
            "ui_anon_kib": ui["anon"],
            "engine_rss_kib": sum(m["rss"] for m in engine),
            "engine": [{"name": m["name"], "rss_kib": m["rss"]} for m in engine],
            "requested_ms": self.first_ms(LOGIN_PATH, start, start),
            "trace": {event: times[0] for event, times in trace.items()},
        }
        if handoff:
            submitted = handoff["submitted"]
            result["handoff_ms"] = (handoff["game_loaded"] - submitted) / 1e6
            result["handoff_trace"] = {
                event: round(later[0] - submitted / 1e6 + start / 1e6, 1)
                for event, times in trace.items()
                if (later := [t for t in times if t + start / 1e6 >= submitted / 1e6])}
            result["handoff_trace"]["game-requested"] = (handoff["entry"] - submitted) / 1e6
            result["handoff_game_rss_kib"] = handoff["ui_rss_kib"]
        return result

    def first_ms(self, path, after_ns, start_ns):
        at = self.beacons.first_after(after_ns, time.monotonic(), path)
        return None if at is None else (at - start_ns) / 1e6

    def hand_off(self, which, process):
        """Logs in on the page loaded and waits for the game page's load event
        (the client's in its game window); their times on the stand-in."""
        deadline = time.monotonic() + self.args.timeout
        if not self.beacons.waiting_page(deadline):
            raise RuntimeError(f"{which}: the login page never waited to log in")
        go = time.monotonic_ns()
        self.beacons.release("go")
        submitted = self.beacons.first_after(go, deadline, SUBMIT_PATH)
        entry = self.beacons.first_after(go, deadline, ENTRY_PATH)
        game_loaded = self.beacons.first_after(go, deadline, GAME_BEACON_PATH)
        if submitted is None or entry is None or game_loaded is None or process.poll() is not None:
            raise RuntimeError(f"{which}: " + ("ended during the hand-off" if process.poll() is not None else
                                               "the login was never submitted" if submitted is None else
                                               "the game page never loaded"))
        ui = memory(process.pid)
        return {"submitted": submitted, "entry": entry, "game_loaded": game_loaded,
                "ui_rss_kib": ui["rss"] if ui else None}

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)


# ---------------------------------------------------------------- report

def median(runs, key):
    return statistics.median(r[key] for r in runs)


TRACE_ORDER = ("main", "gtk-ready", "main-window-shown", "window-shown", "window-shown-maximised", "engine-start",
               "warm-up-joined", "web-view-created", "main-window-drawn", "window-drawn", "window-drawn-maximised",
               "view-placed", "load-uri", "load-uri-returned", "web-process-spawn", "web-process-up", "web-page-created",
               "web-page-request", "load-started", "page-requested", "game-requested", "load-committed",
               "load-finished", "page-loaded")


def trace_table(title, client, base, key, extra):
    """Median of each traced moment, in ms, for both programs."""
    def medians(runs):
        found = {}
        for r in runs:
            moments = dict(r.get(key) or {})
            for name, field in extra:
                if r.get(field) is not None:
                    moments[name] = r[field]
            for event, at in moments.items():
                found.setdefault(event, []).append(at)
        return {event: statistics.median(times) for event, times in found.items()}

    c, b = medians(client), medians(base)
    events = sorted(set(c) | set(b), key=lambda e: (TRACE_ORDER.index(e) if e in TRACE_ORDER else len(TRACE_ORDER),
                                                    c.get(e, b.get(e, 0))))
    lines = [title]
    for event in events:
        cell = lambda v: f"{v:9.1f}" if v is not None else "        -"  # noqa: E731
        lines.append(f"  {event:34s} {cell(c.get(event))} / {cell(b.get(event))}")
    return lines


def quartiles(values):
    if len(values) < 2:
        return values[0], values[0]
    q = statistics.quantiles(values, n=4, method="inclusive")
    return q[0], q[2]


def report(pairs, out):
    client = [c for c, _ in pairs]
    base = [b for _, b in pairs]
    mib = 1024.0
    rows = [
        ("exec -> main window mapped (ms)", "splash_ms", 1.0),
        ("exec -> login page loaded (ms)", "loaded_ms", 1.0),
        ("UI process RSS (MiB)", "ui_rss_kib", mib),
        ("UI process anonymous RSS (MiB)", "ui_anon_kib", mib),
        ("engine processes' RSS (MiB)", "engine_rss_kib", mib),
    ]
    handoff = all("handoff_ms" in r for r in client + base)
    if handoff:
        rows.append(("login submitted -> game page loaded (ms)", "handoff_ms", 1.0))
    lines = [f"{len(pairs)} interleaved pairs; medians [p25-p75] (client / baseline; ratio of medians; "
             "median [p25-p75] of pair ratios)"]
    summary = {}
    for label, key, scale in rows:
        cs, bs = [r[key] / scale for r in client], [r[key] / scale for r in base]
        c, b = statistics.median(cs), statistics.median(bs)
        ratios = [x[key] / y[key] for x, y in pairs if y[key]]
        pair_ratio = statistics.median(ratios)
        (c25, c75), (b25, b75), (r25, r75) = quartiles(cs), quartiles(bs), quartiles(ratios)
        summary[key] = {"client": c, "client_p25": c25, "client_p75": c75, "baseline": b, "baseline_p25": b25,
                        "baseline_p75": b75, "ratio": c / b if b else None, "pair_ratio": pair_ratio,
                        "pair_ratio_p25": r25, "pair_ratio_p75": r75}
        lines.append(f"  {label:40s} {c:8.1f} [{c25:.0f}-{c75:.0f}] / {b:8.1f} [{b25:.0f}-{b75:.0f}]   "
                     f"ratio {c / b:5.3f}   pairs {pair_ratio:5.3f} [{r25:.3f}-{r75:.3f}]")
    lines += trace_table("start-up trace, ms after exec (client / baseline medians):", client, base, "trace",
                         [("page-requested", "requested_ms"), ("page-loaded", "loaded_ms")])
    if handoff:
        lines += trace_table("hand-off trace, ms after the login's submission (client / baseline medians):",
                             client, base, "handoff_trace", [("page-loaded", "handoff_ms")])
    splash = summary["splash_ms"]["client"]
    loaded = summary["loaded_ms"]["pair_ratio"]
    extra = summary["ui_rss_kib"]["client"] - summary["ui_rss_kib"]["baseline"]
    lines.append("targets:")
    lines.append(f"  splash mapped {splash:.0f} ms after exec (<= {TARGET_SPLASH_MS:.0f}): "
                 f"{'met' if splash <= TARGET_SPLASH_MS else 'MISSED'}")
    lines.append(f"  login page loaded at {loaded:.3f} x the baseline (<= {TARGET_LOADED_RATIO}): "
                 f"{'met' if loaded <= TARGET_LOADED_RATIO else 'MISSED'}")
    lines.append(f"  UI RSS {extra:+.1f} MiB over the baseline (<= +{TARGET_UI_RSS_EXTRA_MB:.0f}): "
                 f"{'met' if extra <= TARGET_UI_RSS_EXTRA_MB else 'MISSED'}")
    if handoff:
        ratio = summary["handoff_ms"]["pair_ratio"]
        lines.append(f"  hand-off at {ratio:.3f} x the bare view (<= {TARGET_HANDOFF_RATIO}): "
                     f"{'met' if ratio <= TARGET_HANDOFF_RATIO else 'MISSED'}")
    try:
        lines.append(f"load: {open('/proc/loadavg', encoding='utf-8').read().strip()}")
    except OSError:
        pass
    text = "\n".join(lines)
    print(text, flush=True)
    if out:
        os.makedirs(out, exist_ok=True)
        with open(os.path.join(out, "startup.json"), "w", encoding="utf-8") as f:
            json.dump({"summary": summary, "pairs": [{"client": c, "baseline": b} for c, b in pairs]}, f, indent=1)
        with open(os.path.join(out, "startup.txt"), "w", encoding="utf-8") as f:
            f.write(text + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--client", required=True)
    parser.add_argument("--baseline", required=True)
    parser.add_argument("--watch", required=True, help="the map_watch program")
    parser.add_argument("--pairs", type=int, default=15, help="measured pairs (at least 7 for figures)")
    parser.add_argument("--warmup", type=int, default=1, help="pairs run first and not counted")
    parser.add_argument("--settle", type=float, default=2.0, help="seconds after the load before memory is read")
    parser.add_argument("--timeout", type=float, default=30.0, help="seconds a run may take to map and load")
    parser.add_argument("--out", help="folder for startup.json (every run) and startup.txt (the report)")
    parser.add_argument("--no-handoff", dest="handoff", action="store_false",
                        help="end each run at the login page instead of logging in")
    args = parser.parse_args()
    args.client, args.baseline, args.watch = (os.path.abspath(p) for p in (args.client, args.baseline, args.watch))
    if args.out:
        args.out = os.path.abspath(args.out)
        os.makedirs(args.out, exist_ok=True)
        for which in ("client", "baseline"):
            open(os.path.join(args.out, f"{which}.log"), "wb").close()
    if "DISPLAY" not in os.environ:
        sys.exit("no DISPLAY: run this inside tools/xsession.sh run")
    private_loopback()
    server, beacons = start_sandbox()
    watch = MapWatch(args.watch)
    runner = Runner(args, watch, beacons)
    try:
        for i in range(args.warmup):
            runner.run("client")
            runner.run("baseline")
        pairs = []
        for i in range(args.pairs):
            # Alternating which goes first evens out what one run leaves the next.
            first, second = ("client", "baseline") if i % 2 == 0 else ("baseline", "client")
            print(f"--- pair {i + 1}", file=sys.stderr, flush=True)
            a = runner.run(first)
            b = runner.run(second)
            pair = (a, b) if first == "client" else (b, a)
            pairs.append(pair)
            print(f"pair {i + 1}: client {pair[0]['splash_ms']:.0f}/{pair[0]['loaded_ms']:.0f}"
                  f"/{pair[0].get('handoff_ms', 0):.0f} ms, baseline {pair[1]['splash_ms']:.0f}"
                  f"/{pair[1]['loaded_ms']:.0f}/{pair[1].get('handoff_ms', 0):.0f} ms", flush=True)
        report(pairs, args.out)
    finally:
        watch.close()
        runner.cleanup()
        server.shutdown()
        server.server_close()


if __name__ == "__main__":
    main()
