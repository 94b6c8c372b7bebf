#!/usr/bin/env python3
"""Soak run of the full-screen saver: "/s" runs for a long time while the resident memory of the
Linux process that runs Vorlune.scr is sampled; a held key ends it at the end.

    soak.py BUILD_DIR [--minutes 30] [--interval 60] [--settle 60] [--threaded]

Prints every sample, the growth from the first sample taken after the settle time to the last one,
and PASS when that growth is under 1 MB, the saver lived through the whole run, ended with exit code
0 on the key and left no process behind. The exit code is 0 on PASS.

Direct3D runs single-threaded by default (WINE_D3D_CONFIG=csmt=0, as the picture tests run it);
--threaded keeps Wine's default command-stream thread."""
import argparse
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e

LIMIT_KB = 1024


def status_kb(pid, field):
    """A "kB" field (VmRSS, VmHWM...) of /proc/<pid>/status; None once the process is gone."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except (OSError, ValueError, IndexError):
        return None
    return None


def cpu_seconds(pid):
    """User plus system CPU time of a Linux process and its ended threads; None once it is gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, ValueError, IndexError):
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


def mapping_growth(before, after, top=8):
    """The mappings whose resident size changed most between two mappings_kb results."""
    names = set(before) | set(after)
    changes = [(after.get(n, 0) - before.get(n, 0), n) for n in names]
    changes = [c for c in changes if c[0]]
    changes.sort(key=lambda c: -abs(c[0]))
    return changes[:top]


def saver_pid(build_dir, timeout=30):
    """The Linux process that runs Vorlune.scr under the build's prefix. While Wine starts it there
    can be two for a moment (the loader and the program); the program is the one that grew."""
    end = time.time() + timeout
    while time.time() < end:
        found = e2e.our_processes(build_dir, names=("vorlune.scr",))
        sized = [(status_kb(pid, "VmRSS") or 0, pid) for pid, _ in found]
        if sized:
            return max(sized)[1]
        time.sleep(0.5)
    return None


def soak(build_dir, minutes, interval, settle, threaded, out=print):
    """Runs the soak; returns (passed, samples) with samples as (seconds, VmRSS kB)."""
    failures = e2e.Failures("soak")
    env = e2e.THREADED_D3D if threaded else e2e.SINGLE_THREADED_D3D
    mode = "threaded Direct3D (Wine's default)" if threaded else "single-threaded Direct3D (csmt=0)"
    out(f"soak: /s for {minutes:g} min, a sample every {interval:g} s, {mode}")
    samples = []
    maps = []
    saver = e2e.Saver(build_dir, ["/s"], env=env)
    try:
        window = saver.wait_window(120)
        if not failures.check(window is not None, f"no '{e2e.SAVER_TITLE}' window (exit code "
                                                  f"{saver.exit_code()}, output {saver.output()!r})"):
            return False, samples
        pid = saver_pid(build_dir)
        if not failures.check(pid is not None, "no Linux process runs Vorlune.scr"):
            return False, samples
        out(f"saver window 0x{window:x}, Linux pid {pid}")
        start = time.time()
        duration = minutes * 60
        n = 0
        while True:
            rss = status_kb(pid, "VmRSS")
            if not failures.check(rss is not None and saver.alive(),
                                  f"the saver ended by itself after {time.time() - start:.0f} s "
                                  f"(exit code {saver.exit_code()})"):
                break
            t = time.time() - start
            samples.append((t, rss))
            maps.append(mappings_kb(pid) or {})
            # CPU time shows the saver is still drawing, not stuck.
            out(f"sample {len(samples):3d}  t={t:7.1f} s  VmRSS={rss} kB  VmHWM={status_kb(pid, 'VmHWM')} kB"
                f"  cpu={cpu_seconds(pid) or 0:.1f} s")
            n += 1
            if n * interval > duration + 1e-6:
                break
            # Sampling keeps to its schedule however long a sample took.
            time.sleep(max(0.0, start + n * interval - time.time()))
        if saver.alive():
            failures.check(saver.focus(), "the saver's window did not get the keyboard focus")
            took = saver.hold_until_exit(["x"], 60)
            if took is None:
                took = saver.wait_exit(20)
            failures.check(took is not None, "a held key did not end the saver")
            code = saver.finish()
            out(f"ended {took} s after the key went down, exit code {code}")
            failures.check(code == 0, f"exit code {code}, expected 0")
    finally:
        saver.finish()
    e2e.no_processes_left(build_dir, failures)

    after = [s for s in samples if s[0] >= settle - 1e-6]
    if len(after) >= 2:
        growth = after[-1][1] - after[0][1]
        rss = [s[1] for s in after]
        out(f"growth after the first {settle:g} s: {growth:+d} kB (from {after[0][1]} kB at "
            f"{after[0][0]:.0f} s to {after[-1][1]} kB at {after[-1][0]:.0f} s; min {min(rss)}, "
            f"median {statistics.median(rss):.0f}, max {max(rss)} kB)")
        failures.check(growth < LIMIT_KB, f"resident memory grew by {growth} kB (limit {LIMIT_KB} kB)")
        # Where it grew (or shrank): which library's or heap's pages.
        first = len(samples) - len(after)
        for kb, name in mapping_growth(maps[first], maps[-1]):
            out(f"  {kb:+7d} kB  {name}")
        for i in range(first + 1, len(samples)):
            step = samples[i][1] - samples[i - 1][1]
            if abs(step) >= 256:
                parts = ", ".join(f"{kb:+d} kB {name}" for kb, name in mapping_growth(maps[i - 1], maps[i], 3))
                out(f"step of {step:+d} kB between {samples[i - 1][0]:.0f} and {samples[i][0]:.0f} s: {parts}")
    else:
        failures.check(False, f"fewer than two samples after the first {settle:g} s")
    passed = not failures.items
    out(("PASS" if passed else "FAIL") + f": soak {minutes:g} min" +
        ("" if passed else " (" + "; ".join(failures.items) + ")"))
    return passed, samples


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("build_dir")
    p.add_argument("--minutes", type=float, default=30)
    p.add_argument("--interval", type=float, default=60, help="seconds between samples")
    p.add_argument("--settle", type=float, default=60, help="growth is measured from the first sample after this")
    p.add_argument("--threaded", action="store_true", help="Wine's default threaded Direct3D")
    a = p.parse_args(argv)
    if a.interval <= 0 or a.minutes <= 0:
        p.error("--minutes and --interval must be positive")
    b = os.path.abspath(a.build_dir)
    for name in ("Vorlune.scr",):
        if not os.path.exists(os.path.join(b, name)):
            print(f"FAIL: {name} is missing in {b}", flush=True)
            return 1
    with e2e.WineSession(b):
        passed, _ = soak(b, a.minutes, a.interval, a.settle, a.threaded,
                         out=lambda s: print(s, flush=True))
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
