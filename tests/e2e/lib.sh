# Shared by the end-to-end scripts (sourced): a work folder, a private Xvfb
# server, the program run with nothing of the caller's environment but PATH,
# bounded waits, and on failure a screenshot and the program's output.
#
#   PROGRAM=<quorvel executable>; source lib.sh; e2e_start
#
# After e2e_start: WORK (the work folder, removed when the script passes),
# APP (a copy of the program in $WORK/bin, so that its settings file is
# $WORK/bin/quorvel.ini), DOCS (the program's working folder), HOME_DIR (its
# home: recovery journals go to $HOME_DIR/.local/state/quorvel) and DISPLAY.
# Every process whose id is in MAIN_PID or SECOND_PID when the script ends
# is ended.

source "$(dirname "${BASH_SOURCE[0]}")/base.sh"

WORK=""
XVFB_PID=""
MAIN_PID=""
SECOND_PID=""
DISPLAY_NUMBER=""
FAILED=0

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
  show_program_output
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

# Gives a window the input focus. A window is found by its name before it is
# mapped, and X refuses to focus a window that is not viewable (BadMatch):
# try again for a few seconds before giving up.
focus_window() {  # window id
  local until=$((SECONDS + 10))
  while ((SECONDS < until)); do
    xdo windowfocus --sync "$1" 2>/dev/null && return 0
    sleep 0.25
  done
  xdo windowfocus --sync "$1"
}

# A display number from a random start well away from the low numbers other
# X servers on the machine tend to take; the server's own lock file decides,
# and a taken number makes it end at once, so the next one is tried.
# -displayfd reports the number when the server accepts connections.
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

# The sandbox and the X server.
e2e_start() {
  local tool i n first_number
  for tool in Xvfb xdotool xwininfo timeout od cmp; do
    command -v "$tool" >/dev/null || fail "the tool $tool is not installed (scripts/install-deps.sh installs it)"
  done
  [[ -x $PROGRAM ]] || fail "no program at $PROGRAM"
  [[ -f $LEAK_SUPPRESSIONS ]] || fail "no leak suppressions at $LEAK_SUPPRESSIONS"

  WORK=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-e2e.XXXXXX") || fail "cannot make a temporary folder"
  WORK=$(cd "$WORK" && pwd -P)
  mkdir -p "$WORK/bin" "$WORK/docs" "$WORK/home" "$WORK/runtime"
  chmod 700 "$WORK/runtime"
  cp "$PROGRAM" "$WORK/bin/quorvel" || fail "cannot copy the program"
  APP=$WORK/bin/quorvel
  DOCS=$WORK/docs
  HOME_DIR=$WORK/home
  log "work folder $WORK"

  first_number=$((300 + RANDOM % 600))
  for ((i = 0; i < 20; ++i)); do
    n=$((first_number + i))
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    start_xvfb "$n" && break
  done
  [[ -n $DISPLAY_NUMBER ]] || fail "no free display number from $first_number on (Xvfb: $(tail -n 3 "$WORK/xvfb.err"))"
  export DISPLAY=:$DISPLAY_NUMBER

  # The program's environment reaches the server (the same client library).
  env -i PATH="$PATH" HOME="$HOME_DIR" DISPLAY="$DISPLAY" timeout 10 xwininfo -root >/dev/null 2>"$WORK/xcheck.err" ||
    fail "$DISPLAY does not answer a client in the program's environment"
  log "Xvfb on $DISPLAY"
}

# The program runs with nothing of the caller's environment but PATH, in
# $DOCS (or in $RUN_IN when that is set).
run_program() {  # output name, arguments...
  local name=$1
  shift
  cd "${RUN_IN:-$DOCS}" && exec env -i PATH="$PATH" HOME="$HOME_DIR" XDG_RUNTIME_DIR="$WORK/runtime" \
    DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions="$LEAK_SUPPRESSIONS" \
    UBSAN_OPTIONS=print_stacktrace=1 \
    "$APP" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err"
}

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

# A shown window whose name is exactly the given one -> its id in DIALOG.
dialog_named() {
  DIALOG=$(xdo search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
  [[ -n $DIALOG ]]
}

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

main_ended() { ! alive "$MAIN_PID"; }

# Waits for the running program to end and checks its exit status.
expect_main_end() {  # what made it end, expected status
  EXPECT_MAIN_ALIVE=0 wait_until 30 "the program to end after $1" main_ended
  wait "$MAIN_PID"
  local status=$?
  MAIN_PID=""
  [[ $status -eq $2 ]] || fail "after $1 the program ended with status $status (expected $2)"
}

# The settings file byte for byte: the built-in defaults' lines with the
# given search text, every line ending in CR LF, one empty line at the end.
check_settings() {  # settings file, default settings (app/DefINI), search text
  {
    sed "s/^SearchText=.*\r\$/SearchText=$3\r/" "$2"
    printf '\r\n'
  } >"$WORK/quorvel.ini.expected"
  if ! cmp -s "$1" "$WORK/quorvel.ini.expected"; then
    show_file "quorvel.ini as written" "$1" >&2
    show_file "quorvel.ini expected" "$WORK/quorvel.ini.expected" >&2
    fail "quorvel.ini differs from the expected bytes"
  fi
}

# The scripts' documents and journals: the journal folder is $JOURNALS, the
# document doc.txt in $DOCS.
journal_holds() { grep -qa -- "$1" "$JOURNALS"/*.journal 2>/dev/null; }
focus_main() {
  window_named "TAVO - [$DOCS/doc.txt]" || fail "the main window does not show doc.txt"
  focus_window "$WINDOW" || fail "could not focus the main window"
  sleep 0.5
}
# Answers the program's question with Return (its default button).
answer_question() {  # what it is about
  wait_until 30 "the question about $1" dialog_named "Quorvel Editor"
  sleep 0.5
  focus_window "$DIALOG" || fail "could not focus the question about $1"
  xdo key --delay 100 Return || fail "xdotool key"
  log "answered the question about $1 with Return"
}
