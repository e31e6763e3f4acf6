#!/usr/bin/env bash
# `cmake --install` into a temporary prefix: the program, a desktop entry and
# AppStream metainfo that desktop-file-validate and appstreamcli accept, the
# icon in every size of the hicolor theme; then the program started the way
# a menu starts it, through the entry's Exec line with a file, shows its
# window with that file.
#
#   install_desktop_files.sh <build folder>
set -u
BUILD=${1:?usage: $0 <build folder>}
source "$(dirname "$0")/common.sh"
e2e_begin cmake desktop-file-validate appstreamcli identify
PREFIX=$WORK/prefix
cmake --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.out" 2>&1 || fail "cmake --install failed"

ENTRY=$PREFIX/share/applications/quorvel.desktop
[[ -f $ENTRY ]] || fail "no desktop entry at $ENTRY"
desktop-file-validate "$ENTRY" >"$WORK/desktop-file-validate.out" 2>&1 ||
  fail "desktop-file-validate: $(cat "$WORK/desktop-file-validate.out")"
! grep -qE ': (error|warning):' "$WORK/desktop-file-validate.out" ||
  fail "desktop-file-validate: $(cat "$WORK/desktop-file-validate.out")"
METAINFO=$(ls "$PREFIX"/share/metainfo/*.metainfo.xml 2>/dev/null)
[[ -n $METAINFO ]] || fail "no metainfo file in $PREFIX/share/metainfo"
appstreamcli validate --no-net "$METAINFO" >"$WORK/appstreamcli.out" 2>&1 ||
  fail "appstreamcli validate: $(cat "$WORK/appstreamcli.out")"
grep -q '<launchable type="desktop-id">quorvel.desktop</launchable>' "$METAINFO" ||
  fail "the metainfo does not launch quorvel.desktop"
log "desktop entry and metainfo validated"

for size in 16 22 24 32 48 64 128 256; do
  icon=$PREFIX/share/icons/hicolor/${size}x${size}/apps/quorvel.png
  [[ $(identify -format '%m %wx%h' "$icon" 2>/dev/null) == "PNG ${size}x${size}" ]] ||
    fail "$icon is not a ${size}x${size} PNG"
done
grep -qx 'Icon=quorvel' "$ENTRY" || fail "the entry does not name the icon quorvel"
log "icons in eight sizes"

EXEC=$(sed -n 's/^Exec=//p' "$ENTRY")
[[ $EXEC == "$PREFIX/bin/quorvel %f" ]] || fail "Exec=$EXEC does not run the installed program with a file"
[[ -x $PREFIX/bin/quorvel ]] || fail "the program is not installed"

new_display
N=$DISPLAY_NUMBER
mkdir -p "$WORK/home" "$WORK/runtime" "$WORK/docs"
chmod 700 "$WORK/runtime"
printf 'hello\n' >"$WORK/docs/hello.php"
PROGRAM_ENV="HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/runtime"
# The launcher's part: %f becomes the file.
(run_program "$N" installed "$WORK/home" ${EXEC/\%f/$WORK/docs/hello.php}) &
PID=$!
PIDS+=("$PID")
wait_until 60 "the installed program's window" window_named "$N" "TAVO - [$WORK/docs/hello.php]"
focus_window "$N" "$WINDOW" || fail "could not focus the window"
sleep 0.5
xdo "$N" key --delay 100 alt+x || fail "xdotool key alt+x"
finish "$PID" "the installed program"
[[ -f $PREFIX/bin/quorvel.ini ]] || fail "no settings beside the installed program (its folder can be written)"
log "PASS"
