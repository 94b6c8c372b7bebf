#!/usr/bin/env python3
"""The Linux program in a window of its own (the default), on the 1024 x 768 test display with no
window manager, as a user meets it.

- picture: the window covers the screen (1024 x 768 clamped to it); the first pattern starts
  below and right of the centre; trails in the sprites' hues on black, white dots falling behind,
  the picture moving (the judges of test_saver.py and test_focus.py).
- new_pattern: a new pattern about 15 and 30 s after the first (test_saver.py's start-arc judge;
  one of the two is enough); over the run the light centres on the screen.
- keys: S hides the dots and shows them again; Return does not end it; X ends it with 0 within a second.
- escape, mouse (moves of 5 do not end it, one of 30 does), click: each ends it with 0 within a second.
- geometry: -geometry WxH+X+Y and WxH, and -fullscreen, give those windows, drawn in and nowhere else.
- options: -fps reports the first frame once and the rate once a second; VORLUNE_FRAMES ends it
  with 0; the pacing holds it near 30 frames a second, VORLUNE_PACING=0 lifts it; -display
  works without $DISPLAY.

Screenshots are kept in <build>/e2e-x11/."""
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e
import vorlune_x11 as x
from vorlune_x11 import saver_judges as saver, W, H

# This program changes pattern every 15 s; two changes (not test_saver.py's four) keep the case short.
saver.NEW_PATTERN_TIMES = (15.0, 30.0)


def first_pattern(b, run):
    """The first shot that shows the first pattern well, taken within a second of its first light."""
    end, birth = time.time() + x.START_LIMIT, None
    while time.time() < end and run.alive():
        p = e2e.Picture(x.shot(b))
        n = len(p.coloured)
        if birth is None and n >= 30:
            birth = p.shot.taken
        if birth is not None and (n >= 100 or p.shot.taken - birth > 1.0):
            return p
    return None


def picture(b, failures):
    label = "picture"
    with x.started(b, failures, label) as run:
        if not run:
            return
        where = x.geometry(b, run.window)
        failures.check(where == (0, 0, W, H), f"{label}: window at {where}, expected the whole {W}x{H} screen")
        first = first_pattern(b, run)
        if failures.check(first is not None, f"{label}: no trails within {x.START_LIMIT} s ({run.describe()})"):
            e2e.save_png(first.shot, x.keep(b, "window-first-pattern.png"))
            saver.check_first_pattern(first, failures, label)
        pictures = x.judge_picture(b, run, failures, label)
        if pictures:
            e2e.save_png(pictures[-1].shot, x.keep(b, "window-picture.png"))
        failures.check(run.alive(), f"{label}: it ended by itself ({run.describe()})")


def new_pattern(b, failures):
    """test_saver.py's judge of new patterns (a start arc out of nothing near 15 and 30 s), on shots
    about as far apart as there (0.2 s), and its judge of the centre; shots just before and after
    15 s are kept for a person to look at."""
    label = "new pattern"
    with x.started(b, failures, label, focus=False) as run:
        if not run:
            return
        zone = e2e.StartZone(W, H)
        timeline, shots, kept = [], [], []
        previous, birth, next_shot = x.shot(b), None, 0
        limit = time.time() + x.START_LIMIT
        while run.alive():
            time.sleep(0.15)
            s = x.shot(b)
            if birth is None:
                if len(e2e.Picture(s).coloured) >= 30:
                    birth = s.taken
                elif time.time() > limit:
                    break
            else:
                t = s.taken - birth
                timeline.append((t, 0, saver.start_arc_votes(zone, previous, s)))
                if s.taken >= next_shot:
                    shots.append(s)
                    next_shot = s.taken + 2.5
                if (not kept and t >= 14.3) or (len(kept) == 1 and t >= 16.0):
                    kept.append(s)
                if t > saver.NEW_PATTERN_TIMES[-1] + saver.ONSET_SLACK + 1.0:
                    break
            previous = s
        if not failures.check(birth is not None and run.alive(), f"{label}: no trails, or it ended ({run.describe()})"):
            return
        print(f"{label}: {len(timeline)} shots over {timeline[-1][0]:.0f} s", flush=True)
        for s, name in zip(kept, ("before-15s", "after-15s")):
            e2e.save_png(s, x.keep(b, f"window-{name}.png"))
        saver.check_centre([e2e.Picture(s) for s in shots], failures, label)
        saver.check_new_patterns(timeline, failures, label)


def keys(b, failures):
    label = "keys"
    with x.started(b, failures, label) as run:
        if not run:
            return
        if not failures.check(x.wait_for_trails(b, run) is not None, f"{label}: no trails ({run.describe()})"):
            return
        start_picture, visible = saver.star_state(b, run)
        failures.check(visible, f"{label}: only {len(start_picture.specks)} dots at the start")
        hidden = saver.toggle_stars(b, run, False, failures, label)
        if hidden:
            e2e.save_png(hidden.shot, x.keep(b, "window-dots-hidden.png"))
            print(f"{label}: S hid the dots ({len(hidden.specks)} left, {len(hidden.coloured)} coloured pixels)", flush=True)
            failures.check(len(hidden.coloured) >= 100, f"{label}: the trails went with the dots")
        # Return is the one key besides S that leaves the shared saver loop running, and the same test
        # of it there schedules the new pattern (app/saver_loop.cpp): alive after it, the key arrived as Return.
        run.hold(["Return"], 0.5)
        failures.check(saver.alive_after(run, 1.0), f"{label}: Return ended it ({run.describe()})")
        if run.alive() and saver.toggle_stars(b, run, True, failures, label):
            print(f"{label}: S showed the dots again", flush=True)
        run.ended_by(e2e.held(["x"]), failures, f"{label}: X", x.EXIT_LATENCY)


def geometry(b, failures):
    for args, want in ((["-geometry", "320x240+50+60"], (50, 60, 320, 240)),
                       (["-geometry", "400x300"], (None, None, 400, 300)),
                       (["-fullscreen"], (0, 0, W, H))):
        label = " ".join(args)
        with x.started(b, failures, label, args) as run:
            if not run:
                continue
            where = x.geometry(b, run.window)
            failures.check(where and all(w is None or w == g for w, g in zip(want, where)),
                           f"{label}: window at {where}, expected {want}")
            if where:
                x.drawn_only_inside(b, run, where, failures, label)
            run.ended_by(e2e.tap("Escape"), failures, f"{label}: Escape", x.EXIT_LATENCY)


FPS_LINE = re.compile(r"^vorlune: (\d+\.\d) frames per second$")
FIRST_LINE = re.compile(r"^vorlune: first frame after (\d+\.\d{3}) s$")


def fps_run(b, failures, label, frames, env, args=()):
    """A run of -fps ending after frames frames: (seconds it took, frame rates reported) or None."""
    run = x.Vorlune(b, ["-fps", "-geometry", "320x240"] + list(args), dict(env, VORLUNE_FRAMES=str(frames)))
    try:
        took = run.wait_exit(x.END_LIMIT + frames / 10)
        if not failures.check(took is not None and run.exit_code() == 0,
                              f"{label}: did not end by itself with 0 after {frames} frames ({run.describe()})"):
            return None
        lines = run.stderr().splitlines()
        first = [l for l in lines if FIRST_LINE.match(l)]
        rates = [float(FPS_LINE.match(l).group(1)) for l in lines if FPS_LINE.match(l)]
        other = [l for l in lines if not FIRST_LINE.match(l) and not FPS_LINE.match(l)]
        print(f"{label}: {frames} frames in {took:.2f} s; {first}; rates {rates}", flush=True)
        failures.check(len(first) == 1, f"{label}: {len(first)} 'first frame after' lines")
        failures.check(not other, f"{label}: other lines on stderr: {other[:5]}")
        failures.check(rates and len(rates) <= took + 1, f"{label}: rates {rates} over {took:.1f} s, expected one a second")
        return took, rates
    finally:
        run.close()


def options(b, failures):
    paced = fps_run(b, failures, "paced", 75, {})
    if paced:
        took, rates = paced
        failures.check(took >= 2.3, f"paced: 75 frames took only {took:.2f} s (not paced to 30 a second)")
        failures.check(rates and all(20 <= r <= 33 for r in rates), f"paced: rates {rates}, expected about 30")
    free = fps_run(b, failures, "VORLUNE_PACING=0", 400, {"VORLUNE_PACING": "0"})
    if free:
        failures.check(free[1] and max(free[1]) >= 40, f"VORLUNE_PACING=0: rates {free[1]}, expected above 40")
    run = x.Vorlune(b, ["-display", x.display_of(b), "-geometry", "160x120"], {"VORLUNE_FRAMES": "10"}, unset=("DISPLAY",))
    try:
        failures.check(run.wait_exit(x.END_LIMIT) is not None and run.exit_code() == 0,
                       f"-display without $DISPLAY: {run.describe()}")
    finally:
        run.close()


CASES = {
    "picture": picture,
    "new_pattern": new_pattern,
    "keys": keys,
    "escape": lambda b, f: e2e.ends_on(x.started(b, f, "Escape"), f, "Escape", e2e.tap("Escape"),
                                       trails_limit=x.START_LIMIT),
    "mouse": lambda b, f: e2e.ends_on(x.started(b, f, "move of 30"), f, "move of 30", e2e.move(30, 0), e2e.SMALL_MOVES,
                                      trails_limit=x.START_LIMIT),
    "click": lambda b, f: e2e.ends_on(x.started(b, f, "click"), f, "click", e2e.click, trails_limit=x.START_LIMIT),
    "geometry": geometry,
    "options": options,
}

if __name__ == "__main__":
    sys.exit(x.run_cases("x11_window", CASES))
