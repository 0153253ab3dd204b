#!/usr/bin/env bash
# Sets up, builds and runs every test (core tests and GUI tests on the offscreen platform).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAFIREL_BUILD:-"$here/build"}
"$here/scripts/setup.sh" "$build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --timeout 300 -j2
