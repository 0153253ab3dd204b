#!/usr/bin/env bash
# The program as a screen reader meets it (AT-SPI, as Orca reads it), driven
# by the keyboard alone, in an X server and window manager of its own:
#   scripts/screen_reader_walk.sh [BUILD_FOLDER]
# Prints the controls, named and tied to a label per window, and where the
# focus goes after each dialog (screen_reader_walk.py). Exits 77 when Xvfb,
# openbox, xdotool, dbus-run-session or python3-pyatspi is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
for tool in Xvfb openbox xdotool dbus-run-session; do
  command -v "$tool" >/dev/null || { echo "skipped: no $tool"; exit 77; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "skipped: no python3-pyatspi"; exit 77; }
[ -x "$build/zafirel" ] || { echo "skipped: no $build/zafirel"; exit 77; }
# The program draws on the X server through Qt's xcb plugin.
ls /usr/lib/*/qt6/plugins/platforms/libqxcb.so >/dev/null 2>&1 || { echo "skipped: no qt6-qpa-plugins"; exit 77; }

work=$(mktemp -d)
display=:$((100 + RANDOM % 400))
cleanup() {
  kill "${wm:-}" "${xserver:-}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xserver=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
wm=$!
sleep 0.5
dbus-run-session -- /usr/bin/python3 "$here/scripts/screen_reader_walk.py" \
  "$build/zafirel" "$build/zafirel-cli" "$work"
