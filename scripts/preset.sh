#!/usr/bin/env bash
# Configures and builds one CMake preset: the way every make target builds.
# Usage: scripts/preset.sh PRESET [cmake --build options, e.g. --target NAME...]
# The presets build with Ninja in build/PRESET. A folder configured earlier with another
# generator (before the presets named Ninja they used Unix Makefiles) cannot be configured
# again in place; its cache is dropped first, and the build starts over in the same folder.
# Parallel jobs: CMAKE_BUILD_PARALLEL_LEVEL (the Makefile exports 2 unless it is set).
set -euo pipefail
cd "$(dirname "$0")/.."

preset="${1:?usage: scripts/preset.sh PRESET [build options...]}"
shift
dir="build/$preset"
cache="$dir/CMakeCache.txt"
if [ -f "$cache" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$cache"; then
  echo "preset $preset: $dir was configured with another generator; dropping its cache"
  rm -rf "$cache" "$dir/CMakeFiles"
fi
cmake --preset "$preset"
cmake --build --preset "$preset" "$@"
