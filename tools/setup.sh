#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: a
# package that is already installed is not asked for again.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config python3
  libgtk-3-dev libx11-dev libxext-dev libwebkit2gtk-4.1-dev libsoup-3.0-dev libpng-dev
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  clang libclang-rt-14-dev clang-format
  g++-mingw-w64-x86-64 wine wine64 fonts-wine
  xvfb xauth openbox xdotool x11-utils x11-xserver-utils imagemagick fonts-wqy-microhei fonts-arphic-uming
  dpkg-dev lintian appstream nsis zip
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
