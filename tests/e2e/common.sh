# Helpers of the end-to-end scripts that start the real program on private
# Xvfb servers: bounded waits, X input through xdotool, every process started
# ended at exit, and on failure a screenshot of every display and the
# program's output kept in the work folder. Source it, then call e2e_begin.
#
# Every start of the program gets nothing of the caller's environment but
# PATH and what the script passes (run_program).

source "$(dirname "${BASH_SOURCE[0]}")/base.sh"
WORK=""
FAILED=0
PIDS=()      # started here, ended at exit (last first)
DISPLAYS=()  # display numbers of the Xvfb servers started here

# A copy of PROGRAM in $WORK/bin (APP), the folder DOCS to start it in, and
# a home and runtime folder of its own (PROGRAM_ENV).
prepare_program() {
  mkdir -p "$WORK/bin" "$WORK/docs" "$WORK/home" "$WORK/runtime"
  chmod 700 "$WORK/runtime"
  cp "$PROGRAM" "$WORK/bin/quorvel" || fail "cannot copy the program"
  APP=$WORK/bin/quorvel
  DOCS=$WORK/docs
  PROGRAM_ENV="HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/runtime"
}

fail() {
  FAILED=1
  echo "FAIL: $*" >&2
  local n
  for n in "${DISPLAYS[@]}"; do
    if command -v import >/dev/null && timeout 15 import -display ":$n" -window root "$WORK/failure-screen-$n.png" 2>/dev/null; then
      echo "screenshot of :$n: $WORK/failure-screen-$n.png" >&2
    fi
    echo "--- windows on :$n:" >&2
    timeout 10 xwininfo -display ":$n" -root -tree 2>&1 | grep '"' >&2
  done
  show_program_output
  exit 1
}

cleanup() {
  local i
  for ((i = ${#PIDS[@]} - 1; i >= 0; --i)); do stop_process "${PIDS[i]}"; done
  if [[ -n $WORK ]]; then
    if [[ $FAILED -eq 0 ]]; then rm -rf "$WORK"; else echo "work folder kept: $WORK" >&2; fi
  fi
}

# poll_until <seconds> <what> <command...>: runs the command every 0.2 s until
# it succeeds (0) or the time, or the whole run's limit, is up (1).
poll_until() {
  local limit=$1 what=$2
  shift 2
  local end=$((SECONDS + limit))
  ((end > DEADLINE)) && end=$DEADLINE
  while :; do
    "$@" && return 0
    ((SECONDS >= end)) && return 1
    sleep 0.2
  done
}
wait_until() {
  poll_until "$@" || fail "timed out after ${1}s waiting for $2"
}

# xdo <display number> <xdotool arguments...>
xdo() {
  local n=$1
  shift
  DISPLAY=":$n" timeout 15 xdotool "$@"
}

# Gives a window the input focus. A window is found by its name before it is
# mapped, and X refuses to focus a window that is not viewable (BadMatch):
# try again for a few seconds before giving up.
focus_window() {  # display number, window id
  local until=$((SECONDS + 10))
  while ((SECONDS < until)); do
    xdo "$1" windowfocus --sync "$2" 2>/dev/null && return 0
    sleep 0.25
  done
  xdo "$1" windowfocus --sync "$2"
}

# e2e_begin <tools...>: checks the tools, makes the work folder.
e2e_begin() {
  trap cleanup EXIT
  trap 'fail "interrupted by a signal"' INT TERM HUP
  local tool
  for tool in Xvfb xdotool xwininfo timeout cmp "$@"; do
    command -v "$tool" >/dev/null || fail "the tool $tool is not installed (scripts/install-deps.sh installs it)"
  done
  [[ -f $LEAK_SUPPRESSIONS ]] || fail "no leak suppressions at $LEAK_SUPPRESSIONS"
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-e2e.XXXXXX") || fail "cannot make a temporary folder"
  WORK=$(cd "$WORK" && pwd -P)
  log "work folder $WORK"
}

# new_display: starts an Xvfb server on a free display number and sets
# DISPLAY_NUMBER. The number comes from a random start well away from the low
# numbers other servers take; the server's own lock decides, a taken number
# makes it end at once and the next is tried. -displayfd reports the number
# once the server accepts connections. -noreset: the server does not restart
# (refusing connections for a moment) each time its last client leaves.
new_display() {
  local first=$((300 + RANDOM % 600)) i n pid end
  DISPLAY_NUMBER=""
  for ((i = 0; i < 20; ++i)); do
    n=$((first + i))
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    : >"$WORK/display-$n"
    Xvfb ":$n" -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp -noreset \
      9>"$WORK/display-$n" >"$WORK/xvfb-$n.log" 2>&1 &
    pid=$!
    end=$((SECONDS + 30))
    while ((SECONDS < end && SECONDS < DEADLINE)); do
      if [[ $(tr -dc '0-9' <"$WORK/display-$n") == "$n" ]]; then
        PIDS+=("$pid")
        DISPLAYS+=("$n")
        DISPLAY_NUMBER=$n
        log "Xvfb on :$n"
        return 0
      fi
      alive "$pid" || break
      sleep 0.2
    done
    stop_process "$pid"
  done
  fail "no free display number from $first on"
}

# run_program <display number> <output name> <folder to start in> <program> <arguments...>
# runs in the foreground (start it with & and note $!); RUN_AS (a setpriv
# prefix) and PROGRAM_ENV (NAME=value words) come from the caller.
run_program() {
  local n=$1 name=$2 folder=$3
  shift 3
  cd "$folder" && exec ${RUN_AS:-} env -i PATH="$PATH" DISPLAY=":$n" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions="$LEAK_SUPPRESSIONS" \
    UBSAN_OPTIONS=print_stacktrace=1 ${PROGRAM_ENV:-} \
    "$@" >"$WORK/$name.out" 2>"$WORK/$name.err"
}

# window_named <display number> <exact name> -> the window id in WINDOW
window_named() {
  local id
  for id in $(xdo "$1" search --name '^TAVO' 2>/dev/null); do
    if [[ $(xdo "$1" getwindowname "$id" 2>/dev/null) == "$2" ]]; then
      WINDOW=$id
      return 0
    fi
  done
  return 1
}

# start_main_on <display number> <document in $DOCS>: the program on the
# document, its window found and given the focus -> MAIN_PID, MAIN_WINDOW
start_main_on() {
  local n=$1 document=$2
  (run_program "$n" main "$DOCS" "$APP" "$document") &
  MAIN_PID=$!
  PIDS+=("$MAIN_PID")
  wait_until 60 "the window 'TAVO - [$DOCS/$document]'" window_named "$n" "TAVO - [$DOCS/$document]"
  MAIN_WINDOW=$WINDOW
  focus_window "$n" "$MAIN_WINDOW" || fail "could not focus the main window"
  sleep 1
}

count_main_windows() { xdo "$1" search --name '^TAVO' 2>/dev/null | wc -l; }

file_is() {  # path, expected bytes
  [[ -f $1 ]] && cmp -s "$1" <(printf '%s' "$2")
}

ended() { ! alive "$1"; }

# finish <pid> <what>: waits for the process to end, fails unless with status 0.
finish() {
  wait_until 20 "$2 to end" ended "$1"
  wait "$1"
  local status=$?
  [[ $status -eq 0 ]] || fail "$2 ended with status $status (expected 0)"
}
