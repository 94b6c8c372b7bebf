#!/usr/bin/env python3
"""Command lines that select the saver: "/s", "/S", no argument, "/p" without a handle, "/p:1234"
as one parameter and "C:\\x" show no message box and end with exit code 0 (ended by a key
press if the saver runs until one), and leave no process behind."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e


def run_saver(b, args, failures):
    label = repr(" ".join(args)) if args else "no argument"
    print(f"-- {label}", flush=True)
    line = " ".join(args)
    host = e2e.Host(b, ["start", line, "wait", "5000", "checkbox", "300", "wait", "30000", "kill"])
    first = host.wait_for_line("exit", 30)
    if first is not None and first.get("code") is None:
        # Still running after 5 s: the full-screen saver, which a key ends.
        for _ in range(10):
            if len([l for l in host.lines() if l.startswith("exit ")]) >= 2 or host.process.poll() is not None:
                break
            e2e.press_key(b, "Escape")
            time.sleep(1.5)
    run = host.finish(90)
    print(run, flush=True)
    exits = run.find("exit")
    codes = [e.get("code") for e in exits if e.get("code") is not None]
    failures.check(bool(codes) and codes[0] == "0", f"{label}: no exit code 0 (exits: {exits})")
    failures.check(run.first("box") is None, f"{label}: a message box appeared: {run.first('box')}")
    failures.check(run.first("killed") is None, f"{label}: the saver had to be killed")
    failures.check(not run.failures(), f"{label}: host reported {run.failures()}")
    e2e.no_processes_left(b, failures)


def main():
    b = e2e.build_dir_from_argv()
    failures = e2e.Failures("test_modes")
    with e2e.WineSession(b):
        for args in (["/s"], ["/S"], [], ["/p"], ["/p:1234"], ["C:\\x"]):
            run_saver(b, args, failures)
    return failures.report()


if __name__ == "__main__":
    sys.exit(main())
