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


def host_case(label, commands, shown, judge, name, done, failed):
    """A host run of commands whose report must have a line of kind shown whose fields pass judge
    (name says what it is), a line of kind done (else failed), exit code 0 and no failure."""
    def case(b, failures):
        run = e2e.run_host(b, *commands, timeout=150)
        line = run.first(shown)
        exits = run.find("exit")
        code = exits[-1].get("code") if exits else None
        ok = failures.check(line is not None and judge(line), f"{label}: no {name} ({line})")
        ok &= failures.check(run.first(done) is not None, f"{label}: {failed}")
        ok &= failures.check(code == "0", f"{label}: exit code {code}, expected 0")
        ok &= failures.check(not run.failures(), f"{label}: host reported {run.failures()}")
        if not ok:
            print(run, flush=True)
    return case


def saver(b, failures):
    with e2e.saver_started(b, failures, "/s", limit=START_LIMIT) as s:
        if not s:
            return
        if not failures.check(s.wait_exit(SHOW_SECONDS) is None,
                              f"/s: ended by itself within {SHOW_SECONDS} s (exit code {s.exit_code()})"):
            return
        # A saver that runs but draws nothing is no product either.
        lit = len(e2e.Picture(e2e.screenshot(b, e2e.W, e2e.H)).coloured)
        failures.check(lit >= 200, f"/s: {lit} coloured pixels after {SHOW_SECONDS} s, expected a pattern")
        s.ended_by(held_key, failures, f"/s: a key held for up to {KEY_LIMIT} s", limit=10)


def held_key(s):
    # A key that went down before DirectInput took the keyboard is not seen: spells of a few
    # seconds, the focus given again before each.
    end = time.time() + KEY_LIMIT
    while s.alive() and time.time() < end:
        s.focus()
        s.hold_until_exit(["x"], 5)


CASES = {"about": host_case("/c", ["start", "/c", "findbox", "30000", "press", "5000", "wait", "30000", "kill"],
                           "box", lambda box: box.get("caption") == e2e.ABOUT_CAPTION, "About box",
                           "pressed", "OK could not be pressed"),
         "saver": saver,
         "preview": host_case("/p", ["window", "320", "240", "start", "/p {host}", "child", "60000", "sleep", "2000",
                                     "close", "child", "wait", "30000", "kill"],
                              "child", lambda child: child.get("saver") == "1",
                              "preview window of the saver in the host window", "closed", "WM_CLOSE could not be sent")}

if __name__ == "__main__":
    sys.exit(e2e.run_cases("smoke", CASES))
