#!/usr/bin/env bash
# Runs a test program on an X server of its own, where no program owns the
# clipboard or the selection, with a session bus of its own as a desktop
# has (without one, Qt's X11 platform leaves a libdbus allocation behind,
# which the leak checker reports):   on_xvfb.sh PROGRAM [ARGS...]
set -euo pipefail
. "$(dirname "$0")/a11y/session.sh"
a11y_start_display
a11y_start_session_bus
QT_QPA_PLATFORM=xcb "$@"
