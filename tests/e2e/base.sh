# The ground both helper files of the end-to-end scripts stand on (sourced
# by them): the time limit of a run, the log, and ending a process.

LEAK_SUPPRESSIONS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)/lsan.supp
TOTAL_LIMIT=${TOTAL_LIMIT:-100}  # seconds for the whole run (CTest stops it at 120)
START=$SECONDS
DEADLINE=$((SECONDS + TOTAL_LIMIT))

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

# The end of every output file of the run, on stderr: what a failure shows.
show_program_output() {
  local f
  for f in "$WORK"/*.out "$WORK"/*.err; do
    [[ -s $f ]] || continue
    echo "--- $f:" >&2
    tail -n 60 "$f" >&2
  done
}
