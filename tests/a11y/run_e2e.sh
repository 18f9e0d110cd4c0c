#!/usr/bin/env bash
# End to end with the real accessibility stack: a private session bus, the
# accessibility bus launcher, the real program on Xvfb receiving data at a
# pseudo-terminal port, and a screen-reader client reading as events come.
#   run_e2e.sh APP [MB]
set -euo pipefail
app=$1
mb=${2:-4}
. "$(dirname "$0")/session.sh"
a11y_start_display
a11y_start_session
a11y_start_listener

status=0
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$app" "$mb" 2000 >"$a11y_work/app.out" 2>"$a11y_work/app.err" || status=$?
a11y_stop_listener
echo "program: exit $status; $(cat "$a11y_work/app.out")"
echo "listener: $(cat "$a11y_work/listener.out")"
if [ "$status" -ne 0 ]; then tail -n 20 "$a11y_work/app.err"; exit 1; fi
grep -q '^received \([0-9]*\) of \1 ' "$a11y_work/app.out" || { echo "the box is incomplete"; exit 1; }
read -r inserts reads failures nul <<<"$(sed -E 's/.*insert=([0-9]+).*reads=([0-9]+).*failures=([0-9]+).*nul=([0-9]+).*/\1 \2 \3 \4/' "$a11y_work/listener.out")"
[ "${inserts:-0}" -gt 0 ] || { echo "no insert event reached the listener"; cat "$a11y_work/listener.err"; exit 1; }
[ "${reads:-0}" -gt 0 ] && [ "${failures:-1}" -eq 0 ] || { echo "reads failed"; head "$a11y_work/listener.err"; exit 1; }
[ "${nul:-1}" -eq 0 ] || { echo "an event carried NUL"; exit 1; }
echo "PASS"
