#!/usr/bin/env bash
# A screen reader's view of the editing area, through AT-SPI on a private
# session bus: a UTF-8 document of two lines with non-ASCII characters.
#  - the editing area is a text object named after its document whose text
#    is the document's (lines joined by "\n");
#  - after Down End its caret offset is at the end of the second line, after
#    Shift+Home the selection is that line;
#  - a typed character is heard as text inserted at the caret.
# Skipped with a message (status 77) where AT-SPI cannot start.
#
#   screen_reader.sh <quorvel executable>
set -u
PROGRAM=${1:?usage: $0 <quorvel executable>}
HERE=$(cd "$(dirname "$0")" && pwd -P)
skip() {
  echo "SKIPPED: $*"
  exit 77
}
command -v dbus-run-session >/dev/null || skip "dbus-run-session is not installed (scripts/install-deps.sh installs dbus)"
LAUNCHER=""
for l in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
  [[ -x $l ]] && LAUNCHER=$l && break
done
[[ -n $LAUNCHER ]] || skip "at-spi-bus-launcher is not installed (at-spi2-core)"
# Debian's pyatspi belongs to Debian's Python.
PY=""
for p in /usr/bin/python3 python3; do
  "$p" -c 'import pyatspi' 2>/dev/null && PY=$p && break
done
[[ -n $PY ]] || skip "pyatspi is not installed (python3-pyatspi)"
# A session bus of its own, ended with the script.
[[ -n ${QUORVEL_E2E_BUS:-} ]] || exec env QUORVEL_E2E_BUS=1 dbus-run-session -- bash "$0" "$@"

source "$HERE/common.sh"
e2e_begin xdotool
export LC_ALL=C.UTF-8
[[ -x $PROGRAM ]] || fail "no program at $PROGRAM"

prepare_program
printf 'first \xc3\xbc line\r\nzweite \xe2\x82\xac\r\n' >"$DOCS/doc.txt"
new_display
N=$DISPLAY_NUMBER

("$LAUNCHER" --launch-immediately >"$WORK/at-spi.out" 2>&1) &
PIDS+=("$!")
atspi_up() {
  timeout 10 dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'boolean true'
}
poll_until 30 "the AT-SPI bus to start" atspi_up || skip "the AT-SPI bus did not start here: $(tail -n 3 "$WORK/at-spi.out")"
log "AT-SPI bus runs"

PROGRAM_ENV+=" DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"
start_main_on "$N" doc.txt

DISPLAY=":$N" timeout 90 "$PY" - "$WORK/reader.out" <<'PY' || fail "the screen reader's view: $(cat "$WORK/reader.out")"
import subprocess, sys, time
import pyatspi
from gi.repository import GLib

out = open(sys.argv[1], "w")
def check(ok, what):
    if not ok:
        out.write(what + "\n"); out.flush(); sys.exit(1)

def wait_for(what, get, deadline=30):
    end = time.monotonic() + deadline
    while True:
        try:
            value = get()
            if value is not None and value is not False:
                return value
        except Exception as e:  # the tree is still being built
            last = e
        if time.monotonic() > end:
            check(False, "timed out waiting for " + what)
        time.sleep(0.2)

def find_text():
    for app in pyatspi.Registry.getDesktop(0):
        if app is None: continue
        # Names given after an object was announced reach only listeners:
        # ask the program again.
        app.clearCache()
        found = pyatspi.findDescendant(app, lambda o: o is not None and o.getRole() == pyatspi.ROLE_TEXT
                                       and o.name == "doc.txt")
        if found is not None: return found
    return None

def keys(*k):
    subprocess.run(["xdotool", "key", "--delay", "100", *k], check=True)

def tree(o, depth=0):

    lines = ["  " * depth + "%s %r" % (o.getRoleName(), o.name)]
    if depth < 12:
        for c in o:
            if c is not None: lines += tree(c, depth + 1)
    return lines

def find_or_tell():
    try:
        return wait_for("the editing area", find_text)
    except SystemExit:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None: out.write("\n".join(tree(app)) + "\n")
        raise

area = find_or_tell()
text = area.queryText()
# The last line's CR LF ends it and starts no line of its own.
expected = "first \u00fc line\nzweite \u20ac"
got = text.getText(0, -1)
check(got == expected, "text %r, expected %r" % (got, expected))
check(text.characterCount == len(expected), "character count %d" % text.characterCount)
check(text.caretOffset == 0, "caret offset %d at the start" % text.caretOffset)
line_end = len("first \u00fc line\nzweite \u20ac")
keys("Down", "End")
wait_for("the caret offset %d after Down End" % line_end, lambda: text.caretOffset == line_end)
keys("shift+Home")
line_start = len("first \u00fc line\n")
wait_for("the selection %d..%d" % (line_start, line_end),
         lambda: text.getNSelections() == 1 and tuple(text.getSelection(0)) == (line_start, line_end))
keys("End")
wait_for("the selection to go", lambda: text.getNSelections() == 0)

heard = []
def on_insert(event):
    if event.source == area or event.source.name == "doc.txt":
        heard.append((event.detail1, event.detail2, event.any_data))
        pyatspi.Registry.stop()
pyatspi.Registry.registerEventListener(on_insert, "object:text-changed:insert")
GLib.timeout_add(500, lambda: keys("x") and False)
GLib.timeout_add(30000, lambda: pyatspi.Registry.stop() and False)
pyatspi.Registry.start()
check(heard == [(line_end, 1, "x")], "text-changed:insert heard: %r" % heard)
got = text.getText(0, -1)
check(got == "first \u00fc line\nzweite \u20acx", "text after typing: %r" % got)
out.write("ok\n")
PY
log "text, caret offset and selection read; the typed character heard"
keys() { xdo "$N" key --delay 150 "$@" || fail "xdotool key $*"; }
keys ctrl+z F2
wait_until 20 "Ctrl+Z and F2 to save doc.txt" file_is "$DOCS/doc.txt" $'first \xc3\xbc line\r\nzweite \xe2\x82\xac\r\n'
keys alt+x
finish "$MAIN_PID" "the program"
log "PASS"
