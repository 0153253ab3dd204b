#!/usr/bin/env bash
# Checks what a desktop install shows of the program: the menu entry and the
# AppStream metainfo pass their validators and name the icon and the entry by
# the application id, and the manual page of zafirel-cli renders without
# warnings and describes every command and option of the program's usage text.
# Usage: check_desktop_files.sh PACKAGING_FOLDER APPLICATION_ID ZAFIREL_CLI
# Exits 77 (a skipped test) when a validator is not installed.
set -euo pipefail
dir=$1 id=$2 cli=$3
desktop=$dir/$id.desktop metainfo=$dir/$id.metainfo.xml man=$dir/zafirel-cli.1

missing=()
command -v desktop-file-validate > /dev/null || missing+=(desktop-file-utils)
command -v appstreamcli > /dev/null || missing+=(appstream)
if [ ${#missing[@]} -gt 0 ]; then
  echo "skipped: the validators are not installed (Debian packages: ${missing[*]})"
  exit 77
fi
failed=0
fail() { echo "$*"; failed=1; }

# desktop-file-validate exits 0 on warnings; any line it prints is a finding.
report=$(desktop-file-validate "$desktop" 2>&1) || true
[ -z "$report" ] || fail "$report"
grep -qx "Icon=$id" "$desktop" || fail "$desktop: Icon is not $id"
appstreamcli validate --no-net --strict "$metainfo" || failed=1
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "$metainfo: the launchable is not $id.desktop"

if command -v man > /dev/null; then
  report=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$man" 2>&1 > /dev/null)
  [ -z "$report" ] || fail "$man: $report"
fi
# Commands open a line of the usage text after two blanks; options begin with --.
help=$("$cli" --help)
page=$(sed 's/\\-/-/g' "$man")
for command in $(sed -n 's/^  \([a-z][a-z]*\)\( .*\)\?$/\1/p' <<< "$help"); do
  grep -Eq "^\.BI? $command( |$)" <<< "$page" || fail "$man: no command $command"
done
for option in $(grep -o -- '--[a-z-]*' <<< "$help" | sort -u); do
  grep -Eq -- "^\.BI? $option( |$)" <<< "$page" || fail "$man: no option $option"
done
exit $failed
