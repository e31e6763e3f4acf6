#!/usr/bin/env bash
# An input method in the real window: fcitx5 with Pinyin, in a UTF-8
# document, keys sent as raw key codes.
#  - "nihao" is shown as pre-edit at the caret: the pixels it changes start
#    where the committed text later starts; the document is not changed;
#  - Escape drops it: the window shows what it showed before (the caret's
#    blink aside), F2 saves the document as it was;
#  - "nihao" and Space (the first candidate) type 你好, F2 saves it; one
#    Ctrl+Z takes it back.
# Skipped with a message (status 77) where fcitx5 with Pinyin cannot start.
#
#   input_method.sh <quorvel executable>
set -u
PROGRAM=${1:?usage: $0 <quorvel executable>}
HERE=$(cd "$(dirname "$0")" && pwd -P)
skip() {
  echo "SKIPPED: $*"
  exit 77
}
for tool in fcitx5 fcitx5-remote dbus-run-session dbus-send import python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
done
[[ -n $(find /usr/lib -name 'libfcitx5platforminputcontextplugin.so' -path '*qt6*' 2>/dev/null | head -n 1) ]] ||
  skip "fcitx5's Qt 6 module is not installed"
[[ -f /usr/share/fcitx5/addon/pinyin.conf ]] || skip "fcitx5's Pinyin is not installed"
# A session bus of its own, ended with the script.
[[ -n ${QUORVEL_E2E_BUS:-} ]] || exec env QUORVEL_E2E_BUS=1 dbus-run-session -- bash "$0" "$@"

source "$HERE/common.sh"
e2e_begin od
export LC_ALL=C.UTF-8
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"

prepare_program
printf 'ü\r\n' >"$DOCS/doc.txt"
new_display
N=$DISPLAY_NUMBER

CONFIG=$WORK/home/.config
mkdir -p "$CONFIG/fcitx5"
cat >"$CONFIG/fcitx5/profile" <<'PROFILE'
[Groups/0]
Name=Default
Default Layout=us
DefaultIM=pinyin

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=pinyin
Layout=

[GroupOrder]
0=Default
PROFILE
cat >"$CONFIG/fcitx5/config" <<'CONFIG'
[Behavior]
ActiveByDefault=True
ShareInputState=All
CONFIG
(cd "$WORK" && exec env DISPLAY=":$N" HOME="$WORK/home" XDG_CONFIG_HOME="$CONFIG" \
  fcitx5 --disable=cloudpinyin,notificationitem,kimpanel,classicui >"$WORK/fcitx5.out" 2>&1) &
PIDS+=("$!")
remote() { DISPLAY=":$N" timeout 10 fcitx5-remote "$@"; }
# Asked of the bus itself: fcitx5-remote would have the bus start a second fcitx5.
fcitx_up() {
  timeout 10 dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.fcitx.Fcitx5 2>/dev/null | grep -q 'boolean true'
}
poll_until 30 "fcitx5 to start" fcitx_up || skip "fcitx5 did not start here: $(tail -n 3 "$WORK/fcitx5.out")"
log "fcitx5 runs"

PROGRAM_ENV+=" DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS QT_IM_MODULE=fcitx XMODIFIERS=@im=fcitx"
start_main_on "$N" doc.txt
remote -o || fail "fcitx5-remote -o"
im_on() { [[ $(remote 2>/dev/null) == 2 ]]; }
wait_until 20 "the input method to be on" im_on

keys() { xdo "$N" key --delay 150 "$@" || fail "xdotool key $*"; }
shot() { timeout 15 import -display ":$N" -window "$MAIN_WINDOW" -depth 8 "ppm:$WORK/$1.ppm" || fail "import"; }
screen() { python3 "$HERE/screen.py" "$@"; }

keys End Return F2
wait_until 20 "F2 to save doc.txt" file_is "$DOCS/doc.txt" $'ü\r\n\r\n'
shot before
keys 57 31 43 38 32 # n i h a o
preedit_shown() {
  shot preedit
  PREEDIT=$(screen diff "$WORK/before.ppm" "$WORK/preedit.ppm")
  read -r _ _ width _ <<<"$PREEDIT"
  [[ $PREEDIT != none ]] && ((width > 20))
}
wait_until 20 "the pre-edit to show" preedit_shown
log "pre-edit at $PREEDIT"

keys Escape
preedit_dropped() {
  shot dropped
  DROPPED=$(screen diff "$WORK/before.ppm" "$WORK/dropped.ppm")
  read -r _ _ width _ <<<"$DROPPED"
  [[ $DROPPED == none ]] || ((width <= 3))
}
wait_until 20 "Escape to drop the pre-edit" preedit_dropped
keys F2
wait_until 20 "F2 to save doc.txt" file_is "$DOCS/doc.txt" $'ü\r\n\r\n'
log "Escape dropped the pre-edit; the text had none of it"

keys 57 31 43 38 32 65 # n i h a o Space
keys F2
if ! poll_until 20 "F2 to save 你好" file_is "$DOCS/doc.txt" $'ü\r\n你好\r\n'; then
  od -An -c "$DOCS/doc.txt" >&2
  fail "the first candidate of nihao was not typed"
fi
log "nihao and Space typed 你好"
shot committed
read -r px py _ ph <<<"$PREEDIT"
# The rows of the pre-edit: the status bar below tells of the change too.
COMMITTED=$(screen diff "$WORK/before.ppm" "$WORK/committed.ppm" 0 "$py" 10000 "$ph")
read -r cx cy _ _ <<<"$COMMITTED"
((px == cx && py == cy)) || fail "the pre-edit stood at $PREEDIT, the committed text at $COMMITTED"
log "the pre-edit stood where the committed text stands"

remote -c
keys ctrl+z F2
wait_until 20 "Ctrl+Z and F2 to save" file_is "$DOCS/doc.txt" $'ü\r\n\r\n'
log "one Ctrl+Z took 你好 back"
keys alt+x
finish "$MAIN_PID" "the program"
log "PASS"
