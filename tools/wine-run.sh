#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine; ctest uses it as the
# emulator. Usage: wine-run.sh program.exe [arguments...]
#
# Each build tree gets its own Wine prefix (<build>/wineprefix, found from the
# program's path, or KQV_WINEPREFIX; <build>/wineprefix-display for programs
# run with a DISPLAY), created on first use. The prefix's Wine
# server is started ahead and kept a minute after the last program ends, so
# a run of many tests pays the start-up once. The program's exit code is
# passed through. Console programs need no DISPLAY; window tests set one.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 program.exe [arguments...]" >&2
  exit 2
fi

program=$1
shift

prefix_for() {
  local dir
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != "/" ]; do
    if [ -f "$dir/CMakeCache.txt" ]; then
      echo "$dir/wineprefix"
      return
    fi
    dir=$(dirname "$dir")
  done
  echo "$(cd "$(dirname "$1")" && pwd)/wineprefix"
}

# Wine's desktop process keeps the display it started with for as long as
# the server runs, so programs with a display get a prefix of their own.
if [ -n "${KQV_WINEPREFIX:-}" ]; then
  export WINEPREFIX=$KQV_WINEPREFIX
elif [ -n "${DISPLAY:-}" ]; then
  export WINEPREFIX="$(prefix_for "$program")-display"
else
  export WINEPREFIX=$(prefix_for "$program")
fi
# A private display session (tests/wine/with-display.sh) ends the servers of
# the prefixes used on it when it closes.
if [ -n "${KQV_WINE_SESSION_LOG:-}" ]; then
  echo "$WINEPREFIX" >>"$KQV_WINE_SESSION_LOG"
fi
export WINEDEBUG=${WINEDEBUG:--all}
# No .NET runtime installer; nothing the client uses needs it.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=}

# Registry settings of a prefix: CJK fonts for the faces the client names
# (the Song face of the frame's title and labels, "宋体", is the Song face the
# Linux build draws with too; the sans faces get WenQuanYi) and for the dialog
# and message-box fonts, and no crash dialog that would wait for a click in an
# unattended run. Raise settings_version when they change: prefixes made
# before take them on their next run.
settings_version=2
write_settings() {
  local file=$1
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
    for face in "Microsoft YaHei" "微软雅黑"; do
      printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
    done
    for face in "宋体" "SimSun" "新宋体" "NSimSun"; do
      printf '"%s"="AR PL UMing CN"\r\n' "$face"
    done
    printf '\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\r\n'
    # REG_MULTI_SZ "wqy-microhei.ttc,WenQuanYi Micro Hei" in UTF-16LE hex.
    local link hex
    link=$(printf 'wqy-microhei.ttc,WenQuanYi Micro Hei' | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',,')
    hex="${link#,}00,00,00,00"
    for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
      printf '"%s"=hex(7):%s\r\n' "$face" "$hex"
    done
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n'
  } | iconv -f UTF-8 -t UTF-16LE >"$file.body"
  # regedit reads UTF-16 only after a byte-order mark.
  { printf '\xff\xfe'; cat "$file.body"; } >"$file"
  rm -f "$file.body"
}

# The marker holds the version of the settings the prefix has.
ready() { [ "$(cat "$WINEPREFIX/.kqv-ready" 2>/dev/null)" = "$settings_version" ]; }
if ! ready; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    # One creator at a time when ctest runs tests in parallel.
    flock 9
    if ! ready; then
      # No display while the prefix is made: nothing can ask anything.
      made=false
      if [ ! -f "$WINEPREFIX/.kqv-ready" ]; then
        DISPLAY= wineboot -i </dev/null >/dev/null 2>&1
        made=true
      fi
      settings=$(mktemp --suffix=.reg)
      write_settings "$settings"
      DISPLAY= wine regedit /S "$(winepath -w "$settings" 2>/dev/null)" </dev/null >/dev/null 2>&1 || true
      rm -f "$settings"
      # A prefix that only took new settings may have a server kept up for
      # a minute; it holds them already.
      if $made; then wineserver -w; fi
      echo "$settings_version" >"$WINEPREFIX/.kqv-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

# Keep the server up between runs; it ends by itself 60 s after the last one.
# The session's own processes (services, devices) start here, away from the
# program's output: whoever reads that output would otherwise wait for them.
server_running() {
  # A server works in a folder named after the prefix's device and inode.
  local key pid
  key=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
  for pid in $(pgrep -x wineserver64; pgrep -x wineserver); do
    case "$(readlink "/proc/$pid/cwd" 2>/dev/null)" in */"$key") return 0 ;; esac
  done
  return 1
}
if ! server_running; then
  wineserver -p60 >/dev/null 2>&1 || true
  wine wineboot </dev/null >/dev/null 2>&1 || true
fi

exec wine "$program" "$@" </dev/null
