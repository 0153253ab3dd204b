#!/usr/bin/env bash
# Checks that every C++ source keeps the project's .clang-format; run
# `clang-format-14 -i FILE...` to mend what it names.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/packages.sh"
require_packages clang-format-14
cd "$here"
find src tests bench fuzz -name '*.cpp' -o -name '*.h' | sort | xargs clang-format-14 --dry-run --Werror
