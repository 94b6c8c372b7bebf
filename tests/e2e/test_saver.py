#!/usr/bin/env python3
"""The full-screen saver as a user meets it, on a 1024 x 768 test display.

- "/s" shows, within a few seconds, coloured glowing trails on black with white dots falling
  behind them. The first pattern starts where every pattern starts (below and to the right of
  the centre); over the run the trails' light is centred on the screen's centre; the picture
  moves and the dots fall.
- About every 15 s a new pattern begins: new light on one start arc below and right of the
  centre, far more than the running pattern put on any such arc in the seconds before.
- S held hides the dots (and shows them again), Return held does not end the saver; any other
  key held ends it with exit code 0; Escape ends it even together with S.
- A mouse move of 5 does not end it, one of 30 does; a click ends it. A click is a button held
  for a moment, as a hand holds it: the mouse is read as the sum of its events once a frame, so a
  press and a release that both fall between two reads leave the button up and are not seen.
- Every way out is timed, from the key, the move or the click to the end of the process; it must
  take at most EXIT_LATENCY (Escape with S held: plus the 250 ms pause S makes in a frame).
- Without a sound device (a HOME with no ALSA configuration) a command line of every mode ("/s",
  "/c", "/p" with a window) shows the "Error" box, and OK ends the program with exit code 0.

The pattern has no rotational symmetry in general: the 20 emitters share their speeds and differ
only in the second phase angle, so at any moment they sit on an arc of one circle of radius R
whose centre moves on the sum of two unit circles. What holds for every pattern is checked: its
start pose, and that its light averages out around the screen's centre over many frames.

Screenshots of the first pattern and of the star field toggled off are kept in
<build>/e2e-saver/ for a person to look at."""
import json
import math
import os
import re
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e

W, H = 1024, 768
CENTRE = (W // 2 + 8, H // 2 + 7)    # the screen centre plus the sparkle's place in its sprite
START_LIMIT = e2e.SAVER_START_LIMIT
END_LIMIT = e2e.END_LIMIT             # seconds within which a key or mouse action must end the saver at all
EXIT_LATENCY = 1.0                    # seconds it may take, from the action to the end of the process
S_PAUSE = 0.25                        # the saver's pause after a frame with S down
BRIGHT_BYTE = re.compile(rb"[\x28-\xff]")


def alive_after(saver, seconds):
    """True when the saver still runs after a few frames' time."""
    return saver.wait_exit(seconds) is None


def percentile(values, q):
    if not values:
        return 0
    values = sorted(values)
    return values[min(len(values) - 1, int(q * len(values)))]


def pattern_run(b, failures, keep):
    label = "/s picture"
    with e2e.saver_started(b, failures, label) as saver:
        if not saver:
            return
        zone = e2e.StartZone(W, H)
        timeline = []          # (time, pixels of the start zone brightened since the previous shot, arc votes)
        pictures = []          # full screenshots, analysed after the run
        previous = e2e.screenshot(b, W, H)
        birth = None
        next_picture = 0
        limit = time.time() + START_LIMIT
        while saver.alive():
            shot = e2e.screenshot(b, W, H)
            n = zone.brightened(previous, shot)
            votes = start_arc_votes(zone, previous, shot) if birth is not None else 0
            previous = shot
            if birth is None:
                # The first trail points, dim while they fade in, anywhere on the screen.
                coloured = len(e2e.Picture(shot).coloured)
                if coloured >= 30:
                    birth = shot.taken
                    if coloured >= 100:
                        pictures.append(shot)
                        next_picture = shot.taken + 1.0
                elif time.time() > limit:
                    break
                continue
            timeline.append((shot.taken - birth, n, votes))
            if not pictures:
                # The first shot that shows them well, or the last chance for one while the
                # pattern is still close to its start.
                if len(e2e.Picture(shot).coloured) >= 100 or shot.taken - birth > 1.0:
                    pictures.append(shot)
                    next_picture = shot.taken + 1.0
            elif shot.taken >= next_picture:
                pictures.append(shot)
                next_picture = shot.taken + 2.5
            if shot.taken - birth > NEW_PATTERN_TIMES[-1] + ONSET_SLACK + 1.0:
                break
        if not failures.check(birth is not None, f"{label}: no trails appeared"):
            return
        if not failures.check(saver.alive(), f"{label}: the saver ended by itself (exit code {saver.exit_code()})"):
            return
        print(f"{label}: first trails {birth - saver.started:.1f} s after the start; {len(timeline)} shots over "
              f"{timeline[-1][0]:.0f} s", flush=True)

        analysed = [e2e.Picture(s) for s in pictures]
        first = analysed[0]
        e2e.save_png(first.shot, os.path.join(keep, "first-pattern.png"))
        e2e.save_png(analysed[len(analysed) // 2].shot, os.path.join(keep, "later-pattern.png"))
        check_first_pattern(first, failures, label)
        check_colours_and_stars(analysed[1:], failures, label)
        check_centre(analysed[1:], failures, label)
        check_movement(analysed[1:], failures, label)
        with open(os.path.join(keep, "timeline.json"), "w") as f:
            json.dump(timeline, f)
        check_new_patterns(timeline, failures, label)
        keyboard_checks(b, saver, failures, keep)


def check_first_pattern(first, failures, label):
    """A new pattern starts from a1 = a3 = 0, a2 = i / d: right of and below the centre."""
    n = len(first.coloured)
    lower_right = sum(1 for x, y in first.coloured if x >= CENTRE[0] - 8 and y >= CENTRE[1] - 8)
    print(f"{label}: first pattern: {n} coloured pixels, {lower_right} below and right of the centre", flush=True)
    failures.check(n >= 100, f"{label}: the first pattern shows only {n} coloured pixels")
    # The first shot comes up to a second after the first frame, when a fast pattern (0.1 radian a
    # frame) has carried its newest points a good way round: 0.8 failed a correct saver once (0.79).
    # Most of the light still lies there, where any other pose puts about a quarter of it.
    failures.check(n and lower_right >= 0.6 * n,
                   f"{label}: the first pattern does not start below and right of the centre ({lower_right} of {n})")


def dark_share(shot):
    """Share of the screen that is black or nearly (every channel below 40); counting bright
    bytes, not pixels, errs towards less black."""
    return 1.0 - len(BRIGHT_BYTE.findall(shot.data)) / (shot.width * shot.height)


def check_colours_and_stars(pictures, failures, label):
    dark = [dark_share(p.shot) for p in pictures]
    print(f"{label}: black share of the screen per shot {[round(d, 2) for d in dark]}", flush=True)
    failures.check(min(dark) >= 0.6, f"{label}: the trails are not on a black screen: {dark}")
    counts = [len(p.coloured) for p in pictures]
    specks = [len(p.specks) for p in pictures]
    print(f"{label}: coloured pixels per shot {counts}; star dots {specks}", flush=True)
    failures.check(max(counts) >= 2000, f"{label}: never 2000 coloured pixels (at most {max(counts)})")
    shown = sum(1 for c in counts if c >= 200)
    failures.check(shown >= 0.7 * len(counts), f"{label}: trails visible in only {shown} of {len(counts)} shots")
    # 100 dots of 1 x 2 pixels spread over the screen; a dot counts only away from the trails, so
    # about 100 times the share of the screen the trails leave free can be seen.
    seen = [p.dots_seen() for p in pictures]
    print(f"{label}: dots seen per dot expected in the free part of the screen {[round(r, 2) for r in seen]}",
          flush=True)
    failures.check(percentile(seen, 0.5) >= 0.5, f"{label}: too few white dots: {specks}")
    for p in pictures:
        # The dots are grey-white: equal channels, as bright as their speed.
        bad = [v for _, _, v in p.specks if v < 40]
        failures.check(not bad, f"{label}: dots darker than the dimmest star: {bad}")


def check_centre(pictures, failures, label):
    """Every term of an emitter's position turns at a speed of at least 0.05 radians a frame, so
    over many frames and patterns the trails' light averages out around the centre. One pattern's
    light can lie well off it at any moment; the mean over the run must be near it."""
    centres = [p.centroid() for p in pictures if len(p.coloured) >= 200]
    if not failures.check(len(centres) >= 5, f"{label}: too few shots with trails to find their centre"):
        return
    mx = sum(c[0] for c in centres) / len(centres)
    my = sum(c[1] for c in centres) / len(centres)
    off = math.hypot(mx - CENTRE[0], my - CENTRE[1])
    print(f"{label}: mean centre of the trails ({mx:.0f}, {my:.0f}) over {len(centres)} shots, "
          f"{off:.0f} pixels from the screen's centre", flush=True)
    failures.check(off <= 160, f"{label}: the trails centre on ({mx:.0f}, {my:.0f}), not on the screen's centre")


def changed_share(a, b):
    """Share of the pixels coloured in either picture whose colour changed by 40 or more in a
    channel. A pattern can retrace one closed curve (its trails then cover much the same pixels),
    but the bright heads and the fading tails still move along it; a still picture changes none."""
    union = set(a.coloured) | set(b.coloured)
    if not union:
        return 0.0
    da, db, w = a.shot.data, b.shot.data, a.shot.width
    changed = 0
    for x, y in union:
        i = 3 * (y * w + x)
        if abs(da[i] - db[i]) >= 40 or abs(da[i + 1] - db[i + 1]) >= 40 or abs(da[i + 2] - db[i + 2]) >= 40:
            changed += 1
    return changed / len(union)


def check_movement(pictures, failures, label):
    pairs = [(a, b) for a, b in zip(pictures, pictures[1:]) if len(a.coloured) >= 200 and len(b.coloured) >= 200]
    overlaps = [e2e.coloured_overlap(a, b) for a, b in pairs]
    changes = [changed_share(a, b) for a, b in pairs]
    print(f"{label}: between shots 2.5 s apart, trails at the same place {[round(o, 2) for o in overlaps]}, "
          f"changed {[round(c, 2) for c in changes]}", flush=True)
    failures.check(pairs and all(c >= 0.15 for c in changes), f"{label}: the picture did not change: {changes}")
    falls = [e2e.stars_fell(a, b) for a, b in zip(pictures, pictures[1:])]
    print(f"{label}: dots (staying, falling) between shots: {[(round(s, 2), round(m, 2)) for s, m in falls]}",
          flush=True)
    # Dots that fall behind a big trail are lost to the second shot, so the share found elsewhere in
    # the same column is judged over all pairs; none may stay where it was.
    failures.check(falls and all(s <= 0.3 for s, _ in falls) and percentile([m for _, m in falls], 0.5) >= 0.5,
                   f"{label}: the dots did not fall: {falls}")


RADIUS_BINS = 48                  # of 8 pixels


def start_arc_votes(zone, before, after):
    """Votes of the start zone's newly lit pixels for the radius of a start arc. A new pattern's
    first trail points sit on a circle of radius R about (CentreX + R, CentreY + R); a pixel (u, v)
    from the centre lies on that circle for R = u + v - sqrt(2 u v). Each pixel that grew brighter
    by 40 or more votes for its R, in 8-pixel bins."""
    a, b, w = before.data, after.data, zone.width
    cx, cy = CENTRE
    bins = [0] * RADIUS_BINS
    for i in zone.offsets:
        if b[i] - a[i] >= 40 or b[i + 1] - a[i + 1] >= 40 or b[i + 2] - a[i + 2] >= 40:
            p = i // 3
            u, v = p % w - cx, p // w - cy
            r = u + v - math.sqrt(2 * u * v)
            # Only the part of the arc that every new pattern lights: its first emitter sits at
            # 1/18 to 1/8 radians on the circle, its twentieth beyond 1.1 radians.
            if r > 0 and -0.15 <= math.atan2(v - r, u - r) <= 1.2:
                k = int(r // 8)
                if k < RADIUS_BINS:
                    bins[k] += 1
    return bins


def arc_votes(bins, k):
    """Votes for the 16-pixel range of radii that starts at bin k."""
    return bins[k] + bins[k + 1]


NEW_PATTERN_TIMES = (15.0, 30.0, 45.0, 60.0)   # s after the first pattern appeared
ONSET_SLACK = 0.5       # s either side
ARC_VOTES = 20          # in each of at least two shots within 0.6 s of the onset


def arc_onset(timeline, low, high, away_from):
    """The strongest start arc that appears between low and high s: a range of radii (not within
    16 pixels of away_from) that gets ARC_VOTES or more in a shot and again within 0.6 s, after a
    second in which no neighbouring radius got half as many (a pattern sweeping through the zone
    comes in from neighbouring radii). Returns (peak votes, bin, time) or None."""
    best = None
    for i, (t, _, bins) in enumerate(timeline):
        if not low <= t <= high:
            continue
        earlier = [b for u, _, b in timeline[:i] if u >= t - 1.0]   # the shots are in time order
        for k in range(RADIUS_BINS - 1):
            if away_from is not None and abs(k - away_from) <= 2:
                continue
            if arc_votes(bins, k) < ARC_VOTES:
                continue
            soon = [arc_votes(later, k) for u, _, later in timeline[i:] if u <= t + 0.6]
            if sum(1 for v in soon if v >= ARC_VOTES) < 2:
                continue
            peak = max(soon)
            around = range(max(0, k - 3), min(RADIUS_BINS - 1, k + 4))
            before = [arc_votes(b, j) for b in earlier for j in around]
            if before and max(before) >= peak / 2:
                continue
            if best is None or peak > best[0]:
                best = (peak, k, t)
    return best


def check_new_patterns(timeline, failures, label):
    """A new pattern lights up a start arc at once: twenty sparkles on one circle below and right
    of the centre, of the new pattern's radius. A running pattern's emitters sit on such a circle
    of their own radius whenever it comes back to its start pose, so the first pattern's radius
    (read from its first 1.5 s) does not count. Close to 15, 30, 45 and 60 s after the first
    pattern appeared (both are seen after the same fade-in), a start arc must appear out of
    nothing. A new start arc lying beyond the screen's edge, or close to the old radius, shows
    none, so one of the four is enough. Patterns sweeping through the zone also make such
    onsets now and then, so this shows the timing only together with the timer's unit tests."""
    first = [0] * RADIUS_BINS
    for t, _, bins in timeline:
        if t <= 1.5:
            first = [x + y for x, y in zip(first, bins)]
    first_bin = max(range(RADIUS_BINS - 1), key=lambda k: arc_votes(first, k))
    print(f"{label}: first pattern's start arc: radius about {8 * first_bin + 8} "
          f"({arc_votes(first, first_bin)} votes over its first 1.5 s)", flush=True)
    seen = []
    for n, at in enumerate(NEW_PATTERN_TIMES, 1):
        if not failures.check(any(abs(t - at) <= ONSET_SLACK for t, _, _ in timeline),
                              f"{label}: no shots around new pattern {n}"):
            return
        onset = arc_onset(timeline, at - ONSET_SLACK, at + ONSET_SLACK, first_bin)
        if onset:
            peak, k, t = onset
            print(f"{label}: new pattern {n}: start arc of radius about {8 * k + 8} at {t:.1f} s "
                  f"({peak} votes)", flush=True)
        else:
            print(f"{label}: new pattern {n}: no start arc seen", flush=True)
        seen.append(onset is not None)
    failures.check(any(seen), f"{label}: no new pattern about 15, 30, 45 or 60 s after the first one")


def star_state(b, saver):
    """A screenshot and whether it shows the dots: True when at least half the dots expected in
    the part of the screen the trails leave free are seen, False when at most 5 are, else None."""
    picture = e2e.Picture(e2e.screenshot(b, W, H))
    n = len(picture.specks)
    if n <= 5:
        return picture, False
    return picture, (True if n >= 0.5 * picture.dots_expected() else None)


def toggle_stars(b, saver, want_visible, failures, label):
    """Holds S until the dots are in the wanted state. A hold toggles them once or, if long enough
    to span the 250 ms pause, twice, so short holds are tried first and repeated."""
    for hold in (0.15, 0.2, 0.3, 0.3, 0.5, 0.5, 0.8, 1.2):
        saver.hold(["s"], hold)
        time.sleep(0.6)
        if not saver.alive():
            failures.check(False, f"{label}: S ended the saver (exit code {saver.exit_code()})")
            return None
        picture, visible = star_state(b, saver)
        if visible == want_visible:
            return picture
    failures.check(False, f"{label}: S did not {'show' if want_visible else 'hide'} the dots")
    return None


def keyboard_checks(b, saver, failures, keep):
    label = "/s keys"
    saver.focus()
    picture, visible = star_state(b, saver)
    failures.check(visible, f"{label}: only {len(picture.specks)} dots before S")
    hidden = toggle_stars(b, saver, False, failures, label)
    if hidden:
        e2e.save_png(hidden.shot, os.path.join(keep, "stars-hidden.png"))
        print(f"{label}: S hid the dots ({len(hidden.specks)} left); trails still there "
              f"({len(hidden.coloured)} coloured pixels)", flush=True)
        failures.check(len(hidden.coloured) >= 100, f"{label}: the trails went with the dots")
    saver.hold(["Return"], 1.5)
    failures.check(alive_after(saver, 2.0), f"{label}: Return held ended the saver (exit code {saver.exit_code()})")
    # S still works after Return: the keyboard was being read all along.
    shown = toggle_stars(b, saver, True, failures, label)
    if shown:
        print(f"{label}: S showed the dots again ({len(shown.specks)})", flush=True)
    saver.ended_by(e2e.held(["x"]), failures, f"{label}: X held", EXIT_LATENCY)


def escape_with_s(b, failures):
    # S first, alone for a few frames (each toggles the dots and pauses 250 ms); the time runs from
    # Escape, which may come just as such a pause begins.
    label = "/s Escape with S"
    try:
        e2e.ends_on(e2e.saver_started(b, failures, label), failures, label, e2e.held(["Escape"]),
                    [("S alone", lambda saver: e2e.xdotool(b, "keydown", "s"))], EXIT_LATENCY + S_PAUSE)
    finally:
        e2e.xdotool(b, "keyup", "s")


def no_sound_device(b, failures):
    home = tempfile.mkdtemp(prefix="vorlune-nosound-")
    try:
        # One command line of each mode: saver, About box, preview. (No argument and "C:\x" choose
        # the saver as "/s" does; the mode tests run them.)
        for args, window in ((["/s"], False), (["/c"], False), (["/p", "{host}"], True)):
            label = f"no sound device, {' '.join(args) or 'no argument'}"
            commands = (["window", "400", "320"] if window else []) + [
                "start", " ".join(args), "findbox", "60000", "wait", "500", "press", "5000", "wait", "30000", "kill"]
            run = e2e.run_host(b, *commands, timeout=150, home=home)
            print(f"-- {label}\n{run}", flush=True)
            box = run.first("box")
            if failures.check(box is not None, f"{label}: no message box"):
                failures.check(box["caption"] == "Error", f"{label}: caption {box['caption']!r}")
                failures.check(box["text"] == e2e.DEVICE_ERROR, f"{label}: text {box['text']!r}")
            exits = run.find("exit")
            failures.check(len(exits) == 2 and exits[0] == {}, f"{label}: the program did not wait for OK")
            failures.check(run.first("pressed") is not None, f"{label}: OK could not be pressed")
            failures.check(len(exits) == 2 and exits[1].get("code") == "0", f"{label}: no exit code 0 after OK")
            failures.check(not run.failures(), f"{label}: host reported {run.failures()}")
            e2e.no_processes_left(b, failures)
    finally:
        shutil.rmtree(home, ignore_errors=True)


def keep_dir(b):
    keep = os.path.join(b, "e2e-saver")
    os.makedirs(keep, exist_ok=True)
    return keep


CASES = {"picture": lambda b, failures: pattern_run(b, failures, keep_dir(b)),
         "escape_with_s": escape_with_s,
         "mouse_moves": lambda b, f: e2e.ends_on(e2e.saver_started(b, f, "/s mouse"), f, "/s mouse: move of 30",
                                                 e2e.move(30, 0), e2e.SMALL_MOVES),
         "mouse_click": lambda b, f: e2e.ends_on(e2e.saver_started(b, f, "/s click"), f, "/s click", e2e.click),
         "no_sound_device": no_sound_device}

if __name__ == "__main__":
    sys.exit(e2e.run_cases("test_saver", CASES))
