#!/usr/bin/env bash
# Sets up the machine, builds both presets and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh

tools/configure.sh linux
cmake --build --preset linux --target format-check
cmake --build --preset linux
ctest --preset linux

tools/configure.sh windows
cmake --build --preset windows
ctest --preset windows
