#!/usr/bin/env python3
"""The whole saver loop, RUN_FRAMES frames in a 160 x 120 window on the test display, checked for
memory errors:

- valgrind (the optimised build): memcheck finds no error and no definite leak. Mesa's llvmpipe
  reports of its own are suppressed by tests/x11/mesa.supp, whose entries match Mesa, LLVM and
  GLX objects only, never the program's.
- sanitizers (the native build, ASan and UBSan): it ends with 0 and no sanitizer report (leaks
  of Mesa's driver aside: see sanitizers()).

-fps shows that frames were drawn. The full report is kept in <build>/e2e-x11/<case>.log."""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_x11 as x

RUN_FRAMES = 300
ARGS = ["-fps", "-geometry", "160x120"]
ENV = {"VORLUNE_FRAMES": str(RUN_FRAMES), "VORLUNE_PACING": "0"}
SUPPRESSIONS = os.path.join(x.X11_DIR, "mesa.supp")


def checked_run(b, failures, label, command, env, limit):
    run = x.Vorlune(b, ARGS, dict(ENV, **env), command=command)
    try:
        took = run.wait_exit(limit)
        err = run.stderr()
        with open(x.keep(b, f"{label}.log"), "w") as f:
            f.write(err)
        if not failures.check(took is not None, f"{label}: not done after {limit} s"):
            return None
        print(f"{label}: {RUN_FRAMES} frames in {took:.1f} s, exit code {run.exit_code()}", flush=True)
        failures.check(re.search(r"^vorlune: first frame after", err, re.M),
                       f"{label}: no first frame reported: {err[-1500:]}")
        failures.check(run.exit_code() == 0, f"{label}: exit code {run.exit_code()}; stderr ends:\n{err[-4000:]}")
        return err
    finally:
        run.close()


def valgrind(b, failures):
    err = checked_run(b, failures, "valgrind", [
        "valgrind", "--error-exitcode=1", "--leak-check=full", "--errors-for-leak-kinds=definite",
        "--show-leak-kinds=definite", "--num-callers=40", "--keep-debuginfo=yes", f"--suppressions={SUPPRESSIONS}", x.program(b)], {}, 540)
    if err is not None:
        summary = re.findall(r"ERROR SUMMARY: (\d+) errors", err)
        print(f"valgrind: {[l for l in err.splitlines() if 'ERROR SUMMARY' in l or 'definitely lost' in l]}", flush=True)
        failures.check(summary and summary[-1] == "0", f"valgrind: errors reported:\n{err[-6000:]}")


# One LeakSanitizer record: its first frame past the allocator.
LEAK = re.compile(r"^(Direct|Indirect) leak of (\d+) byte.*\n(?:\s+#0 .*\n)\s+#1 (.*)$", re.M)


def sanitizers(b, failures):
    """Mesa's driver is unloaded (libGLX_mesa dlcloses it at XCloseDisplay) before LeakSanitizer
    looks, so its blocks show an "<unknown module>" caller that no suppression can name; those are
    listed and let be (memcheck, which keeps the driver's symbols, judges them). A leak with any
    other caller (the program, or a library still loaded) fails, as does any other report. LSan's
    own exit code is turned off so the exit code is the program's."""
    with open(x.program(b), "rb") as f:
        if not failures.check(b"__asan_init" in f.read(), f"sanitizers: {x.program(b)} is not built with ASan"):
            return
    err = checked_run(b, failures, "sanitizers", None, {"ASAN_OPTIONS": "detect_leaks=1",
                      "LSAN_OPTIONS": "exitcode=0", "UBSAN_OPTIONS": "print_stacktrace=1"}, 240)
    if err is None:
        return
    leaks = LEAK.findall(err)
    driver = [l for l in leaks if l[2].strip().endswith("(<unknown module>)")]
    ours = [l for l in leaks if l not in driver]
    print(f"sanitizers: {len(driver)} leak records of the unloaded GL driver "
          f"({sum(int(l[1]) for l in driver)} bytes), {len(ours)} others", flush=True)
    failures.check(not ours, f"sanitizers: leaks: {ours}\n{err[-6000:]}")
    failures.check(not re.search(r"ERROR: AddressSanitizer|runtime error:|UndefinedBehaviorSanitizer", err),
                   f"sanitizers: a report:\n{err[-6000:]}")
    failures.check(leaks or "detected memory leaks" not in err, f"sanitizers: leak records not understood:\n{err[-3000:]}")


CASES = {"valgrind": valgrind, "sanitizers": sanitizers}

if __name__ == "__main__":
    sys.exit(x.run_cases("x11_memory", CASES))
