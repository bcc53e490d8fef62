#!/usr/bin/env bash
# Sets up the machine, builds the Linux client and starts it against the local
# stand-in platform. Without a display it starts a virtual one (Xvfb with a
# window manager) and says where to look.
#
# KQV_CLIENT=PATH runs that client build instead of building one;
# KQV_SANDBOX_LOG=PATH puts the stand-in's request log there instead of
# /tmp/kqv-sandbox.log.
set -euo pipefail
cd "$(dirname "$0")/.."

client="${KQV_CLIENT:-}"
if [ -z "$client" ]; then
  tools/setup.sh
  tools/configure.sh linux >/dev/null
  cmake --build --preset linux --target KQVClient
  client=build/linux/KQVClient
fi
client="$(readlink -f "$client")"

pids=()
# The script ends once what it started has ended, so a display number or
# port it held is free when it returns.
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# The build's default addresses point at the stand-in on this port.
port=47800
log="${KQV_SANDBOX_LOG:-/tmp/kqv-sandbox.log}"
if [ -f tools/sandbox/sandbox.py ]; then
  : >"$log"
  ready="$(mktemp)"
  /usr/bin/python3 tools/sandbox/sandbox.py --port "$port" --port-file "$ready" --log-file "$log" >/dev/null &
  pids+=($!)
  # The client's first page needs it: wait until it listens, or say why not.
  until [ -s "$ready" ]; do
    if ! kill -0 "${pids[-1]}" 2>/dev/null; then
      rm -f "$ready"
      echo "the stand-in platform did not start (is port $port taken?)" >&2
      exit 1
    fi
    sleep 0.1
  done
  rm -f "$ready"
fi

if [ -z "${DISPLAY:-}" ]; then
  # shellcheck source=/dev/null
  eval "$(tools/xsession.sh start)"
  pids+=("$XSESSION_PIDS")
  echo "virtual display $DISPLAY (screenshot: DISPLAY=$DISPLAY import -window root shot.png)"
fi

# Closing the game window with Yes starts a fresh copy of the client, which
# outlives this one: the copies carry this run's mark in their environment,
# and the stand-in and the display stay up while any of them runs.
export KQV_RUN_MARK="run-client-$$-$RANDOM"
copies_running() {
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid="${environ#/proc/}"
    pid="${pid%/environ}"
    [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$client" ] || continue
    if tr '\0' '\n' <"$environ" 2>/dev/null | grep -qxF "KQV_RUN_MARK=$KQV_RUN_MARK"; then return 0; fi
  done
  return 1
}

status=0
"$client" "$@" || status=$?
while copies_running; do sleep 0.5; done
exit "$status"
