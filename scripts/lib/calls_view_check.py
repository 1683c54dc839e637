#!/usr/bin/env python3
"""Compares what LineWatch.exe's Calls view showed and exported (the files
linewatch_probe.exe wrote into RUNDIR) with tarvel-decode --calls of the same
session, and the status line a click on the timeline selected with the line of
the event's record in the trace played. Prints "ok: ...", "FAILED: ..." or
"skipped: ..." per check.

  calls_view_check.py TARVEL-DECODE SESSION RUNDIR TRACE
"""
import csv
import io
import json
import re
import subprocess
import sys

decode, session, run, trace = sys.argv[1:5]
MARK_KINDS = {"retrain", "renegotiation", "carrier lost", "cleardown"}


def report(good, what, detail=""):
    print(("ok: " if good else "FAILED: ") + what + (" - " + detail if detail and not good else ""))


def read(name):
    with open(f"{run}/{name}", encoding="latin-1", newline="") as f:
        return f.read()


calls = json.loads(subprocess.run([decode, "--calls", "--json", session], capture_output=True, check=True).stdout)
text = subprocess.run([decode, "--calls", session], capture_output=True, check=True, text=True).stdout
# The summary of each call as --calls prints it, without its "Call K" heading.
blocks = re.split(r"\nCall [0-9]+\n", text)[1:]
blocks = [b if b.endswith("\n") else b + "\n" for b in blocks]
number_of = {(c["modem"], c["call"]): k for k, c in enumerate(calls)}
# The list's order: newest start first; at one moment modem 1 first, then the higher call.
listed = sorted(range(len(calls)), key=lambda k: (-calls[k]["start_s"], calls[k]["modem"], -calls[k]["call"]))


def rate(value):
    return "-" if value is None else str(value)


# The list, row by row.
rows = read("calls-list.txt").rstrip("\n").split("\n")
header, rows = rows[0].split("\t"), [r.split("\t") for r in rows[1:]]
report(header == ["Modem", "Start (UTC)", "Duration", "Modulation", "Rx bit/s", "Tx bit/s", "Retrains", "Reneg.",
                  "Cleardown", "Verdict"], "Calls view: the list's columns", "\t".join(header))
report(len(rows) == len(calls), f"Calls view: the list has a row per call tarvel-decode --calls finds ({len(calls)})",
       f"{len(rows)} rows")
bad = []
for row, k in zip(rows, listed):
    c = calls[k]
    want = [str(c["modem"]), c["start_wall"][:19].replace("T", " ") if c["start_wall"] else row[1], row[2],
            c["modulation"] or "-", rate(c["rx_rate_final"]), rate(c["tx_rate_final"]), row[6], row[7],
            c["cleardown"], c["verdict"]["termination"]]
    counts = [int(row[6].split()[0]), int(row[7].split()[0])] if row[6] and row[7] else []
    if row != want or counts != [c["retrains"], c["renegotiations"]]:
        bad.append(f"row {'|'.join(row)} wanted {'|'.join(want)}")
report(not bad, "Calls view: each row's modem, start, modulation, rates, retrains, cleardown and verdict as decoded",
       "; ".join(bad[:2]))

# Each call's summary as the view showed it once selected.
bad = []
for r in range(len(rows)):
    shown = read(f"calls-summary-{r}.txt")
    heading, _, body = shown.partition("\n")
    m = re.fullmatch(r"Modem (\d), call (\d+)", heading)
    k = number_of.get((int(m.group(1)), int(m.group(2)))) if m else None
    if k is None or body != blocks[k]:
        bad.append(f"row {r}: {heading}")
report(not bad and len(rows) > 0, f"Calls view: the summary of each of the {len(rows)} calls selected is tarvel-decode "
       "--calls' summary of that call (verdict, findings, events)", "; ".join(bad))

# The newest call's timeline clicked: the first mark (its first marked
# event) and the last (its last finding, or its last marked event) select
# the status line of their record in the trace played.
newest = calls[listed[0]]
events = [e for e in newest.get("events", []) if e["kind"] in MARK_KINDS]
findings = newest["verdict"]["findings"]
decoded = subprocess.run([decode, "--escape", trace], capture_output=True, check=True, text=True,
                         encoding="latin-1").stdout.split("\n")
records = [d.split("#")[0].split() for d in open(trace, encoding="latin-1")]
records = [d for d in records if d and d[0] == "rec"]


def line_of(modem, record):
    """The list index of a modem's record (numbered without the capture
    requests) among the records that gave a line; a record without a line
    stands for the line before it."""
    numbered, lines = 0, 0
    for d, out in zip(records, decoded):
        if int(d[1], 0) != modem or int(d[2], 0) in (77, 131):
            continue
        numbered += 1
        if numbered == record:
            return lines if out != "" else lines - 1
        lines += out != ""
    return None


for name, what, mark in (("calls-click.txt", "first", events[0] if events else None),
                         ("calls-click-last.txt", "last", findings[-1] if findings else events[-1] if events else None)):
    click = read(name).split("\n")
    m = re.fullmatch(r"modem (\d) line (-?\d+)", click[0])
    if not m or mark is None:
        report(False, f"Calls view: a click on the {what} mark of the newest call", click[0])
        continue
    # Findings of one moment share a place: the click picks one of them (the
    # most severe) and the eye's caption names it; its line is the one to select.
    named = re.match(r"(Note|Warning|Error) (\S+) at \+", click[2] if len(click) > 2 else "")
    if named and findings:
        same = [f for f in findings if f["id"] == named.group(2) and f["severity"] == named.group(1).lower()]
        mark = next((f for f in same if f.get("record") and line_of(int(m.group(1)), f["record"]) == int(m.group(2))),
                    same[0] if same else mark)
    if mark.get("record") in (None, 0):
        print(f"skipped: Calls view: the {what} mark's status line (its moment has no record of its own)")
        continue
    modem, line = int(m.group(1)), int(m.group(2))
    want = line_of(modem, mark["record"])
    kind = mark.get("kind") or mark.get("id")
    report(modem == newest["modem"] and line == want,
           f"Calls view: a click on the {what} mark ({kind}, record {mark['record']}) selects its status line ({want})",
           f"modem {modem} line {line}: {click[1] if len(click) > 1 else ''}")

# The exports.
call = json.loads(read("call.json"))
report(call == newest, "Calls view: Export Call... JSON is tarvel-decode --calls --json's object of that call")
detail = list(csv.reader(io.StringIO(read("call.csv"))))
summary = [(r[1], r[3]) for r in detail[1:] if r and r[0] == "summary"]
width = max((len(key) for key, _ in summary), default=0)
as_text = "".join(key.ljust(width + 2) + value + "\n" for key, value in summary)
report(as_text == blocks[listed[0]] and sum(1 for r in detail if r and r[0] == "event") == len(newest["events"]),
       "Calls view: Export Call... CSV holds the call's summary rows and its events as decoded")
brief = json.loads(read("calls.json"))
bad = [b for b, k in zip(brief, listed)
       if any(calls[k][key] != value for key, value in b.items() if key not in ("termination", "verdict"))
       or b["termination"] != calls[k]["verdict"]["termination"] or b["verdict"] != calls[k]["verdict"]["cause"]]
report(len(brief) == len(calls) and not bad, "Calls view: Export List... JSON gives every call as decoded, newest first",
       f"{len(brief)} calls, {len(bad)} differ")
table = list(csv.DictReader(io.StringIO(read("calls.csv"))))
bad = []
for r, k in zip(table, listed):
    c = calls[k]
    want = {"modem": str(c["modem"]), "call": str(c["call"]), "start_s": f"{c['start_s']:.3f}",
            "modulation": c["modulation"] or "", "rx_rate_bps": "" if c["rx_rate_final"] is None else str(c["rx_rate_final"]),
            "retrains": str(c["retrains"]), "cleardown": c["cleardown"], "termination": c["verdict"]["termination"],
            "verdict": c["verdict"]["cause"]}
    if any(r.get(key) != value for key, value in want.items()):
        bad.append(str(r))
report(len(table) == len(calls) and not bad, "Calls view: Export List... CSV gives every call as decoded, newest first",
       f"{len(table)} rows; " + "; ".join(bad[:1]))

# Two calls compared: the rows as tarvel-decode --compare prints them.
if len(calls) < 2:
    print("skipped: Calls view: two calls compared (the session has one call)")
    sys.exit(0)
compared = [r.split("\t") for r in read("calls-compare.txt").rstrip("\n").split("\n")]
labels = [re.fullmatch(r"[AB]: modem (\d) call (\d+)", h) for h in compared[0][2:4]]
if all(labels) and len(compared[0]) == 4:
    a, b = (number_of[(int(x.group(1)), int(x.group(2)))] + 1 for x in labels)
    want = subprocess.run([decode, "--compare", str(a), str(b), session], capture_output=True, check=True,
                          text=True).stdout
    rows = [("", "", f"call {a}", f"call {b}")] + [tuple(r) for r in compared[1:]]
    key_width = max(len(r[1]) for r in rows)
    a_width = max(min(len(r[2]), 44) for r in rows)
    got = "".join(("* " if r[0] == "*" else "  ") + r[1].ljust(key_width + 2) + r[2] +
                  " " * (a_width - len(r[2]) + 1 if len(r[2]) < a_width else 1) + ("| " if r[3] else "|") + r[3] + "\n"
                  for r in rows)
    report(got == want, f"Calls view: calls {a} and {b} compared side by side as tarvel-decode --compare {a} {b}, "
           f"{sum(r[0] == '*' for r in rows)} rows marked")
else:
    report(False, "Calls view: the comparison's columns name the two calls", "\t".join(compared[0]))
