#!/usr/bin/env bash
# End-to-end: unsaved work survives a crash, and the running window notices
# another program's change to an open file. Real X input (xdotool) into the
# real program under a private Xvfb server.
#
#   crash_recovery_disk_change.sh <quorvel executable>
#
# 1. start the program with doc.txt and type; once the recovery journal
#    holds the typed text, kill the program with SIGKILL;
# 2. start it again without a file, in another folder: it asks whether to
#    recover; Return (Yes) opens doc.txt (the same file), current; F2 writes
#    exactly the text typed before the crash;
# 3. type, then another program rewrites doc.txt: the window asks whether
#    to reload it, No being its default; Alt+Y (Yes) reloads it, and what is
#    typed then and saved with F2 goes into the other program's text;
# 4. another program rewrites doc.txt once more: the unmodified document
#    reloads by itself;
# 5. Alt+X ends the program with status 0 and leaves no journal.
set -u

PROGRAM=${1:?usage: $0 <quorvel executable>}
source "$(dirname "$0")/lib.sh"
e2e_start
JOURNALS=$HOME_DIR/.local/state/quorvel
printf 'alpha\nbeta\n' >"$DOCS/doc.txt"

no_journal() { ! compgen -G "$JOURNALS/*.journal" >/dev/null; }

# ------------------------------------------------------------------ 1. typed, then killed
(run_program first doc.txt) &
MAIN_PID=$!
log "started quorvel doc.txt (pid $MAIN_PID)"
wait_until 60 "the main window" window_named "TAVO - [$DOCS/doc.txt]"
focus_main
xdo type --delay 50 "Hello" || fail "xdotool type"
xdo key --delay 100 Return || fail "xdotool key"
xdo type --delay 50 "crash " || fail "xdotool type"
wait_until 10 "the journal to hold the typed text" journal_holds "crash alpha"
kill -KILL "$MAIN_PID"
expect_main_end SIGKILL 137
check_file doc.txt "$DOCS/doc.txt" $'alpha\nbeta\n'
log "killed; the journal holds the typed text"

# ------------------------------------------------------------------ 2. recovered
(RUN_IN=$WORK run_program second) &
MAIN_PID=$!
log "started quorvel again in $WORK (pid $MAIN_PID)"
answer_question "recovering unsaved changes"
wait_until 20 "the recovered doc.txt to be current" window_named "TAVO - [$DOCS/doc.txt]"
focus_main
xdo key --delay 100 F2 || fail "xdotool key"
RECOVERED=$'Hello\r\ncrash alpha\r\nbeta\r\n'
poll_until 20 "F2 to save the recovered text" file_is "$DOCS/doc.txt" "$RECOVERED" ||
  check_file doc.txt "$DOCS/doc.txt" "$RECOVERED"
log "the recovered text was saved"

# ------------------------------------------------------------------ 3. changed on disk while modified
xdo type --delay 50 "mine " || fail "xdotool type"
sleep 1
printf 'external\n' >"$DOCS/doc.txt"
wait_until 30 "the question about reloading doc.txt" dialog_named "Quorvel Editor"
sleep 0.5
focus_window "$DIALOG" || fail "could not focus the question about reloading doc.txt"
xdo key --delay 100 alt+y || fail "xdotool key"
log "answered the question about reloading doc.txt with Yes (Alt+Y)"
focus_main
xdo key --delay 100 ctrl+Home || fail "xdotool key"
xdo type --delay 50 "Y" || fail "xdotool type"
xdo key --delay 100 F2 || fail "xdotool key"
poll_until 20 "F2 to save the reloaded text" file_is "$DOCS/doc.txt" $'Yexternal\r\n' ||
  check_file doc.txt "$DOCS/doc.txt" $'Yexternal\r\n'
log "the modified document asked, reloaded and saved the other program's text"

# ------------------------------------------------------------------ 4. changed on disk while unmodified
sleep 1
printf 'again\n' >"$DOCS/doc.txt"
sleep 2
focus_main
xdo key --delay 100 ctrl+Home || fail "xdotool key"
xdo type --delay 50 "Z" || fail "xdotool type"
xdo key --delay 100 F2 || fail "xdotool key"
poll_until 20 "F2 to save the reloaded text" file_is "$DOCS/doc.txt" $'Zagain\r\n' ||
  check_file doc.txt "$DOCS/doc.txt" $'Zagain\r\n'
log "the unmodified document reloaded by itself"

# ------------------------------------------------------------------ 5. a clean end
xdo key --delay 100 alt+x || fail "xdotool key alt+x"
expect_main_end "Alt+X" 0
poll_until 5 "the journals to go" no_journal || fail "a clean end left a journal in $JOURNALS"
log "PASS"
