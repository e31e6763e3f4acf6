#!/usr/bin/env bash
# Characters typed in the real window into an ASCII document, driven with X
# input: "é" keeps its Windows-1252 byte; "中" has none, so the document
# becomes UTF-8 with it; "😀" follows as UTF-8. F2 saves them as UTF-8; two
# Ctrl+Z take back the emoji, then the change to UTF-8 with "中", and F2
# saves the Windows-1252 byte again.
#
#   typed_characters.sh <quorvel executable>
set -u
PROGRAM=${1:?usage: $0 <quorvel executable>}
source "$(dirname "$0")/common.sh"
e2e_begin od
export LC_ALL=C.UTF-8
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"

prepare_program
printf 'abc\n' >"$DOCS/doc.txt"

new_display
N=$DISPLAY_NUMBER
start_main_on "$N" doc.txt

xdo "$N" key --delay 100 End space || fail "xdotool key"
xdo "$N" type --delay 80 "é中😀" || fail "xdotool type"
xdo "$N" key --delay 100 F2 || fail "xdotool key F2"
EXPECTED=$'abc é中😀\r\n'
if ! poll_until 20 "F2 to save doc.txt" file_is "$DOCS/doc.txt" "$EXPECTED"; then
  od -An -c "$DOCS/doc.txt" >&2
  fail "doc.txt does not hold the typed characters as UTF-8"
fi
log "doc.txt saved as UTF-8 with the typed characters"

xdo "$N" key --delay 150 ctrl+z ctrl+z F2 || fail "xdotool key"
EXPECTED=$'abc \xE9\r\n'
if ! poll_until 20 "F2 to save doc.txt after the undo" file_is "$DOCS/doc.txt" "$EXPECTED"; then
  od -An -c "$DOCS/doc.txt" >&2
  fail "undo did not give back the Windows-1252 document"
fi
log "undo gave back the Windows-1252 byte"

xdo "$N" key --delay 100 alt+x || fail "xdotool key alt+x"
finish "$MAIN_PID" "the program"
log "PASS"
