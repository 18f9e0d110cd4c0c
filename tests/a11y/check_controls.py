#!/usr/bin/python3
"""Every control of the main window as a screen reader finds it through
AT-SPI: role, name, the label that labels it, the text and the attribute runs
of the text boxes, each lamp once with its state and its name change when it
lights. Starts the program (corvanel-a11y-app --control) itself, on the
display and accessibility bus of the environment; prints each finding and
FAIL lines, and exits 1 on any failure.

    check_controls.py APP
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def showing(obj):
    return obj.getState().contains(pyatspi.STATE_SHOWING)


def descendants(obj):
    for child in obj:
        if child is None:
            continue
        yield child
        yield from descendants(child)


def find_window():
    for _ in range(100):
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == "Corvanel":
                for frame in app:
                    if frame is not None and frame.name.startswith("Corvanel ver"):
                        return frame
        time.sleep(0.1)
    return None


def labelled_by(obj):
    names = []
    for relation in obj.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def check_runs(obj, what, first=0, last=None):
    """Every offset lies in its attribute run, as a reader joining runs needs."""
    text = obj.queryText()
    count = text.characterCount
    last = count if last is None else last
    bad = []
    for offset in range(first, last + 1):
        _, start, end = text.getAttributeRun(offset, False)
        if not (0 <= start <= offset <= end <= count) or (offset == end and offset != count):
            bad.append("%d: %d-%d" % (offset, start, end))
    check(not bad, "%s: every offset %d..%d in its attribute run %s" % (what, first, last, " ".join(bad[:5])))


# role, name, labelled by (None: not checked) -- each showing exactly once.
# An editable list is named by its text, as Qt gives it; its heading labels it.
EXPECTED = [
    ("combo box", "1", "Porta"),
    ("combo box", "9600", "bit/sec"),
    ("combo box", "8", "Dati"),
    ("combo box", "N", "Parità"),
    ("check box", "DTR", "DTR:"),
    ("check box", "RTS", "RTS:"),
    ("check box", "Pausa tra caratteri", "Pausa tra caratteri"),
    ("text", "Pausa tra caratteri", None),
    ("text", "Stringa da inviare", "Stringa da inviare"),
    ("text", "Stringa ricevuta", "Stringa ricevuta"),
    ("push button", "Clr: cancella la stringa da inviare", None),
    ("push button", "Clr: cancella la stringa ricevuta", None),
    ("push button", "Invia ASCI", None),
    ("push button", "Invia loop", None),
    ("push button", "Invia Dec.", None),
    ("push button", "Invia HEX", None),
    ("push button", "Exit", None),
    ("push button", "?", None),
    ("radio button", "Asci", None),
    ("radio button", "Hex", None),
    ("radio button", "Dec", None),
    ("image", "TX spento", None),
    ("image", "RX spento", None),
    ("image", "DSR spento", None),
    ("image", "CD spento", None),
    ("image", "CTS spento", None),
]


def main():
    app = subprocess.Popen([sys.argv[1], "--control"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                           text=True, bufsize=1)
    try:
        if app.stdout.readline().strip() != "ready":
            check(False, "the program started")
            return
        window = find_window()
        check(window is not None, "the window is on the accessibility bus")
        if window is None:
            return
        run_checks(window, app)
    finally:
        if app.poll() is None:
            app.stdin.write("quit\n")
            app.stdin.flush()
            try:
                app.wait(10)
            except subprocess.TimeoutExpired:
                app.kill()


def run_checks(window, app):
    shown = [o for o in descendants(window) if showing(o) and o.name]
    found = {}
    for o in shown:
        found.setdefault((o.getRoleName(), o.name), []).append(o)
    for role, name, label in EXPECTED:
        objs = found.get((role, name), [])
        check(len(objs) == 1, "%s \"%s\" shows once (%d)" % (role, name, len(objs)))
        if objs and label is not None:
            check(labelled_by(objs[0]) == [label], "%s \"%s\" labelled by \"%s\" (%s)"
                  % (role, name, label, labelled_by(objs[0])))
    for line in ("TX", "RX", "DSR", "CD", "CTS"):
        mentions = [o.name for o in shown if line in o.name.split()]
        check(len(mentions) == 1, "the %s lamp is read once: %s" % (line, mentions))

    field = found.get(("text", "Pausa tra caratteri"), [None])[0]
    if field:
        check(field.queryText().getText(0, -1) == "100", "the pause field reads 100")
        check_runs(field, "pause field")
    sent = found.get(("text", "Stringa da inviare"), [None])[0]
    if sent:
        check_runs(sent, "send box")
    received = found.get(("text", "Stringa ricevuta"), [None])[0]
    if not received:
        return
    # The event names the lamp, not its new name, so the name is read when
    # the event is handled. The program learns of a listener some time after
    # it is registered, and sends events only from then on: hence here.
    lamp = found.get(("image", "RX spento"), [None])[0]
    names = []
    pyatspi.Registry.registerEventListener(lambda e: names.append(e.source.name) if e.source == lamp else None,
                                           "object:property-change:accessible-name")
    app.stdin.write("line GPS OK\n")
    app.stdin.flush()
    text = received.queryText()
    deadline = time.time() + 10
    while "GPS OK" not in text.getText(0, -1) and time.time() < deadline:
        time.sleep(0.05)
    whole = text.getText(0, -1)
    at = whole.find("GPS OK")
    check(at >= 0, "the receive box holds the received line")
    if at >= 0:
        line, start, end = text.getTextAtOffset(at + 2, pyatspi.TEXT_BOUNDARY_LINE_START)
        check(line == "GPS OK\r\n" and start == at, "its line reads %r at %d" % (line, start))
        check_runs(received, "receive box, the received line", at, text.characterCount)
    if lamp:
        check_rx_lamp(names, app)


def pump(seconds):
    context = GLib.MainContext.default()
    end = time.time() + seconds
    while time.time() < end:
        while context.iteration(False):
            pass
        time.sleep(0.01)


def check_rx_lamp(names, app):
    """The RX lamp lights while data arrives and goes dark after it. A
    second of arrivals keeps it lit long enough for its name to be read on a
    busy machine; a single line lights it for 150 ms."""
    pump(0.5)  # the line's blink
    del names[:]
    app.stdin.write("stream 2000 1\n")
    app.stdin.flush()
    deadline = time.time() + 10
    while not ("RX acceso" in names and names[-1] == "RX spento") and time.time() < deadline:
        pump(0.01)
    check("RX acceso" in names and names[-1:] == ["RX spento"], "the RX lamp said it changed: %s" % names)


main()
print("FAIL: %d" % len(failures) if failures else "PASS")
sys.exit(1 if failures else 0)
