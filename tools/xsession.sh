#!/usr/bin/env bash
# A private X display with a window manager, for running and testing the
# Linux client without a screen.
#
#   eval "$(tools/xsession.sh start [WxHxD])"   sets DISPLAY and XSESSION_PIDS
#   tools/xsession.sh stop PID                  ends the session started as PID
#   tools/xsession.sh run [--size WxHxD] [--] COMMAND...
#                                               runs COMMAND in a fresh session
#                                               and returns its exit status
#
# The session is Xvfb on a free display number (claimed with the server's
# lock file) and openbox with a configuration of its own. One supervising
# process owns both and stops them, by their process ids, when it is told to
# stop; XSESSION_PIDS names that supervisor.
set -euo pipefail

self="$(readlink -f "$0")"
default_size=1920x1080x24

openbox_config() {
  # A click focuses and raises, new windows take the focus, Alt+F4 closes and
  # Alt+Tab switches windows: what the tests rely on, and nothing from the
  # user's own configuration.
  cat <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>1</number></desktops>
  <keyboard>
    <keybind key="A-F4"><action name="Close"/></keybind>
    <keybind key="A-Tab"><action name="NextWindow"><dialog>no</dialog><finalactions><action name="Focus"/><action name="Raise"/></finalactions></action></keybind>
  </keyboard>
  <mouse>
    <context name="Client">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
      <mousebind button="Right" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
    </context>
    <context name="Frame">
      <mousebind button="A-Left" action="Drag"><action name="Move"/></mousebind>
    </context>
  </mouse>
</openbox_config>
EOF
}

# Runs in the background: starts the display and the window manager, reports
# readiness (and the display number) through a file, and stops both when it
# is terminated.
# Its state is global: the traps that stop it run outside the function.
sv_dir="" sv_xvfb="" sv_wm="" sv_ready=""
stop_all() {
  # Tell a waiting start that this session is not coming.
  if [ -f "$sv_ready" ] && [ ! -s "$sv_ready" ]; then echo "failed: supervisor ended" >"$sv_ready"; fi
  if [ -n "$sv_wm" ]; then kill "$sv_wm" 2>/dev/null || true; wait "$sv_wm" 2>/dev/null || true; fi
  if [ -n "$sv_xvfb" ]; then kill "$sv_xvfb" 2>/dev/null || true; wait "$sv_xvfb" 2>/dev/null || true; fi
  if [ -n "$sv_dir" ]; then rm -rf "$sv_dir"; fi
  sv_wm="" sv_xvfb="" sv_dir=""
}

supervise() {
  local size="$1" display=""
  sv_ready="$2"
  sv_dir="$(mktemp -d /tmp/kqv-xsession.XXXXXX)"
  trap 'stop_all; exit 0' TERM INT HUP
  trap 'stop_all' EXIT
  local dir="$sv_dir" ready="$sv_ready"

  # With -displayfd the server takes no lock file, and a server that
  # starts beside it may take over its socket file, the only way in for
  # clients in a network namespace of their own. So the number is chosen
  # here: the server takes that number's lock file atomically and ends at
  # once if another has it; the next number is tried then.
  local n i
  for n in $(seq 20 299); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "$size" -nolisten tcp -noreset >"$dir/xvfb.log" 2>&1 &
    sv_xvfb=$!
    for i in $(seq 1 200); do
      kill -0 "$sv_xvfb" 2>/dev/null || break
      if [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$sv_xvfb" ] &&
         DISPLAY=":$n" xprop -root >/dev/null 2>&1; then
        display=$n
        break
      fi
      sleep 0.05
    done
    [ -n "$display" ] && break
    kill "$sv_xvfb" 2>/dev/null || true
    wait "$sv_xvfb" 2>/dev/null || true
    sv_xvfb=""
  done
  [ -n "$display" ] || { echo "failed: Xvfb" >"$ready"; exit 1; }

  openbox_config >"$dir/rc.xml"
  DISPLAY=":$display" openbox --sm-disable --config-file "$dir/rc.xml" >"$dir/openbox.log" 2>&1 &
  sv_wm=$!
  for i in $(seq 1 100); do
    if DISPLAY=":$display" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
      echo "ok $display" >"$ready"
      break
    fi
    kill -0 "$sv_wm" 2>/dev/null || { echo "failed: openbox" >"$ready"; exit 1; }
    sleep 0.05
  done
  [ -s "$ready" ] || { echo "failed: openbox timeout" >"$ready"; exit 1; }
  # Wait for a stop request (or for the display to die).
  while kill -0 "$sv_xvfb" 2>/dev/null; do
    wait "$sv_xvfb" 2>/dev/null || true
  done
}

start() {
  local size="${1:-$default_size}" ready supervisor state
  ready="$(mktemp /tmp/kqv-xsession-ready.XXXXXX)"
  # Detached from our output, so that "$(xsession.sh start)" returns at once.
  "$self" _supervise "$size" "$ready" </dev/null >/dev/null 2>&1 &
  supervisor=$!
  local i
  for i in $(seq 1 300); do
    [ -s "$ready" ] && break
    sleep 0.05
  done
  state="$(cat "$ready")"
  rm -f "$ready"
  if [ "${state%% *}" != "ok" ]; then
    kill "$supervisor" 2>/dev/null || true
    echo "display session did not start: ${state:-timeout}" >&2
    return 1
  fi
  echo "export DISPLAY=:${state#ok } XSESSION_PIDS=$supervisor"
}

stop() {
  local pid="$1"
  kill "$pid" 2>/dev/null || return 0
  local i
  for i in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.05
  done
}

run() {
  local size="$default_size"
  while [ $# -gt 0 ]; do
    case "$1" in
      --size) size="$2"; shift 2 ;;
      --) shift; break ;;
      *) break ;;
    esac
  done
  local env
  env="$(start "$size")" || return 1
  eval "$env"
  trap 'stop "$XSESSION_PIDS"' EXIT
  trap 'exit 143' TERM INT HUP
  local status=0
  "$@" || status=$?
  return "$status"
}

case "${1:-}" in
  start) shift; start "$@" ;;
  stop) shift; stop "$@" ;;
  run) shift; run "$@" ;;
  _supervise) shift; supervise "$@" ;;
  *) sed -n '2,12p' "$self" >&2; exit 2 ;;
esac
