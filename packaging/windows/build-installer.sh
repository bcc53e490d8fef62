#!/usr/bin/env bash
# Makes the Windows installer with NSIS.
#   packaging/windows/build-installer.sh EXE VERSION OUT
# EXE is the built KQVClient.exe; the installer is
# OUT/KQVClient-VERSION-setup.exe.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 EXE VERSION OUT" >&2
  exit 2
fi
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
version=$2
mkdir -p "$3"
out=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
[ -f "$exe" ] || { echo "$exe is missing: build the client first" >&2; exit 1; }

target=$out/KQVClient-$version-setup.exe
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DEXE="$exe" -DICON="$root/res/icon/7.ico" \
  -DOUTFILE="$target" "$here/installer.nsi" >&2
echo "$target"
