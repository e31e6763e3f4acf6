#!/usr/bin/env bash
# Key press to pixels in real windows: the editor and the peers (QPlainTextEdit,
# QScintilla) each open FILE in a private Xvfb server, and key-to-pixels types
# into them, at the top of the file and after Ctrl+End. The programs take turns
# (ours, qpte, qsci; ROUNDS times), so that the machine's load falls on all alike.
#
#   bench/x11/key-to-pixels.sh BUILD_DIR FILE [ROUNDS] [PRESSES] [WHO...]
#
# WHO is any of quorvel qpte qsci (default these three), and qtfloor,
# qtfloor-settled and x11floor: a bare QWidget (plain, or settling its pixels
# after each key as the editor does) and a bare X client, each putting one
# cell per key (floor-qt, floor-x11): the least a window takes on this machine.
# KEY and AFTER (X keysym names) choose the key pressed and the one that undoes
# it: x and BackSpace unless set, e.g. KEY=Next AFTER=Prior WHERE=top for
# paging (WHERE: top, end or both, the default). PAUSE=MS lets each window sit
# that long before every press (a first key after a pause, when the caret has
# blinked). BUILD_DIR holds the quorvel executable and bench/x11/key-to-pixels;
# the peers are built from ../shared/peers (PEERS, PEERS_BUILD) the way its
# run-peers builds them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
file=$(realpath "$2")
rounds=${3:-3}
presses=${4:-200}
shift $(($# < 4 ? $# : 4))
who=("${@:-quorvel qpte qsci}")
read -r -a who <<<"${who[*]}"
peers=${PEERS:-$here/../../../shared/peers}
out=${PEERS_BUILD:-/tmp/quorvel-peers}
tool=$build/bench/x11/key-to-pixels
[[ -x $tool ]] || { echo "no $tool (configure with -DQUORVEL_BENCH=ON)" >&2; exit 1; }
mkdir -p "$out"

for peer in qpte qsci; do
  [[ " ${who[*]} " == *" $peer "* ]] || continue
  exe=$out/${peer}_window
  if [[ ! -x $exe || $peers/${peer}_window.cpp -nt $exe ]]; then
    extra=""
    [[ $peer == qsci ]] && extra="-lqscintilla2_qt6"
    g++ -O2 -std=c++20 -fPIC "$peers/${peer}_window.cpp" -o "$exe" $(pkg-config --cflags --libs Qt6Widgets) $extra
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/key-to-pixels.XXXXXX")
xvfb=""
app=""
finish() {
  [[ -n $app ]] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null
  [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

number=$((700 + RANDOM % 200))
while [[ -e /tmp/.X$number-lock || -e /tmp/.X11-unix/X$number ]]; do number=$((number + 1)); done
Xvfb ":$number" -screen 0 1600x1000x24 -noreset -nolisten tcp >"$work/xvfb.err" 2>&1 &
xvfb=$!
export DISPLAY=:$number
for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

mkdir -p "$work/bin" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
[[ -x $build/quorvel ]] && cp "$build/quorvel" "$work/bin/quorvel"

run() {  # who where
  local title
  case $1 in
    quorvel) title="TAVO - ["; env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" DISPLAY="$DISPLAY" \
      QT_QPA_PLATFORM=xcb "$work/bin/quorvel" "$file" >"$work/app.out" 2>&1 & ;;
    qpte) title="QPTE window"; "$out/qpte_window" "$file" >"$work/app.out" 2>&1 & ;;
    qsci) title="QSCI window"; "$out/qsci_window" "$file" >"$work/app.out" 2>&1 & ;;
    qtfloor) title="Qt floor window"; "$build/bench/x11/floor-qt" >"$work/app.out" 2>&1 & ;;
    qtfloor-settled) title="Qt floor window"; "$build/bench/x11/floor-qt" --settle >"$work/app.out" 2>&1 & ;;
    x11floor) title="X11 floor window"; "$build/bench/x11/floor-x11" >"$work/app.out" 2>&1 & ;;
  esac
  app=$!
  local before=()
  [[ $2 == end ]] && before=(--before End+ctrl)
  printf '%-8s %-4s ' "$1" "$2"
  "$tool" "$title" ${PAUSE:+--pause "$PAUSE"} --presses "$presses" --key "${KEY:-x}" --after "${AFTER:-BackSpace}" "${before[@]}" ||
    tail -5 "$work/app.out"
  kill "$app" 2>/dev/null
  wait "$app" 2>/dev/null || true
  app=""
  rm -rf "$work/home/.local/state"
}

for ((r = 1; r <= rounds; ++r)); do
  for where in ${WHERE:-top end}; do
    for w in "${who[@]}"; do run "$w" "$where"; done
  done
done
