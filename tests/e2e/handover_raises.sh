#!/usr/bin/env bash
# A second start hands its file to the running window and brings that window
# forward: minimized under a window manager (openbox), the window is shown
# again, raised and given the focus, showing the second start's file.
# Skipped with a message (status 77) where openbox is not installed.
#
#   handover_raises.sh <quorvel executable>
set -u
PROGRAM=${1:?usage: $0 <quorvel executable>}
command -v openbox >/dev/null || {
  echo "SKIPPED: openbox is not installed (scripts/install-deps.sh installs it)"
  exit 77
}
source "$(dirname "$0")/common.sh"
e2e_begin xprop
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"

prepare_program
new_display
N=$DISPLAY_NUMBER
(cd "$WORK" && exec env DISPLAY=":$N" HOME="$WORK/home" openbox --sm-disable >"$WORK/openbox.out" 2>&1) &
PIDS+=("$!")
wm_up() { DISPLAY=":$N" timeout 10 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wait_until 30 "openbox to run" wm_up

start_main_on "$N" a.txt
state() { DISPLAY=":$N" timeout 10 xprop -id "$MAIN_WINDOW" WM_STATE 2>/dev/null | grep -o 'Iconic\|Normal'; }
iconic() { [[ $(state) == Iconic ]]; }
xdo "$N" windowminimize "$MAIN_WINDOW" || fail "xdotool windowminimize"
wait_until 20 "the window to be minimized" iconic
log "the window is minimized"

(run_program "$N" second "$DOCS" "$APP" b.txt) &
SECOND_PID=$!
PIDS+=("$SECOND_PID")
finish "$SECOND_PID" "the second start"
forward() {
  [[ $(state) == Normal ]] && [[ $(xdo "$N" getactivewindow 2>/dev/null) == "$MAIN_WINDOW" ]] &&
    [[ $(xdo "$N" getwindowname "$MAIN_WINDOW" 2>/dev/null) == "TAVO - [$DOCS/b.txt]" ]]
}
if ! poll_until 20 "the window to come forward" forward; then
  fail "after the second start the window is $(state), the active window $(xdo "$N" getactivewindow 2>&1), named $(xdo "$N" getwindowname "$MAIN_WINDOW" 2>&1)"
fi
log "the second start's file shows in the window, shown again and active"

xdo "$N" key --delay 100 alt+x || fail "xdotool key alt+x"
finish "$MAIN_PID" "the program"
log "PASS"
