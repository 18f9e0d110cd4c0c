#!/usr/bin/python3
"""Orca's words from its debug log, each utterance under the last action
of scripts/orca-speech before it (ACTIONS: "HH:MM:SS.ffffff<TAB>label"
lines). Writes the last utterance of the stream to FINAL and, on standard
error, how long after the data stopped it began.

    orca-speech-report.py LOG ACTIONS FINAL
"""
import re
import sys

log, actions, final_file = sys.argv[1:]


def secs(t):
    h, m, s = t.split(":")
    return int(h) * 3600 + int(m) * 60 + float(s)


records, current = [], None
for line in open(log, errors="replace"):
    line = line.rstrip("\n")
    if re.match(r"[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]+ - ", line):
        current = [line]
        records.append(current)
    elif current is not None:
        current.append(line.strip())  # an utterance that held a line break
words = []
for record in records:
    m = re.match(r"([0-9:.]+) - SPEECH OUTPUT: '(.*?)' ?[\[{].*$", "\n".join(record), re.S)
    if m and m.group(2).strip():
        words.append((secs(m.group(1)), m.group(2).strip()))

acts = [(secs(t), label) for t, label in (l.rstrip("\n").split("\t", 1) for l in open(actions))]
times = {label: t for t, label in acts}
for i, (t, label) in enumerate(acts):
    if label == "(the stream)":
        break
    until = acts[i + 1][0] if i + 1 < len(acts) else float("inf")
    heard = [w.replace("\n", " / ") for at, w in words if t <= at < until]
    print(label if label.startswith("==") else "%-46s %s" % (label, " | ".join(heard)))

start, stop, end = times["(the stream)"], times["(the data stopped)"], times["(end)"]
stream = [(at, w) for at, w in words if start <= at < end]
print("%d utterances during the stream and after it, %d of them after the data stopped"
      % (len(stream), sum(1 for at, _ in stream if at >= stop)))
if stream:
    at, w = stream[-1]
    open(final_file, "w").write(w)
    print("the last began %+.1f s after the data stopped: %s" % (at - stop, w.replace("\n", " / ")))
    print("%.3f" % (at - stop), file=sys.stderr)
