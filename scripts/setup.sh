#!/usr/bin/env bash
# Installs what the build needs (Debian 12), then configures and builds.
# Usage: scripts/setup.sh [build-folder]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}

packages=(g++ cmake ninja-build pkgconf qt6-base-dev libjpeg-dev libzip-dev libgtest-dev
          libbenchmark-dev python3 python3-dbfread libdbd-xbase-perl fonts-liberation strace)
. "$here/scripts/packages.sh"
require_packages "${packages[@]}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"
