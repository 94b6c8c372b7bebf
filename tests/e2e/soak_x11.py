#!/usr/bin/env python3
"""Soak run of the Linux saver's own loop: soak_saver (app/bench/x11/soak_saver.cpp: the program's
start-up, the saver's set-up, frames and exit path, as `vorlune -root` runs them under XScreenSaver)
draws on the root window of a private Xvfb display for a long time and counts, at every sample, the
live blocks and bytes of the program's three heaps; beside it the bare OpenGL loop
(bench_gl_baseline) draws the same kind of frame full screen on an Xvfb display of its own, so that
the resident memory (VmRSS) of both can be set side by side.

    soak_x11.py BUILD_DIR [--minutes 30] [--interval SECONDS] [--no-baseline]

Prints the Windows soak's table and verdict (soak.py): PASS when each heap's blocks and bytes at
the end equal those of the first sample after the first pattern change, the saver's resident memory
grew by less than 16 MB, it lived through the whole run, SIGTERM (what XScreenSaver sends) ended it
within a few seconds with exit code 0, nothing went to its stderr and no process was left behind.
The displays live under BUILD_DIR/soak-x11 and are stopped at the end whatever happens."""
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak as windows_soak
import vorlune_e2e as e2e
import vorlune_x11 as x

SAVER = "soak_saver"
BASELINE = "bench_gl_baseline"
END_LIMIT = 5.0   # seconds from SIGTERM to the end of the process


class Display:
    """A private Xvfb display under dir (tests/x11/start.sh), stopped on exit."""

    def __init__(self, dir):
        self.dir = dir

    def __enter__(self):
        os.makedirs(self.dir, exist_ok=True)
        subprocess.run([os.path.join(x.X11_DIR, "start.sh"), self.dir], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL)
        self.name = x.display_of(self.dir)
        return self

    def __exit__(self, *exc):
        subprocess.run([os.path.join(x.X11_DIR, "stop.sh"), self.dir], check=False)


def start(command, display, output=None):
    """command on display, its stdout to output and stderr to output + ".err" (none: discarded)."""
    streams = (open(output, "w"), open(output + ".err", "w")) if output else (subprocess.DEVNULL,) * 2
    return subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=streams[0], stderr=streams[1],
                            env=dict(os.environ, DISPLAY=display), start_new_session=True)


def stop(process):
    if process and process.poll() is None:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()


def soak(b, minutes, interval, baseline, out=print):
    """Runs the soak; returns whether it passed."""
    failures = e2e.Failures("soak_x11")
    run = os.path.join(b, "soak-x11")
    out(f"soak: {SAVER} for {minutes:g} min, a sample every {interval} s, on the root window of its own Xvfb"
        + (f"; {BASELINE} full screen on another" if baseline else ", no baseline"))
    samples, maps = [], []
    saver = base = None
    output_path = os.path.join(run, "soak_saver.out")
    with Display(run) as screen, Display(os.path.join(run, "baseline")) as other:
        try:
            if baseline:
                frames = int(minutes * 60 * 40) + 100000   # more than the run can draw; it is killed
                base = start([os.path.join(b, BASELINE), "-fullscreen", "-frames", str(frames)], other.name)
            saver = start([os.path.join(b, SAVER), str(interval)], screen.name, output_path)
            out(f"saver pid {saver.pid} on display {screen.name}" +
                (f"; baseline pid {base.pid} on display {other.name}" if base else ""))
            if not windows_soak.collect(
                    lambda: open(output_path).read(), saver.pid,
                    lambda: windows_soak.status_kb(base.pid, "VmRSS") if base and base.poll() is None else None,
                    lambda: saver.poll() is None, lambda: saver.returncode, minutes * 60, interval, failures,
                    samples, maps):
                return False
            if base:
                failures.check(base.poll() is None, f"the baseline ended early (exit code {base.returncode})")
            if saver.poll() is None:
                began = time.time()
                saver.send_signal(signal.SIGTERM)
                try:
                    code = saver.wait(END_LIMIT)
                    out(f"ended {time.time() - began:.2f} s after SIGTERM, exit code {code}")
                    failures.check(code == 0, f"exit code {code} after SIGTERM, expected 0")
                except subprocess.TimeoutExpired:
                    failures.check(False, f"still running {END_LIMIT} s after SIGTERM")
                end = windows_soak.parse_sample((windows_soak.SAMPLE.findall(open(output_path).read()) or [""])[-1])
                if end and (not samples or end["t"] > samples[-1]["t"]):
                    end.update(rss=None, baseline=None, end=True)
                    samples.append(end)
        finally:
            stop(saver)
            stop(base)
        errors = open(output_path + ".err").read() if os.path.exists(output_path + ".err") else ""
        failures.check(not x.ERROR_TEXT.search(errors), f"an error on the saver's stderr: {errors[-600:]!r}")
        for d in (screen, other):
            x.no_processes_left(d.dir, failures, extra=(SAVER, BASELINE))
    # The table is the Windows soak's, whose saver a held key ends.
    windows_soak.judge(samples, maps, failures, lambda s: out(s.replace("(after the key)", "(after SIGTERM)")))
    passed = not failures.items
    out(("PASS" if passed else "FAIL") + f": soak {minutes:g} min (Linux)" +
        ("" if passed else " (" + "; ".join(failures.items) + ")"))
    return passed


def main(argv=None):
    a = windows_soak.arguments(__doc__.split("\n\n")[0], "build_dir", argv)
    if windows_soak.missing(a, SAVER, BASELINE, usable=lambda path: os.access(path, os.X_OK)):
        return 1
    return 0 if soak(a.dir, a.minutes, a.interval, not a.no_baseline, out=lambda s: print(s, flush=True)) else 1


if __name__ == "__main__":
    sys.exit(main())
