#!/usr/bin/env python3
"""Smoke test of one Vorlune.scr, for scripts/release.sh to run on the very file it packs:
the About box ("/c", found and its OK pressed by the host program), ten seconds of the full-screen
saver ("/s") ended by a held key, and the preview ("/p {host}") closed by WM_CLOSE; each must end
with exit code 0 and leave no process behind.

    smoke.py DIR [CASE...]     DIR holds Vorlune.scr and host.exe (and gets the Wine session)

Exit code 0 when all passed, 1 when a check failed, 77 where the machine cannot run the programs."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e

SHOW_SECONDS = 10
START_LIMIT = 120     # seconds for Wine to show the window (a loaded machine, a fresh prefix)
KEY_LIMIT = 30
WIDTH, HEIGHT = 1024, 768   # tests/wine/start.sh's default display


def exit_code_of(run):
    exits = run.find("exit")
    return exits[-1].get("code") if exits else None


def about(b, failures):
    run = e2e.run_host(b, "start", "/c", "findbox", "30000", "press", "5000", "wait", "30000", "kill",
                       timeout=120)
    box = run.first("box")
    ok = failures.check(box is not None and box.get("caption") == e2e.ABOUT_CAPTION,
                        f"/c: no About box (box {box})")
    ok &= failures.check(run.first("pressed") is not None, "/c: OK could not be pressed")
    ok &= failures.check(exit_code_of(run) == "0", f"/c: exit code {exit_code_of(run)}, expected 0")
    ok &= failures.check(not run.failures(), f"/c: host reported {run.failures()}")
    if not ok:
        print(run, flush=True)


def saver(b, failures):
    s = e2e.start_saver(b, failures, "/s", limit=START_LIMIT)
    if not s:
        return
    try:
        if not failures.check(s.wait_exit(SHOW_SECONDS) is None,
                              f"/s: ended by itself within {SHOW_SECONDS} s (exit code {s.exit_code()})"):
            return
        # A saver that runs but draws nothing is no product either.
        lit = len(e2e.Picture(e2e.screenshot(b, WIDTH, HEIGHT)).coloured)
        failures.check(lit >= 200, f"/s: {lit} coloured pixels after {SHOW_SECONDS} s, expected a pattern")
        # A key that went down before DirectInput took the keyboard is not seen: spells of a few
        # seconds, the focus given again before each.
        end = time.time() + KEY_LIMIT
        while s.alive() and time.time() < end:
            s.focus()
            s.hold_until_exit(["x"], 5)
        failures.check(s.wait_exit(10) is not None, f"/s: a key held for {KEY_LIMIT} s did not end it")
    finally:
        code = s.finish()
    failures.check(code == 0, f"/s: exit code {code}, expected 0")
    print(f"/s: shown {SHOW_SECONDS} s, ended by a key with exit code {code}", flush=True)


def preview(b, failures):
    run = e2e.run_host(b, "window", "320", "240", "start", "/p {host}", "child", "60000", "sleep", "2000",
                       "close", "child", "wait", "30000", "kill", timeout=150)
    child = run.first("child")
    ok = failures.check(child is not None and child.get("saver") == "1",
                        f"/p: no preview window of the saver in the host window ({child})")
    ok &= failures.check(run.first("closed") is not None, "/p: WM_CLOSE could not be sent")
    ok &= failures.check(exit_code_of(run) == "0", f"/p: exit code {exit_code_of(run)}, expected 0")
    ok &= failures.check(not run.failures(), f"/p: host reported {run.failures()}")
    if not ok:
        print(run, flush=True)


CASES = {"about": about, "saver": saver, "preview": preview}

if __name__ == "__main__":
    sys.exit(e2e.run_cases("smoke", CASES))
