#!/usr/bin/python3
"""Start-up time, side by side in one run: from starting the process to its main window
being mapped, for Morrowset and for a bare Qt main window (bare_qt_window, built with the
same compiler and flags), both on one private Xvfb server whose map events this script
watches as an X client.

    /usr/bin/python3 bench/startup/startup_bench.py [--build build] [--runs 40]
                                                    [--variant NAME=PATH ...]

--variant adds another build of Morrowset to the same run (for example the executable from
before a change), to see what a change is worth under the same load.

The two programs take turns, after one unmeasured warm-up start each. Morrowset runs from
a copy in a fresh folder holding a saved timetable of six empty rows, as a user's copy after
the first save, so that no error report about a missing timetable comes first.
"""
import argparse
import os
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X
from Xlib import display as xdisplay

MORROWSET_TITLE = "System Morrowset - By Ansgrove V1.0"
BARE_TITLE = "Bare Qt window"
EMPTY_TIMETABLE = " 0 \r\n\r\n##:##\r\n" * 6


def start_xvfb():
    """Starts a private Xvfb; returns the server process and its display name."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            sys.exit("Xvfb did not start")
        number += chunk
    os.close(read_end)
    return server, ":" + number.decode().strip()


def window_title(window):
    try:
        name = window.get_wm_name()
    except Exception:  # the window may be gone already
        return None
    return name.decode("latin-1") if isinstance(name, bytes) else name


def time_to_map(connection, command, environment, folder, title, timeout=15.0):
    """Seconds from starting `command` to the X server mapping its window titled `title`."""
    while connection.pending_events():
        connection.next_event()
    started = time.monotonic()
    process = subprocess.Popen(command, cwd=folder, env=environment,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        while True:
            left = started + timeout - time.monotonic()
            if left <= 0:
                sys.exit(f"{command[0]}: no window titled {title!r} within {timeout} s")
            if not connection.pending_events():
                select.select([connection.fileno()], [], [], left)
            while connection.pending_events():
                event = connection.next_event()
                if event.type == X.MapNotify:
                    mapped = time.monotonic()
                    if window_title(event.window) == title:
                        return mapped - started
    finally:
        process.terminate()
        process.wait()


def portable_copy(executable, build, folder):
    """A copy of `executable` as Morrowset in its own `folder`, with the help file and a
    saved timetable of six empty rows beside it; returns the copy's path."""
    os.mkdir(folder)
    copy = os.path.join(folder, "Morrowset")
    shutil.copy2(executable, copy)
    help_file = os.path.join(build, "bin", "wardline.hlp")
    if os.path.exists(help_file):
        shutil.copy2(help_file, folder)
    timetable = os.path.join(folder, "Morrowset.ini")
    with open(os.open(timetable, os.O_WRONLY | os.O_CREAT, 0o600), "w", newline="") as out:
        out.write(EMPTY_TIMETABLE)
    return copy


def summary(name, samples):
    ms = sorted(s * 1000 for s in samples)
    return (f"{name:<16} median {statistics.median(ms):6.1f} ms   min {ms[0]:6.1f}   "
            f"mean {statistics.fmean(ms):6.1f}   max {ms[-1]:6.1f}   (n={len(ms)})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build", help="the build folder (default: build)")
    parser.add_argument("--runs", type=int, default=40, help="measured starts of each program")
    parser.add_argument("--variant", action="append", default=[], metavar="NAME=PATH",
                        help="another Morrowset executable to measure alongside")
    options = parser.parse_args()
    variants = [v.split("=", 1) for v in options.variant]
    if any(len(v) != 2 for v in variants):
        sys.exit("--variant takes NAME=PATH")

    morrowset = os.path.join(options.build, "bin", "Morrowset")
    bare = os.path.join(options.build, "bench", "bare_qt_window")
    for program in (morrowset, bare):
        if not os.access(program, os.X_OK):
            sys.exit(f"{program} is missing: build the targets Morrowset and bare_qt_window")

    with tempfile.TemporaryDirectory(prefix="morrowset-startup-") as folder:
        copies = {"Morrowset": portable_copy(morrowset, options.build, os.path.join(folder, "Morrowset"))}
        for name, path in variants:
            copies[name] = portable_copy(path, options.build, os.path.join(folder, f"variant-{len(copies)}"))

        server, display_name = start_xvfb()
        try:
            environment = dict(os.environ, DISPLAY=display_name, QT_QPA_PLATFORM="xcb")
            connection = xdisplay.Display(display_name)
            root = connection.screen().root
            root.change_attributes(event_mask=X.SubstructureNotifyMask)
            connection.sync()

            candidates = {name: ([copy], MORROWSET_TITLE) for name, copy in copies.items()}
            candidates["bare Qt window"] = ([os.path.abspath(bare)], BARE_TITLE)
            samples = {name: [] for name in candidates}
            for name, (command, title) in candidates.items():  # warm-up, not counted
                time_to_map(connection, command, environment, folder, title)
            for run in range(options.runs):
                order = list(candidates.items())
                if run % 2:
                    order.reverse()
                for name, (command, title) in order:
                    samples[name].append(time_to_map(connection, command, environment, folder, title))
            connection.close()
        finally:
            server.terminate()
            server.wait()

    for name, values in samples.items():
        print(summary(name, values))
    bare_median = statistics.median(samples["bare Qt window"])
    for name in copies:
        print(f"ratio of medians, {name} to bare Qt window: "
              f"{statistics.median(samples[name]) / bare_median:.2f} x")


if __name__ == "__main__":
    main()
