#!/usr/bin/env bash
# Redo, Replace All and Go to line in the real window, driven with X input:
#  1. a start and Alt+X: the settings file as the defaults make it;
#  2. a second start with doc.txt (600 lines "L1" ... "L600"): type "one",
#     Return, "two", Return, "three"; Ctrl+Z three times, Ctrl+Shift+Z twice;
#     F2 saves exactly the text after the second redo;
#  3. Ctrl+H: Replace All of the regular expression ^L(\d+)$ by <$1>; Escape;
#     Ctrl+Z and F2 save the text before it, Ctrl+Shift+Z and F2 after it;
#  4. Ctrl+G 500 Return, then "#" lands at the start of line 500;
#  5. Alt+X: the settings file is byte for byte as after the first start.
#
#   redo_replace_goto.sh <quorvel executable>
set -u
PROGRAM=${1:?usage: $0 <quorvel executable>}
source "$(dirname "$0")/common.sh"
e2e_begin od cmp
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"

prepare_program
INI=$WORK/bin/quorvel.ini
LINES=""
for ((i = 1; i <= 600; ++i)); do LINES+="L$i"$'\r\n'; done
printf '%s' "$LINES" >"$DOCS/doc.txt"

new_display
N=$DISPLAY_NUMBER

expect_file() {  # what saved it, expected bytes
  if ! poll_until 20 "$1" file_is "$DOCS/doc.txt" "$2"; then
    printf '%s' "$2" >"$WORK/doc.expected"
    echo "--- doc.txt as written (head):" >&2
    head -c 300 "$DOCS/doc.txt" | od -An -c >&2
    echo "--- expected (head):" >&2
    head -c 300 "$WORK/doc.expected" | od -An -c >&2
    fail "doc.txt does not hold the expected text after $1"
  fi
  log "doc.txt holds the expected text after $1"
}

# ------------------------------------------------------------------ 1. a start and Alt+X
(run_program "$N" first "$DOCS" "$APP" doc.txt) &
FIRST_PID=$!
PIDS+=("$FIRST_PID")
wait_until 60 "the window 'TAVO - [$DOCS/doc.txt]'" window_named "$N" "TAVO - [$DOCS/doc.txt]"
focus_window "$N" "$WINDOW" || fail "could not focus the main window"
sleep 1
xdo "$N" key --delay 100 alt+x || fail "xdotool key alt+x"
finish "$FIRST_PID" "the first start"
[[ -f $INI ]] || fail "no settings file after the first start"
cp "$INI" "$WORK/quorvel.ini.first"

# ------------------------------------------------------------------ 2. undo three, redo two
start_main_on "$N" doc.txt

xdo "$N" type --delay 60 "one" || fail "xdotool type"
xdo "$N" key --delay 100 Return || fail "xdotool key"
xdo "$N" type --delay 60 "two" || fail "xdotool type"
xdo "$N" key --delay 100 Return || fail "xdotool key"
xdo "$N" type --delay 60 "three" || fail "xdotool type"
xdo "$N" key --delay 150 ctrl+z ctrl+z ctrl+z ctrl+shift+z ctrl+shift+z F2 || fail "xdotool key"
AFTER_REDO=$'one\r\ntwo\r\n'"$LINES"
expect_file "three undos, two redos and F2" "$AFTER_REDO"

# ------------------------------------------------------------------ 3. Replace All, undo, redo
find_dialog() { DIALOG=$(xdo "$N" search --onlyvisible --name '^Find and Replace$' 2>/dev/null | head -n 1); [[ -n $DIALOG ]]; }
xdo "$N" key --delay 100 ctrl+h || fail "xdotool key ctrl+h"
wait_until 20 "the Find and Replace dialog" find_dialog
focus_window "$N" "$DIALOG" || fail "could not focus the Find and Replace dialog"
sleep 0.5
# The replace field has the focus; Alt+F goes to the find field, Alt+G
# switches on regular expressions, Alt+L is Replace All.
xdo "$N" type --delay 60 '<$1>' || fail "xdotool type"
xdo "$N" key --delay 150 alt+f || fail "xdotool key"
xdo "$N" type --delay 60 '^L(\d+)$' || fail "xdotool type"
xdo "$N" key --delay 200 alt+g alt+l Escape || fail "xdotool key"
sleep 0.5
focus_window "$N" "$MAIN_WINDOW" || fail "could not focus the main window again"
sleep 0.5
REPLACED=$'one\r\ntwo\r\n'
for ((i = 1; i <= 600; ++i)); do REPLACED+="<$i>"$'\r\n'; done
xdo "$N" key --delay 150 F2 || fail "xdotool key F2"
expect_file "Replace All and F2" "$REPLACED"
xdo "$N" key --delay 150 ctrl+z F2 || fail "xdotool key"
expect_file "undoing Replace All and F2" "$AFTER_REDO"
xdo "$N" key --delay 150 ctrl+shift+z F2 || fail "xdotool key"
expect_file "redoing Replace All and F2" "$REPLACED"

# ------------------------------------------------------------------ 4. Go to line
goto_dialog() { DIALOG=$(xdo "$N" search --onlyvisible --name '^Go to line$' 2>/dev/null | head -n 1); [[ -n $DIALOG ]]; }
xdo "$N" key --delay 100 ctrl+g || fail "xdotool key ctrl+g"
wait_until 20 "the Go to line dialog" goto_dialog
focus_window "$N" "$DIALOG" || fail "could not focus the Go to line dialog"
sleep 0.5
xdo "$N" type --delay 60 "500" || fail "xdotool type"
xdo "$N" key --delay 150 Return || fail "xdotool key"
sleep 0.5
focus_window "$N" "$MAIN_WINDOW" || fail "could not focus the main window again"
sleep 0.5
xdo "$N" type --delay 60 "#" || fail "xdotool type"
xdo "$N" key --delay 150 F2 || fail "xdotool key F2"
GONE=$'one\r\ntwo\r\n'
for ((i = 1; i <= 600; ++i)); do
  if ((i == 498)); then GONE+="#"; fi  # line 500
  GONE+="<$i>"$'\r\n'
done
expect_file "Ctrl+G 500, typing and F2" "$GONE"

# ------------------------------------------------------------------ 5. the settings file
xdo "$N" key --delay 100 alt+x || fail "xdotool key alt+x"
finish "$MAIN_PID" "the program"
if ! cmp -s "$INI" "$WORK/quorvel.ini.first"; then
  diff <(od -c "$WORK/quorvel.ini.first") <(od -c "$INI") >&2
  fail "the settings file changed"
fi
log "the settings file is byte for byte as after the first start"
log "PASS"
