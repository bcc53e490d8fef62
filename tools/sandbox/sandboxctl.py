#!/usr/bin/python3
"""Starts and stops a background sandbox for test fixtures (ctest's
FIXTURES_SETUP / FIXTURES_CLEANUP), where the test itself cannot own it.

    sandboxctl.py start --dir D [--exit-after S]   writes D/port and D/pid
    sandboxctl.py stop  --dir D                    ends that one process

The sandbox gets a free loopback port and stops by itself after --exit-after
seconds (default 900), so a run that never reaches its clean-up leaves nothing
behind for long. Stop ends only the process whose id start wrote.
"""

from __future__ import annotations

import argparse
import os
import pathlib
import signal
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent


def start(work: pathlib.Path, exit_after: float) -> int:
    work.mkdir(parents=True, exist_ok=True)
    port_file, pid_file = work / "port", work / "pid"
    if pid_file.exists():
        stop(work)
    port_file.unlink(missing_ok=True)
    with open(work / "sandbox.out", "wb") as out:
        proc = subprocess.Popen(
            [sys.executable, str(HERE / "sandbox.py"), "--port", "0", "--port-file", str(port_file),
             "--log-file", str(work / "requests.jsonl"), "--exit-after", str(exit_after)],
            stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
    pid_file.write_text(f"{proc.pid}\n")
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline:
        if port_file.exists():
            print(f"sandbox pid {proc.pid} port {port_file.read_text().strip()}")
            return 0
        if proc.poll() is not None:
            break
        time.sleep(0.05)
    print("sandbox did not start:\n" + (work / "sandbox.out").read_text(errors="replace"), file=sys.stderr)
    stop(work)
    return 1


def is_sandbox(pid: int) -> bool:
    try:
        return b"sandbox.py" in pathlib.Path(f"/proc/{pid}/cmdline").read_bytes()
    except OSError:
        return False


def stop(work: pathlib.Path) -> int:
    pid_file = work / "pid"
    try:
        pid = int(pid_file.read_text().strip())
    except (FileNotFoundError, ValueError):
        return 0
    if not is_sandbox(pid):
        pid_file.unlink(missing_ok=True)
        return 0  # it already ended (--exit-after); the id may be someone else's now
    try:
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            # Reap it when it is our child; otherwise poll for its end.
            try:
                done, _ = os.waitpid(pid, os.WNOHANG)
                if done:
                    break
            except ChildProcessError:
                os.kill(pid, 0)
            time.sleep(0.05)
        else:
            os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    pid_file.unlink(missing_ok=True)
    (work / "port").unlink(missing_ok=True)
    return 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("action", choices=["start", "stop"])
    parser.add_argument("--dir", required=True, type=pathlib.Path)
    parser.add_argument("--exit-after", type=float, default=900)
    args = parser.parse_args()
    return start(args.dir, args.exit_after) if args.action == "start" else stop(args.dir)


if __name__ == "__main__":
    sys.exit(main())
