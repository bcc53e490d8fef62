#!/usr/bin/env bash
# Sets up the machine, builds the Linux client and starts it against the local
# stand-in platform. Without a display it starts a virtual one (Xvfb with a
# window manager) and says where to look.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
tools/configure.sh linux >/dev/null
cmake --build --preset linux --target KQVClient

pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT

# The build's default addresses point at the stand-in on this port.
port=47800
if [ -f tools/sandbox/sandbox.py ]; then
  /usr/bin/python3 tools/sandbox/sandbox.py --port "$port" >/tmp/kqv-sandbox.log 2>&1 &
  pids+=($!)
fi

if [ -z "${DISPLAY:-}" ]; then
  # shellcheck source=/dev/null
  eval "$(tools/xsession.sh start)"
  pids+=("$XSESSION_PIDS")
  echo "virtual display $DISPLAY (screenshot: DISPLAY=$DISPLAY import -window root shot.png)"
fi

build/linux/KQVClient "$@"
