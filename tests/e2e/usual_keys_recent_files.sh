#!/usr/bin/env bash
# The keys other editors use, and the recent files, in the real window:
#
# 1. start with a.txt, type, save with Ctrl+S; hand b.txt and c.txt over
#    from two more starts (a link in the recent list's place, to another
#    user's file, is replaced and that file stays);
# 2. Ctrl+Tab wraps round from c.txt to a.txt, Ctrl+Shift+Tab goes back;
#    Ctrl+W closes b.txt; Alt+X ends the program: the settings file holds
#    the defaults byte for byte (no new option was switched);
# 3. a plain start shows Notes.txt; File > "Recent files" lists c.txt first
#    and reopens it; Alt+X leaves the settings file as it was.
#
#   usual_keys_recent_files.sh <quorvel executable> <default settings file (app/DefINI)>
set -u

PROGRAM=${1:?usage: $0 <quorvel executable> <DefINI>}
DEFINI=${2:?usage: $0 <quorvel executable> <DefINI>}

source "$(dirname "$0")/lib.sh"
[[ -f $DEFINI ]] || fail "no default settings at $DEFINI"
e2e_start
INI=$WORK/bin/quorvel.ini
RECENT=$HOME_DIR/.local/state/quorvel/recent-files
printf 'alpha\n' >"$DOCS/a.txt"
printf 'bravo\n' >"$DOCS/b.txt"
printf 'charlie\n' >"$DOCS/c.txt"
# A link in the place of the state file, to a file of another user: the
# program replaces the link with a file of its own, and that file stays.
OTHERS=$WORK/someone-elses.txt
printf 'not a list\n' >"$OTHERS"
[[ $(id -u) -eq 0 ]] && chown nobody "$OTHERS"
mkdir -p "$(dirname "$RECENT")" && ln -s "$OTHERS" "$RECENT" || fail "could not put a link in place of $RECENT"

key() { xdo key --delay 150 "$@" || fail "xdotool key $*"; }
shows() { window_named "TAVO - [$DOCS/$1]"; }
expect_shown() {  # file name, what brought it
  wait_until 20 "$2 to show $1" shows "$1"
  log "$2: the window shows $1"
}
hand_over() {  # file name
  (run_program "second-$1" "$1") &
  SECOND_PID=$!
  second_ended() { ! alive "$SECOND_PID"; }
  wait_until 20 "the start with $1 to end" second_ended
  wait "$SECOND_PID" || fail "the start with $1 did not end with status 0"
  SECOND_PID=""
  expect_shown "$1" "the hand-over"
}

# ------------------------------------------------------------------ 1. Ctrl+S
(run_program first a.txt) &
MAIN_PID=$!
wait_until 60 "the main window with a.txt" shows a.txt
MAIN_WINDOW=$WINDOW
focus_window "$MAIN_WINDOW" || fail "could not focus the main window"
sleep 1
xdo type --delay 50 "x" || fail "xdotool type"
key ctrl+s
poll_until 20 "Ctrl+S to save a.txt" file_is "$DOCS/a.txt" $'xalpha\r\n' ||
  check_file a.txt "$DOCS/a.txt" $'xalpha\r\n'
log "Ctrl+S saved a.txt"
hand_over b.txt
hand_over c.txt

# ------------------------------------------------------------------ 2. tabs
focus_window "$MAIN_WINDOW" || fail "could not focus the main window"
sleep 0.5
key ctrl+Tab
expect_shown a.txt "Ctrl+Tab on the last tab"
key ctrl+shift+Tab
expect_shown c.txt "Ctrl+Shift+Tab on the first tab"
key ctrl+shift+Tab
expect_shown b.txt "Ctrl+Shift+Tab"
key ctrl+w
expect_shown c.txt "Ctrl+W on b.txt"
key ctrl+Tab
expect_shown a.txt "Ctrl+Tab after the close (two tabs left)"
key alt+x
expect_main_end "Alt+X" 0
check_settings "$INI" "$DEFINI" text
cp "$INI" "$WORK/quorvel.ini.first"
log "the settings file holds the defaults"
[[ $(cat "$OTHERS") == 'not a list' ]] || fail "the file a link in the state folder named was written: $(cat "$OTHERS")"
[[ -f $RECENT && ! -L $RECENT ]] || fail "no list of recent files at $RECENT"
[[ $(stat -c %a "$(dirname "$RECENT")") == 700 ]] || fail "the state folder is not private"
log "a link in the state file's place was replaced; the file it named stayed"
[[ $(grep -c '^recent=' "$RECENT") -eq 3 ]] || fail "the recent list does not hold three files: $(cat "$RECENT")"
[[ $(grep -m1 '^recent=' "$RECENT") == "recent=$DOCS/c.txt" ]] || fail "c.txt is not the most recent file"

# ------------------------------------------------------------------ 3. recent files after a restart
(run_program third) &
MAIN_PID=$!
wait_until 60 "a plain start to show Notes.txt" window_named "TAVO - [$WORK/bin/Notes.txt]"
MAIN_WINDOW=$WINDOW
focus_window "$MAIN_WINDOW" || fail "could not focus the main window"
sleep 1
# "File" opens at the menu bar's left; its last item is "Recent files".
xdo mousemove --sync --window "$MAIN_WINDOW" 18 10 click 1 || fail "xdotool click on File"
sleep 0.5
key Up Right
sleep 0.5
key Return
expect_shown c.txt "File > Recent files > 1"
key alt+x
expect_main_end "Alt+X after reopening a recent file" 0
cmp -s "$INI" "$WORK/quorvel.ini.first" || {
  show_file "quorvel.ini now" "$INI" >&2
  show_file "quorvel.ini before" "$WORK/quorvel.ini.first" >&2
  fail "a start and Alt+X changed the settings file"
}
log "the settings file is byte for byte as before"
log "PASS"
