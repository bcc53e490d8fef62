#!/usr/bin/env bash
# Registers the stand-in control under the WebBrowser control's CLSID in the
# given Wine prefix, then runs a program there through the emulator. The
# prefix must be one of the tests' own: this replaces Wine's control in it.
# Usage: run-with-standin.sh PREFIX STANDIN.dll EMULATOR PROGRAM.exe [arguments...]
set -euo pipefail

if [ $# -lt 4 ]; then
  echo "usage: $0 PREFIX STANDIN.dll EMULATOR PROGRAM.exe [arguments...]" >&2
  exit 2
fi
prefix=$1
dll=$2
emulator=$3
shift 3

case "$prefix" in
  */wineprefix*) ;;
  *)
    echo "$0: $prefix is not a test prefix (…/wineprefix…)" >&2
    exit 2
    ;;
esac
export KQV_WINEPREFIX=$prefix

clsid='{8856F961-340A-11D0-A96B-00C04FD705A2}'
key="HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32"
# The emulator makes the prefix on first use; registering again each run
# puts the stand-in back should Wine have re-registered its own control.
case "$dll" in /*) ;; *) dll="$PWD/$dll" ;; esac
"$emulator" reg add "$key" /ve /d "Z:${dll//\//\\}" /f >/dev/null
"$emulator" reg add "$key" /v ThreadingModel /d Apartment /f >/dev/null
exec "$emulator" "$@"
