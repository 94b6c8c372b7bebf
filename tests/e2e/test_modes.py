#!/usr/bin/env python3
"""Command lines that select the saver: "/s", "/S", no argument, "/p" without a handle, "/p:1234"
as one parameter and "C:\\x" run the full-screen saver (its window appears and draws trails, no
message box is shown) until a key is held, then end with exit code 0 and leave no process behind.

These runs keep Wine's default, threaded Direct3D (the picture tests use the single-threaded one),
so on a busy machine a frame can take seconds: the limits here are wide."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e

W, H = 1024, 768


def run_saver(b, args, failures):
    label = repr(" ".join(args)) if args else "no argument"
    print(f"-- {label}", flush=True)
    saver = e2e.Saver(b, args)
    try:
        window = saver.wait_window(90)
        if not failures.check(window is not None, f"{label}: no '{e2e.SAVER_TITLE}' window (exit code "
                                                  f"{saver.exit_code()}, output {saver.output()!r})"):
            return
        for caption in ("Error", e2e.ABOUT_CAPTION):
            failures.check(not e2e.windows_named(b, caption), f"{label}: a '{caption}' box appeared")
        coloured = 0
        end = time.time() + 60
        while time.time() < end and saver.alive() and coloured < 100:
            coloured = len(e2e.Picture(e2e.screenshot(b, W, H)).coloured)
            time.sleep(0.5)
        failures.check(coloured >= 100, f"{label}: the saver drew no trails ({coloured} coloured pixels)")
        failures.check(saver.alive(), f"{label}: the saver ended before a key was pressed")
        failures.check(saver.focus(), f"{label}: the saver's window did not get the keyboard focus")
        took = saver.hold_until_exit(["x"], 30)
        if took is None:
            took = saver.wait_exit(10)
        failures.check(took is not None, f"{label}: a held key did not end the saver")
        code = saver.finish()
        print(f"{label}: ended {'-' if took is None else f'{took:.2f}'} s after the key went down, exit code {code}",
              flush=True)
        failures.check(code == 0, f"{label}: exit code {code}, expected 0")
    finally:
        saver.finish()


def saver_with(args):
    return lambda b, failures: run_saver(b, args, failures)


CASES = {"slash_s": saver_with(["/s"]), "slash_S": saver_with(["/S"]), "no_argument": saver_with([]),
         "p_without_handle": saver_with(["/p"]), "p_colon_number": saver_with(["/p:1234"]),
         "a_path": saver_with(["C:\\x"])}

if __name__ == "__main__":
    sys.exit(e2e.run_cases("test_modes", CASES))
