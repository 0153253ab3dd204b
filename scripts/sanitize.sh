#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer
# (clang) and runs the whole test suite under them; any finding fails it.
# Usage: scripts/sanitize.sh [build-folder]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build-asan"}
. "$here/scripts/packages.sh"
require_packages "${build_packages[@]}" "${clang_packages[@]}"
CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZAFIREL_SANITIZE=ON -DZAFIREL_BENCH=OFF > /dev/null
cmake --build "$build"
export QT_QPA_PLATFORM=offscreen
# The screen reader walk waits on a real X server by the clock: it runs in the
# release suite, where its pauses fit the program's speed.
ctest --test-dir "$build" --output-on-failure --timeout 600 -j2 -E screen_reader_walk
