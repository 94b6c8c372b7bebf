#!/usr/bin/env python3
"""Stress run: the real Vorlune.scr started and stopped many times in each of its three modes.

    stress.py BUILD_DIR [--cycles 100] [--modes s,c,p] [--threaded]

  s  "/s", the full-screen saver; its window gets the keyboard focus and a held key ends it.
  c  "/c", the About box; the host program presses its OK button.
  p  "/p <host window>", the preview in a window of the host program, which then sends WM_CLOSE
     to the preview's child window as the Windows screensaver host does.

Every cycle must end with exit code 0 and leave no process of ours behind. Prints per mode the
cycles, passes, failures, the median and longest cycle time and one PASS or FAIL line; the exit
code is 0 when every mode passed. A mode stops early after FAIL_STREAK failed cycles in a row
(something is broken for good; the run says so).

"/s" runs Direct3D on the saver's thread (WINE_D3D_CONFIG=csmt=0, as the picture tests do) unless
--threaded is given."""
import argparse
import os
import signal
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e

FAIL_STREAK = 5
# Limits of one cycle, in seconds. Generous: other jobs may share the machine's two cores.
WINDOW_LIMIT = 120
KEY_LIMIT = 60
HOST_LIMIT = 180
GONE_LIMIT = 15

MODES = {"s": "/s", "c": "/c", "p": "/p"}


class Cycle:
    def __init__(self, ok, seconds, reason="", note=""):
        self.ok, self.seconds, self.reason, self.note = ok, seconds, reason, note


def clear_leftovers(build_dir):
    """Waits for our processes to go; kills any still there after GONE_LIMIT, so one bad cycle
    does not spoil the next. The ones that had to be killed, or an empty list."""
    end = time.time() + GONE_LIMIT
    left = e2e.our_processes(build_dir)
    while left and time.time() < end:
        time.sleep(0.1)
        left = e2e.our_processes(build_dir)
    for pid, _ in left:
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass
    return left


def saver_cycle(build_dir, env):
    """"/s" until a held key ends it. The key is held in spells of a few seconds, the focus given
    again between them: a key that went down before DirectInput took the keyboard is not seen."""
    start = time.time()
    saver = e2e.Saver(build_dir, ["/s"], env=env)
    reason = ""
    presses = 0
    output = ""
    try:
        window = saver.wait_window(WINDOW_LIMIT)
        if window is None:
            reason = f"no '{e2e.SAVER_TITLE}' window within {WINDOW_LIMIT} s (exit code {saver.exit_code()})"
        else:
            took = None
            end = time.time() + KEY_LIMIT
            while took is None and saver.alive() and time.time() < end:
                saver.focus()
                presses += 1
                took = saver.hold_until_exit(["x"], min(5, max(0.5, end - time.time())))
            if saver.alive() and saver.wait_exit(10) is None:
                reason = f"a key held for {KEY_LIMIT} s ({presses} spells) did not end the saver"
    finally:
        output = saver.output()
        code = saver.finish()
    if not reason and code != 0:
        reason = f"exit code {code}, expected 0"
    if reason and output.strip():
        reason += f" (output {output[-300:]!r})"
    left = clear_leftovers(build_dir)
    if left and not reason:
        reason = f"processes left behind: {left}"
    return Cycle(not reason, time.time() - start, reason, f"{presses} key spell(s)" if presses > 1 else "")


def host_cycle(build_dir, commands, check):
    start = time.time()
    run = e2e.run_host(build_dir, *commands, timeout=HOST_LIMIT)
    reason = check(run)
    if not reason and run.failures():
        reason = f"host reported {run.failures()}"
    if not reason and run.returncode != 0:
        reason = f"host exit code {run.returncode}"
    left = clear_leftovers(build_dir)
    if left and not reason:
        reason = f"processes left behind: {left}"
    if reason:
        reason += " | " + " / ".join(run.lines)
    return Cycle(not reason, time.time() - start, reason)


def exit_reason(run, waits):
    exits = run.find("exit")
    if len(exits) != waits:
        return f"{len(exits)} exit report(s), expected {waits}"
    if exits[-1].get("code") != "0":
        return f"the saver did not end with exit code 0 ({exits[-1] or 'timeout'})"
    return ""


def about_cycle(build_dir):
    def check(run):
        if run.first("pressed") is None:
            return "the About box's OK could not be pressed"
        return exit_reason(run, 1)
    return host_cycle(build_dir, ["start", "/c", "press", "60000", "wait", "60000", "kill"], check)


def preview_cycle(build_dir):
    def check(run):
        child = run.first("child")
        if child is None:
            return "no preview window in the host window"
        if child.get("saver") != "1":
            return f"the host's child is not the saver's window ({child})"
        if run.first("closed") is None:
            return "WM_CLOSE could not be sent to the preview window"
        return exit_reason(run, 1)
    return host_cycle(build_dir, ["window", "320", "240", "start", "/p {host}", "child", "60000",
                                  "close", "child", "wait", "60000", "kill"], check)


class ModeResult:
    def __init__(self, mode, cycles):
        self.mode, self.cycles, self.results, self.stopped = mode, cycles, [], ""

    @property
    def passes(self):
        return sum(1 for r in self.results if r.ok)

    @property
    def passed(self):
        return len(self.results) == self.cycles and self.passes == self.cycles

    def summary(self):
        times = [r.seconds for r in self.results]
        median = statistics.median(times) if times else 0.0
        longest = max(times) if times else 0.0
        lines = [f"{MODES[self.mode]}: cycles {len(self.results)}/{self.cycles}, passes {self.passes}, "
                 f"failures {len(self.results) - self.passes}, median {median:.2f} s, max {longest:.2f} s"]
        if self.stopped:
            lines.append(f"{MODES[self.mode]}: {self.stopped}")
        lines.append(f"{'PASS' if self.passed else 'FAIL'}: {MODES[self.mode]} "
                     f"{self.passes} of {self.cycles} cycles")
        return lines


def run_mode(build_dir, mode, cycles, threaded=False, out=print):
    env = e2e.THREADED_D3D if threaded else e2e.SINGLE_THREADED_D3D
    result = ModeResult(mode, cycles)
    streak = 0
    for i in range(1, cycles + 1):
        if mode == "s":
            r = saver_cycle(build_dir, env)
        elif mode == "c":
            r = about_cycle(build_dir)
        else:
            r = preview_cycle(build_dir)
        result.results.append(r)
        status = "ok" if r.ok else "FAIL " + r.reason
        out(f"{MODES[mode]} cycle {i:3d}: {r.seconds:6.2f} s {status}" + (f" ({r.note})" if r.note else ""))
        streak = 0 if r.ok else streak + 1
        if streak >= FAIL_STREAK:
            result.stopped = f"stopped after {streak} failed cycles in a row"
            break
    return result


def run(build_dir, cycles, modes="scp", threaded=False, out=print):
    """Runs the stress cycles of each mode; the ModeResults, after printing their summaries."""
    results = []
    for mode in modes:
        out(f"-- {MODES[mode]}: {cycles} cycles" + (" (threaded Direct3D)" if mode == "s" and threaded else ""))
        results.append(run_mode(build_dir, mode, cycles, threaded, out))
    out("== stress summary")
    for r in results:
        for line in r.summary():
            out(line)
    return results


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("build_dir")
    p.add_argument("--cycles", type=int, default=100)
    p.add_argument("--modes", default="s,c,p", help="comma-separated, of s, c and p (default s,c,p)")
    p.add_argument("--threaded", action="store_true", help="/s with Wine's default threaded Direct3D")
    a = p.parse_args(argv)
    modes = [m.strip().lstrip("/").lower() for m in a.modes.split(",") if m.strip()]
    if a.cycles < 1 or not modes or any(m not in MODES for m in modes):
        p.error("--cycles must be at least 1 and --modes a list of s, c and p")
    b = os.path.abspath(a.build_dir)
    for name in ("host.exe", "Vorlune.scr"):
        if not os.path.exists(os.path.join(b, name)):
            print(f"FAIL: {name} is missing in {b}", flush=True)
            return 1
    with e2e.WineSession(b):
        results = run(b, a.cycles, modes, a.threaded, out=lambda s: print(s, flush=True))
    return 0 if all(r.passed for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
