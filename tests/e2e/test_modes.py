#!/usr/bin/env python3
"""Command lines that select the saver: "/s", "/S", no argument, "/p" without a handle, "/p:1234"
as one parameter and "C:\\x" run the full-screen saver (its window appears and draws trails, no
message box is shown) until a key is held, then end with exit code 0 and leave no process behind.

These runs keep Wine's default, threaded Direct3D (the picture tests use the single-threaded one),
so on a busy machine a frame can take seconds: the limits here are wide."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e


def run_saver(b, args, failures):
    label = repr(" ".join(args)) if args else "no argument"
    print(f"-- {label}", flush=True)
    with e2e.saver_started(b, failures, label, args, env=None, focus=False) as saver:
        if not saver:
            return
        for caption in ("Error", e2e.ABOUT_CAPTION):
            failures.check(not e2e.windows_named(b, caption), f"{label}: a '{caption}' box appeared")
        failures.check(e2e.wait_for_trails(b, saver, least=100) is not None, f"{label}: the saver drew no trails")
        failures.check(saver.alive(), f"{label}: the saver ended before a key was pressed")
        failures.check(saver.focus(), f"{label}: the saver's window did not get the keyboard focus")
        saver.ended_by(e2e.held(["x"], 30), failures, f"{label}: a held key", limit=10)


def saver_with(args):
    return lambda b, failures: run_saver(b, args, failures)


CASES = {"slash_s": saver_with(["/s"]), "slash_S": saver_with(["/S"]), "no_argument": saver_with([]),
         "p_without_handle": saver_with(["/p"]), "p_colon_number": saver_with(["/p:1234"]),
         "a_path": saver_with(["C:\\x"])}

if __name__ == "__main__":
    sys.exit(e2e.run_cases("test_modes", CASES))
