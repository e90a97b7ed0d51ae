#!/usr/bin/env bash
# Fails when a shipped translation lacks a text of the program: the .ts files are brought up
# to date in a copy (tools/update-translations.sh), and lrelease must find every text
# translated and finished in each.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/resources/translations/corvane_*.ts "$work"/
"$here"/tools/update-translations.sh "$work"
status=0
for ts in "$work"/corvane_*.ts; do
  report=$(/usr/lib/qt6/bin/lrelease "$ts" -qm "$work/$(basename "$ts" .ts).qm" 2>&1)
  if ! grep -q "(\([0-9]*\) finished and 0 unfinished)" <<<"$report" || grep -q "untranslated" <<<"$report"; then
    echo "$(basename "$ts"): not every text is translated and finished:"
    echo "$report"
    status=1
  else
    echo "$(basename "$ts"): $(grep -o "Generated.*" <<<"$report")"
  fi
done
exit $status
