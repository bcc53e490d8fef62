#!/usr/bin/env bash
# Runs a command on a private X display with a window manager
# (tools/xsession.sh), for the Wine tests that make real windows. Before the
# display goes, the Wine servers of the prefixes tools/wine-run.sh used on it
# are ended: a server keeps the display its desktop started with. The
# command's exit code is passed through. Sessions that share a Wine prefix
# must not overlap (ctest: RESOURCE_LOCK).
# Usage: with-display.sh command [arguments...]
# KQV_SCREEN sets the screen, default 1920x1080x24.
set -euo pipefail

self="$(readlink -f "$0")"
root="$(cd "$(dirname "$self")/../.." && pwd)"

if [ "${1:-}" = "--inside" ]; then
  shift
  export KQV_WINE_SESSION_LOG
  KQV_WINE_SESSION_LOG="$(mktemp /tmp/kqv-wine-session.XXXXXX)"
  status=0
  "$@" || status=$?
  sort -u "$KQV_WINE_SESSION_LOG" | while read -r prefix; do
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  done
  rm -f "$KQV_WINE_SESSION_LOG"
  exit "$status"
fi

exec "$root/tools/xsession.sh" run --size "${KQV_SCREEN:-1920x1080x24}" -- "$self" --inside "$@"
