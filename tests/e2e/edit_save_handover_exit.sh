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

LEAK_SUPPRESSIONS=$(cd "$(dirname "$0")" && pwd -P)/lsan.supp
TOTAL_LIMIT=100          # seconds for the whole run (CTest stops it at 120)
START=$SECONDS
DEADLINE=$((SECONDS + TOTAL_LIMIT))

WORK=""
XVFB_PID=""
MAIN_PID=""
SECOND_PID=""
DISPLAY_NUMBER=""
FAILED=0

now_ms() { date +%s%3N; }
log() { printf '[e2e %3ds] %s\n' "$((SECONDS - START))" "$*"; }

alive() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [[ -n $state && $state != Z* ]]
}

stop_process() {  # pid: TERM, a short grace, then KILL
  local pid=$1 i
  [[ -n $pid ]] || return 0
  alive "$pid" || return 0
  kill -TERM "$pid" 2>/dev/null
  for i in $(seq 30); do alive "$pid" || return 0; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

show_file() {  # label, path
  if [[ -e $2 ]]; then
    echo "--- $1 ($2, $(stat -c %s "$2") bytes):"
    od -An -c "$2" | head -40
  else
    echo "--- $1 ($2): does not exist"
  fi
}

fail() {
  FAILED=1
  echo "FAIL: $*" >&2
  if [[ -n $DISPLAY_NUMBER ]] && command -v import >/dev/null && [[ -n $XVFB_PID ]] && alive "$XVFB_PID"; then
    local shot=$WORK/failure-screen.png
    if timeout 15 import -display ":$DISPLAY_NUMBER" -window root "$shot" 2>/dev/null; then
      echo "screenshot: $shot" >&2
    fi
  fi
  if [[ -n $DISPLAY_NUMBER ]]; then
    echo "--- windows on :$DISPLAY_NUMBER:" >&2
    timeout 10 xwininfo -display ":$DISPLAY_NUMBER" -root -tree 2>&1 | grep '"' >&2
  fi
  local f
  for f in "$WORK"/*.out "$WORK"/*.err; do
    [[ -s $f ]] || continue
    echo "--- $f:" >&2
    tail -n 60 "$f" >&2
  done
  exit 1
}

cleanup() {
  stop_process "$SECOND_PID"
  stop_process "$MAIN_PID"
  stop_process "$XVFB_PID"
  if [[ -n $WORK ]]; then
    if [[ $FAILED -eq 0 ]]; then rm -rf "$WORK"; else echo "work folder kept: $WORK" >&2; fi
  fi
}
trap cleanup EXIT
trap 'fail "interrupted by a signal"' INT TERM HUP

# poll_until <seconds> <what> <command...>: runs the command every 0.2 s
# until it succeeds (0) or the time, or the whole run's limit, is up (1);
# fails at once when the running instance ends although it should run
# (EXPECT_MAIN_ALIVE=0 turns that off). wait_until fails on the time-out.
poll_until() {
  local limit=$1 what=$2
  shift 2
  local end=$((SECONDS + limit))
  ((end > DEADLINE)) && end=$DEADLINE
  while :; do
    "$@" && return 0
    if [[ -n $MAIN_PID && ${EXPECT_MAIN_ALIVE:-1} -eq 1 ]] && ! alive "$MAIN_PID"; then
      wait "$MAIN_PID"
      fail "while waiting for $what the program ended (status $?)"
    fi
    ((SECONDS >= end)) && return 1
    sleep 0.2
  done
}
wait_until() {
  poll_until "$@" || fail "timed out after ${1}s waiting for $2"
}

xdo() { timeout 15 xdotool "$@"; }

for tool in Xvfb xdotool xwininfo timeout od cmp; do
  command -v "$tool" >/dev/null || fail "the tool $tool is not installed (scripts/install-deps.sh installs it)"
done
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"
[[ -f $DEFINI ]] || fail "no default settings at $DEFINI"
[[ -f $LEAK_SUPPRESSIONS ]] || fail "no leak suppressions at $LEAK_SUPPRESSIONS"

# ------------------------------------------------------------------ the sandbox
WORK=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-e2e.XXXXXX") || fail "cannot make a temporary folder"
WORK=$(cd "$WORK" && pwd -P)
mkdir -p "$WORK/bin" "$WORK/docs" "$WORK/home" "$WORK/runtime"
chmod 700 "$WORK/runtime"
cp "$PROGRAM" "$WORK/bin/quorvel" || fail "cannot copy the program"
APP=$WORK/bin/quorvel
DOCS=$WORK/docs
INI=$WORK/bin/quorvel.ini
printf 'alpha\nbeta\n' >"$DOCS/first.txt"
log "work folder $WORK"

# ------------------------------------------------------------------ X server
# A display number from a random start well away from the low numbers other
# X servers on the machine tend to take; the server's own lock file decides,
# and a taken number makes it end at once, so the next one is tried.
# -displayfd reports the number when the server accepts connections;
# -noreset keeps it from restarting (and refusing connections for a moment)
# each time its last client leaves.
start_xvfb() {  # display number -> 0 when it runs
  local n=$1 end=$((SECONDS + 30))
  : >"$WORK/display"
  Xvfb ":$n" -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    9>"$WORK/display" >"$WORK/xvfb.out" 2>"$WORK/xvfb.err" &
  XVFB_PID=$!
  while ((SECONDS < end && SECONDS < DEADLINE)); do
    if [[ $(tr -dc '0-9' <"$WORK/display") == "$n" ]]; then
      DISPLAY_NUMBER=$n
      return 0
    fi
    if ! alive "$XVFB_PID"; then
      wait "$XVFB_PID" 2>/dev/null
      XVFB_PID=""
      return 1
    fi
    sleep 0.2
  done
  fail "Xvfb :$n did not report itself ready in time"
}
first_number=$((300 + RANDOM % 600))
for ((i = 0; i < 20; ++i)); do
  n=$((first_number + i))
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  start_xvfb "$n" && break
done
[[ -n $DISPLAY_NUMBER ]] || fail "no free display number from $first_number on (Xvfb: $(tail -n 3 "$WORK/xvfb.err"))"
export DISPLAY=:$DISPLAY_NUMBER

# The program runs with nothing of the caller's environment but PATH.
run_program() {  # output name, arguments...
  local name=$1
  shift
  cd "$DOCS" && exec env -i PATH="$PATH" HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/runtime" \
    DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions="$LEAK_SUPPRESSIONS" \
    UBSAN_OPTIONS=print_stacktrace=1 \
    "$APP" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err"
}

# The program's environment reaches the server (the same client library).
env -i PATH="$PATH" HOME="$WORK/home" DISPLAY="$DISPLAY" timeout 10 xwininfo -root >/dev/null 2>"$WORK/xcheck.err" ||
  fail "$DISPLAY does not answer a client in the program's environment"
log "Xvfb on $DISPLAY"

window_named() {  # exact name -> the window id in WINDOW
  local id
  for id in $(xdo search --name '^TAVO' 2>/dev/null); do
    if [[ $(xdo getwindowname "$id" 2>/dev/null) == "$1" ]]; then
      WINDOW=$id
      return 0
    fi
  done
  return 1
}

count_main_windows() { xdo search --name '^TAVO' 2>/dev/null | wc -l; }

file_is() {  # path, expected bytes (printf format already expanded)
  [[ -f $1 ]] && cmp -s "$1" <(printf '%s' "$2")
}

check_file() {  # label, path, expected bytes
  if ! file_is "$2" "$3"; then
    show_file "$1 as written" "$2" >&2
    printf '%s' "$3" >"$WORK/$1.expected"
    show_file "$1 expected" "$WORK/$1.expected" >&2
    fail "$1 does not hold the expected bytes"
  fi
}

# ------------------------------------------------------------------ 1. first start
(run_program first first.txt) &
MAIN_PID=$!
log "started quorvel first.txt (pid $MAIN_PID)"
wait_until 60 "the main window 'TAVO - [$DOCS/first.txt]'" window_named "TAVO - [$DOCS/first.txt]"
MAIN_WINDOW=$WINDOW
log "main window $MAIN_WINDOW is shown"

# No window manager: give the window the input focus directly; the window's
# activation puts the keyboard focus into the current document.
xdo windowfocus --sync "$MAIN_WINDOW" || fail "could not focus the main window"
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
dialog_shown() {
  DIALOG=$(xdo search --onlyvisible --name '^Unsaved changes$' 2>/dev/null | head -n 1)
  [[ -n $DIALOG ]]
}
wait_until 20 "the 'Unsaved changes' dialog" dialog_shown
GEOMETRY=$(xwininfo -id "$DIALOG" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[[ $GEOMETRY == 485x330 ]] || fail "the unsaved-changes dialog is $GEOMETRY, expected 485x330"
log "unsaved-changes dialog $DIALOG shown ($GEOMETRY)"
sleep 0.5

# "Save All and Exit" is the left button: left 16, top 290, 140 by 27.
CLOSE_START=$(now_ms)
xdo mousemove --sync --window "$DIALOG" 86 303 click 1 || fail "xdotool click on 'Save All and Exit'"
main_ended() { ! alive "$MAIN_PID"; }
EXPECT_MAIN_ALIVE=0 wait_until 20 "the program to end after 'Save All and Exit'" main_ended
wait "$MAIN_PID"
MAIN_STATUS=$?
MAIN_PID=""
[[ $MAIN_STATUS -eq 0 ]] || fail "the program ended with status $MAIN_STATUS (expected 0)"
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
# Byte for byte: the defaults' lines with the new search text, every line
# ending in CR LF, and one empty line at the end.
{
  sed 's/^SearchText=.*\r$/SearchText=needle\r/' "$DEFINI"
  printf '\r\n'
} >"$WORK/quorvel.ini.expected"
if ! cmp -s "$INI" "$WORK/quorvel.ini.expected"; then
  show_file "quorvel.ini as written" "$INI" >&2
  show_file "quorvel.ini expected" "$WORK/quorvel.ini.expected" >&2
  fail "quorvel.ini differs from the expected bytes"
fi
log "quorvel.ini holds the six settings"

log "PASS"
