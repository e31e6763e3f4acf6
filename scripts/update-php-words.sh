#!/usr/bin/env bash
# Rebuilds highlight/PHPWrd.txt: its three keyword groups stay as they are,
# the function names after them are taken from the given list (one name a
# line, CR LF), by default the shared PHP function list.
set -euo pipefail
cd "$(dirname "$0")/.."
list=${1:-../shared/data/php-functions.txt}
words=highlight/PHPWrd.txt
{
  head -n 9 "$words"
  # The file ends without a line break after its last word.
  head -c -2 "$list"
} >"$words.new"
mv "$words.new" "$words"
