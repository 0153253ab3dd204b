#!/usr/bin/env bash
# Checks the sources' format, sets up, builds and runs every test (core
# tests and GUI tests on the offscreen platform), then the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then every fuzz target for a short, fixed time
# over its seed corpus (ZAFIREL_FUZZ_SECONDS each, 15 by default).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAFIREL_BUILD:-"$here/build"}
"$here/scripts/check_format.sh"
"$here/scripts/setup.sh" "$build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --timeout 300 -j2
"$here/scripts/sanitize.sh" "${build}-asan"
ZAFIREL_FUZZ_BUILD="${build}-fuzz" "$here/scripts/fuzz.sh" all "${ZAFIREL_FUZZ_SECONDS:-15}"
