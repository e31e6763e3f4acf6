#!/usr/bin/env bash
# End-to-end: a save killed half-way through a file written in place does
# not leave it torn. Real X input (xdotool) into the real program under a
# private Xvfb server.
#
#   interrupted_save.sh <quorvel executable>
#
# 1. doc.txt (about 30 MB) has a second hard link, so a save writes it in
#    place; type, F2, and kill the program with SIGKILL 10 ms after the
#    file's time of change first moves;
# 2. start again: before anything is asked, doc.txt holds its old content or
#    the new one, whole (never a mix), and a message says what was done;
#    Return, then Return (Yes) to recover the unsaved changes;
# 3. F2 writes the recovered text through both links; Alt+X ends with 0.
set -u

PROGRAM=${1:?usage: $0 <quorvel executable>}
source "$(dirname "$0")/lib.sh"
e2e_start
JOURNALS=$HOME_DIR/.local/state/quorvel
seq 0 999999 | sed 's/.*/old line & of the document/' >"$DOCS/doc.txt"
ln "$DOCS/doc.txt" "$DOCS/link.txt"
cp "$DOCS/doc.txt" "$WORK/old"
{
  printf 'NEW '
  sed 's/$/\r/' "$WORK/old"
} >"$WORK/new"

whole() { cmp -s "$DOCS/doc.txt" "$WORK/old" || cmp -s "$DOCS/doc.txt" "$WORK/new"; }

# ------------------------------------------------------------------ 1. killed while saving in place
(run_program first doc.txt) &
MAIN_PID=$!
log "started quorvel doc.txt (pid $MAIN_PID)"
wait_until 60 "the main window" window_named "TAVO - [$DOCS/doc.txt]"
focus_main
xdo type --delay 50 "NEW " || fail "xdotool type"
wait_until 20 "the journal to hold the typed text" journal_holds "NEW old line 0 "
before=$(stat -c %y "$DOCS/doc.txt")
xdo key --delay 0 F2 || fail "xdotool key"
end=$((SECONDS + 30))
while [[ $(stat -c %y "$DOCS/doc.txt") == "$before" ]]; do
  ((SECONDS < end)) || fail "F2 did not begin to write doc.txt"
done
sleep 0.01
kill -KILL "$MAIN_PID"
expect_main_end SIGKILL 137
if whole; then log "the save was done before the kill"; else log "killed with doc.txt half-written"; fi

# ------------------------------------------------------------------ 2. put back at the next start
(RUN_IN=$WORK run_program second) &
MAIN_PID=$!
log "started quorvel again in $WORK (pid $MAIN_PID)"
wait_until 60 "the message about the cut-short save" dialog_named "Quorvel Editor"
whole || {
  show_file "doc.txt at the next start" "$DOCS/doc.txt" >&2
  fail "doc.txt is a mix of old and new content when the next start asks its first question"
}
[[ $(stat -c %h "$DOCS/doc.txt") == 2 ]] || fail "doc.txt lost its second link"
log "doc.txt is whole before anything is asked"
answer_question "the cut-short save"
sleep 1
answer_question "recovering unsaved changes"
wait_until 30 "the recovered doc.txt to be current" window_named "TAVO - [$DOCS/doc.txt]"

# ------------------------------------------------------------------ 3. the recovered text saved
focus_main
xdo key --delay 100 F2 || fail "xdotool key"
poll_until 60 "F2 to save the recovered text" cmp -s "$DOCS/link.txt" "$WORK/new" ||
  fail "link.txt does not hold the recovered text"
cmp -s "$DOCS/doc.txt" "$WORK/new" || fail "doc.txt does not hold the recovered text"
xdo key --delay 100 alt+x || fail "xdotool key alt+x"
expect_main_end "Alt+X" 0
log "PASS"
