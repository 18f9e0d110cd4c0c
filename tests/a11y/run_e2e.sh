#!/usr/bin/env bash
# End to end with the real accessibility stack: a private session bus, the
# accessibility bus launcher, the real program on Xvfb receiving data at a
# pseudo-terminal port, and a screen-reader client reading as events come.
#   run_e2e.sh APP [MB]
set -euo pipefail
app=$1
mb=${2:-4}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -f "$work/dbus.pid" ] && kill "$(cat "$work/dbus.pid")" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/dbus.addr" 4>"$work/dbus.pid"
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/dbus.addr")
# Qt 6.4 registers its application only when it finds the accessibility bus
# through the session bus, so AT_SPI_BUS_ADDRESS must stay unset.
unset AT_SPI_BUS_ADDRESS
/usr/libexec/at-spi-bus-launcher --launch-immediately &
pids+=($!)
for _ in $(seq 50); do
  dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
  sleep 0.1
done

/usr/bin/python3 "$here/listener.py" "$work/ready" "$work/stop" 120 >"$work/listener.out" 2>"$work/listener.err" &
listener=$!
pids+=($listener)
for _ in $(seq 100); do [ -f "$work/ready" ] && break; sleep 0.1; done
[ -f "$work/ready" ] || { echo "the listener did not start"; cat "$work/listener.err"; exit 1; }

status=0
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$app" "$mb" 2000 >"$work/app.out" 2>"$work/app.err" || status=$?
touch "$work/stop"
wait "$listener" || true
echo "program: exit $status; $(cat "$work/app.out")"
echo "listener: $(cat "$work/listener.out")"
if [ "$status" -ne 0 ]; then tail -n 20 "$work/app.err"; exit 1; fi
grep -q '^received \([0-9]*\) of \1$' "$work/app.out" || { echo "the box is incomplete"; exit 1; }
read -r inserts reads failures nul <<<"$(sed -E 's/.*insert=([0-9]+).*reads=([0-9]+).*failures=([0-9]+).*nul=([0-9]+).*/\1 \2 \3 \4/' "$work/listener.out")"
[ "${inserts:-0}" -gt 0 ] || { echo "no insert event reached the listener"; cat "$work/listener.err"; exit 1; }
[ "${reads:-0}" -gt 0 ] && [ "${failures:-1}" -eq 0 ] || { echo "reads failed"; head "$work/listener.err"; exit 1; }
[ "${nul:-1}" -eq 0 ] || { echo "an event carried NUL"; exit 1; }
echo "PASS"
