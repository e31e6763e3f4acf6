#!/usr/bin/env bash
# Dead keys and Ctrl chords in the real window, sent as the raw key codes of
# a pc105 keyboard (xdotool's "type" would remap keys to reach a character):
#  - Ctrl++, Ctrl+=, Ctrl+-, Ctrl+0 and Ctrl+1, which nothing binds, type
#    nothing;
#  - US International: dead ' then e types "é", dead ' then Space types "'";
#  - German: dead ^ then Space types "^", dead ^ then e types "ê".
# The document is Windows-1252: é and ê are the bytes 0xE9 and 0xEA.
#
#   keyboard_layouts.sh <quorvel executable>
set -u
PROGRAM=${1:?usage: $0 <quorvel executable>}
source "$(dirname "$0")/common.sh"
e2e_begin od setxkbmap
export LC_ALL=C.UTF-8
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"

prepare_program
printf 'x\r\n' >"$DOCS/doc.txt"

new_display
N=$DISPLAY_NUMBER
start_main_on "$N" doc.txt

layout() { DISPLAY=":$N" timeout 15 setxkbmap "$@" || fail "setxkbmap $*"; }
keys() { xdo "$N" key --delay 150 "$@" || fail "xdotool key $*"; }

keys End
# Key codes: 21 = and +, 20 - and _, 19 0, 10 1.
keys ctrl+21 ctrl+shift+21 ctrl+20 ctrl+19 ctrl+10
keys F2
if ! poll_until 20 "F2 to save doc.txt" file_is "$DOCS/doc.txt" $'x\r\n'; then
  od -An -c "$DOCS/doc.txt" >&2
  fail "Ctrl chords typed characters"
fi
log "Ctrl++, Ctrl+=, Ctrl+-, Ctrl+0 and Ctrl+1 left the text as it was"

# 48: the apostrophe key (dead acute), 26: e, 65: Space, 49: the key left of 1 (dead ^ on German).
layout us -variant intl
keys 48 26 48 65
layout de
keys 49 65 49 26
layout us
keys F2
EXPECTED=$'x\xE9\'^\xEA\r\n'
if ! poll_until 20 "F2 to save doc.txt" file_is "$DOCS/doc.txt" "$EXPECTED"; then
  od -An -c "$DOCS/doc.txt" >&2
  fail "dead keys did not type their characters"
fi
log "dead ' e, dead ' Space (US International), dead ^ Space, dead ^ e (German) typed é ' ^ ê"

keys alt+x
finish "$MAIN_PID" "the program"
log "PASS"
