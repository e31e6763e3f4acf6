#!/usr/bin/env bash
# The language aids of a PHP document in the real window, with both options
# on in the settings file:
#  - the caret after "g(" marks the bracket and its partner (cells of the
#    bracket colour on the screen), the caret away from brackets marks none;
#  - Ctrl+B from after "if (" goes to after its ")";
#  - Ctrl+/ comments three selected lines and takes the comments away again;
#  - "str_re", Ctrl+Space, Down, Return completes to "str_replace";
#  - Alt+X leaves the settings file byte for byte as it was.
#
#   language_aids.sh <quorvel executable> <default settings (app/DefINI)>
set -u
PROGRAM=${1:?usage: $0 <quorvel executable> <DefINI>}
DEFINI=${2:?usage: $0 <quorvel executable> <DefINI>}
source "$(dirname "$0")/common.sh"
e2e_begin od import
export LC_ALL=C.UTF-8
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"

prepare_program
# The defaults with both options switched on, as the program writes its
# settings (the keys of a section in order).
{
  sed 's/\r$//; s/$/\r/' "$DEFINI" |
    sed 's/^\[Editor\]\r$/[Editor]\r\nHighlightBrackets=1\r/; s/^WordWrap=0\r$/WordCompletion=1\r\nWordWrap=0\r/'
  printf '\r\n'
} >"$WORK/bin/quorvel.ini"
grep -q '^HighlightBrackets=1' "$WORK/bin/quorvel.ini" || fail "could not write the settings"
cp "$WORK/bin/quorvel.ini" "$WORK/settings.before"
printf '<?php\nif (f($a)) {\n  g();\n  h();\n}\n' >"$DOCS/doc.php"
ORIGINAL=$'<?php\r\nif (f($a)) {\r\n  g();\r\n  h();\r\n}\r\n'

new_display
N=$DISPLAY_NUMBER
start_main_on "$N" doc.php

# Cells drawn in the bracket colour (0x80FFFF as 0x00BBGGRR) in the window.
marked_pixels() { timeout 15 import -display ":$N" -window "$MAIN_WINDOW" -depth 8 txt:- 2>/dev/null | grep -c '#FFFF80'; }
has_marks() { (($(marked_pixels) > 0)); }
no_marks() { (($(marked_pixels) == 0)); }

xdo "$N" key --delay 100 Down Down Home Right Right Right Right || fail "xdotool key"  # after "  g("
poll_until 20 "the brackets of g() to be marked" has_marks || fail "no bracket is marked after \"g(\""
xdo "$N" key --delay 100 Home || fail "xdotool key"
poll_until 20 "the marks to go" no_marks || fail "brackets stay marked with the caret away from them"
log "the bracket after the caret and its partner are marked, and only then"

xdo "$N" key --delay 100 Up Home Right Right Right Right ctrl+b || fail "xdotool key"  # after "if ("
xdo "$N" type --delay 80 "X" || fail "xdotool type"
xdo "$N" key --delay 100 F2 || fail "xdotool key F2"
EXPECTED=$'<?php\r\nif (f($a))X {\r\n  g();\r\n  h();\r\n}\r\n'
poll_until 20 "F2 to save after Ctrl+B" file_is "$DOCS/doc.php" "$EXPECTED" || fail "Ctrl+B did not go to the partner"
xdo "$N" key --delay 100 BackSpace || fail "xdotool key"
log "Ctrl+B went to the partner bracket"

xdo "$N" key --delay 100 ctrl+Home Down shift+Down shift+Down shift+Down ctrl+slash F2 || fail "xdotool key"
EXPECTED=$'<?php\r\n// if (f($a)) {\r\n//   g();\r\n//   h();\r\n}\r\n'
poll_until 20 "F2 to save the commented lines" file_is "$DOCS/doc.php" "$EXPECTED" ||
  fail "Ctrl+/ did not comment the three lines"
xdo "$N" key --delay 100 ctrl+slash F2 || fail "xdotool key"
poll_until 20 "F2 to save the lines again" file_is "$DOCS/doc.php" "$ORIGINAL" ||
  fail "Ctrl+/ did not take the comments away"
log "Ctrl+/ commented three lines and took the comments away"

xdo "$N" key --delay 100 ctrl+End || fail "xdotool key"  # after the last "}"
xdo "$N" type --delay 80 "str_re" || fail "xdotool type"
xdo "$N" key --delay 300 ctrl+space Down Return F2 || fail "xdotool key"
EXPECTED=$'<?php\r\nif (f($a)) {\r\n  g();\r\n  h();\r\n}str_replace\r\n'
poll_until 20 "F2 to save the completed word" file_is "$DOCS/doc.php" "$EXPECTED" ||
  fail "Ctrl+Space did not complete str_re to str_replace"
log "Ctrl+Space completed str_re to str_replace"

xdo "$N" key --delay 100 alt+x || fail "xdotool key alt+x"
finish "$MAIN_PID" "the program"
cmp -s "$WORK/bin/quorvel.ini" "$WORK/settings.before" || {
  od -An -c "$WORK/bin/quorvel.ini" >&2
  fail "the settings file changed"
}
log "PASS"
