"""Shared helpers of the end-to-end tests: run the test host (host.exe) under the build's Wine
environment, parse what it reports, and find processes of ours that are still running.

The host's output goes to a file, not a pipe: Wine's own background processes may inherit the
pipe and keep it open long after the host has ended."""
import contextlib
import math
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
        err = [l for l in self.stderr.splitlines() if l.strip()][-20:]
        return "\n".join(["host output:"] + ["  " + l for l in self.lines] +
                         [f"  (exit code {self.returncode})"] + ["  stderr: " + l for l in err])


class Host:
    """host.exe started in the background; its report can be read while it runs."""

    def __init__(self, build_dir, commands, home=None):
        self.out = tempfile.NamedTemporaryFile(prefix="vorlune-host-", suffix=".out", delete=False)
        self.err = tempfile.NamedTemporaryFile(prefix="vorlune-host-", suffix=".err", delete=False)
        if OTHER_SAVER:
            commands = ["saver", windows_path(OTHER_SAVER)] + list(commands)
        if home:
            # The saver inherits the host's environment, HOME included.
            args = wine_command(build_dir, host_program(build_dir), commands, home)
        else:
            args = [os.path.join(WINE_DIR, "run.sh"), build_dir, host_program(build_dir)] + list(commands)
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


def run_host(build_dir, *commands, timeout=120, home=None):
    run = Host(build_dir, commands, home).finish(timeout)
    if run.returncode != 0 and not run.lines:
        # host.exe reports before it does anything, so Wine never ran it (seen once in hundreds
        # of runs); that says nothing about the saver, so it is tried once more.
        print(f"host.exe did not run; trying again\n{run}", flush=True)
        run = Host(build_dir, commands, home).finish(timeout)
    return run


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


def no_processes_left(build_dir, failures, timeout=10, names=None):
    end = time.time() + timeout
    named = {"names": names} if names else {}
    left = our_processes(build_dir, **named)
    while left and time.time() < end:
        time.sleep(0.2)
        left = our_processes(build_dir, **named)
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
        print(f"usage: {sys.argv[0]} BUILD_DIR [CASE...]", file=sys.stderr)
        sys.exit(2)
    b = os.path.abspath(sys.argv[1])
    for name in ("host.exe", "Vorlune.scr"):
        if not os.path.exists(os.path.join(b, name)):
            print(f"FAIL: {name} is missing in {b}", flush=True)
            sys.exit(1)
    return b


# A mixed pair, as a real Windows machine has them: another build's host program
# (VORLUNE_E2E_HOST) or saver (VORLUNE_E2E_SAVER) instead of the build's own.
OTHER_HOST = os.environ.get("VORLUNE_E2E_HOST") or None
OTHER_SAVER = os.environ.get("VORLUNE_E2E_SAVER") or None
SKIPPED = 77     # the exit code CTest counts as a skipped test


def host_program(build_dir):
    return os.path.abspath(OTHER_HOST) if OTHER_HOST else os.path.join(build_dir, "host.exe")


def saver_program(build_dir):
    return os.path.abspath(OTHER_SAVER) if OTHER_SAVER else os.path.join(build_dir, "Vorlune.scr")


def windows_path(path):
    """The path as a Windows program of the prefix sees it (Wine's Z: drive is the root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def pe_bits(path):
    """32 or 64 for a Windows executable (its PE header's machine), None for anything else."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
        at = int.from_bytes(head[60:64], "little")
        if head[:2] != b"MZ" or head[at:at + 4] != b"PE\0\0":
            return None
        machine = int.from_bytes(head[at + 4:at + 6], "little")
    except (OSError, ValueError):
        return None
    return {0x14C: 32, 0x8664: 64}.get(machine)


def check_runnable(build_dir):
    """Exits the test when a program it needs cannot run here: 77 (skipped) where the kernel cannot
    execute 32-bit programs, 1 (failed) where Wine's 32-bit half is missing or the other build of a
    mixed pair was not built. Returns otherwise."""
    programs = [host_program(build_dir), saver_program(build_dir)]
    for p in programs:
        if not os.path.exists(p):
            print(f"FAIL: {p} is missing (build the other Windows preset first)", flush=True)
            sys.exit(1)
    if any(pe_bits(p) == 32 for p in programs):
        require_32bit_programs()


def require_32bit_programs(what=""):
    """Exits the test unless this machine runs 32-bit Windows programs: 77 (skipped) where the
    kernel cannot execute them, 1 (failed) where Wine's 32-bit half is missing."""
    done = subprocess.run([os.path.join(WINE_DIR, "can_run32.sh")], stdin=subprocess.DEVNULL,
                          capture_output=True, text=True)
    reason = what + done.stdout.strip()
    if done.returncode == 2:
        print(f"SKIPPED: {reason}", flush=True)
        sys.exit(SKIPPED)
    if done.returncode != 0:
        print(f"FAIL: {reason}", flush=True)
        sys.exit(1)


def check_starts(build_dir):
    """A host program that Wine cannot start at all (a prefix without its 32-bit half, a missing
    library) fails the test at once with Wine's exit status, rather than after each case's limits.
    (A saver that cannot start ends at once too, and the cases report its exit status.)"""
    program = host_program(build_dir)
    done = subprocess.run(wine_command(build_dir, program, ["sleep", "0"]), stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=120)
    if done.returncode != 0:
        why = [l for l in done.stderr.splitlines() if l.strip()]
        print(f"FAIL: Wine could not start {program}: exit status {done.returncode}"
              f"{': ' + why[-1] if why else ''}", flush=True)
        sys.exit(1)


def run_cases(name, cases):
    """The main program of a test file: "--cases" lists the case names; "BUILD_DIR [CASE...]" runs
    the named cases (all when none is named) in the build's Wine session. Each case is a function
    (build_dir, failures). Exit code 0, 1 (a check failed) or 77 (skipped: see check_runnable)."""
    if sys.argv[1:] == ["--cases"]:
        print(" ".join(cases))
        return 0
    b = build_dir_from_argv()
    chosen = sys.argv[2:] or list(cases)
    unknown = [c for c in chosen if c not in cases]
    if unknown:
        print(f"{name}: no case {unknown}; the cases are {' '.join(cases)}", file=sys.stderr)
        return 2
    check_runnable(b)
    for role, program in (("host", host_program(b)), ("saver", saver_program(b))):
        print(f"{role}: {program} ({pe_bits(program)}-bit)", flush=True)
    failures = Failures(name)
    with WineSession(b):
        check_starts(b)
        for case in chosen:
            print(f"== {case}", flush=True)
            began = time.time()
            cases[case](b, failures)
            no_processes_left(b, failures)
            print(f"== {case}: {time.time() - began:.0f} s", flush=True)
    print_latencies()
    return failures.report()


def print_latencies():
    if LATENCIES:
        print("time from the action to the end of the process: " +
              ", ".join(f"{label} {took:.2f} s" for label, took in LATENCIES), flush=True)


# ---------------------------------------------------------------------------------------------
# The full-screen saver, driven like a user would: its X window, the keyboard and the mouse by
# xdotool, and the picture by screenshots of the whole test display.

SAVER_TITLE = "Vorlune Screensaver"
DEVICE_ERROR = "Can't open DirectX 7 or later, mouse-, input- or sound-device"
# Wine's threaded Direct3D busy-waits for its command thread. On a machine shared with other jobs
# that slows the saver down twenty-fold (to a frame or two a second); the saver does the same with
# or without it, so the picture tests run it with Direct3D on the saver's own thread.
SINGLE_THREADED_D3D = {"WINE_D3D_CONFIG": "csmt=0"}
THREADED_D3D = {"WINE_D3D_CONFIG": ""}     # Wine's default (the project's Wine environment turns it off)


def display_of(build_dir):
    """The build's test display: its Wine session's, or (a Linux build) tests/x11/start.sh's."""
    b = os.path.abspath(build_dir)
    if os.path.exists(os.path.join(b, "xvfb", "display")):
        with open(os.path.join(b, "xvfb", "display")) as f:
            return f.read().strip()
    with open(os.path.join(b, "wine", "display")) as f:
        return ":" + f.read().strip()


def xdotool(build_dir, *args, timeout=10):
    """Runs xdotool on the build's display; its output, or None when it failed or hung."""
    env = dict(os.environ, DISPLAY=display_of(build_dir))
    try:
        done = subprocess.run(["xdotool"] + [str(a) for a in args], env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    return done.stdout if done.returncode == 0 else None


def windows_named(build_dir, name):
    """X windows whose name is exactly name."""
    out = xdotool(build_dir, "search", "--name", "^" + re.escape(name) + "$")
    return [int(w) for w in out.split()] if out else []


def wine_command(build_dir, program, args, home=None):
    """The command line that runs a Windows program of the build under its Wine environment, with
    HOME replaced when home is given (a HOME without .asoundrc: a machine with no sound device)."""
    script = '. "$0/env.sh" "$1"; [ -z "$2" ] || export HOME="$2"; shift 2; wine_precheck "$1"; exec "$WINE" "$@"'
    return ["bash", "-c", script, WINE_DIR, os.path.abspath(build_dir), home or "", program] + list(args)


class Shot:
    """A screenshot of the whole display: 8-bit RGB rows, top-down."""

    def __init__(self, data, width, height, taken):
        self.data, self.width, self.height, self.taken = data, width, height, taken

    def rgb(self, x, y):
        i = 3 * (y * self.width + x)
        return self.data[i], self.data[i + 1], self.data[i + 2]


def screenshot(build_dir, width, height, taken=None):
    env = dict(os.environ, DISPLAY=display_of(build_dir))
    for _ in range(3):
        try:
            done = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], env=env,
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
        except subprocess.TimeoutExpired:
            continue
        if done.returncode == 0 and len(done.stdout) == width * height * 3:
            return Shot(done.stdout, width, height, time.time() if taken is None else taken)
        time.sleep(0.5)
    raise RuntimeError(f"no {width}x{height} screenshot of {display_of(build_dir)}")


def save_png(shot, path):
    """Keeps a screenshot for a person to look at (ImageMagick's convert)."""
    subprocess.run(["convert", "-size", f"{shot.width}x{shot.height}", "-depth", "8", "rgb:-", path],
                   input=shot.data, check=False, capture_output=True, timeout=60)


STAR_DOTS = 100    # the saver's falling dots

# Bytes at or above this value mark a pixel worth looking at; the rest is black for our purposes.
_LIT_BYTE = re.compile(rb"[\x28-\xff]")


class Picture:
    """What a screenshot of the saver shows.

    coloured: pixels of the pattern's trails (bright and clearly not grey);
    grey: bright grey or white pixels (star dots, and the white-hot cores of the trails);
    specks: star dots, small grey spots with no coloured pixel within 12 pixels;
    free: share of the screen where a star dot counts as one (6-pixel cells farther than two
    cells from any cell with a coloured pixel)."""

    def __init__(self, shot):
        self.shot = shot
        data, w = shot.data, shot.width
        seen = set()
        coloured, grey = [], []
        for m in _LIT_BYTE.finditer(data):
            i = m.start() // 3
            if i in seen:
                continue
            seen.add(i)
            r, g, b = data[3 * i], data[3 * i + 1], data[3 * i + 2]
            hi, lo = max(r, g, b), min(r, g, b)
            if hi >= 60 and hi - lo >= 40:
                coloured.append((i % w, i // w))
            elif hi >= 40 and hi - lo <= 12:
                grey.append((i % w, i // w, hi))
        self.coloured = coloured
        self.grey = grey
        cells = {(x // 6, y // 6) for x, y in coloured}
        columns, rows = (w + 5) // 6, (shot.height + 5) // 6
        near = set()
        for cx, cy in cells:
            for dx in (-2, -1, 0, 1, 2):
                for dy in (-2, -1, 0, 1, 2):
                    if 0 <= cx + dx < columns and 0 <= cy + dy < rows:
                        near.add((cx + dx, cy + dy))
        self.free = 1.0 - len(near) / (columns * rows)
        lone = {(x, y): v for x, y, v in grey if (x // 6, y // 6) not in near}
        # Group lone grey pixels into spots (8-connected); a star dot is at most 1 x 2 pixels.
        specks = []
        left = set(lone)
        while left:
            start = left.pop()
            spot, todo = [start], [start]
            while todo:
                x, y = todo.pop()
                for dx in (-1, 0, 1):
                    for dy in (-1, 0, 1):
                        p = (x + dx, y + dy)
                        if p in left:
                            left.discard(p)
                            spot.append(p)
                            todo.append(p)
            if len(spot) <= 4:
                xs = sorted(p[0] for p in spot)
                ys = sorted(p[1] for p in spot)
                specks.append((xs[0], ys[0], max(lone[p] for p in spot)))
        self.specks = specks

    def dots_expected(self):
        """Star dots that can be seen: the saver's STAR_DOTS in the free part of the screen."""
        return STAR_DOTS * self.free

    def dots_seen(self):
        """Star dots seen per dot expected in the free part of the screen."""
        return len(self.specks) / max(1.0, self.dots_expected())

    def centroid(self):
        n = len(self.coloured)
        if not n:
            return None
        return (sum(p[0] for p in self.coloured) / n, sum(p[1] for p in self.coloured) / n)


def coloured_overlap(a, b):
    """|A and B| / |A or B| of two pictures' coloured pixels."""
    sa, sb = set(a.coloured), set(b.coloured)
    union = len(sa | sb)
    return len(sa & sb) / union if union else 1.0


def stars_fell(a, b):
    """Compares the star dots of two pictures: (share of a's dots found at the same place in b,
    share of a's dots with a dot in the same column of b at another height)."""
    if not a.specks:
        return 0.0, 0.0
    at = {(x, y) for x, y, _ in b.specks}
    columns = {}
    for x, y, _ in b.specks:
        columns.setdefault(x, set()).add(y)
    same = sum(1 for x, y, _ in a.specks if (x, y) in at)
    moved = sum(1 for x, y, _ in a.specks if any(abs(y2 - y) > 0 for y2 in columns.get(x, ())) and (x, y) not in at)
    return same / len(a.specks), moved / len(a.specks)


class StartZone:
    """Where every new pattern begins. A new pattern sets its phase angles to 0 and i/d, so its
    first trail points lie on an arc of radius R about (CentreX + R, CentreY + R), at angles from
    about 0.2 to 1.0 radians: below and to the right of the centre, between 20 and 65 degrees,
    for every radius from 50 to width / 5 + 50. Counts the pixels there that light up between
    two screenshots (sampled every second pixel of every second row). For radii above about 220 the
    start arc lies mostly beyond the bottom and right edges of a 1024 x 768 screen."""

    def __init__(self, width, height):
        cx, cy = width // 2 + 8, height // 2 + 7   # the sprites' sparkle sits at (8, 7)
        self.width = width
        offsets = []
        for y in range(cy + 4, height, 2):
            for x in range(cx + 4, width, 2):
                dx, dy = x - cx, y - cy
                angle = math.degrees(math.atan2(dy, dx))
                if 20 <= angle <= 65 and dx * dx + dy * dy >= 60 * 60:
                    offsets.append(3 * (y * width + x))
        self.offsets = offsets

    def brightened(self, before, after):
        """Sampled pixels of the zone that grew brighter by 40 or more in a channel (new trail
        points add their light to what is there)."""
        a, b = before.data, after.data
        n = 0
        for i in self.offsets:
            if b[i] - a[i] >= 40 or b[i + 1] - a[i + 1] >= 40 or b[i + 2] - a[i + 2] >= 40:
                n += 1
        return n


END_LIMIT = 8.0         # seconds after which a program that should have ended is killed
LATENCIES = []          # (label, seconds) of every timed ending, printed after the cases


class Program:
    """One run of a program of the build in the background, on the test display. Its output goes to
    files, read while it runs and kept in memory once finish() removes them. A subclass says how to
    find its window (find_window) and what no good run prints (ERRORS)."""
    ERRORS = None

    def __init__(self, build_dir, command, env, apart=True):
        self.build_dir = build_dir
        self.files = [tempfile.NamedTemporaryFile(prefix="vorlune-run-", delete=False) for _ in range(1 + apart)]
        self.command = command
        self.started = time.time()
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=self.files[0],
                                        stderr=self.files[-1] if apart else subprocess.STDOUT, env=env,
                                        start_new_session=True)
        self.pid = self.process.pid
        self.window = None
        self.kept = None

    def alive(self):
        return self.process.poll() is None

    def exit_code(self):
        return self.process.poll()

    def wait_window(self, limit):
        """Its window, once there (None after limit seconds or once it ended)."""
        end = time.time() + limit
        while time.time() < end and self.alive():
            self.window = self.find_window()
            if self.window is not None:
                return self.window
            time.sleep(0.1)
        return None

    def wait_exit(self, limit):
        """Seconds until it ended, or None if it still runs after limit seconds."""
        start = time.time()
        try:
            self.process.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            return None
        return time.time() - start

    def _texts(self):
        if self.kept is not None:
            return self.kept
        texts = []
        for f in self.files:
            with open(f.name, errors="replace") as r:
                texts.append(r.read())
        return texts

    def stdout(self):
        return self._texts()[0]

    def stderr(self):
        return self._texts()[-1]

    def output(self):
        return "".join(self._texts())

    def describe(self):
        return f"exit code {self.exit_code()}, output {self.output().strip().splitlines()[-8:]!r}"

    def finish(self):
        """Kills it if it still runs and removes its files; its exit code (None when killed)."""
        if self.kept is None:
            if self.alive():
                os.killpg(self.pid, signal.SIGKILL)
                self.process.wait()
                self.process.returncode = None
            self.kept = self._texts()
            for f in self.files:
                f.close()
                os.unlink(f.name)
        return self.process.returncode

    close = finish

    def focus(self):
        """Gives its window the X keyboard focus (DirectInput reads keys only then)."""
        for _ in range(5):
            if self.window is None:
                return False
            xdotool(self.build_dir, "windowfocus", self.window)
            out = xdotool(self.build_dir, "getwindowfocus")
            if out and out.strip() == str(self.window):
                return True
            time.sleep(0.3)
        return False

    def hold(self, keys, seconds):
        """Holds keys down together for a while (the programs read the keyboard once a frame)."""
        for k in keys:
            xdotool(self.build_dir, "keydown", k)
        time.sleep(seconds)
        for k in reversed(keys):
            xdotool(self.build_dir, "keyup", k)

    def hold_until_exit(self, keys, limit):
        """Holds keys until it ends or limit seconds pass; the time it took, or None."""
        start = time.time()
        for k in keys:
            xdotool(self.build_dir, "keydown", k)
        try:
            while time.time() - start < limit:
                if not self.alive():
                    return time.time() - start
                time.sleep(0.02)
            return None
        finally:
            for k in reversed(keys):
                xdotool(self.build_dir, "keyup", k)

    def ended_by(self, action, failures, label, latency=None, code=0, limit=END_LIMIT):
        """Does action(self) (a held key, a click, a signal; it may return the seconds it timed
        itself) and checks that the program then ended within limit seconds, and within latency of
        the action when latency is given, with exit code code and no ERRORS in its output. Returns
        the seconds it took, or None."""
        since = time.time()
        took = action(self)
        if not isinstance(took, float):
            took = None if self.wait_exit(limit) is None else time.time() - since
        if not failures.check(took is not None, f"{label}: still running {limit} s later"):
            self.finish()
            return None
        print(f"{label}: ended {took:.2f} s after it with exit code {self.exit_code()}", flush=True)
        if latency is not None:
            LATENCIES.append((label, took))
            failures.check(took <= latency, f"{label}: took {took:.2f} s to end, more than {latency} s")
        failures.check(self.exit_code() == code, f"{label}: {self.describe()}, expected exit code {code}")
        failures.check(not (self.ERRORS and self.ERRORS.search(self.stderr())),
                       f"{label}: an error in its output: {self.stderr()[-600:]!r}")
        return took


@contextlib.contextmanager
def started(run, failures, label, limit, focus=True, window=True):
    """Yields run (a Program) once its window is up, with the keyboard focus unless focus is False,
    or None (a failure) when no window came within limit seconds; finishes it on the way out. A
    program that draws into a window it is given (window False) must instead still run a moment
    later without a window of its own."""
    try:
        if not window:
            failures.check(run.wait_window(0.3) is None, f"{label}: opened a window of its own")
            failures.check(run.alive(), f"{label}: ended at once ({run.describe()})")
            yield run
            return
        found = run.wait_window(limit)
        if not failures.check(found is not None, f"{label}: no window within {limit} s ({run.describe()})"):
            yield None
            return
        print(f"{label}: window {found:#x} after {time.time() - run.started:.1f} s", flush=True)
        if focus:
            failures.check(run.focus(), f"{label}: its window did not get the keyboard focus")
        yield run
    finally:
        run.finish()


class Saver(Program):
    """Vorlune.scr (or another program of the build that opens the saver's window) started straight
    under the build's Wine environment (no host program); the exit code is the program's."""

    def __init__(self, build_dir, args, home=None, env=None, program=None):
        command = wine_command(build_dir, program or saver_program(build_dir), args, home)
        super().__init__(build_dir, command, dict(os.environ, **(env or {})), apart=False)

    def find_window(self):
        found = windows_named(self.build_dir, SAVER_TITLE)
        return found[0] if found else None


SAVER_START_LIMIT = 90    # seconds until the saver's window appears (loaded machines)


W, H = 1024, 768     # the test displays' size


def crop(shot, x, y, w, h):
    rows = [shot.data[3 * ((y + r) * shot.width + x):3 * ((y + r) * shot.width + x + w)] for r in range(h)]
    return Shot(b"".join(rows), w, h, shot.taken)


def wait_for_trails(b, run, limit=60, area=None, least=200):
    """The first picture (of area, a rectangle of the screen) with trails while run (if any) runs, or None."""
    end = time.time() + limit
    while time.time() < end and (run is None or run.alive()):
        s = screenshot(b, W, H)
        picture = Picture(crop(s, *area) if area else s)
        if len(picture.coloured) >= least:
            return picture
        time.sleep(0.2)
    return None


def ends_on(start, failures, label, action, before=(), latency=1.0, trails_limit=60):
    """start (a started() frame) shows trails and keeps running for a second, and through each
    (what, step) of before; then action must end it with 0 within latency seconds. Steps and
    action are functions of the run."""
    with start as run:
        if not run:
            return
        failures.check(wait_for_trails(run.build_dir, run, trails_limit) is not None,
                       f"{label}: no trails ({run.describe()})")
        for what, step in [("nothing", lambda run: None)] + list(before):
            step(run)
            failures.check(run.wait_exit(1.0) is None, f"{label}: {what} ended it ({run.describe()})")
        run.ended_by(action, failures, label, latency)


def tap(what, seconds=0.1, down="keydown", up="keyup"):
    def press(run):
        xdotool(run.build_dir, down, what)
        time.sleep(seconds)
        xdotool(run.build_dir, up, what)
    return press


def held(keys, limit=END_LIMIT):
    return lambda run: run.hold_until_exit(keys, limit)


def move(dx, dy):
    return lambda run: xdotool(run.build_dir, "mousemove_relative", "--", dx, dy)


# A click is a button held for a moment, as a hand holds it: the mouse is read as the sum of its
# events once a frame, so a press and a release that both fall between two reads are not seen.
click = tap(1, down="mousedown", up="mouseup")
SMALL_MOVES = [(f"a move of ({dx}, {dy})", move(dx, dy)) for dx, dy in ((5, 0), (0, 5), (-5, 0))]


def saver_started(build_dir, failures, label, args=("/s",), limit=SAVER_START_LIMIT, env=SINGLE_THREADED_D3D,
                  focus=True):
    """started() for the full-screen saver, with Direct3D on its own thread unless env says otherwise."""
    return started(Saver(build_dir, list(args), env=env), failures, label, limit, focus)
