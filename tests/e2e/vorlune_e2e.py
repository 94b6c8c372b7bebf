"""Shared helpers of the end-to-end tests: run the test host (host.exe) under the build's Wine
environment, parse what it reports, and find processes of ours that are still running.

The host's output goes to a file, not a pipe: Wine's own background processes may inherit the
pipe and keep it open long after the host has ended."""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_DIR = os.path.join(TOP, "tests", "wine")

ABOUT_CAPTION = "Talveno Vorlune Screensaver"
ABOUT_TEXT = ("Vorlune Screensaver\r\r"
              "Talveno Softworks 2026\r"
              "Written by the Vorlune team\r"
              "www.talveno.example")


class Failures:
    """Collects failed checks; report() prints them and gives the exit code."""

    def __init__(self, name):
        self.name = name
        self.items = []

    def check(self, condition, what):
        if not condition:
            self.items.append(what)
            print(f"FAIL: {what}", flush=True)
        return condition

    def report(self):
        if self.items:
            print(f"{self.name}: {len(self.items)} check(s) failed", flush=True)
            return 1
        print(f"{self.name}: all checks passed", flush=True)
        return 0


def unescape(text):
    """Reverses the host's quoting of texts (\\r, \\n, \\t, \\\\, \\", \\xHH)."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x":
                out.append(chr(int(text[i + 2:i + 4], 16)))
                i += 4
                continue
            out.append({"r": "\r", "n": "\n", "t": "\t"}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


FIELD = re.compile(r'(\w+)=("(?:[^"\\]|\\.)*"|\S*)')


def parse_line(line):
    """'box hwnd=1 caption="a b"' -> ('box', {'hwnd': '1', 'caption': 'a b'})."""
    kind, _, rest = line.partition(" ")
    fields = {}
    for key, value in FIELD.findall(rest):
        fields[key] = unescape(value[1:-1]) if value.startswith('"') else value
    return kind, fields


class HostRun:
    """One run of host.exe; lines are its report, parsed with parse_line."""

    def __init__(self, returncode, lines, stderr):
        self.returncode = returncode
        self.lines = lines
        self.stderr = stderr

    def find(self, kind):
        return [fields for k, fields in (parse_line(l) for l in self.lines) if k == kind]

    def first(self, kind):
        found = self.find(kind)
        return found[0] if found else None

    def failures(self):
        return [l for l in self.lines if l.startswith("fail ")]

    def __str__(self):
        return "\n".join(["host output:"] + ["  " + l for l in self.lines] +
                         [f"  (exit code {self.returncode})"])


class Host:
    """host.exe started in the background; its report can be read while it runs."""

    def __init__(self, build_dir, commands):
        self.out = tempfile.NamedTemporaryFile(prefix="vorlune-host-", suffix=".out", delete=False)
        self.err = tempfile.NamedTemporaryFile(prefix="vorlune-host-", suffix=".err", delete=False)
        args = [os.path.join(WINE_DIR, "run.sh"), build_dir, os.path.join(build_dir, "host.exe")] + list(commands)
        self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=self.out, stderr=self.err,
                                        start_new_session=True)

    def lines(self):
        with open(self.out.name, "r", errors="replace") as f:
            return [l.rstrip("\r\n") for l in f.readlines()]

    def wait_for_line(self, kind, timeout):
        end = time.time() + timeout
        while time.time() < end:
            for l in self.lines():
                if parse_line(l)[0] == kind:
                    return parse_line(l)[1]
            if self.process.poll() is not None:
                break
            time.sleep(0.1)
        return None

    def finish(self, timeout):
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            code = self.process.wait()
            print(f"host.exe did not finish within {timeout} s and was killed", flush=True)
        result = HostRun(code, self.lines(), open(self.err.name, errors="replace").read())
        for f in (self.out, self.err):
            f.close()
            os.unlink(f.name)
        return result


def run_host(build_dir, *commands, timeout=120):
    return Host(build_dir, commands).finish(timeout)


def wine_prefix(build_dir):
    return os.path.join(os.path.abspath(build_dir), "wine", "prefix")


def our_processes(build_dir, names=("vorlune.scr", "vorlune.exe", "host.exe")):
    """(pid, command line) of running processes of this build's Wine prefix with one of the names."""
    prefix = wine_prefix(build_dir).encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                env = f.read().split(b"\0")
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                argv = f.read().decode(errors="replace").split("\0")
        except OSError:
            continue
        if b"WINEPREFIX=" + prefix not in env:
            continue
        # The program itself, or the Wine loader just before it becomes the program.
        programs = [re.split(r"[\\/]", a)[-1].lower() for a in argv[:2]]
        if any(p in names for p in programs):
            found.append((int(entry), " ".join(argv).strip()))
    return found


def no_processes_left(build_dir, failures, timeout=10):
    end = time.time() + timeout
    left = our_processes(build_dir)
    while left and time.time() < end:
        time.sleep(0.2)
        left = our_processes(build_dir)
    failures.check(not left, f"processes left behind: {left}")


def press_key(build_dir, key="Escape"):
    """Holds a key for a moment on the build's test display (DirectInput reads snapshots)."""
    env = dict(os.environ)
    display_file = os.path.join(os.path.abspath(build_dir), "wine", "display")
    with open(display_file) as f:
        env["DISPLAY"] = ":" + f.read().strip()
    subprocess.run(["xdotool", "keydown", key], env=env, check=False)
    time.sleep(0.4)
    subprocess.run(["xdotool", "keyup", key], env=env, check=False)


class WineSession:
    """Uses the build's running test display and Wine prefix, or starts them (and stops them at
    the end) when the test runs on its own."""

    def __init__(self, build_dir):
        self.build_dir = build_dir
        self.started = False

    def __enter__(self):
        if not self._running():
            subprocess.run([os.path.join(WINE_DIR, "start.sh"), self.build_dir], check=True,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
            self.started = True
        return self

    def __exit__(self, *exc):
        if self.started:
            subprocess.run([os.path.join(WINE_DIR, "stop.sh"), self.build_dir], check=False,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _running(self):
        wine = os.path.join(os.path.abspath(self.build_dir), "wine")
        try:
            pid = int(open(os.path.join(wine, "xvfb.pid")).read().strip())
            os.kill(pid, 0)
        except (OSError, ValueError):
            return False
        return os.path.exists(os.path.join(wine, "display"))


def build_dir_from_argv():
    if len(sys.argv) < 2:
        print(f"usage: {sys.argv[0]} WIN64_BUILD_DIR", file=sys.stderr)
        sys.exit(2)
    b = os.path.abspath(sys.argv[1])
    for name in ("host.exe", "Vorlune.scr"):
        if not os.path.exists(os.path.join(b, name)):
            print(f"FAIL: {name} is missing in {b}", flush=True)
            sys.exit(1)
    return b
