#!/usr/bin/env bash
# Where an ordinary user's settings and new documents go: the program run as
# an unprivileged user (nobody when this runs as root), once from a program
# folder it cannot write, once from one it can. Each run types into the new
# document, closes with Alt+X and answers "Save All and Exit".
#  - read-only folder: $HOME/.config/quorvel/quorvel.ini (folder private to
#    the user) and Notes.txt in the documents folder user-dirs.dirs names;
#  - writable folder: quorvel.ini and Notes.txt beside the program, nothing
#    in the user's folders.
# Both settings files hold the built-in defaults, byte for byte.
#
#   places_as_user.sh <quorvel executable> <default settings file (app/DefINI)>
set -u
PROGRAM=${1:?usage: $0 <quorvel executable> <DefINI>}
DEFINI=${2:?usage: $0 <quorvel executable> <DefINI>}
source "$(dirname "$0")/common.sh"
e2e_begin setpriv
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"
[[ -f $DEFINI ]] || fail "no default settings at $DEFINI"

chmod 755 "$WORK"
if [[ $(id -u) -eq 0 ]]; then
  USER_ID=$(id -u nobody) || fail "there is no user nobody"
  GROUP_ID=$(id -g nobody)
  RUN_AS="setpriv --reuid=$USER_ID --regid=$GROUP_ID --clear-groups"
else
  USER_ID=$(id -u)
  GROUP_ID=$(id -g)
  RUN_AS=""
fi
log "the program runs as user $USER_ID"
# The leak suppressions must be readable by that user.
$RUN_AS test -r "$LEAK_SUPPRESSIONS" || cp "$LEAK_SUPPRESSIONS" "$WORK/lsan.supp"
[[ -f $WORK/lsan.supp ]] && chmod 644 "$WORK/lsan.supp" && LEAK_SUPPRESSIONS=$WORK/lsan.supp

new_display
N=$DISPLAY_NUMBER
{ cat "$DEFINI"; printf '\r\n'; } >"$WORK/quorvel.ini.expected"

# run_case <name> <program folder mode: ro|rw>: sets HOME, APP_DIR, DOCS_DIR.
run_case() {
  local name=$1 mode=$2
  local root=$WORK/$name
  mkdir -p "$root/bin" "$root/home/.config" "$root/home/Dokumente" "$root/runtime" "$root/cwd"
  cp "$PROGRAM" "$root/bin/quorvel" || fail "cannot copy the program"
  printf 'XDG_DESKTOP_DIR="$HOME/Desktop"\nXDG_DOCUMENTS_DIR="$HOME/Dokumente"\n' >"$root/home/.config/user-dirs.dirs"
  chown -R "$USER_ID:$GROUP_ID" "$root/home" "$root/runtime" "$root/cwd"
  chmod 700 "$root/runtime"
  if [[ $mode == rw ]]; then
    chown "$USER_ID:$GROUP_ID" "$root/bin"
    chmod 755 "$root/bin"
  else
    chmod 555 "$root/bin"
  fi
  chmod 755 "$root"
  HOME_DIR=$root/home
  APP_DIR=$root/bin

  PROGRAM_ENV="HOME=$HOME_DIR XDG_RUNTIME_DIR=$root/runtime"
  (run_program "$N" "$name" "$root/cwd" "$APP_DIR/quorvel") &
  local pid=$!
  PIDS+=("$pid")
  local expected_notes=$([[ $mode == rw ]] && echo "$APP_DIR" || echo "$HOME_DIR/Dokumente")/Notes.txt
  wait_until 60 "the window 'TAVO - [$expected_notes]'" window_named "$N" "TAVO - [$expected_notes]"
  local window=$WINDOW
  log "$name: the new document is $expected_notes"
  focus_window "$N" "$window" || fail "could not focus the main window"
  sleep 1
  xdo "$N" type --delay 50 "hello" || fail "xdotool type"
  sleep 0.5
  xdo "$N" key --delay 100 alt+x || fail "xdotool key alt+x"
  dialog_shown() {
    DIALOG=$(xdo "$N" search --onlyvisible --name '^Unsaved changes$' 2>/dev/null | head -n 1)
    [[ -n $DIALOG ]]
  }
  wait_until 20 "the 'Unsaved changes' dialog" dialog_shown
  sleep 0.5
  # "Save All and Exit": left 16, top 290, 140 by 27.
  # (Without --sync: the pointer may stand there already from the first run.)
  xdo "$N" mousemove --window "$DIALOG" 86 303 sleep 0.3 click 1 || fail "xdotool click on 'Save All and Exit'"
  finish "$pid" "the program ($name)"

  file_is "$expected_notes" $'hello\r\n' ||
    fail "$name: $expected_notes does not hold the typed text: $(od -An -c "$expected_notes" 2>&1 | head -3)"
  local ini
  if [[ $mode == rw ]]; then
    ini=$APP_DIR/quorvel.ini
    [[ ! -e $HOME_DIR/.config/quorvel ]] || fail "$name: the user's configuration folder was used"
    [[ -z $(ls -A "$HOME_DIR/Dokumente") ]] || fail "$name: the documents folder was used"
  else
    ini=$HOME_DIR/.config/quorvel/quorvel.ini
    [[ $(stat -c %a "$HOME_DIR/.config/quorvel") == 700 ]] || fail "$name: the settings folder is not private"
    [[ $(ls -A "$APP_DIR") == quorvel ]] || fail "$name: something was written beside the program"
  fi
  cmp -s "$ini" "$WORK/quorvel.ini.expected" ||
    fail "$name: $ini does not hold the default settings: $(diff <(tr -d '\r' <"$WORK/quorvel.ini.expected") <(tr -d '\r' <"$ini") 2>&1)"
  [[ $(stat -c %u "$ini") == "$USER_ID" ]] || fail "$name: $ini is not the user's"
  log "$name: Notes.txt and the settings in the expected places"
}

run_case read-only ro
run_case writable rw
log "PASS"
