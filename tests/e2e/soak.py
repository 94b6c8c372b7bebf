#!/usr/bin/env python3
"""Soak run of the saver's own loop: soak_saver.exe (app/bench/win/soak_saver.cpp: the program's
start-up, the saver's set-up, frames and exit path) runs full screen for a long time and counts, at
every sample, the live blocks and bytes of the program's three heaps (MainHeap, ListedObjectHeap,
StringHeap); beside it the bare-platform baseline (bench_baseline.exe) draws the same kind of frame
on a Wine prefix and display of its own, so that the resident memory of both can be set side by side.

    soak.py RUN_DIR [--minutes 30] [--interval SECONDS] [--no-baseline] [--threaded]

RUN_DIR holds soak_saver.exe and bench_baseline.exe and has a running Wine session (tests/wine/
start.sh); the baseline's session is started under RUN_DIR/baseline and stopped at the end.

Prints a table of samples (time, frames, pattern changes, trail points, blocks and bytes per heap,
resident memory of the saver and of the baseline) and PASS when each heap's blocks and bytes at the
end equal those of the first sample after the first pattern change, the saver's resident memory
grew by less than 16 MB (the platform moves it by about a megabyte either way: it is reported, not
judged finely), the saver lived through the whole run, a held key ended it with exit code 0 and no
process was left behind. The exit code is 0 on PASS.

Direct3D runs single-threaded by default (WINE_D3D_CONFIG=csmt=0, as the picture tests run it);
--threaded keeps Wine's default command-stream thread."""
import argparse
import os
import re
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e

SAVER = "soak_saver.exe"
BASELINE = "bench_baseline.exe"
HEAPS = (("main", "MainHeap"), ("listed", "ListedObjectHeap"), ("string", "StringHeap"))
COUNTS = [f"{h}_{k}" for h, _ in HEAPS for k in ("blocks", "bytes")]
# The trail holds a point per emitter for each of the fade table's 100 frames, and every pattern
# change empties and refills the emitter list: once the timer has changed the pattern (15 s, some
# 450 frames), every list has had its steady size and every kind of allocation of the loop has
# happened. The first sample after that is the reference.
FADE_FRAMES = 100
RESIDENT_LIMIT_KB = 16 * 1024
SAMPLE = re.compile(r"^SAMPLE (.*)$", re.M)


def status_kb(pid, field):
    """A "kB" field (VmRSS, VmHWM...) of /proc/<pid>/status; None once the process is gone."""
    if pid is None:
        return None
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except (OSError, ValueError, IndexError):
        return None
    return None


def mappings_kb(pid):
    """Resident kB per mapping of the process, from /proc/<pid>/smaps: a file's mappings are added
    up under its name, an anonymous one is named by its start address. None once it is gone."""
    try:
        with open(f"/proc/{pid}/smaps") as f:
            text = f.read()
    except OSError:
        return None
    found = {}
    name = None
    for line in text.splitlines():
        head = line.split(None, 5)
        if head and "-" in head[0] and len(head) >= 5 and ":" in head[3]:
            name = head[5].strip() if len(head) == 6 and head[5].strip() else "anonymous@" + head[0].split("-")[0]
        elif line.startswith("Rss:") and name is not None:
            found[name] = found.get(name, 0) + int(line.split()[1])
    return found


def mapping_growth(before, after, top=6):
    """The mappings whose resident size changed most between two mappings_kb results."""
    changes = [(after.get(n, 0) - before.get(n, 0), n) for n in set(before) | set(after)]
    changes = [c for c in changes if c[0]]
    changes.sort(key=lambda c: -abs(c[0]))
    return changes[:top]


def linux_pid(build_dir, name, timeout=30):
    """The Linux process that runs the named program under the build's prefix. While Wine starts it
    there can be two for a moment (the loader and the program); the program is the one that grew."""
    end = time.time() + timeout
    while time.time() < end:
        sized = [(status_kb(pid, "VmRSS") or 0, pid) for pid, _ in e2e.our_processes(build_dir, names=(name,))]
        if sized:
            return max(sized)[1]
        time.sleep(0.5)
    return None


def parse_sample(text):
    """A SAMPLE line's fields as numbers; None when one is missing or not a number."""
    fields = dict(f.split("=", 1) for f in text.split() if "=" in f)
    try:
        sample = {"t": float(fields["t"])}
        for k in ["frames", "patterns", "trail"] + COUNTS:
            sample[k] = int(fields[k])
    except (KeyError, ValueError):
        return None
    return sample


class Baseline:
    """bench_baseline.exe drawing on a Wine prefix and display of its own for the whole soak."""

    def __init__(self, run_dir, minutes, env):
        self.dir = os.path.join(run_dir, "baseline")
        os.makedirs(self.dir, exist_ok=True)
        self.session = e2e.WineSession(self.dir)
        self.session.__enter__()
        # More frames than the run can draw; it is ended with its session.
        frames = int(minutes * 60 * 1000) + 100000
        command = e2e.wine_command(self.dir, os.path.join(run_dir, BASELINE), [str(frames), "0"])
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, env=dict(os.environ, **env),
                                        start_new_session=True)
        self.pid = linux_pid(self.dir, BASELINE)

    def resident(self):
        return status_kb(self.pid, "VmRSS") if self.process.poll() is None else None

    def stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        self.session.__exit__(None, None, None)


def table(samples, reference, out):
    head = (f"{'t (s)':>7} {'frames':>7} {'pat':>3} {'trail':>5}" +
            "".join(f" {name + ' blocks':>{len(name) + 7}} {'bytes':>8}" for _, name in HEAPS) +
            f" {'resident kB':>11} {'baseline kB':>11}")
    out(head)
    for i, s in enumerate(samples):
        mark = "  <- reference" if i == reference else ("  (after the key)" if s.get("end") else "")
        out(f"{s['t']:7.1f} {s['frames']:7d} {s['patterns']:3d} {s['trail']:5d}" +
            "".join(f" {s[h + '_blocks']:>{len(name) + 7}d} {s[h + '_bytes']:8d}" for h, name in HEAPS) +
            f" {s['rss'] if s['rss'] is not None else '-':>11} {s['baseline'] if s['baseline'] is not None else '-':>11}"
            + mark)


def collect(read, pid, baseline_kb, alive, exit_code, duration, interval, failures, samples, maps):
    """Takes the saver's SAMPLE lines from read() as they come, each with the saver's resident size
    and baseline_kb(), until the run's time is up, the saver ends or the samples stop coming (each a
    failure). False when a sample cannot be read: the run is then over."""
    seen, last_news = 0, time.time()
    while True:
        lines = SAMPLE.findall(read())
        for line in lines[seen:]:
            s = parse_sample(line)
            if not failures.check(s is not None, f"an unreadable sample: {line!r}"):
                return False
            s["rss"] = status_kb(pid, "VmRSS")
            s["baseline"] = baseline_kb()
            samples.append(s)
            maps.append(mappings_kb(pid) or {})
            last_news = time.time()
        seen = len(lines)
        if samples and samples[-1]["t"] >= duration - 0.5:
            return True
        if not failures.check(alive(), f"the saver ended by itself after {len(samples)} samples "
                                       f"(exit code {exit_code()})"):
            return True
        if not failures.check(time.time() - last_news < interval + 60,
                              f"no sample for {interval + 60} s after {len(samples)} samples"):
            return True
        time.sleep(0.25)


def soak(run_dir, minutes, interval, baseline, threaded, out=print):
    """Runs the soak; returns (passed, samples)."""
    failures = e2e.Failures("soak")
    env = e2e.THREADED_D3D if threaded else e2e.SINGLE_THREADED_D3D
    mode = "threaded Direct3D (Wine's default)" if threaded else "single-threaded Direct3D (csmt=0)"
    out(f"soak: {SAVER} for {minutes:g} min, a sample every {interval} s, {mode}"
        + ("" if baseline else ", no baseline"))
    samples = []
    maps = []
    base = None
    saver = None
    try:
        if baseline:
            base = Baseline(run_dir, minutes, env)
            failures.check(base.pid is not None, f"no Linux process runs {BASELINE}")
        saver = e2e.Saver(run_dir, [str(interval)], env=env, program=os.path.join(run_dir, SAVER))
        window = saver.wait_window(120)
        if not failures.check(window is not None, f"no '{e2e.SAVER_TITLE}' window (exit code "
                                                  f"{saver.exit_code()}, output {saver.output()[-300:]!r})"):
            return False, samples
        pid = linux_pid(run_dir, SAVER)
        if not failures.check(pid is not None, f"no Linux process runs {SAVER}"):
            return False, samples
        out(f"saver window 0x{window:x}, Linux pid {pid}" +
            (f"; baseline Linux pid {base.pid} on display {e2e.display_of(base.dir)}" if base else ""))
        if not collect(saver.output, pid, lambda: base.resident() if base else None, saver.alive,
                       saver.exit_code, minutes * 60, interval, failures, samples, maps):
            return False, samples
        if saver.alive():
            failures.check(saver.focus(), "the saver's window did not get the keyboard focus")
            took = saver.hold_until_exit(["x"], 60)
            if took is None:
                took = saver.wait_exit(20)
            failures.check(took is not None, "a held key did not end the saver")
            end = parse_sample((SAMPLE.findall(saver.output()) or [""])[-1])
            code = saver.finish()
            if end and (not samples or end["t"] > samples[-1]["t"]):
                end.update(rss=None, baseline=base.resident() if base else None, end=True)
                samples.append(end)
            out(f"ended {took:.1f} s after the key went down, exit code {code}")
            failures.check(code == 0, f"exit code {code}, expected 0")
    finally:
        if saver:
            saver.finish()
        if base:
            base.stop()
    e2e.no_processes_left(run_dir, failures, names=(SAVER.lower(),))
    judge(samples, maps, failures, out)
    passed = not failures.items
    out(("PASS" if passed else "FAIL") + f": soak {minutes:g} min" +
        ("" if passed else " (" + "; ".join(failures.items) + ")"))
    return passed, samples


def judge(samples, maps, failures, out):
    """The table and the verdict's checks: heap counts from the reference on, resident memory."""
    reference = next((i for i, s in enumerate(samples)
                      if s["patterns"] >= 1 and s["frames"] > FADE_FRAMES and not s.get("end")), None)
    table(samples, reference, out)
    if not failures.check(reference is not None and len(samples) - reference >= 2,
                          "fewer than two samples after the first pattern change: run longer"):
        return
    ref, last = samples[reference], samples[-1]
    unwalked = [k for s in samples for k in COUNTS if s[k] < 0]
    failures.check(not unwalked, f"a heap could not be walked ({sorted(set(unwalked))})")
    for h, name in HEAPS:
        after = samples[reference:]
        blocks = last[h + "_blocks"] - ref[h + "_blocks"]
        bytes_ = last[h + "_bytes"] - ref[h + "_bytes"]
        out(f"{name}: {blocks:+d} blocks, {bytes_:+d} bytes from {ref['t']:.0f} s to {last['t']:.0f} s "
            f"(blocks {min(s[h + '_blocks'] for s in after)}-{max(s[h + '_blocks'] for s in after)}, "
            f"bytes {min(s[h + '_bytes'] for s in after)}-{max(s[h + '_bytes'] for s in after)})")
        failures.check(blocks == 0 and bytes_ == 0, f"{name} grew by {blocks} blocks and {bytes_} bytes")

    for who, key in (("saver", "rss"), ("baseline", "baseline")):
        rows = [s for s in samples[reference:] if s[key] is not None]
        if who == "baseline" and not any(s[key] is not None for s in samples):
            continue   # not run
        if len(rows) < 2:
            out(f"resident memory of the {who}: not enough samples")
            continue
        values = [s[key] for s in rows]
        growth = rows[-1][key] - rows[0][key]
        out(f"resident memory of the {who}: {growth:+d} kB from {rows[0]['t']:.0f} s to {rows[-1]['t']:.0f} s "
            f"(min {min(values)}, max {max(values)} kB)")
        if who == "saver":
            failures.check(growth < RESIDENT_LIMIT_KB,
                           f"resident memory grew by {growth} kB (limit {RESIDENT_LIMIT_KB} kB)")
            # Where it moved: which library's or heap's pages.
            with_maps = [i for i in range(reference, len(maps)) if maps[i]]
            if len(with_maps) >= 2:
                for kb, name in mapping_growth(maps[with_maps[0]], maps[with_maps[-1]]):
                    out(f"  {kb:+7d} kB  {name}")


def arguments(description, folder, argv=None, threaded=False):
    """Both soaks' command line; the interval, when not given, from the run's length."""
    p = argparse.ArgumentParser(description=description)
    p.add_argument(folder)
    p.add_argument("--minutes", type=float, default=30)
    p.add_argument("--interval", type=int, default=None,
                   help="seconds between samples (default: 60, or a sixth of a shorter run, at least 5)")
    p.add_argument("--no-baseline", action="store_true", help="no baseline program beside the saver")
    if threaded:
        p.add_argument("--threaded", action="store_true", help="Wine's default threaded Direct3D")
    a = p.parse_args(argv)
    if a.minutes <= 0 or (a.interval is not None and a.interval < 1):
        p.error("--minutes must be positive and --interval at least 1")
    a.interval = a.interval or max(5, min(60, int(a.minutes * 60 / 6)))
    a.dir = os.path.abspath(getattr(a, folder))
    return a


def missing(a, saver, baseline, usable=os.path.exists):
    """Says and returns the first program of the run that is not there."""
    for name in (saver,) + (() if a.no_baseline else (baseline,)):
        if not usable(os.path.join(a.dir, name)):
            print(f"FAIL: {name} is missing in {a.dir}", flush=True)
            return name
    return None


def main(argv=None):
    a = arguments(__doc__.split("\n\n")[0], "run_dir", argv, threaded=True)
    if missing(a, SAVER, BASELINE):
        return 1
    with e2e.WineSession(a.dir):
        passed, _ = soak(a.dir, a.minutes, a.interval, not a.no_baseline, a.threaded,
                         out=lambda s: print(s, flush=True))
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
