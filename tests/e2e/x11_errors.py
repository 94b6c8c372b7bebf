#!/usr/bin/env python3
"""The Linux program given bad input: each run must end at once (within LIMIT seconds; a hang is a
failure) with one line on stderr starting "vorlune: " and the status for it: 1 for a window id
that names no window or is no number (-window-id or $XSCREENSAVER_WINDOW), for no X display and
for a display without GLX; 2 for a usage error (an unknown option, -window-id with no value).
--help and --version need no display: exit 0, the usage naming the options, the project's version."""
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_x11 as x

LIMIT = 2.0


def expect(b, failures, label, args, code, env=None, unset=()):
    run = x.Vorlune(b, args, env, unset=unset)
    try:
        took = run.wait_exit(LIMIT + 3)
        if not failures.check(took is not None, f"{label}: still running {LIMIT + 3} s later (hangs)"):
            return
        lines = [l for l in run.stderr().splitlines() if l.strip()]
        print(f"{label}: exit code {run.exit_code()} after {took:.2f} s, stderr {lines}", flush=True)
        failures.check(took <= LIMIT, f"{label}: took {took:.2f} s to end")
        failures.check(run.exit_code() == code, f"{label}: exit code {run.exit_code()}, expected {code}")
        failures.check(len(lines) == 1 and lines[0].startswith("vorlune: "),
                       f"{label}: stderr {lines[:6]}, expected one line starting 'vorlune: '")
    finally:
        run.close()


def window_ids(b, failures):
    for value in ("12abc", "0xZZ", "999999", "", "0x"):
        expect(b, failures, f"-window-id {value!r}", ["-window-id", value], 1)


def environment(b, failures):
    for value in ("12abc", "0xZZ", "999999"):
        expect(b, failures, f"XSCREENSAVER_WINDOW={value!r} -root", ["-root"], 1, {"XSCREENSAVER_WINDOW": value})


def usage(b, failures):
    for args in (["-frobnicate"], ["--no-such-option"], ["-root", "-bogus"], ["-window-id"]):
        expect(b, failures, " ".join(args), args, 2)


def no_display(b, failures):
    expect(b, failures, "-display :999", ["-display", ":999"], 1)
    expect(b, failures, "no DISPLAY", [], 1, unset=("DISPLAY",))
    expect(b, failures, "-root with no DISPLAY", ["-root"], 1, unset=("DISPLAY",))


def no_glx(b, failures):
    """A display of its own without the GLX extension."""
    for n in range(260, 320):
        if not os.path.exists(f"/tmp/.X{n}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{n}"):
            break
    server = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "640x480x24", "-nolisten", "tcp", "-extension", "GLX"],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        end = time.time() + 10
        info = None
        while time.time() < end and server.poll() is None:
            info = subprocess.run(["xdpyinfo", "-display", f":{n}"], capture_output=True, text=True)
            if info.returncode == 0:
                break
            time.sleep(0.1)
        if not failures.check(info is not None and info.returncode == 0, f"no Xvfb :{n} without GLX could be started"):
            return
        failures.check("GLX" not in info.stdout, f"Xvfb :{n} still offers GLX")
        for args in ([], ["-root"], ["-fullscreen"]):
            expect(b, failures, f"no GLX: {' '.join(args) or 'no option'}", ["-display", f":{n}"] + args, 1)
    finally:
        server.terminate()
        server.wait()


def project_version():
    with open(os.path.join(x.e2e.TOP, "CMakeLists.txt")) as f:
        return re.search(r"project\(Vorlune VERSION ([0-9.]+)", f.read()).group(1)


def help_version(b, failures):
    for args in (["--help"], ["--version"]):
        run = x.Vorlune(b, args, unset=("DISPLAY",))
        try:
            took = run.wait_exit(LIMIT + 3)
            out = run.stdout()
            print(f"{args[0]}: exit code {run.exit_code()}; stdout {out[:400]!r}", flush=True)
            failures.check(took is not None and run.exit_code() == 0, f"{args[0]}: {run.describe()}")
            failures.check(not run.stderr().strip(), f"{args[0]}: stderr {run.stderr()[:300]!r}")
            if args == ["--help"]:
                missing = [o for o in ("-root", "-window-id", "-window", "-fullscreen", "-geometry", "-display", "-fps")
                           if not re.search(re.escape(o) + r"\b", out)]
                failures.check("usage" in out.lower() and not missing, f"--help: no usage naming {missing}")
            else:
                failures.check(project_version() in out, f"--version: no {project_version()} in {out!r}")
        finally:
            run.close()


CASES = {"window_ids": window_ids, "environment": environment, "usage": usage, "no_display": no_display,
         "no_glx": no_glx, "help_version": help_version}

if __name__ == "__main__":
    sys.exit(x.run_cases("x11_errors", CASES))
