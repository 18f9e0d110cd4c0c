#!/usr/bin/env bash
# Receiving with a screen reader listening against receiving without one, in
# one run: the real program on Xvfb with a pseudo-terminal port, 64 MB of text
# (CR LF every 80), three processes each; medians.
#   xvfb-run -a -s "-screen 0 1024x768x24" bench/a11y_ingest.sh build/corvanel-a11y-app [MB]
set -euo pipefail
app=$1
mb=${2:-64}
. "$(cd "$(dirname "$0")/.." && pwd)/tests/a11y/session.sh"
rate() { sed -nE 's/.*: ([0-9.]+) MB\/s/\1/p' "$a11y_work/app.out"; }
median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }
run() { env "$@" QT_QPA_PLATFORM=xcb "$app" "$mb" 0 >"$a11y_work/app.out" 2>/dev/null; rate; }

plain=(); bus=(); listened=()
a11y_start_session
for i in 1 2 3; do
  plain+=("$(run -u DBUS_SESSION_BUS_ADDRESS)")
  bus+=("$(run QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)")
  a11y_start_listener
  listened+=("$(run QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)")
  a11y_stop_listener
  seen=$(cat "$a11y_work/listener.out")
done
printf '%s MB of text with CR LF, median of three processes each\n' "$mb"
printf 'no accessibility bus            %8s MB/s   (%s)\n' "$(median "${plain[@]}")" "${plain[*]}"
printf 'bus, no screen reader           %8s MB/s   (%s)\n' "$(median "${bus[@]}")" "${bus[*]}"
printf 'bus and a listening reader      %8s MB/s   (%s)\n' "$(median "${listened[@]}")" "${listened[*]}"
printf 'the reader, last run: %s\n' "$seen"
