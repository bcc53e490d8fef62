#!/usr/bin/env bash
# Runs a command on a private X display: Xvfb on a display number it picks
# itself, with openbox as the window manager (maximise, moves and drags need
# one). Both are ended by their process ids when the command is over, and
# so are the Wine servers of the prefixes tools/wine-run.sh used meanwhile;
# the command's exit code is passed through. Sessions that share a Wine
# prefix must not overlap (ctest: RESOURCE_LOCK).
# Usage: with-display.sh command [arguments...]
# KQV_SCREEN sets the screen, default 1920x1080x24.
set -euo pipefail

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
cleanup() {
  # Wine servers started on this display would keep a dead display.
  if [ -s "$work/prefixes" ]; then
    sort -u "$work/prefixes" | while read -r prefix; do
      WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    done
  fi
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 "${KQV_SCREEN:-1920x1080x24}" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.05
done
if [ ! -s "$work/display" ]; then
  echo "with-display: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

XDG_CONFIG_HOME="$work" openbox --sm-disable >/dev/null 2>&1 &
wm_pid=$!
# openbox is ready once it owns the window-manager selection.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done

export KQV_WINE_SESSION_LOG="$work/prefixes"
set +e
"$@"
status=$?
set -e
exit $status
