#!/usr/bin/env bash
# End-to-end run of the editor as a user drives it: real X input (xdotool)
# into the real program under a private Xvfb server.
#
#   edit_save_handover_exit.sh <quorvel executable> <default settings file (app/DefINI)>
#
# 1. start the program with first.txt (LF line ends), type, undo the last
#    run of typed characters with Ctrl+Z, type again, save with F2;
# 2. start it a second time with second.txt: that start hands the name over
#    and ends with status 0; the running window shows second.txt; type into it;
# 3. change the search box, close with Alt+X, answer the unsaved-changes
#    dialog with "Save All and Exit"; the program ends with status 0;
# 4. compare first.txt, second.txt and quorvel.ini byte for byte.
#
# Every wait is bounded; on failure a screenshot and the program's output are
# kept in the work folder, and every process started here is ended.
set -u

PROGRAM=${1:?usage: $0 <quorvel executable> <DefINI>}
DEFINI=${2:?usage: $0 <quorvel executable> <DefINI>}

source "$(dirname "$0")/lib.sh"
[[ -f $DEFINI ]] || fail "no default settings at $DEFINI"
e2e_start
INI=$WORK/bin/quorvel.ini
printf 'alpha\nbeta\n' >"$DOCS/first.txt"

# ------------------------------------------------------------------ 1. first start
(run_program first first.txt) &
MAIN_PID=$!
log "started quorvel first.txt (pid $MAIN_PID)"
wait_until 60 "the main window 'TAVO - [$DOCS/first.txt]'" window_named "TAVO - [$DOCS/first.txt]"
MAIN_WINDOW=$WINDOW
log "main window $MAIN_WINDOW is shown"

# No window manager: give the window the input focus directly; the window's
# activation puts the keyboard focus into the current document.
focus_window "$MAIN_WINDOW" || fail "could not focus the main window"
sleep 1

# The caret starts at the beginning of the text. "typo" is one run of typed
# characters after the line break, so one Ctrl+Z takes exactly it away.
xdo type --delay 50 "Hello" || fail "xdotool type"
xdo key --delay 100 Return || fail "xdotool key"
xdo type --delay 50 "typo" || fail "xdotool type"
xdo key --delay 100 ctrl+z || fail "xdotool key"
xdo type --delay 50 "world " || fail "xdotool type"
xdo key --delay 100 F2 || fail "xdotool key"

FIRST_EXPECTED=$'Hello\r\nworld alpha\r\nbeta\r\n'
poll_until 20 "F2 to save first.txt" file_is "$DOCS/first.txt" "$FIRST_EXPECTED" ||
  check_file first.txt "$DOCS/first.txt" "$FIRST_EXPECTED"
log "first.txt saved by F2"

# ------------------------------------------------------------------ 2. second start
SECOND_START=$(now_ms)
(run_program second second.txt) &
SECOND_PID=$!
log "started quorvel second.txt (pid $SECOND_PID)"
second_ended() { ! alive "$SECOND_PID"; }
wait_until 20 "the second start to end" second_ended
wait "$SECOND_PID"
SECOND_STATUS=$?
SECOND_PID=""
[[ $SECOND_STATUS -eq 0 ]] || fail "the second start ended with status $SECOND_STATUS (expected 0)"
log "second start ended with status 0 after $(($(now_ms) - SECOND_START)) ms"
[[ ! -e $INI ]] || fail "quorvel.ini was written before the running instance ended (the second start must not save settings)"

wait_until 20 "the running window to show second.txt" window_named "TAVO - [$DOCS/second.txt]"
[[ $WINDOW == "$MAIN_WINDOW" ]] || fail "second.txt is shown by window $WINDOW, not by the running window $MAIN_WINDOW"
[[ $(count_main_windows) -eq 1 ]] || fail "there is more than one main window"
[[ ! -e $DOCS/second.txt ]] || fail "second.txt exists before anything saved it"
log "the running window shows second.txt"

sleep 0.5
xdo type --delay 50 "gamma delta" || fail "xdotool type"

# The search box (left 304, top 8, 197 by 25 pixels in the button bar below
# the menu bar): click into it and replace its text, so that the settings
# file must hold this run's value.
xdo mousemove --sync --window "$MAIN_WINDOW" 402 42 click 1 || fail "xdotool click into the search box"
xdo key --delay 100 End shift+Home || fail "xdotool key"
xdo type --delay 50 "needle" || fail "xdotool type"

# ------------------------------------------------------------------ 3. close
sleep 0.5
xdo key --delay 100 alt+x || fail "xdotool key alt+x"
wait_until 20 "the 'Unsaved changes' dialog" dialog_named "Unsaved changes"
GEOMETRY=$(xwininfo -id "$DIALOG" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[[ $GEOMETRY == 485x330 ]] || fail "the unsaved-changes dialog is $GEOMETRY, expected 485x330"
log "unsaved-changes dialog $DIALOG shown ($GEOMETRY)"
sleep 0.5

# "Save All and Exit" is the left button: left 16, top 290, 140 by 27.
CLOSE_START=$(now_ms)
xdo mousemove --sync --window "$DIALOG" 86 303 click 1 || fail "xdotool click on 'Save All and Exit'"
expect_main_end "'Save All and Exit'" 0
log "program ended with status 0 $(($(now_ms) - CLOSE_START)) ms after the click"

# ------------------------------------------------------------------ 4. the files
check_file first.txt "$DOCS/first.txt" "$FIRST_EXPECTED"
check_file second.txt "$DOCS/second.txt" $'gamma delta\r\n'
log "first.txt and second.txt hold the expected bytes"

[[ -f $INI ]] || fail "no quorvel.ini beside the copied program ($INI)"
[[ ! -e $DOCS/quorvel.ini ]] || fail "quorvel.ini was written into the working folder"

# section.key=value lines of an INI text (CR LF or LF line ends)
settings_of() {
  tr -d '\r' <"$1" | awk '
    /^\[.*\]$/ { section = substr($0, 2, length($0) - 2); next }
    /=/ { print section "." $0 }'
}
# Expected: the built-in defaults with this run's search text.
settings_of "$DEFINI" | sed 's/^Editor\.SearchText=.*/Editor.SearchText=needle/' | sort >"$WORK/settings.expected"
settings_of "$INI" | sort >"$WORK/settings.written"
[[ $(wc -l <"$WORK/settings.expected") -eq 6 ]] || fail "$DEFINI does not hold six settings"
for name in Editor.SearchText Editor.ShowSpace Editor.WordWrap Files.OpenFolder Files.TypeList FileTypes.DefaultEditor; do
  grep -q "^$name=" "$WORK/settings.written" || fail "quorvel.ini lacks $name"
done
if ! cmp -s "$WORK/settings.expected" "$WORK/settings.written"; then
  diff "$WORK/settings.expected" "$WORK/settings.written" >&2
  fail "quorvel.ini does not hold the expected six settings"
fi
for section in Editor Files FileTypes; do
  [[ $(tr -d '\r' <"$INI" | grep -c "^\[$section\]$") -eq 1 ]] || fail "quorvel.ini lacks the section [$section]"
done
# Byte for byte: the defaults' lines with the new search text.
check_settings "$INI" "$DEFINI" needle
log "quorvel.ini holds the six settings"

log "PASS"
