#!/usr/bin/env bash
# The window at device pixel ratios 1, 2 and 1.5 (QT_SCALE_FACTOR), with line
# numbers and a selected line, looked at in screenshots:
#  - at 2 the text is drawn at device pixels: under 30% of the inked 2x2
#    pixel blocks of the text are one colour (a stretched picture of ratio 1
#    makes them all one colour);
#  - the caret, the selection and the line number of the caret's line stand
#    where they stand at ratio 1, scaled (give or take two device pixels).
#
#   device_pixels.sh <quorvel executable> <default settings (app/DefINI)>
set -u
PROGRAM=${1:?usage: $0 <quorvel executable> <DefINI>}
DEFAULTS=${2:?usage: $0 <quorvel executable> <DefINI>}
HERE=$(cd "$(dirname "$0")" && pwd -P)
TOTAL_LIMIT=140  # three starts of the program (CTest stops the run at 150 s)
source "$HERE/common.sh"
e2e_begin import python3
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"

prepare_program
# Line numbers on, the rest the defaults.
sed 's/^\[Editor\]\r$/[Editor]\r\nLineNumbers=1\r/' "$DEFAULTS" >"$WORK/bin/quorvel.ini"
for i in 1 2 3 4 5 6 7 8; do printf '<?php echo "Quorvel %d", $line[%d] + 42; // WMgi\r\n' "$i" "$i"; done >"$DOCS/doc.php"
new_display
N=$DISPLAY_NUMBER
BASE_ENV=$PROGRAM_ENV

screen() { python3 "$HERE/screen.py" "$@"; }
shot() { timeout 15 import -display ":$N" -window "$MAIN_WINDOW" -depth 8 "ppm:$WORK/$1.ppm" || fail "import"; }

# look <scale>: starts the program at the scale, selects the second line, and
# sets CARET, SELECTION, NUMBER (boxes "left top width height" in the
# window) and UNIFORM (per cent of one-colour blocks of the text below).
look() {
  local s=$1
  PROGRAM_ENV="$BASE_ENV QT_SCALE_FACTOR=$s"
  start_main_on "$N" doc.php
  xdo "$N" key --delay 150 ctrl+Home Down shift+End || fail "xdotool key"
  sleep 1
  shot "a-$s"
  # The caret blinks: the pixels that change by themselves are the caret.
  blinked() {
    shot "b-$s"
    CARET=$(screen diff "$WORK/a-$s.ppm" "$WORK/b-$s.ppm")
    [[ $CARET != none ]]
  }
  wait_until 20 "the caret to blink at scale $s" blinked
  local cx cy cw ch gx gw
  read -r cx cy cw ch <<<"$CARET"
  # The selection colour (0x999999) in the caret's rows.
  SELECTION=$(screen box "$WORK/a-$s.ppm" 0 "$cy" 100000 "$ch" 999999)
  [[ $SELECTION != none ]] || fail "no selection in the caret's row at scale $s"
  local sx sy sw sh
  read -r sx sy sw sh <<<"$SELECTION"
  # The line number: the ink of the gutter in the caret's rows, short of
  # the lines at the gutter's edge.
  read -r gx gw <<<"$(python3 -c "print(int(3 * $s), int($sx - 9 * $s))")"
  NUMBER=$(screen ink "$WORK/a-$s.ppm" "$gx" "$cy" "$gw" "$ch")
  UNIFORM=$(screen blocks "$WORK/a-$s.ppm" "$sx" $((sy + 2 * sh)) $((sw / 2)) $((3 * sh)))
  log "scale $s: caret $CARET, selection $SELECTION, line number $NUMBER, $UNIFORM% of inked 2x2 blocks one colour"
  xdo "$N" key --delay 100 Escape alt+x || fail "xdotool key alt+x"
  finish "$MAIN_PID" "the program at scale $s"
}

look 1
CARET1=$CARET SELECTION1=$SELECTION NUMBER1=$NUMBER
[[ $NUMBER1 != none ]] || fail "no line number found at scale 1"

# near <what> <scale> <box at 1> <box at the scale>: every edge within two device pixels.
near() {
  python3 - "$@" <<'PY' || fail "$1 at scale $2 stands at $4, at scale 1 at $3"
import sys
what, s, one, other = sys.argv[1], float(sys.argv[2]), sys.argv[3].split(), sys.argv[4].split()
if 'none' in one + other:
    sys.exit(1)
x, y, w, h = (int(v) for v in one)
X, Y, W, H = (int(v) for v in other)
expected = (x * s, y * s, (x + w) * s, (y + h) * s)
found = (X, Y, X + W, Y + H)
sys.exit(0 if all(abs(a - b) <= 2 + s for a, b in zip(expected, found)) else 1)
PY
}
for s in 2 1.5; do
  look "$s"
  near caret "$s" "$CARET1" "$CARET"
  near selection "$s" "$SELECTION1" "$SELECTION"
  near "line number" "$s" "$NUMBER1" "$NUMBER"
  if [[ $s == 2 ]]; then
    ((UNIFORM < 30)) || fail "at scale 2, $UNIFORM% of the text's inked 2x2 blocks are one colour: stretched"
  fi
done
log "PASS"
