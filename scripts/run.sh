#!/usr/bin/env bash
# Sets up, builds and starts Zafirel! on its default data folder (the build folder).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
exec "$here/build/zafirel" "$@"
