#!/usr/bin/env bash
# Makes the portable Windows program: a zip with one folder holding
# KQVClient.exe, which runs from wherever it is unpacked.
#   packaging/windows/build-zip.sh EXE VERSION OUT
# The zip is OUT/KQVClient-VERSION-win64.zip.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 EXE VERSION OUT" >&2
  exit 2
fi
exe=$1
version=$2
mkdir -p "$3"
out=$(cd "$3" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
[ -f "$exe" ] || { echo "$exe is missing: build the client first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder=KQVClient-$version-win64
mkdir "$work/$folder"
install -m 0644 "$exe" "$work/$folder/KQVClient.exe"
# The last commit's date on every entry, so the same program gives the same zip.
stamp=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}
touch -d "@$stamp" "$work/$folder/KQVClient.exe" "$work/$folder"
target=$out/$folder.zip
rm -f "$target"
(cd "$work" && TZ=UTC zip -q -X -9 -r "$target" "$folder")
echo "$target"
