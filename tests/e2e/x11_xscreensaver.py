#!/usr/bin/env python3
"""The Linux program under Debian's own XScreenSaver daemon (6.x) on the test display, listed as
its only saver ("GL:" ... -root) in a ~/.xscreensaver of a HOME made for the run, with a copy of the
program there. The daemon launches nothing for root, so as root it runs as USER (made when
missing); anyone else runs it as themselves.

- activate: xscreensaver-command -activate starts the program in the daemon's window
  ($XSCREENSAVER_WINDOW is the window the daemon's log names) and the saver's picture shows there.
- deactivate: -deactivate leaves no program running within LIMIT seconds.
- daemon_killed: the daemon killed with SIGKILL. Its helper xscreensaver-gfx owns the window; if the
  helper outlives the daemon (this is reported), the program keeps its window and may rightly
  run on, so the helper is then killed too. Once the window is gone the program must end by itself
  within LIMIT seconds, by an exit, not a signal. The test adopts orphans (a child subreaper) so
  it can read the program's exit status once its parents are gone.
The daemon's log is kept in <build>/e2e-x11/xscreensaver-<case>.log."""
import ctypes
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e
import vorlune_x11 as x

USER = "vorlune-test"
LIMIT = 3.0
CONFIG = """mode: one
selected: 0
lock: False
fade: False
unfade: False
splash: False
timeout: 1:00:00
dpmsEnabled: False
grabDesktopImages: False
programs: {line} \\n
"""


def account():
    if os.geteuid() != 0:
        return pwd.getpwuid(os.geteuid())
    try:
        return pwd.getpwnam(USER)
    except KeyError:
        done = subprocess.run(["useradd", "-m", "-s", "/bin/sh", USER], capture_output=True, text=True)
    try:
        return pwd.getpwnam(USER)
    except KeyError:
        print(f"SKIPPED: running as root, and no user {USER} could be made for the daemon "
              f"({done.stderr.strip()}); XScreenSaver launches nothing for root", flush=True)
        sys.exit(e2e.SKIPPED)


def as_user(account, env, command):
    if os.geteuid() != 0:
        return command
    return [shutil.which("runuser") or "/usr/sbin/runuser", "-u", account.pw_name, "--", "env", "-i"] + [f"{k}={v}" for k, v in env.items()] + command


class Daemon:
    def __init__(self, b, case, line=None):
        """line: the daemon's one programs: entry; by default a copy of the build's program, -root."""
        self.b, self.case = b, case
        self.account = account()
        self.home = tempfile.mkdtemp(prefix="vorlune-xss-")
        os.chmod(self.home, 0o755)
        owned = [self.home]
        if line is None:
            program = os.path.join(self.home, "vorlune")
            shutil.copy(x.program(b), program)
            os.chmod(program, 0o755)
            owned.append(program)
            line = f'GL: "Vorlune" {program} -root'
        config = os.path.join(self.home, ".xscreensaver")
        with open(config, "w") as f:
            f.write(CONFIG.format(line=line))
        for p in owned + [config]:
            os.chown(p, self.account.pw_uid, self.account.pw_gid)
        self.env = {"DISPLAY": x.display_of(b), "HOME": self.home, "PATH": "/usr/bin:/bin",
                    "USER": self.account.pw_name, "LOGNAME": self.account.pw_name}
        self.log_path = os.path.join(self.home, "log")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen(as_user(self.account, self.env, ["xscreensaver", "--no-splash", "--verbose"]),
                                        env=self.env, cwd=self.home, stdin=subprocess.DEVNULL, stdout=self.log,
                                        stderr=subprocess.STDOUT, start_new_session=True)

    def ready(self, failures):
        end = time.time() + 10
        while time.time() < end and self.process.poll() is None:
            if self.command("-version").returncode == 0:
                print(f"daemon: running as {self.account.pw_name}, HOME {self.home}", flush=True)
                return True
            time.sleep(0.2)
        return failures.check(False, f"the XScreenSaver daemon did not come up:\n{self.text()[-2000:]}")

    def command(self, *args):
        return subprocess.run(as_user(self.account, self.env, ["xscreensaver-command"] + list(args)), env=self.env,
                              stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=10)

    def text(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def processes(self, name=None):
        """pids of the run's processes (its HOME in their environment) whose program is name (any)."""
        found = []
        for entry in os.listdir("/proc"):
            try:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if f"HOME={self.home}".encode() not in f.read().split(b"\0"):
                        continue
                with open(f"/proc/{entry}/stat") as f:
                    if f.read().rpartition(")")[2].split()[0] == "Z":
                        continue
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    argv0 = f.read().split(b"\0")[0].decode(errors="replace")
            except (OSError, ValueError):
                continue
            if name is None or os.path.basename(argv0) == name:
                found.append(int(entry))
        return found

    def activate(self, failures):
        """-activate; the program's pid once it runs, or None (a failure)."""
        done = self.command("-activate")
        end = time.time() + 10
        while time.time() < end:
            pids = self.processes("vorlune")
            if pids:
                window = re.findall(r'forked "[^"]*vorlune[^"]*" in pid (\d+) on window (0x[0-9a-f]+)', self.text(), re.I)
                with open(f"/proc/{pids[0]}/environ", "rb") as f:
                    given = [v.decode() for v in f.read().split(b"\0") if v.startswith(b"XSCREENSAVER_WINDOW=")]
                print(f"daemon: launched pid {pids[0]}; its log: {window}; the program's {given}", flush=True)
                want = int(window[-1][1], 16) if window else None
                got = int(given[0].split("=", 1)[1], 0) if given else None
                failures.check(want is not None and got == want,
                               f"activate: the program's {given} is not the daemon's window {window}")
                return pids[0]
            time.sleep(0.1)
        failures.check(False, f"activate: no program within 10 s ({done.stdout.strip()} {done.stderr.strip()}); "
                              f"daemon log:\n{self.text()[-2500:]}")
        return None

    def gone_within(self, limit):
        """Seconds until no program of the run was left, or None."""
        start = time.time()
        while self.processes("vorlune"):
            if time.time() - start > limit:
                return None
            time.sleep(0.05)
        return time.time() - start

    def close(self):
        # The daemon first: it restarts a helper that dies under it.
        for _ in range(20):
            left = self.processes("xscreensaver") or self.processes()
            if not left:
                break
            for pid in left:
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass
            time.sleep(0.1)
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        self.log.close()
        shutil.copy(self.log_path, x.keep(self.b, f"xscreensaver-{self.case}.log"))
        shutil.rmtree(self.home, ignore_errors=True)


def with_daemon(case):
    """case(b, failures, daemon, pid) once the daemon has activated the program (its pid)."""
    def run(b, failures):
        # Adopts the helper and the program once their parents go, to read the program's exit status.
        ctypes.CDLL(None, use_errno=True).prctl(36, 1, 0, 0, 0)    # PR_SET_CHILD_SUBREAPER
        daemon = Daemon(b, case.__name__)
        try:
            pid = daemon.activate(failures) if daemon.ready(failures) else None
            if pid is not None:
                case(b, failures, daemon, pid)
        finally:
            daemon.close()
    return run


@with_daemon
def activate(b, failures, daemon, pid):
    pictures = x.judge_picture(b, None, failures, "under XScreenSaver")
    if pictures:
        e2e.save_png(pictures[-1].shot, x.keep(b, "xscreensaver.png"))


@with_daemon
def deactivate(b, failures, daemon, pid):
    failures.check(x.wait_for_trails(b, None) is not None, "deactivate: no trails before it")
    done = daemon.command("-deactivate")
    took = daemon.gone_within(LIMIT)
    print(f"deactivate: {done.stdout.strip()}; the program gone after {took}", flush=True)
    if failures.check(took is not None, f"deactivate: the program still runs {LIMIT} s later; daemon log:\n"
                                        f"{daemon.text()[-1500:]}"):
        check_status(failures, "deactivate", pid, want=0)


def reap(pid, limit=1.0):
    """The exit status of an adopted process that has ended, or None when it is not ours to wait for."""
    end = time.time() + limit
    while True:
        try:
            got, status = os.waitpid(pid, os.WNOHANG)
        except ChildProcessError:
            return None
        if got or time.time() > end:
            return status if got else None
        time.sleep(0.05)


def check_status(failures, label, pid, want=None):
    """The program's exit status, when the test could adopt it: no signal (no crash), and want if given."""
    status = reap(pid)
    if status is None:
        print(f"{label}: the program's exit status went to its parent (see the daemon's log)", flush=True)
        return
    print(f"{label}: the program's exit status: {status:#x}", flush=True)
    if failures.check(os.WIFEXITED(status), f"{label}: the program was killed by signal {os.WTERMSIG(status)}"):
        failures.check(want is None or os.WEXITSTATUS(status) == want,
                       f"{label}: the program's exit code {os.WEXITSTATUS(status)}, expected {want}")


@with_daemon
def daemon_killed(b, failures, daemon, pid):
    failures.check(x.wait_for_trails(b, None) is not None, "daemon killed: no trails before it")
    helpers = daemon.processes("xscreensaver-gfx")
    for d in daemon.processes("xscreensaver"):
        os.kill(d, signal.SIGKILL)
    took = daemon.gone_within(LIMIT)
    survivors = daemon.processes("xscreensaver-gfx")
    print(f"daemon killed: xscreensaver-gfx {helpers} {'survived: ' + str(survivors) if survivors else 'ended'}; "
          f"the program {'ended after %.2f s' % took if took is not None else 'still runs'}", flush=True)
    if took is None:
        if not failures.check(survivors, f"daemon killed: the program still runs {LIMIT} s later though "
                                         f"xscreensaver-gfx, which owned its window, is gone"):
            return
        print("NOTE: xscreensaver-gfx outlives a daemon killed with SIGKILL and keeps the program's window; "
              "killing the helper too", flush=True)
        for h in survivors:
            os.kill(h, signal.SIGKILL)
        time.sleep(0.2)
        for h in survivors:
            reap(h)
        took = daemon.gone_within(LIMIT)
        if not failures.check(took is not None, f"daemon and helper killed: the program still runs {LIMIT} s "
                                                f"after its window went"):
            return
        print(f"daemon and helper killed: the program ended {took:.2f} s later", flush=True)
    check_status(failures, "daemon killed", pid)


CASES = {"activate": activate, "deactivate": deactivate, "daemon_killed": daemon_killed}

if __name__ == "__main__":
    sys.exit(x.run_cases("x11_xscreensaver", CASES, extra_processes=("xscreensaver", "xscreensaver-gfx")))
