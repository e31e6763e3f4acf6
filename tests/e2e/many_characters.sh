#!/usr/bin/env bash
# A UTF-8 file holding more than 300 different characters outside ASCII
# (Latin with diacritics, Greek, Cyrillic, CJK, emoji), in the real window:
#  - it opens as UTF-8 (the status bar's encoding panel is not read here:
#    the saved bytes tell);
#  - "é", "中" and "😀" typed at the start of its second line, F2 saves;
#  - the file is the original with exactly those characters added, valid
#    UTF-8 byte for byte.
#
#   many_characters.sh <quorvel executable>
set -u
PROGRAM=${1:?usage: $0 <quorvel executable>}
source "$(dirname "$0")/common.sh"
e2e_begin od iconv
export LC_ALL=C.UTF-8
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"

prepare_program

# Characters from the code point ranges first..last, every `step`th.
chars() {
  local cp out=""
  for ((cp = $1; cp <= $2; cp += $3)); do out+=$(printf "\\U$(printf '%08X' "$cp")"); done
  printf '%s' "$out"
}
LATIN=$(chars 0xC0 0x17F 1)      # 192 letters with diacritics
GREEK=$(chars 0x391 0x3A9 1)     # 25
CYRILLIC=$(chars 0x410 0x44F 1)  # 64
CJK=$(chars 0x4E00 0x4E63 4)     # 25
EMOJI=$(chars 0x1F600 0x1F613 1) # 20
FIRST="<?php // $LATIN"
SECOND="\$s = '$GREEK $CYRILLIC';"
THIRD="echo \"$CJK $EMOJI\";"
printf '%s\r\n%s\r\n%s\r\n' "$FIRST" "$SECOND" "$THIRD" >"$DOCS/many.php"
DISTINCT=$(iconv -f UTF-8 -t UTF-32LE "$DOCS/many.php" | od -An -tx4 -v | tr -s ' ' '\n' | grep . |
  grep -v '^000000[0-7]' | sort -u | wc -l)
((DISTINCT > 300)) || fail "the test file holds only $DISTINCT characters outside ASCII"
log "many.php holds $DISTINCT different characters outside ASCII"

new_display
N=$DISPLAY_NUMBER
start_main_on "$N" many.php

xdo "$N" key --delay 100 ctrl+Home Down Home || fail "xdotool key"
xdo "$N" type --delay 120 "é中😀" || fail "xdotool type"
xdo "$N" key --delay 100 F2 || fail "xdotool key F2"

EXPECTED=$(printf '%s\r\n%s\r\n%s\r\nx' "$FIRST" "é中😀$SECOND" "$THIRD")
EXPECTED=${EXPECTED%x}
saved_as_expected() { file_is "$DOCS/many.php" "$EXPECTED" && iconv -f UTF-8 -t UTF-8 "$DOCS/many.php" >/dev/null 2>&1; }
if ! poll_until 20 "F2 to save many.php" saved_as_expected; then
  echo "--- the second line as written:" >&2
  sed -n 2p "$DOCS/many.php" | od -An -tx1 | head -n 5 >&2
  fail "many.php does not hold the original with the typed characters, as UTF-8"
fi
log "many.php saved as valid UTF-8 with the typed characters and nothing else changed"

xdo "$N" key --delay 100 alt+x || fail "xdotool key alt+x"
finish "$MAIN_PID" "the program"
log "PASS"
