#!/usr/bin/env bash
# Runs a test program on an X server of its own, where no program owns the
# clipboard or the selection:   on_xvfb.sh PROGRAM [ARGS...]
set -euo pipefail
. "$(dirname "$0")/a11y/session.sh"
a11y_start_display
QT_QPA_PLATFORM=xcb "$@"
