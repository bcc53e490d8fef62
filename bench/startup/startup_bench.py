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
from routes import ROUTES, SandboxState  # noqa: E402

PORT = 47800  # where the client's built-in addresses point
LOGIN_PAGE = f"http://127.0.0.1:{PORT}/mini/login.html"
BEACON_PATH = "/mini/loaded"  # the login page asks for it at its load event

# What the client should reach, against the baseline measured in the same run.
TARGET_SPLASH_MS = 150.0
TARGET_LOADED_RATIO = 0.95
TARGET_UI_RSS_EXTRA_MB = 5.0


# ---------------------------------------------------------------- network

def private_loopback():
    private_net.private_loopback(PORT)


class Beacons:
    """Arrival times (CLOCK_MONOTONIC ns) of the login page's load beacon."""

    def __init__(self):
        self.times = []
        self.cond = threading.Condition()
        page = ROUTES[BEACON_PATH]

        def recorded(req):
            with self.cond:
                self.times.append(time.monotonic_ns())
                self.cond.notify_all()
            return page(req)

        ROUTES[BEACON_PATH] = recorded

    def first_after(self, start_ns, deadline):
        with self.cond:
            while True:
                later = [t for t in self.times if t >= start_ns]
                if later:
                    return later[0]
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.cond.wait(left)


def start_sandbox():
    sandbox.load_pages()
    if BEACON_PATH not in ROUTES:
        sys.exit(f"the stand-in has no {BEACON_PATH}: the login page sends no load beacon")
    beacons = Beacons()
    try:
        server = sandbox.make_server("127.0.0.1", PORT, SandboxState())
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
                   no_proxy="*", NO_PROXY="*")
        for proxy in ("http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
            env.pop(proxy, None)
        # The programs' output is kept with the report, when there is one.
        log = open(os.path.join(self.args.out or self.root, f"{which}.log"), "ab")
        # Each run's output starts with its exec time on CLOCK_MONOTONIC (ms),
        # to line up anything the program itself logs.
        log.write(f"# exec {time.monotonic_ns() / 1e6:.1f}\n".encode())
        log.flush()
        start = time.monotonic_ns()
        process = subprocess.Popen(self.command(which), env=env, stdout=log, stderr=subprocess.STDOUT, cwd=home)
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
        finally:
            children = descendants(process.pid)
            end(process.pid, process)
            for child in children:
                end(child)
            log.close()
        return {
            "program": which,
            "splash_ms": (mapped - start) / 1e6,
            "loaded_ms": (loaded - start) / 1e6,
            "ui_rss_kib": ui["rss"],
            "ui_anon_kib": ui["anon"],
            "engine_rss_kib": sum(m["rss"] for m in engine),
            "engine": [{"name": m["name"], "rss_kib": m["rss"]} for m in engine],
        }

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)


# ---------------------------------------------------------------- report

def median(runs, key):
    return statistics.median(r[key] for r in runs)


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
    lines = [f"{len(pairs)} interleaved pairs; medians (client / baseline; ratio of medians; median of pair ratios)"]
    summary = {}
    for label, key, scale in rows:
        c, b = median(client, key) / scale, median(base, key) / scale
        pair_ratio = statistics.median(x[key] / y[key] for x, y in pairs if y[key])
        summary[key] = {"client": c, "baseline": b, "ratio": c / b if b else None, "pair_ratio": pair_ratio}
        lines.append(f"  {label:34s} {c:9.1f} / {b:9.1f}   ratio {c / b:5.3f}   pairs {pair_ratio:5.3f}")
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
            print(f"pair {i + 1}: client {pair[0]['splash_ms']:.0f}/{pair[0]['loaded_ms']:.0f} ms, "
                  f"baseline {pair[1]['splash_ms']:.0f}/{pair[1]['loaded_ms']:.0f} ms", flush=True)
        report(pairs, args.out)
    finally:
        watch.close()
        runner.cleanup()
        server.shutdown()
        server.server_close()


if __name__ == "__main__":
    main()
