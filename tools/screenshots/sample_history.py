#!/usr/bin/env python3
"""Writes a run history of three days into an application folder, with the runs' outputs,
for the History window's and the output viewer's pictures (tools/screenshots.sh):

    sample_history.py FOLDER

Yesterday's and the day before's runs and this morning's: a sort, a backup (today's failed),
a mail fetch every hour, a start skipped while paused, a program that could not start, a
program killed, and a photo sync whose end Morrowset did not see, with a 1.5 MB output."""
import datetime
import json
import os
import sys

folder = sys.argv[1]
runs = os.path.join(folder, "runs")
os.makedirs(runs, mode=0o700, exist_ok=True)
zone = datetime.datetime.now().astimezone().tzinfo
today = datetime.date.today()
lines = []
serial = 0


def stamp(moment, ms=True):
    text = moment.isoformat(timespec="milliseconds" if ms else "seconds")
    return text


def write_output(name, text):
    path = os.path.join(runs, name)
    with open(path, "w") as out:
        out.write(text)
    os.chmod(path, 0o600)


def run(day, hh, mm, row, command, trigger="clock", seconds=1.0, status=0, signal=None, refused=None,
        output="", end=True):
    global serial
    serial += 1
    due = datetime.datetime.combine(day, datetime.time(hh, mm), zone)
    started = due + datetime.timedelta(milliseconds=4 + serial % 9)
    run_id = started.astimezone(datetime.timezone.utc).strftime("%Y%m%dT%H%M%S.") + "%03dZ-%d-%06d" % (
        started.microsecond // 1000, 4200 + serial, serial)
    common = {"run": run_id, "row": row, "command": command, "trigger": trigger,
              "due": stamp(due, False) if trigger != "now" else None}
    if refused:
        lines.append({"event": "refused", **common, "time": stamp(started), "pid": None, "error": refused})
        return
    pid = 4200 + serial
    lines.append({"event": "start", **common, "time": stamp(started), "pid": pid})
    name = "row%d-%s.log" % (row, run_id)
    write_output(name, output or "%s\n" % command)
    if not end:
        return
    ended = started + datetime.timedelta(seconds=seconds)
    lines.append({"event": "end", **common, "time": stamp(ended), "pid": pid,
                  "duration_ms": int(seconds * 1000), "exit_status": None if signal else status,
                  "signal": signal, "output": name})


def photo_sync_output(size):
    text, n = [], 0
    while sum(len(line) for line in text) < size:
        n += 1
        text.append("[photo-sync] copying IMG_%05d.JPG (%.1f MB) to /media/photos/2025 ... ok\n" % (n, 2 + n % 37 / 10))
        if n % 9000 == 0:
            text.append("[photo-sync] error: IMG_%05d.JPG: checksum mismatch, will retry\n" % n)
    return "".join(text)


backup = "/usr/local/bin/backup-home --quiet"
for back in (2, 1, 0):
    day = today - datetime.timedelta(days=back)
    run(day, 0, 30, 3, "sh -c 'sort ~/todo.txt | uniq > ~/todo.sorted'", seconds=0.21)
    run(day, 2, 15, 2, backup, seconds=64.012, status=3 if back == 0 else 0,
        output="backup-home: /media/backup is not mounted\n" if back == 0 else "backup-home: 14 files copied\n")
    for hour in range(6, 12):
        run(day, hour, 0, 5, "fetchmail -s", seconds=3.4, status=1 if (hour, back) == (8, 1) else 0)
    if back == 1:
        # As Morrowset writes a start skipped while the clock was paused.
        skipped_at = datetime.datetime.combine(day, datetime.time(9, 2, 11), zone)
        lines.append({"event": "skipped",
                      "run": skipped_at.astimezone(datetime.timezone.utc).strftime("%Y%m%dT%H%M%S.000Z-4199-000000"),
                      "row": 4, "command": "make-report --daily", "trigger": "clock",
                      "due": stamp(datetime.datetime.combine(day, datetime.time(7, 45), zone), False),
                      "time": stamp(skipped_at), "pid": None, "reason": "paused"})
        run(day, 9, 5, 2, backup, trigger="catch-up", seconds=61.5)
    run(day, 8, 0, 1, "no-such-program --nightly", refused=53)
    if back == 2:
        run(day, 9, 30, 4, "xterm -e top", trigger="now", seconds=1204.3, signal="SIGTERM")
    run(day, 10, 0, 6, "python3 ~/bin/photo-sync.py --progress", seconds=742.9,
        output=photo_sync_output(1_500_000) if back == 0 else "", end=back != 0)

lines.sort(key=lambda line: line["time"])  # as they were written
path = os.path.join(folder, "history.jsonl")
with open(path, "w") as out:
    for line in lines:
        out.write(json.dumps(line, ensure_ascii=False, separators=(",", ":")) + "\n")
os.chmod(path, 0o600)
