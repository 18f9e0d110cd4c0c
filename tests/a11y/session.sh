# Sourced: a private session bus with the accessibility bus on it, and a
# screen-reader client (listener.py) to start and stop. Everything started
# here ends with the shell that sourced it.
a11y_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
a11y_work=$(mktemp -d)
a11y_pids=()
a11y_cleanup() {
  for p in "${a11y_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -f "$a11y_work/dbus.pid" ] && kill "$(cat "$a11y_work/dbus.pid")" 2>/dev/null || true
  rm -rf "$a11y_work"
}
trap a11y_cleanup EXIT

# An X server of its own on a display number it picks itself and reports
# once it accepts connections (-displayfd): choosing a free number first and
# starting the server after can race with a server that is still going away.
a11y_start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$a11y_work/display" 2>"$a11y_work/xvfb.err" &
  a11y_pids+=($!)
  for _ in $(seq 100); do
    if [ -s "$a11y_work/display" ]; then
      export DISPLAY=":$(head -n1 "$a11y_work/display")"
      return 0
    fi
    sleep 0.1
  done
  echo "the X server did not start" >&2
  cat "$a11y_work/xvfb.err" >&2
  return 1
}

# A private session bus, as every desktop session has one.
a11y_start_session_bus() {
  dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$a11y_work/dbus.addr" 4>"$a11y_work/dbus.pid" 2>/dev/null
  export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$a11y_work/dbus.addr")
}

a11y_start_session() {
  a11y_start_session_bus
  # Qt 6.4 registers its application only when it finds the accessibility
  # bus through the session bus, so AT_SPI_BUS_ADDRESS must stay unset.
  unset AT_SPI_BUS_ADDRESS
  /usr/libexec/at-spi-bus-launcher --launch-immediately 2>/dev/null &
  a11y_pids+=($!)
  for _ in $(seq 50); do
    dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "the accessibility bus did not start" >&2
  return 1
}

# Starts the client; its summary goes to $a11y_work/listener.out.
a11y_start_listener() {
  rm -f "$a11y_work/ready" "$a11y_work/stop"
  /usr/bin/python3 "$a11y_here/listener.py" "$a11y_work/ready" "$a11y_work/stop" 300 \
    >"$a11y_work/listener.out" 2>"$a11y_work/listener.err" &
  a11y_listener=$!
  a11y_pids+=($a11y_listener)
  for _ in $(seq 100); do [ -f "$a11y_work/ready" ] && return 0; sleep 0.1; done
  echo "the listener did not start" >&2
  cat "$a11y_work/listener.err" >&2
  return 1
}

a11y_stop_listener() {
  touch "$a11y_work/stop"
  wait "$a11y_listener" || true
}
