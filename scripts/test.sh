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
# Catalogue dates are checked as a day-first and a month-first locale write them.
if [ "$(id -u)" -eq 0 ]; then
  for l in es_ES en_US; do
    locale -a | grep -qi "^$l.utf-\?8$" || localedef -i "$l" -c -f UTF-8 "$l.UTF-8"
  done
fi
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --timeout 300 -j2
"$here/scripts/sanitize.sh" "${build}-asan"
ZAFIREL_FUZZ_BUILD="${build}-fuzz" "$here/scripts/fuzz.sh" all "${ZAFIREL_FUZZ_SECONDS:-15}"
