#!/usr/bin/env bash
# End-to-end: a save in place that fails part-way keeps the typed text.
# Real X input (xdotool) into the real program under a private Xvfb server;
# the failure is a real one, injected into the running program by strace.
#
#   failed_save_in_place.sh <quorvel executable>
#
# 1. doc.txt has a second hard link, so a save writes it in place; type "A",
#    then F2 with strace making the save's ftruncate fail (EIO): the old
#    content is put back and the error is shown; Return closes it;
# 2. putting the content back is no change by another program: nothing
#    offers to reload the file over the typed text; type "B", F2 writes
#    both letters through both links, and Alt+X ends without a question.
set -u

PROGRAM=${1:?usage: $0 <quorvel executable>}
source "$(dirname "$0")/lib.sh"
command -v strace >/dev/null || fail "the tool strace is not installed (scripts/install-deps.sh installs it)"
e2e_start
JOURNALS=$HOME_DIR/.local/state/quorvel
printf 'old line\n' >"$DOCS/doc.txt"
ln "$DOCS/doc.txt" "$DOCS/link.txt"

(run_program first doc.txt) &
MAIN_PID=$!
log "started quorvel doc.txt (pid $MAIN_PID)"
wait_until 60 "the main window" window_named "TAVO - [$DOCS/doc.txt]"
focus_main
xdo type --delay 50 "A" || fail "xdotool type"
wait_until 20 "the journal to hold the typed text" journal_holds "Aold line"

# ------------------------------------------------------------------ 1. the save fails after it began to write
strace -f -qq -p "$MAIN_PID" -e trace=ftruncate -e inject=ftruncate:error=EIO:when=1 \
  -o "$WORK/strace.out" 2>"$WORK/strace.err" &
STRACE_PID=$!
# Every thread of the program is traced.
attached() {
  local status
  for status in /proc/"$MAIN_PID"/task/*/status; do
    grep -q '^TracerPid:[[:space:]]*0$' "$status" && return 1
  done
  return 0
}
wait_until 20 "strace to attach" attached
before=$(stat -c %y "$DOCS/doc.txt")
focus_main
xdo key --delay 100 F2 || fail "xdotool key"
answer_question "the failed save"
grep -q 'EIO.*INJECTED' "$WORK/strace.out" || fail "strace injected no failure: $(cat "$WORK/strace.out" "$WORK/strace.err")"
kill "$STRACE_PID" 2>/dev/null
wait "$STRACE_PID" 2>/dev/null
file_is "$DOCS/link.txt" $'old line\n' || fail "the old content was not put back"
[[ $(stat -c %y "$DOCS/doc.txt") != "$before" ]] || log "(the time of change stayed)"
log "the save failed and doc.txt holds its old content"

# ------------------------------------------------------------------ 2. the typed text stays and is saved
focus_main
xdo type --delay 50 "B" || fail "xdotool type"
xdo key --delay 100 F2 || fail "xdotool key"
poll_until 30 "F2 to save the typed text" file_is "$DOCS/link.txt" $'ABold line\r\n' || {
  show_file "link.txt" "$DOCS/link.txt" >&2
  fail "the typed text was not saved (a question about reloading the file took the keys?)"
}
xdo key --delay 100 alt+x || fail "xdotool key alt+x"
expect_main_end "Alt+X" 0
log "PASS"
