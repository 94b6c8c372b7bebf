#!/usr/bin/env python3
"""The Linux program as scripts/release.sh ships it, on private Xvfb displays.

    test_package.py smoke DIR     DIR holds the vorlune about to be packed
    test_package.py install DEB SCRATCH

smoke: ten seconds in a window of its own, trails on the screen, then a held key ends it with 0.
install (root, with dpkg; otherwise it says why and exits with 77): dpkg -i; the installed files are
the package's, the installed program accepts every option its XScreenSaver description names; Debian's
XScreenSaver daemon, as an unprivileged user, runs it from a programs: line made of that description
(the bare name: the daemon must find it where the package put it), the picture shows, -deactivate ends
it; dpkg -r while the daemon runs it, then the daemon deactivates, activates again without the program
and still answers; at the end none of the package's files or directories and no process of it is left.
Exit code 0 when all passed, 1 when a check failed."""
import os
import re
import shutil
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(here), "e2e"))
import vorlune_e2e as e2e
import vorlune_x11 as x
import x11_xscreensaver as xss

PROGRAM = "/usr/libexec/xscreensaver/vorlune"
CONFIG = "/usr/share/xscreensaver/config/vorlune.xml"
SHOW_SECONDS = 10
KEY_LIMIT = 10


def smoke(b, failures):
    run = x.Vorlune(b)
    try:
        if not failures.check(run.wait_window(x.START_LIMIT) is not None,
                              f"smoke: no window within {x.START_LIMIT} s ({run.describe()})"):
            return
        failures.check(x.wait_for_trails(b, run) is not None, f"smoke: no trails ({run.describe()})")
        left = SHOW_SECONDS - (time.time() - run.started)
        if not failures.check(run.wait_exit(max(0.0, left)) is None,
                              f"smoke: ended by itself within {SHOW_SECONDS} s ({run.describe()})"):
            return
        lit = len(e2e.Picture(x.shot(b)).coloured)
        failures.check(lit >= 200, f"smoke: {lit} coloured pixels after {SHOW_SECONDS} s, expected a pattern")
        end = time.time() + KEY_LIMIT
        while run.alive() and time.time() < end:
            run.focus()
            e2e.xdotool(b, "keydown", "x")
            time.sleep(0.3)
            e2e.xdotool(b, "keyup", "x")
            run.wait_exit(1.0)
        if failures.check(not run.alive(), f"smoke: a key held again and again for {KEY_LIMIT} s did not end it"):
            print(f"smoke: {lit} coloured pixels after {SHOW_SECONDS} s; a key ended it with {run.exit_code()}",
                  flush=True)
            failures.check(run.exit_code() == 0, f"smoke: {run.describe()}, expected exit code 0")
            failures.check(not x.ERROR_TEXT.search(run.stderr()), f"smoke: errors on stderr: {run.stderr()[-600:]!r}")
    finally:
        run.close()


def description():
    """(programs: line, option arguments) from the installed XScreenSaver description."""
    root = ElementTree.parse(CONFIG).getroot()
    command = [c.get("arg") for c in root.findall("command")]
    options = [o.get(k) for o in root.iter() if o.tag in ("boolean", "number", "select", "option")
               for k in ("arg", "arg-set", "arg-unset") if o.get(k)]
    kind = "GL: " if root.get("gl") == "yes" else ""
    line = f'{kind}"{root.get("_label")}" {root.get("name")} {" ".join(command)}'
    return root.tag, line, command, options


def dpkg(*args):
    return subprocess.run(["dpkg"] + list(args), capture_output=True, text=True, timeout=120)


def installed():
    done = subprocess.run(["dpkg-query", "-W", "-f=${Status}", "vorlune"], capture_output=True, text=True)
    return done.returncode == 0 and done.stdout.endswith(" installed")


def programs_running():
    """pids whose executable is the installed program (also once removed)."""
    found = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.readlink(f"/proc/{entry}/exe").split(" (deleted)")[0] == PROGRAM:
                found.append(int(entry))
        except OSError:
            pass
    return found


def under_daemon(b, failures, line):
    daemon = xss.Daemon(b, "package", line)
    try:
        if not daemon.ready(failures):
            return
        pid = daemon.activate(failures)
        if pid is None:
            return
        failures.check(os.readlink(f"/proc/{pid}/exe") == PROGRAM, f"the daemon ran {os.readlink(f'/proc/{pid}/exe')}")
        pictures = x.judge_picture(b, None, failures, "installed, under XScreenSaver")
        if pictures:
            shot = pictures[-1].shot
            e2e.save_png(shot, x.keep(b, "installed-under-xscreensaver.png"))
            print(f"installed, under XScreenSaver: screen brightness {sum(shot.data) / len(shot.data) / 255:.4f}",
                  flush=True)
        daemon.command("-deactivate")
        took = daemon.gone_within(xss.LIMIT)
        failures.check(took is not None, f"deactivate: the program still runs {xss.LIMIT} s later")
        print(f"deactivate: the program gone after {took}", flush=True)

        # Removed while it runs: the daemon must carry on without it.
        pid = daemon.activate(failures)
        if pid is None or not failures.check(x.wait_for_trails(b, None) is not None, "second activation: no trails"):
            return
        removed = dpkg("-r", "vorlune")
        failures.check(removed.returncode == 0, f"dpkg -r while it runs: {removed.stderr.strip()}")
        print(f"dpkg -r while it runs under the daemon: exit {removed.returncode}; the program "
              f"{'still runs' if daemon.processes('vorlune') else 'ended'}", flush=True)
        daemon.command("-deactivate")
        failures.check(daemon.gone_within(xss.LIMIT) is not None, "deactivate after dpkg -r: the program still runs")
        time.sleep(1.0)
        mark = len(daemon.text())
        again = daemon.command("-activate")
        time.sleep(3.0)
        blank = x.shot(b)
        running = daemon.processes("vorlune")
        answer = daemon.command("-time")
        print(f"activate after removal: {again.stdout.strip()!r}; programs {running}; screen brightness "
              f"{sum(blank.data) / len(blank.data) / 255:.4f}; -time: {answer.stdout.strip()!r}", flush=True)
        print("the daemon on it:", [l.split(": ", 2)[-1] for l in daemon.text()[mark:].splitlines() if "vorlune" in l],
              flush=True)
        failures.check(not running, f"activate after removal: a program runs: {running}")
        failures.check(daemon.process.poll() is None, f"the daemon ended after the removal:\n{daemon.text()[-1500:]}")
        failures.check(answer.returncode == 0 and "screen" in answer.stdout,
                       f"the daemon does not answer -time after the removal: {answer.stdout} {answer.stderr}")
        done = daemon.command("-deactivate")
        failures.check(done.returncode == 0 and daemon.process.poll() is None,
                       f"the daemon did not deactivate after the removal: {done.stderr.strip()}")
        crashes = re.findall(r"^.*\((?:[^)]*/)?vorlune\) .*terminated with SIG(?!TERM\b).*$", daemon.text(), re.M)
        failures.check(not crashes, f"the daemon reports crashes: {crashes}")
    finally:
        daemon.close()


def install(deb, scratch, failures):
    if os.geteuid() != 0 or not shutil.which("dpkg"):
        print("SKIPPED: installing a package needs root and dpkg", flush=True)
        return e2e.SKIPPED
    if installed() or dpkg("-s", "vorlune").returncode == 0:
        failures.check(False, "vorlune is already known to dpkg on this machine; remove it first (dpkg --purge vorlune)")
        return failures.report()
    contents = subprocess.run(["dpkg-deb", "--fsys-tarfile", deb], capture_output=True, check=True).stdout
    paths = subprocess.run(["tar", "-t"], input=contents, capture_output=True, check=True).stdout.decode().split()
    paths = sorted({os.path.normpath("/" + p).rstrip("/") or "/" for p in paths} - {"/"})
    existed = {p for p in paths if os.path.lexists(p)}
    failures.check(not [p for p in existed if not os.path.isdir(p)], f"files of the package already there: {existed}")
    os.makedirs(scratch, exist_ok=True)
    b = os.path.abspath(scratch)
    try:
        done = dpkg("-i", deb)
        if not failures.check(done.returncode == 0, f"dpkg -i: {done.stdout}{done.stderr}"):
            return failures.report()
        listed = sorted(set(subprocess.run(["dpkg-query", "-L", "vorlune"], capture_output=True, text=True).stdout.split())
                        - {"/."})
        failures.check(listed == paths, f"dpkg -L lists {listed}, the package holds {paths}")
        verify = dpkg("--verify", "vorlune")
        failures.check(verify.returncode == 0 and not verify.stdout, f"dpkg --verify: {verify.stdout}")
        version = subprocess.run([PROGRAM, "--version"], capture_output=True, text=True, timeout=10).stdout.strip()
        package_version = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "vorlune"], capture_output=True, text=True)
        failures.check(version == f"vorlune {package_version.stdout}", f"{PROGRAM} --version says {version!r}")
        tag, line, command, options = description()
        print(f"installed: {len(listed)} paths, {version}; programs: line {line!r}; options {options}", flush=True)
        failures.check(tag == "screensaver" and line.startswith('GL: "Vorlune" vorlune ') and options,
                       f"{CONFIG}: not an OpenGL program's description with options ({tag}, {line!r}, {options})")
        with x.X11Session(b):
            for option in options:
                run = x.Vorlune(b, command + [option], env={"VORLUNE_FRAMES": "30"}, command=[PROGRAM])
                try:
                    waited = run.wait_exit(20)
                    failures.check(waited is not None and run.exit_code() == 0,
                                   f"{PROGRAM} {' '.join(command)} {option}: {run.describe()}")
                finally:
                    run.close()
            under_daemon(b, failures, line)
            x.no_processes_left(b, failures, extra=("xscreensaver", "xscreensaver-gfx"))
    finally:
        if installed():
            dpkg("-r", "vorlune")
    failures.check(not installed() and dpkg("-s", "vorlune").returncode != 0,
                   f"dpkg still knows vorlune after dpkg -r: {dpkg('-s', 'vorlune').stdout}")
    left = [p for p in paths if os.path.lexists(p) and p not in existed]
    failures.check(not left, f"left behind by dpkg -r: {left}")
    running = programs_running()
    failures.check(not running, f"processes of {PROGRAM} left: {running}")
    print(f"removed: {len(paths) - len(existed)} paths gone, {len(existed)} shared directories kept, "
          f"{len(running)} processes left", flush=True)
    return failures.report()


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "smoke":
        failures = e2e.Failures("smoke")
        b = os.path.abspath(sys.argv[2])
        with x.X11Session(b):
            smoke(b, failures)
            x.no_processes_left(b, failures)
        return failures.report()
    if len(sys.argv) == 4 and sys.argv[1] == "install":
        return install(os.path.abspath(sys.argv[2]), sys.argv[3], e2e.Failures("package"))
    print(__doc__.split("\n\n")[1], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
