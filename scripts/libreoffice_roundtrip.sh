#!/usr/bin/env bash
# A data folder's disc table opened in LibreOffice Calc, sorted and saved as
# dBASE (Calc writes dBase III with a dBase III memo file of its own
# spelling), then used again by the command line: the table is converted
# back with its old files kept, every order and look-up follows it, and a
# disc catalogued again is still caught. Exits 77 (skipped) without
# LibreOffice (libreoffice-calc-nogui, libreoffice-base-drivers) and python3-uno.
# Usage: scripts/libreoffice_roundtrip.sh ZAFIREL-CLI
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cli=$1
if ! command -v soffice > /dev/null || ! /usr/bin/python3 -c "import uno" 2> /dev/null; then
  echo "LibreOffice or python3-uno is not installed: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
data="$work/data"
fail() { echo "FAILED: $*"; exit 1; }

for name in Uno Dos Tres; do
  mkdir -p "$work/vol/$name"
  echo "$name" > "$work/vol/$name/$name.TXT"
done
"$cli" --data "$data" catalogue "$work/vol/Uno" --letter K --album fotos > /dev/null 2>&1
"$cli" --data "$data" catalogue "$work/vol/Dos" --letter K > /dev/null
"$cli" --data "$data" catalogue "$work/vol/Tres" --letter K > /dev/null

/usr/bin/python3 "$here/scripts/libreoffice_sort_and_save.py" "$data/CDROM.DBF" "$work/profile"
version=$(od -An -tx1 -N1 "$data/CDROM.DBF" | tr -d ' ')
echo "saved by LibreOffice with version byte $version"

said=$("$cli" --data "$data" list --sort title 2>&1 > "$work/list")
echo "$said"
[ "$(cut -f2 "$work/list" | tr '\n' ' ')" = "Dos Tres Uno " ] || fail "title order: $(cat "$work/list")"
[ "$(od -An -tx1 -N1 "$data/CDROM.DBF" | tr -d ' ')" = 8b ] || fail "the table is not dBase IV again"
[ "$("$cli" --data "$data" list --album FOTOS | cut -f1,2)" = "$(printf '1\tUno')" ] ||
  fail "album FOTOS"
[ "$("$cli" --data "$data" list --sort number | cut -f1 | tr '\n' ' ')" = "1 2 3 " ] ||
  fail "number order"
for number in 1 2 3; do
  "$cli" --data "$data" export "$number" "$work/page.htm" || fail "export $number"
done
code=0
"$cli" --data "$data" catalogue "$work/vol/Dos" --letter K > /dev/null 2>&1 || code=$?
[ "$code" = 3 ] || fail "cataloguing Dos again ended with $code, not 3 (already catalogued)"
echo "the program follows the table LibreOffice saved"
