#!/usr/bin/python3
"""A screen reader's part in the end-to-end test: listens for the receive
box's text-changed:insert and text-caret-moved events and, for each, reads
the line at the caret, as screen readers do. Writes READY to the ready file
once listening, stops when the stop file appears (or after the time limit)
and prints what it saw as one line of key=value pairs.

    listener.py READY_FILE STOP_FILE SECONDS
"""
import os
import sys

import pyatspi
from gi.repository import GLib

ready_file, stop_file, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
seen = {"insert": 0, "caret": 0, "reads": 0, "failures": 0, "inserted": 0, "nul": 0}


def on_event(event):
    try:
        if event.source.name != "Stringa ricevuta":
            return
        if event.type.startswith("object:text-changed:insert"):
            seen["insert"] += 1
            seen["inserted"] += event.detail2
            if "\x00" in str(event.any_data):
                seen["nul"] += 1
        else:
            seen["caret"] += 1
        text = event.source.queryText()
        caret = text.caretOffset
        text.getTextAtOffset(caret, pyatspi.TEXT_BOUNDARY_LINE_START)
        seen["reads"] += 1
    except Exception as error:  # a read that fails is what the test looks for
        seen["failures"] += 1
        sys.stderr.write("read failed: %r\n" % (error,))


def poll():
    if os.path.exists(stop_file):
        pyatspi.Registry.stop()
        return False
    return True


pyatspi.Registry.registerEventListener(on_event, "object:text-changed:insert", "object:text-caret-moved")
with open(ready_file, "w") as f:
    f.write("READY\n")
GLib.timeout_add(100, poll)
GLib.timeout_add(int(seconds * 1000), lambda: pyatspi.Registry.stop())
pyatspi.Registry.start()
print(" ".join("%s=%d" % kv for kv in seen.items()))
