"""Shared helpers of the Linux program's end-to-end tests (tests/e2e/x11_*.py): the build's
vorlune on the private Xvfb display of tests/x11/start.sh, judged with the Windows saver's judges
(test_saver.py, test_focus.py) on the same 1024 x 768 screen."""
import os
import re
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e
import test_focus as focus_judges
import test_saver as saver_judges

W, H = e2e.W, e2e.H
X11_DIR = os.path.join(e2e.TOP, "tests", "x11")
EXIT_LATENCY = 1.0     # seconds from the key, click, signal or lost window to the end of the process
END_LIMIT = e2e.END_LIMIT
START_LIMIT = 15.0     # seconds until the window appears / the first trails show
# Xlib's default error report, a sanitizer's, a failed assertion: none belongs on a good run's stderr.
ERROR_TEXT = re.compile(r"error|BadWindow|BadMatch|BadDrawable|BadValue|Sanitizer|Assertion", re.I)
display_of = e2e.display_of


def program(b):
    return os.path.join(b, "vorlune")


def keep(b, name):
    """Where a file for a person to look at goes: <build>/e2e-x11/name."""
    d = os.path.join(b, "e2e-x11")
    os.makedirs(d, exist_ok=True)
    return os.path.join(d, name)


def xdo(b, *args):
    return e2e.xdotool(b, *args)


def top_windows(b):
    """Viewable top-level windows (no window manager runs: a program's window is one of these)."""
    out = xdo(b, "search", "--onlyvisible", "--maxdepth", "1", "--name", "")
    return {int(w) for w in out.split()} if out else set()


def geometry(b, window):
    """(x, y, width, height) of a window on the screen, or None."""
    done = subprocess.run(["xwininfo", "-display", display_of(b), "-id", str(window)],
                          capture_output=True, text=True, timeout=10)
    v = dict(re.findall(r"^\s*(Absolute upper-left X|Absolute upper-left Y|Width|Height):\s+(-?\d+)",
                        done.stdout, re.M))
    if done.returncode or len(v) < 4:
        return None
    return tuple(int(v[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))


def root_window(b):
    out = subprocess.run(["xwininfo", "-display", display_of(b), "-root"], capture_output=True, text=True,
                         timeout=10).stdout
    return int(re.search(r"Window id: (0x[0-9a-f]+)", out).group(1), 16)


class Vorlune(e2e.Program):
    """One run of a program (the build's vorlune unless command says otherwise) on the test
    display; its window is its own new top-level one."""
    ERRORS = ERROR_TEXT

    def __init__(self, b, args=(), env=None, command=None, unset=()):
        self.b = b
        self.before = top_windows(b)
        environment = dict(os.environ, DISPLAY=display_of(b), **(env or {}))
        for name in unset:
            environment.pop(name, None)
        super().__init__(b, (command or [program(b)]) + list(args), environment)

    def find_window(self):
        new = top_windows(self.b) - self.before
        return min(new) if new else None


def started(b, failures, label, args=(), env=None, focus=True):
    """e2e.started() of the program in a window of its own."""
    return e2e.started(Vorlune(b, args, env), failures, label, START_LIMIT, focus)


def shot(b):
    return e2e.screenshot(b, W, H)


def wait_for_trails(b, run, limit=START_LIMIT, area=None, least=200):
    return e2e.wait_for_trails(b, run, limit, area, least)


def judge_picture(b, run, failures, label, area=None, shots=4, gap=1.0, margin=0):
    """Trails in the sprites' hues with dots falling behind them and moving, in area (the whole
    screen when None); nothing drawn outside it. The hue and dot thresholds are test_focus.py's."""
    first = wait_for_trails(b, run, area=area)
    if not failures.check(first is not None, f"{label}: no trails within {START_LIMIT} s"
                                             f"{'' if run is None else ' (' + run.describe() + ')'}"):
        return None
    hues = focus_judges.sprite_hues()
    pictures, whole = [first], []
    for _ in range(shots - 1):
        time.sleep(gap)
        s = shot(b)
        whole.append(s)
        pictures.append(e2e.Picture(e2e.crop(s, *area) if area else s))
    judged_all = near_all = 0
    for k, p in enumerate(pictures):
        judged, share = focus_judges.hue_share(p.shot, hues)
        judged_all += judged
        near_all += judged * share
        print(f"{label}: shot {k + 1}: {len(p.coloured)} coloured pixels, {share:.3f} of {judged} in a sprite's hue, "
              f"{len(p.specks)} dots ({p.dots_seen():.2f} of those expected)", flush=True)
        failures.check(judged >= 100 and share >= focus_judges.SHOT_HUE_SHARE,
                       f"{label}: shot {k + 1}: only {share:.3f} of {judged} pixels in a sprite's hue")
    failures.check(judged_all and near_all / judged_all >= focus_judges.HUE_SHARE,
                   f"{label}: only {near_all / max(1, judged_all):.3f} of all judged pixels in a sprite's hue")
    saver_judges.check_colours_and_stars(pictures, failures, label)
    saver_judges.check_movement(pictures, failures, label)
    if area:
        outside = lit_outside(whole[-1], area, margin)
        if not failures.check(outside <= 20, f"{label}: {outside} lit pixels outside its window {area}"):
            e2e.save_png(whole[-1], keep(b, "drawn-outside.png"))
    return pictures


def border_width(b, window):
    done = subprocess.run(["xwininfo", "-display", display_of(b), "-id", str(window)],
                          capture_output=True, text=True, timeout=10)
    found = re.search(r"Border width:\s+(\d+)", done.stdout)
    return int(found.group(1)) if found else 0


def lit_outside(s, area, margin=0):
    """Lit pixels outside area grown by margin (a window's border is its owner's to paint)."""
    x, y, w, h = area
    x, y, w, h = x - margin, y - margin, w + 2 * margin, h + 2 * margin
    everything = e2e.Picture(s)
    return sum(1 for p in everything.coloured + [g[:2] for g in everything.grey]
               if not (x <= p[0] < x + w and y <= p[1] < y + h))


def drawn_only_inside(b, run, area, failures, label, margin=0):
    """Trails appear in area (a rectangle of the screen) and nothing is lit outside it."""
    p = wait_for_trails(b, run, area=area, least=50)
    if failures.check(p is not None, f"{label}: no trails in {area} ({run.describe()})"):
        outside = lit_outside(shot(b), area, margin)
        print(f"{label}: {len(p.coloured)} coloured pixels in {area}, {outside} lit outside", flush=True)
        if not failures.check(outside <= 20, f"{label}: {outside} lit pixels outside {area}"):
            e2e.save_png(shot(b), keep(b, "drawn-outside.png"))
    return p


def our_processes(b, extra=()):
    """(pid, command line) of live processes of the program on this display (by its executable
    name, valgrind's included) or of the names in extra."""
    found = []
    want = ("DISPLAY=" + display_of(b)).encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                if f.read().rpartition(")")[2].split()[0] == "Z":
                    continue
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                argv = f.read().decode(errors="replace").split("\0")
            with open(f"/proc/{entry}/environ", "rb") as f:
                env = f.read().split(b"\0")
            exe = os.path.basename(os.readlink(f"/proc/{entry}/exe"))
        except OSError:
            continue
        names = {exe} | {os.path.basename(a) for a in argv}
        if want in env and (names & ({"vorlune"} | set(extra))):
            found.append((int(entry), " ".join(argv).strip()))
    return found


def no_processes_left(b, failures, timeout=3.0, extra=()):
    end = time.time() + timeout
    while True:
        left = our_processes(b, extra)
        if not left or time.time() > end:
            break
        time.sleep(0.1)
    failures.check(not left, f"processes left behind: {left}")
    for pid, _ in left:
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass


def clear_screen(b):
    """Paints the screen black: a window mapped over it and destroyed makes the server repaint the
    root, where a -root run's last frame may still show."""
    before = top_windows(b)
    cover = subprocess.Popen(["xev", "-display", display_of(b), "-geometry", f"{W}x{H}+0+0"],
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    end = time.time() + 5
    while time.time() < end and not top_windows(b) - before:
        time.sleep(0.05)
    cover.kill()
    cover.wait()


class X11Session:
    """Uses the build's running test display, or starts one for this run alone."""

    def __init__(self, b):
        self.b, self.started = b, False

    def __enter__(self):
        try:
            pid = int(open(os.path.join(self.b, "xvfb", "pid")).read())
            os.kill(pid, 0)
            ok = os.path.exists(os.path.join(self.b, "xvfb", "display"))
        except (OSError, ValueError):
            ok = False
        if not ok:
            subprocess.run([os.path.join(X11_DIR, "start.sh"), self.b], check=True, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL)
            self.started = True
        return self

    def __exit__(self, *exc):
        if self.started:
            subprocess.run([os.path.join(X11_DIR, "stop.sh"), self.b], check=False)


def run_cases(name, cases, extra_processes=()):
    """The main program of an x11_*.py file: "--cases" lists the cases; "BUILD_DIR [CASE...]" runs
    them (all when none is named) on the build's test display. Each case is a function
    (build_dir, failures) and may exit with 77 (skipped) after saying why."""
    if sys.argv[1:] == ["--cases"]:
        print(" ".join(cases))
        return 0
    if len(sys.argv) < 2:
        print(f"usage: {sys.argv[0]} BUILD_DIR [CASE...]", file=sys.stderr)
        return 2
    b = os.path.abspath(sys.argv[1])
    chosen = sys.argv[2:] or list(cases)
    unknown = [c for c in chosen if c not in cases]
    if unknown:
        print(f"{name}: no case {unknown}; the cases are {' '.join(cases)}", file=sys.stderr)
        return 2
    if not os.access(program(b), os.X_OK):
        print(f"FAIL: {program(b)} is missing (build the preset first)", flush=True)
        return 1
    failures = e2e.Failures(name)
    with X11Session(b):
        print(f"program: {program(b)} on display {display_of(b)}", flush=True)
        for case in chosen:
            print(f"== {case}", flush=True)
            began = time.time()
            clear_screen(b)
            cases[case](b, failures)
            no_processes_left(b, failures, extra=extra_processes)
            print(f"== {case}: {time.time() - began:.1f} s", flush=True)
    e2e.print_latencies()
    return failures.report()
