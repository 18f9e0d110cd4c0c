#!/usr/bin/env bash
# Every control as a screen reader finds it (check_controls.py), on Xvfb with
# a private session bus and the accessibility bus.
#   run_controls.sh APP
set -euo pipefail
app=$1
. "$(dirname "$0")/session.sh"
a11y_start_display
a11y_start_session
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 /usr/bin/python3 "$a11y_here/check_controls.py" "$app"
