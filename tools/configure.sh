#!/usr/bin/env bash
# Configures the build folder of a preset: tools/configure.sh PRESET [cmake options...]
#
# CMake refuses a build folder whose cache was made for another source folder,
# which is what a moved or copied checkout brings along. Such a stale cache is
# removed first, so the folder is simply configured again for this checkout.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 PRESET [cmake options...]" >&2
  exit 2
fi
preset=$1
shift

root="$(cd "$(dirname "$0")/.." && pwd -P)"
cd "$root"

# The preset's build folder, as CMakePresets.json names it.
binary_dir="$(/usr/bin/python3 - "$preset" <<'PY'
import json, sys
name = sys.argv[1]
for preset in json.load(open("CMakePresets.json")).get("configurePresets", []):
    if preset.get("name") == name and "binaryDir" in preset:
        print(preset["binaryDir"].replace("${sourceDir}", ".").replace("${presetName}", name))
PY
)"

cache="$binary_dir/CMakeCache.txt"
kept=()
if [ -n "$binary_dir" ] && [ -f "$cache" ]; then
  home="$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$cache")"
  home_now="$(cd "$home" 2>/dev/null && pwd -P || true)"
  if [ "$home_now" != "$root" ]; then
    echo "$binary_dir was configured for ${home:-another source folder}; configuring it again here" >&2
    # The build's own settings (platform, sites, ...) outlive the old cache.
    while IFS= read -r setting; do kept+=("-D$setting"); done < <(grep -E '^KQV_[A-Z0-9_]+:[A-Z]+=' "$cache" || true)
    rm -rf "$cache" "$binary_dir/CMakeFiles"
  fi
fi

exec cmake --preset "$preset" "${kept[@]}" "$@"
