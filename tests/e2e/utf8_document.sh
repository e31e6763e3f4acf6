#!/usr/bin/env bash
# A UTF-8 document in the real window, driven with X input (xdotool types
# characters outside ASCII through keysyms of its own):
#  - type "Größe € " at the start of the text;
#  - find "ПРИВЕТ" from the search box (the text holds "Привет"), copy it,
#    convert it to upper case from the editor's pop-up menu;
#  - paste the copy at the end of the line and type "ł";
#  - save with F2: the file holds all of it as UTF-8, with CR LF line ends.
#
#   utf8_document.sh <quorvel executable>
set -u
PROGRAM=${1:?usage: $0 <quorvel executable>}
source "$(dirname "$0")/common.sh"
e2e_begin od
# xdotool turns the typed text into characters by the locale: a UTF-8 one,
# whatever the caller's (the program itself gets none of the caller's).
export LC_ALL=C.UTF-8
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"

prepare_program
printf 'Zażółć gęślą jaźń\nПривет, мир\n' >"$DOCS/doc.txt"

new_display
N=$DISPLAY_NUMBER
start_main_on "$N" doc.txt

xdo "$N" type --delay 80 "Größe € " || fail "xdotool type"

# The search box (left 304, top 8 in the button bar below the menu bar);
# Return runs Find Next, which selects the match and gives the editor the focus.
xdo "$N" mousemove --sync --window "$MAIN_WINDOW" 402 42 click 1 || fail "xdotool click into the search box"
xdo "$N" key --delay 100 End shift+Home || fail "xdotool key"
xdo "$N" type --delay 80 "ПРИВЕТ" || fail "xdotool type"
xdo "$N" key --delay 100 Return ctrl+c || fail "xdotool key"
sleep 0.5

# The pop-up menu ends with UPPERCASE and lowercase: from its end, up twice.
xdo "$N" key --delay 200 Menu || fail "xdotool key Menu"
menu_shown() { [[ -n $(xdo "$N" search --onlyvisible --class 'quorvel' 2>/dev/null | grep -vx "$MAIN_WINDOW" | head -n 1) ]]; }
wait_until 10 "the editor's pop-up menu" menu_shown
xdo "$N" key --delay 200 Up Up Return || fail "xdotool key"
sleep 0.5

xdo "$N" key --delay 100 End ctrl+v || fail "xdotool key"
xdo "$N" type --delay 80 "ł" || fail "xdotool type"
xdo "$N" key --delay 100 F2 || fail "xdotool key F2"

EXPECTED=$'Größe € Zażółć gęślą jaźń\r\nПРИВЕТ, мирПриветł\r\n'
if ! poll_until 20 "F2 to save doc.txt" file_is "$DOCS/doc.txt" "$EXPECTED"; then
  echo "--- doc.txt as written:" >&2
  od -An -c "$DOCS/doc.txt" >&2
  fail "doc.txt does not hold the expected UTF-8 text"
fi
log "doc.txt saved as UTF-8 with the typed, found, converted and pasted characters"

xdo "$N" key --delay 100 alt+x || fail "xdotool key alt+x"
finish "$MAIN_PID" "the program"
log "PASS"
