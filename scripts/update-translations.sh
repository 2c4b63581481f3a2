#!/bin/sh
# Brings the translation catalogues up to date with the texts in src/: a new
# text arrives unfinished, a text no longer in the sources is dropped. With
# arguments, updates those .ts files instead of resources/translations/*.ts.
# A new language: scripts/update-translations.sh resources/translations/duskwarden_xx.ts
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
lupdate=$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
if [ $# -eq 0 ]; then
  set -- "$root"/resources/translations/duskwarden_*.ts
fi
cd "$root"
# DW_TRANSLATE_NOOP marks a text kept in a table until shown (platform/text/Text.h).
exec "$lupdate" -silent -no-obsolete -locations none -extensions cpp,h \
  -tr-function-alias QT_TRANSLATE_NOOP+=DW_TRANSLATE_NOOP src -ts "$@"
