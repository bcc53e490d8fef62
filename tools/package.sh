#!/usr/bin/env bash
# Builds the client's packages into dist/:
#   kqvclient_<version>_amd64.deb        Debian package
#   KQVClient-<version>-setup.exe        Windows installer (per user)
#   KQVClient-<version>-win64.zip        Windows program, portable
#
#   tools/package.sh [--out DIR] [--version VERSION]
#                    [--linux-tree DIR] [--windows-tree DIR] [deb] [setup] [zip]
#
# Without names it makes all three. The programs come from the release
# presets (linux-release, windows-release), configured and built here as
# needed; --linux-tree / --windows-tree take them from a build tree that is
# already built instead (the tests package their own tree that way). The
# version is the one the executables carry (the project's version in the
# tree's CMake cache); --version puts another in the packages' names and
# fields, which the tests use to make an upgrade.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

out=$root/dist
version=
linux_tree=
windows_tree=
wanted=()
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --linux-tree) linux_tree=$2; shift 2 ;;
    --windows-tree) windows_tree=$2; shift 2 ;;
    deb | setup | zip) wanted+=("$1"); shift ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
[ ${#wanted[@]} -gt 0 ] || wanted=(deb setup zip)
want() { [[ " ${wanted[*]} " == *" $1 "* ]]; }

# The release trees: ccache as the README's build, Debian's hardening flags
# for the Linux programs, only the client's own targets.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}
export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-$CMAKE_CXX_COMPILER_LAUNCHER}
release_tree() {
  local preset=$1
  shift
  tools/configure.sh "$preset" "$@" >/dev/null
  cmake --build --preset "$preset" --target KQVClient >&2
  echo "$root/build/$preset"
}
if want deb && [ -z "$linux_tree" ]; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  linux_tree=$(release_tree linux-release \
    "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" \
    "-DCMAKE_MODULE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)")
fi
if { want setup || want zip; } && [ -z "$windows_tree" ]; then
  windows_tree=$(release_tree windows-release)
fi

# The version the executables carry.
project_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$1/CMakeCache.txt"
}
if [ -z "$version" ]; then
  version=$(project_version "${linux_tree:-$windows_tree}")
  for tree in $linux_tree $windows_tree; do
    if [ "$(project_version "$tree")" != "$version" ]; then
      echo "$tree carries version $(project_version "$tree"), not $version: build both from one source" >&2
      exit 1
    fi
  done
fi
if [[ ! $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "version \"$version\" is not four numbers (a.b.c.d)" >&2
  exit 1
fi

mkdir -p "$out"
if want deb; then packaging/debian/build-deb.sh "$linux_tree" "$version" "$out"; fi
if want setup; then packaging/windows/build-installer.sh "$windows_tree/KQVClient.exe" "$version" "$out"; fi
if want zip; then packaging/windows/build-zip.sh "$windows_tree/KQVClient.exe" "$version" "$out"; fi
