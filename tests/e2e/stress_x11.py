#!/usr/bin/env python3
"""Stress run of the Linux program under Debian's XScreenSaver daemon: the build's vorlune, listed
as the daemon's only saver (as tests/e2e/x11_xscreensaver.py sets it up, on a private Xvfb display),
is started with `xscreensaver-command -activate` and stopped with `-deactivate` CYCLES times.

    stress_x11.py BUILD_DIR [--cycles 100] [--picture-every 10]

Each cycle must launch the program (in the daemon's window) within START_LIMIT seconds and, after
-deactivate, leave no vorlune process within END_LIMIT seconds and no X resources: the server's
clients and their resources (xrestop's per-client counts of windows, GCs, pixmaps, pictures,
colormaps, cursors, fonts and other resources, and bytes, added up) must be what they were before
the cycle. Every Nth activation must show the saver's trails on the screen. At the end the daemon and
its helper xscreensaver-gfx must still run, and the daemon's log must name no crashed program.
Prints a line a cycle, the median and longest activation, deactivation and cycle times, the leftover
counts and PASS or FAIL; the exit code is 0 on PASS. The daemon's log is kept in
BUILD_DIR/stress-x11/e2e-x11/xscreensaver-stress.log."""
import argparse
import ctypes
import os
import re
import signal
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_x11 as x
import x11_xscreensaver as xss

START_LIMIT = 10.0   # seconds from -activate to the program's process
END_LIMIT = 3.0      # seconds from -deactivate to no program
SETTLE = 2.0         # seconds the server may take to free a gone client's resources
DWELL = 1.0          # seconds each activation runs before -deactivate (when no picture is judged)
RESOURCES = ("windows", "GCs", "fonts", "pixmaps", "pictures", "glyphsets", "colormaps", "passive grabs",
             "cursors", "unknowns", "pixmap bytes", "other bytes")
# The daemon's words for a helper or program that died on its own (it ends xscreensaver-gfx itself
# with SIGTERM at each deactivation, which it logs as "exited with SIGTERM").
CRASH = re.compile(r"(vorlune|xscreensaver-gfx).*(unexpectedly|crashed|core dumped|exited abnormally)", re.I)


def resources(display):
    """The server's clients, xrestop's own excepted: {res_base: (name, {resource: count})}; the
    server's own resources are the client with base 0. None when xrestop gives nothing."""
    done = subprocess.run(["xrestop", "-display", display, "-b", "-m", "1"], capture_output=True, text=True,
                          timeout=20)
    clients, name, counts = {}, None, None
    for line in done.stdout.splitlines():
        head = re.match(r"^\d+ - (.*) \( PID:", line)
        field = re.match(r"^\s+([a-zA-Z_ ]+?)\s*:\s*~?(\w+)\s*$", line)
        if head:
            name, counts = head.group(1).strip(), {}
        elif field and counts is not None:
            if field.group(1) == "res_base" and name != "xrestop":
                clients[int(field.group(2), 16 if field.group(2).startswith("0x") else 10)] = (name, counts)
            elif field.group(1) in RESOURCES:
                counts[field.group(1)] = int(field.group(2))
    return clients or None


def leftover(before, after):
    """What the server holds now and did not before: clients still there, and "name: resource +n"
    for each client's changed counts."""
    if before is None or after is None:
        return ["xrestop unreadable"]
    left = [f"client {after[c][0]} at {c:#x}" for c in sorted(set(after) - set(before))]
    for c in sorted(set(after) & set(before)):
        name = "the server's own" if c == 0 else after[c][0]
        left += [f"{name}: {k} {after[c][1].get(k, 0) - v:+d}" for k, v in before[c][1].items()
                 if after[c][1].get(k, 0) != v]
    return left


def settled(display, before):
    """The server's resources once they are back to before, or after SETTLE seconds."""
    end = time.time() + SETTLE
    while True:
        now = resources(display)
        if not leftover(before, now) or time.time() > end:
            return now
        time.sleep(0.1)


def spread(values):
    return (f"median {statistics.median(values):.2f} s, longest {max(values):.2f} s" if values else "none")


def end_programs(daemon, failures, label):
    """Checks that no program of the run is left, and kills and reaps any that is."""
    left = daemon.processes("vorlune")
    failures.check(not left, f"{label}: programs left running: {left}")
    for pid in left:
        os.kill(pid, signal.SIGKILL)
        xss.reap(pid, 3.0)


def cycle(run, daemon, i, judge_picture, failures):
    """One activation and deactivation; (activation, deactivation, whole seconds, leftover items),
    or None when the program did not start or did not end."""
    display = x.display_of(run)
    before = resources(display)
    began = time.time()
    daemon.command("-activate")
    pids = []
    while not pids and time.time() - began < START_LIMIT:
        time.sleep(0.02)
        pids = daemon.processes("vorlune")
    if not failures.check(pids, f"cycle {i}: no program running {START_LIMIT} s after -activate"):
        return None
    started = time.time() - began
    note = ""
    if judge_picture:
        picture = x.wait_for_trails(run, None)
        failures.check(picture is not None, f"cycle {i}: no trails within {x.START_LIMIT} s")
        note = f", {len(picture.coloured)} coloured pixels on the screen" if picture else ", NO TRAILS"
    else:
        time.sleep(DWELL)
    during = resources(display)
    failures.check(daemon.processes("xscreensaver-gfx"), f"cycle {i}: no xscreensaver-gfx while active")
    asked = time.time()
    daemon.command("-deactivate")
    ended = daemon.gone_within(END_LIMIT)
    if not failures.check(ended is not None, f"cycle {i}: program {pids} still runs {END_LIMIT} s after -deactivate"):
        return None
    ended = time.time() - asked
    # Its parent xscreensaver-gfx exits at once, so the program's status comes to this process.
    status = xss.reap(pids[0])
    if status is not None:
        failures.check(os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0,
                       f"cycle {i}: the program's exit status {status:#x}, expected exit code 0")
    left = leftover(before, settled(display, before))
    # The first activation leaves the server one resource of its own, whatever the program (a bare
    # Xlib one does the same): not the program's. The end is compared with cycle 1 too.
    judged = [item for item in left if not (i == 1 and item.startswith("the server's own"))]
    failures.check(not judged, f"cycle {i}: left behind in the X server: {', '.join(judged)}")
    clients = "?" if during is None or before is None else f"{len(set(during) - set(before)):+d}"
    print(f"cycle {i:3d}: started {started:.2f} s, ended {ended:.2f} s after -deactivate "
          f"(exit status {'?' if status is None else hex(status)}), {clients} X clients while active{note}; "
          f"{'left: ' + ', '.join(left) if left else 'nothing left'}", flush=True)
    return started, ended, time.time() - began, judged


def stress(b, cycles, every):
    failures = x.e2e.Failures("stress_x11")
    run = os.path.join(b, "stress-x11")
    os.makedirs(run, exist_ok=True)
    # The daemon is given the run's directory: its display, and the program linked there.
    link = x.program(run)
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(x.program(b), link)
    # Adopts the program once xscreensaver-gfx is gone, to read its exit status.
    ctypes.CDLL(None, use_errno=True).prctl(36, 1, 0, 0, 0)    # PR_SET_CHILD_SUBREAPER
    results, alive, crashes, growth = [], False, [], ["not measured"]
    with x.X11Session(run):
        daemon = xss.Daemon(run, "stress")
        try:
            if not daemon.ready(failures):
                return 1
            print(f"stress: {cycles} cycles of -activate / -deactivate on display {x.display_of(run)}, " +
                  (f"the screen checked for trails every {every} cycles" if every else "the screen not checked"),
                  flush=True)
            for i in range(1, cycles + 1):
                r = cycle(run, daemon, i, every > 0 and i % every == 0, failures)
                if r is None:
                    end_programs(daemon, failures, f"after cycle {i}")   # the next cycle starts clean
                elif i == 1:
                    first = resources(x.display_of(run))
                results.append(r)
            if results[0]:
                growth = leftover(first, resources(x.display_of(run)))
                failures.check(not growth, f"the X server holds more after cycle {cycles} than after cycle 1: "
                                           f"{', '.join(growth)}")
            alive = daemon.process.poll() is None and bool(daemon.processes("xscreensaver")) and \
                daemon.command("-version").returncode == 0
            failures.check(alive, "the daemon is gone or does not answer at the end")
            log = daemon.text().splitlines()
            crashes = [line for line in log if CRASH.search(line)]
            # The program's own words on its stderr, which the daemon's log holds, say why.
            said = sorted(set(line for line in log if line.startswith("vorlune:")))
            failures.check(not crashes, f"the daemon's log names a crash: {crashes[:3]}; the program said {said[:5]}")
            end_programs(daemon, failures, "at the end")
        finally:
            daemon.close()
    done = [r for r in results if r]
    print("== stress summary (Linux, XScreenSaver)")
    print(f"cycles {cycles}, completed {len(done)}, with X resources left behind {sum(1 for r in done if r[3])}, "
          f"programs left running {cycles - len(done)}; growth from cycle 1 to the end: {', '.join(growth) or 'none'}")
    print(f"activation (-activate to the program's process): {spread([r[0] for r in done])}")
    print(f"deactivation (-deactivate to no process): {spread([r[1] for r in done])}")
    print(f"whole cycle: {spread([r[2] for r in done])}")
    print(f"daemon {'alive and answering' if alive else 'GONE'} at the end; xscreensaver-gfx (which the daemon "
          f"starts at each activation and ends at each deactivation) ran in every activation"
          f"{': NO' if any('no xscreensaver-gfx' in f for f in failures.items) else ''}; crashes in its log: "
          f"{len(crashes)}")
    passed = not failures.items
    print(("PASS" if passed else "FAIL") + f": stress {cycles} cycles (Linux)" +
          ("" if passed else f" ({len(failures.items)} failed checks; the first: {failures.items[0]})"), flush=True)
    return 0 if passed else 1


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("build_dir")
    p.add_argument("--cycles", type=int, default=100)
    p.add_argument("--picture-every", type=int, default=10, help="judge the picture every Nth cycle (0: never)")
    a = p.parse_args(argv)
    if a.cycles < 1 or a.picture_every < 0:
        p.error("--cycles must be 1 or more and --picture-every 0 or more")
    b = os.path.abspath(a.build_dir)
    if not os.access(x.program(b), os.X_OK):
        print(f"FAIL: {x.program(b)} is missing", flush=True)
        return 1
    return stress(b, a.cycles, a.picture_every)


if __name__ == "__main__":
    sys.exit(main())
