#!/usr/bin/env bash
# Makes the Debian package from a Linux build tree.
#   packaging/debian/build-deb.sh TREE VERSION OUT
# TREE holds KQVClient and kqv-web-extension/ as the build puts them; the
# package is OUT/kqvclient_VERSION_amd64.deb. Its dependencies come from the
# shared libraries the programs link (dpkg-shlibdeps), its control file from
# dpkg-gencontrol.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 TREE VERSION OUT" >&2
  exit 2
fi
tree=$(cd "$1" && pwd)
version=$2
mkdir -p "$3"
out=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

for file in "$tree/KQVClient" "$tree/kqv-web-extension/libkqvexternal.so"; do
  [ -f "$file" ] || { echo "$file is missing: build the client first" >&2; exit 1; }
done

umask 022
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Laid out as dpkg-shlibdeps expects a package being built.
stage=$work/debian/kqvclient
lib=$stage/usr/lib/kqvclient
share=$stage/usr/share

# The extension stays in the folder beside the executable where the client
# looks for it.
install -d "$lib/kqv-web-extension" "$stage/usr/games" "$share/applications" "$share/metainfo" \
  "$share/man/man6" "$share/doc/kqvclient"
install -m 0755 "$tree/KQVClient" "$lib/KQVClient"
install -m 0644 "$tree/kqv-web-extension/libkqvexternal.so" "$lib/kqv-web-extension/"
# As dh_strip does: no symbols, no build notes.
strip --remove-section=.comment --remove-section=.note "$lib/KQVClient"
strip --remove-section=.comment --remove-section=.note --strip-unneeded "$lib/kqv-web-extension/libkqvexternal.so"
# A link, so the client still finds itself (and its extension) in /usr/lib;
# a game's command lives in /usr/games, on every player's PATH.
ln -s ../lib/kqvclient/KQVClient "$stage/usr/games/kqvclient"

# A fixed date for everything dated in the package: the last commit's, so
# that the same tree gives the same package.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH

install -m 0644 "$here/kqvclient.desktop" "$share/applications/kqvclient.desktop"
sed -e "s/@VERSION@/$version/" -e "s/@RELEASE_DATE@/$(date -u -d "@$SOURCE_DATE_EPOCH" +%F)/" \
  "$here/kqvclient.metainfo.xml" >"$share/metainfo/com.qelunar.kqvclient.metainfo.xml"
/usr/bin/python3 "$root/packaging/icons.py" --out "$share/icons/hicolor" --name kqvclient
gzip -9n <"$here/kqvclient.6" >"$share/man/man6/kqvclient.6.gz"
install -m 0644 "$here/copyright" "$share/doc/kqvclient/copyright"

install -d "$stage/DEBIAN"
cp "$here/control" "$work/debian/control"
sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$(date -u -R -d "@$SOURCE_DATE_EPOCH")/" \
  "$here/changelog.in" >"$work/debian/changelog"
gzip -9n <"$work/debian/changelog" >"$share/doc/kqvclient/changelog.gz"
find "$stage" -type f -exec chmod go-w {} +
(cd "$stage" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum >DEBIAN/md5sums)

(
  cd "$work"
  dpkg-shlibdeps -Tdebian/substvars "$lib/KQVClient" "$lib/kqv-web-extension/libkqvexternal.so"
  dpkg-gencontrol -pkqvclient -P"$stage" -fdebian/files -Tdebian/substvars -v"$version"
)
dpkg-deb --root-owner-group -Zxz --build "$stage" "$out/kqvclient_${version}_amd64.deb" >/dev/null
echo "$out/kqvclient_${version}_amd64.deb"
