#!/usr/bin/env bash
# One instance per display: the program started on two X servers runs on
# each, with a window on each; a further start on the first display hands
# its file to the window there and ends.
#
#   two_displays.sh <quorvel executable>
set -u
PROGRAM=${1:?usage: $0 <quorvel executable>}
source "$(dirname "$0")/common.sh"
e2e_begin
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"

prepare_program

new_display
FIRST=$DISPLAY_NUMBER
new_display
SECOND=$DISPLAY_NUMBER

(run_program "$FIRST" first "$DOCS" "$APP" a.txt) &
A_PID=$!
PIDS+=("$A_PID")
wait_until 60 "a window on :$FIRST" window_named "$FIRST" "TAVO - [$DOCS/a.txt]"
A_WINDOW=$WINDOW
log "the first start shows a.txt on :$FIRST"

(run_program "$SECOND" second "$DOCS" "$APP" b.txt) &
B_PID=$!
PIDS+=("$B_PID")
poll_until 60 "a window on :$SECOND" window_named "$SECOND" "TAVO - [$DOCS/b.txt]" ||
  fail "no window on :$SECOND (the start there ended: $(alive "$B_PID" && echo no || echo yes))"
B_WINDOW=$WINDOW
alive "$A_PID" || fail "the first instance ended"
alive "$B_PID" || fail "the start on :$SECOND ended instead of running there"
[[ $(count_main_windows "$FIRST") -eq 1 ]] || fail "b.txt was handed to :$FIRST"
log "the start on :$SECOND runs on its own and shows b.txt"

(run_program "$FIRST" third "$DOCS" "$APP" c.txt) &
C_PID=$!
PIDS+=("$C_PID")
finish "$C_PID" "the third start (on :$FIRST)"
wait_until 20 "c.txt in the window on :$FIRST" window_named "$FIRST" "TAVO - [$DOCS/c.txt]"
[[ $WINDOW == "$A_WINDOW" ]] || fail "c.txt is shown by another window than the first"
window_named "$SECOND" "TAVO - [$DOCS/b.txt]" || fail "the window on :$SECOND changed"
log "a further start on :$FIRST handed c.txt to the window there"

# Nothing was changed: Alt+X ends each instance without a question.
for pair in "$FIRST:$A_WINDOW:$A_PID" "$SECOND:$B_WINDOW:$B_PID"; do
  IFS=: read -r n window pid <<<"$pair"
  focus_window "$n" "$window" || fail "could not focus the window on :$n"
  sleep 0.5
  xdo "$n" key --delay 100 alt+x || fail "xdotool key alt+x on :$n"
  finish "$pid" "the instance on :$n"
done
log "PASS"
