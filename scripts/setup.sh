#!/usr/bin/env bash
# Installs what the build needs (Debian 12), then configures and builds.
# Usage: scripts/setup.sh [build-folder]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}

packages=(g++ cmake ninja-build pkgconf qt6-base-dev libjpeg-dev libzip-dev libgtest-dev
          libbenchmark-dev python3 python3-dbfread libdbd-xbase-perl fonts-liberation strace)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
  else
    echo "Missing packages. Run as root:"
    echo "  apt-get update && apt-get install -y ${missing[*]}"
    exit 1
  fi
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"
