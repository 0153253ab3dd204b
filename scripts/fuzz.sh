#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs them over their seed corpora.
# Usage: scripts/fuzz.sh TARGET SECONDS   one target (jpeg, table, ...) for that long
#        scripts/fuzz.sh all SECONDS      every target, one after another
# Any finding ends the run with a failure; its reproducer is left in the
# build folder (crash-*, leak-*, oom-*, timeout-*). New inputs that reach
# new code go to the build folder's corpus, not to the committed seeds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAFIREL_FUZZ_BUILD:-"$here/build-fuzz"}
target=${1:?usage: scripts/fuzz.sh TARGET|all SECONDS}
seconds=${2:?usage: scripts/fuzz.sh TARGET|all SECONDS}

. "$here/scripts/packages.sh"
require_packages cmake ninja-build pkgconf libjpeg-dev libzip-dev zlib1g-dev libarchive-dev liblzma-dev libxxhash-dev "${clang_packages[@]}"

CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZAFIREL_FUZZ=ON -DZAFIREL_GUI=OFF -DZAFIREL_TESTS=OFF -DZAFIREL_BENCH=OFF > /dev/null
cmake --build "$build"

if [ "$target" = all ]; then
  targets=$(cd "$here/fuzz" && ls ./*_fuzz.cpp | sed 's|^\./||; s|_fuzz\.cpp$||')
else
  targets=$target
fi
# A small quarantine, so that memory freed long ago does not count against
# the 256 MB an input may use.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}
found() {
  find "$build" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'oom-*' \
    -o -name 'timeout-*' \) | grep -q .
}
if found; then
  echo "fuzz: remove the failing inputs left in $build first"
  exit 1
fi
for t in $targets; do
  mkdir -p "$build/corpus/$t"
  echo "== $t: $seconds s"
  (cd "$build" && "./${t}_fuzz" -max_total_time="$seconds" -rss_limit_mb=256 \
    -malloc_limit_mb=256 -timeout=10 \
    -print_final_stats=1 "corpus/$t" "$here/fuzz/corpus/$t" 2>&1 |
    grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY|Done)" || true)
  # libFuzzer's own exit status tells whether it found anything.
  if found; then
    echo "fuzz: $t found a failing input (see $build)"
    exit 1
  fi
done
