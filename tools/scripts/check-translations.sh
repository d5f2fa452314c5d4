#!/usr/bin/env bash
# Fails when a message of the program has no finished translation:
#   check-translations.sh LUPDATE TS_FILE SOURCE_DIR...
# The catalogue is brought up to date with the code in a copy, so a message
# added to the code and not yet to the catalogue counts as missing too.
set -euo pipefail
lupdate=$1 ts=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$ts" "$work/check.ts"
"$lupdate" -silent -no-obsolete -locations none "$@" -ts "$work/check.ts" >/dev/null
missing=$(grep -B3 -E '<translation type="unfinished"|<translation/>|<translation></translation>' \
    "$work/check.ts" | grep -o '<source>.*</source>' || true)
if [ -n "$missing" ]; then
    echo "$(basename "$ts"): these messages have no finished translation" \
         "(cmake --build build --target update_translations, then translate them):"
    echo "$missing"
    echo "0 passed, 1 failed"
    exit 1
fi
echo "$(basename "$ts"): every message is translated"
