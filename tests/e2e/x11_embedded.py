#!/usr/bin/env python3
"""The Linux program drawing into a window it is given, as XScreenSaver and other hosts use it:
-root, -window-id ID (decimal or 0x hex) and $XSCREENSAVER_WINDOW (which wins over both). The
target is the root window or a window of another client (xev, 800 x 600 at +112+84).

- root: the saver's picture over the whole screen; keys, moves and clicks do not end it; SIGTERM
  ends it with 0 within a second.
- window_id: decimal id of xev's window: the picture judged inside that window, nothing outside it
  and its border (xev's 2-pixel border shows the picture under Xvfb); SIGINT ends it with 0.
- window_id_hex: the root window's id in hex: trails; SIGHUP ends it with 0.
- environment: $XSCREENSAVER_WINDOW names xev's window while -window-id names the root: it draws
  in xev's window only.
- target_destroyed: xev ends (its window goes): the program ends by itself within a second, by an
  exit, not a signal, and without Xlib's default error report."""
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e
import vorlune_x11 as x

TARGET = "800x600+112+84"


class Target:
    """A window of another client (xev), mapped and ready."""

    def __enter__(self):
        self.process = subprocess.Popen(["xev", "-display", x.display_of(self.b), "-geometry", TARGET,
                                         "-name", "e2e target"], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.time() + 10
        while time.time() < end and not (x.top_windows(self.b) - self.before):
            time.sleep(0.1)
        self.window = min(x.top_windows(self.b) - self.before)
        self.area = x.geometry(self.b, self.window)
        self.border = x.border_width(self.b, self.window)
        print(f"target: xev's window {self.window:#x} at {self.area}, border {self.border}", flush=True)
        return self

    def __init__(self, b):
        self.b = b
        self.before = x.top_windows(b)

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


def embedded(b, failures, label, args, env=None):
    return e2e.started(x.Vorlune(b, args, env), failures, label, x.START_LIMIT, window=False)


def signalled(sig):
    return lambda run: run.process.send_signal(sig)


def root(b, failures):
    label = "-root"
    with embedded(b, failures, label, ["-root"]) as run:
        pictures = x.judge_picture(b, run, failures, label)
        if pictures:
            e2e.save_png(pictures[-1].shot, x.keep(b, "root.png"))
        for what, args in (("a key", ("key", "--delay", "100", "x")), ("a move of 40", ("mousemove_relative", "--", 40, 0)),
                           ("a click", ("click", "1"))):
            x.xdo(b, *args)
            failures.check(x.saver_judges.alive_after(run, 0.7), f"{label}: {what} ended it ({run.describe()})")
        run.ended_by(signalled(signal.SIGTERM), failures, f"{label}: SIGTERM", x.EXIT_LATENCY)


def window_id(b, failures):
    with Target(b) as target:
        label = f"-window-id {target.window}"
        with embedded(b, failures, label, ["-window-id", str(target.window)]) as run:
            x.judge_picture(b, run, failures, label, area=target.area, margin=target.border)
            run.ended_by(signalled(signal.SIGINT), failures, f"{label}: SIGINT", x.EXIT_LATENCY)


def window_id_hex(b, failures):
    label = f"-window-id {x.root_window(b):#x}"
    with embedded(b, failures, label, ["-window-id", f"{x.root_window(b):#x}"]) as run:
        failures.check(x.wait_for_trails(b, run) is not None, f"{label}: no trails ({run.describe()})")
        run.ended_by(signalled(signal.SIGHUP), failures, f"{label}: SIGHUP", x.EXIT_LATENCY)


def environment(b, failures):
    with Target(b) as target:
        label = f"XSCREENSAVER_WINDOW={target.window:#x} with -window-id of the root"
        with embedded(b, failures, label, ["-window-id", str(x.root_window(b))],
                      {"XSCREENSAVER_WINDOW": f"{target.window:#x}"}) as run:
            x.drawn_only_inside(b, run, target.area, failures, label, margin=target.border)
            run.ended_by(signalled(signal.SIGTERM), failures, f"{label}: SIGTERM", x.EXIT_LATENCY)


def target_destroyed(b, failures):
    with Target(b) as target:
        label = "target window destroyed"
        with embedded(b, failures, label, ["-window-id", f"{target.window:#x}"]) as run:
            failures.check(x.wait_for_trails(b, run, area=target.area) is not None, f"{label}: no trails ({run.describe()})")
            since = time.time()
            target.process.kill()
            waited = run.wait_exit(x.END_LIMIT)
            took = time.time() - since
            if not failures.check(waited is not None, f"{label}: still running {x.END_LIMIT} s after its window went"):
                return
            code = run.exit_code()
            print(f"{label}: ended {took:.2f} s after, exit code {code}, stderr {run.stderr().strip()[-300:]!r}", flush=True)
            failures.check(took <= x.EXIT_LATENCY, f"{label}: took {took:.2f} s to end, more than {x.EXIT_LATENCY} s")
            failures.check(code >= 0, f"{label}: killed by signal {-code} (a crash)")
            failures.check("X Error of failed request" not in run.stderr() and "Sanitizer" not in run.stderr(),
                           f"{label}: an unhandled X error or sanitizer report: {run.stderr()[-600:]!r}")


CASES = {"root": root, "window_id": window_id, "window_id_hex": window_id_hex, "environment": environment,
         "target_destroyed": target_destroyed}

if __name__ == "__main__":
    sys.exit(x.run_cases("x11_embedded", CASES))
