#!/usr/bin/env bash
# Brings the window's translations (resources/translations/corvane_LANG.ts) up to date with
# the texts of the program: new texts are added as unfinished, texts no longer used dropped.
# Then open the .ts file in Qt Linguist (linguist-qt6), translate, and mark each text done
# (docs/TRANSLATING.md).
#
#   tools/update-translations.sh [FOLDER]   # FOLDER: where the .ts files are (default: the project's)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
folder=${1:-$here/resources/translations}
lupdate=/usr/lib/qt6/bin/lupdate
for ts in "$folder"/corvane_*.ts; do
  # lupdate does not follow "namespace corvane::app {" and says so for every class it meets
  # there; the texts still land under the class's name, which the program looks up
  # (app/Translations.cpp).
  "$lupdate" -silent -no-obsolete -locations none "$here"/app/*.cpp "$here"/app/*.h -ts "$ts" \
    2> >(grep -v "Qualifying with unknown namespace/class" >&2)
done
