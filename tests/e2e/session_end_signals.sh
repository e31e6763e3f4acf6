#!/usr/bin/env bash
# End-to-end: the end of the desktop session (SIGTERM, SIGHUP) closes the
# program like "Discard changes and Exit", writes its settings and leaves
# the unsaved changes in the recovery journal. Real X input (xdotool) into
# the real program under a private Xvfb server.
#
#   session_end_signals.sh <quorvel executable> <default settings file (app/DefINI)>
#
# 1. start the program with doc.txt, type, send SIGTERM at once: it ends
#    with status 0 without a question; doc.txt is untouched, quorvel.ini
#    holds the defaults, the journal holds the typed text;
# 2. start it again: it asks whether to recover; Escape (No) drops the
#    journal, and only the new document opens;
# 3. type into it and send SIGHUP: the same end, the journal holds it.
set -u

PROGRAM=${1:?usage: $0 <quorvel executable> <DefINI>}
DEFINI=${2:?usage: $0 <quorvel executable> <DefINI>}
source "$(dirname "$0")/lib.sh"
[[ -f $DEFINI ]] || fail "no default settings at $DEFINI"
e2e_start
INI=$WORK/bin/quorvel.ini
JOURNALS=$HOME_DIR/.local/state/quorvel
printf 'alpha\nbeta\n' >"$DOCS/doc.txt"

no_journal() { ! compgen -G "$JOURNALS/*.journal" >/dev/null; }
start_and_type() {  # output name, window name, text, arguments...
  local name=$1 window=$2 text=$3
  shift 3
  (run_program "$name" "$@") &
  MAIN_PID=$!
  log "started quorvel $* (pid $MAIN_PID)"
  wait_until 60 "the main window '$window'" window_named "$window"
  focus_window "$WINDOW" || fail "could not focus the main window"
  sleep 1
  xdo type --delay 50 "$text" || fail "xdotool type"
  sleep 0.3
}

# ------------------------------------------------------------------ 1. SIGTERM
start_and_type first "TAVO - [$DOCS/doc.txt]" "unsaved " doc.txt
kill -TERM "$MAIN_PID"
expect_main_end SIGTERM 0
check_file doc.txt "$DOCS/doc.txt" $'alpha\nbeta\n'
[[ -f $INI ]] || fail "SIGTERM left no quorvel.ini"
check_settings "$INI" "$DEFINI" text
journal_holds "unsaved alpha" || fail "SIGTERM left no journal holding the typed text in $JOURNALS"
[[ $(stat -c %a "$JOURNALS") == 700 ]] || fail "the journals' folder is not private (0700)"
for journal in "$JOURNALS"/*.journal; do
  [[ $(stat -c %a "$journal") == 600 ]] || fail "$journal is not private (0600)"
done
log "SIGTERM: status 0, settings written, the journal kept"

# ------------------------------------------------------------------ 2. No drops the journal
(run_program second) &
MAIN_PID=$!
log "started quorvel again (pid $MAIN_PID)"
wait_until 60 "the recovery question" dialog_named "Quorvel Editor"
sleep 0.5
focus_window "$DIALOG" || fail "could not focus the recovery question"
xdo key --delay 100 Escape || fail "xdotool key"
wait_until 20 "the journal to go after No" no_journal
window_named "TAVO - [$WORK/bin/Notes.txt]" || fail "the new document is not the current one"
[[ $(count_main_windows) -eq 1 ]] || fail "there is more than one main window"
log "No dropped the journal"

# ------------------------------------------------------------------ 3. SIGHUP
focus_window "$WINDOW" || fail "could not focus the main window"
sleep 0.5
xdo type --delay 50 "hangup" || fail "xdotool type"
sleep 0.3
kill -HUP "$MAIN_PID"
expect_main_end SIGHUP 0
journal_holds "hangup" || fail "SIGHUP left no journal holding the typed text"
[[ ! -e $WORK/bin/Notes.txt ]] || fail "SIGHUP saved the new document"
log "PASS"
