#!/usr/bin/env python3
"""The full-screen saver as a user meets it, on a 1024 x 768 test display.

- "/s" shows, within a few seconds, coloured glowing trails on black with white dots falling
  behind them. The first pattern starts where every pattern starts (below and to the right of
  the centre); over the run the trails' light is centred on the screen's centre; the picture
  moves and the dots fall.
- About every 15 s a new pattern begins: a burst of new light in the start zone, larger than
  anything the running pattern made there in the ten seconds before.
- S held hides the dots (and shows them again), Return held does not end the saver; any other
  key held ends it with exit code 0; Escape ends it even together with S.
- A mouse move of 5 does not end it, one of 30 does; a click ends it.
- Without a sound device (a HOME with no ALSA configuration) every command line, "/c" included,
  shows the "Error" box, and OK ends the program with exit code 0.

The pattern has no rotational symmetry in general: the 20 emitters share their speeds and differ
only in the second phase angle, so at any moment they sit on an arc of one circle of radius R
whose centre moves on the sum of two unit circles. What holds for every pattern is checked: its
start pose, and that its light averages out around the screen's centre over many frames.

Screenshots of the first pattern and of the star field toggled off are kept in
<build>/e2e-saver/ for a person to look at."""
import math
import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e

W, H = 1024, 768
CENTRE = (W // 2 + 8, H // 2 + 7)    # the screen centre plus the sparkle's place in its sprite
START_LIMIT = 90                      # seconds until the saver's window appears (loaded machines)
END_LIMIT = 8.0                       # seconds from a key or mouse action to the end of the process
PATTERN_PERIOD = 15.0


def start_saver(b, failures, label, args=("/s",)):
    saver = e2e.Saver(b, list(args), env=e2e.SINGLE_THREADED_D3D)
    window = saver.wait_window(START_LIMIT)
    if not failures.check(window is not None, f"{label}: no '{e2e.SAVER_TITLE}' window within {START_LIMIT} s "
                                              f"(exit code {saver.exit_code()}, output {saver.output()!r})"):
        saver.finish()
        return None
    print(f"{label}: window {window} after {time.time() - saver.started:.1f} s", flush=True)
    failures.check(saver.focus(), f"{label}: the saver's window did not get the keyboard focus")
    return saver


def wait_for_pattern(b, saver, limit=60):
    """The first screenshot that shows trails, or None."""
    end = time.time() + limit
    while time.time() < end and saver.alive():
        picture = e2e.Picture(e2e.screenshot(b, W, H))
        if len(picture.coloured) >= 200:
            return picture
        time.sleep(0.2)
    return None


def end_check(saver, failures, label, took):
    """The saver ended within END_LIMIT with exit code 0."""
    if took is None:
        took = saver.wait_exit(END_LIMIT)
    failures.check(took is not None, f"{label}: the saver still ran {END_LIMIT} s later")
    code = saver.finish()
    if took is not None:
        print(f"{label}: ended after {took:.2f} s with exit code {code}", flush=True)
    failures.check(code == 0, f"{label}: exit code {code}, expected 0")


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
    saver = start_saver(b, failures, label)
    if not saver:
        return
    try:
        zone = e2e.StartZone(W, H)
        timeline = []          # (time, pixels of the start zone brightened since the previous shot)
        pictures = []          # full screenshots, analysed after the run
        previous = e2e.screenshot(b, W, H)
        birth = None
        next_picture = 0
        limit = time.time() + START_LIMIT
        while saver.alive():
            shot = e2e.screenshot(b, W, H)
            n = zone.brightened(previous, shot)
            previous = shot
            if birth is None:
                if n >= 30:
                    birth = shot.taken
                    pictures.append(shot)
                    next_picture = birth + 1.0
                elif time.time() > limit:
                    break
                continue
            timeline.append((shot.taken - birth, n))
            if shot.taken >= next_picture:
                pictures.append(shot)
                next_picture = shot.taken + 2.5
            if shot.taken - birth > 2 * PATTERN_PERIOD + 3.5:
                break
        if not failures.check(birth is not None, f"{label}: no trails appeared in the start zone"):
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
        check_new_patterns(timeline, failures, label)
        keyboard_checks(b, saver, failures, keep)
    finally:
        saver.finish()


def check_first_pattern(first, failures, label):
    """A new pattern starts from a1 = a3 = 0, a2 = i / d: right of and below the centre."""
    n = len(first.coloured)
    lower_right = sum(1 for x, y in first.coloured if x >= CENTRE[0] - 8 and y >= CENTRE[1] - 8)
    print(f"{label}: first pattern: {n} coloured pixels, {lower_right} below and right of the centre", flush=True)
    failures.check(n >= 100, f"{label}: the first pattern shows only {n} coloured pixels")
    failures.check(n and lower_right >= 0.8 * n,
                   f"{label}: the first pattern does not start below and right of the centre ({lower_right} of {n})")


def check_colours_and_stars(pictures, failures, label):
    counts = [len(p.coloured) for p in pictures]
    specks = [len(p.specks) for p in pictures]
    print(f"{label}: coloured pixels per shot {counts}; star dots {specks}", flush=True)
    failures.check(max(counts) >= 2000, f"{label}: never 2000 coloured pixels (at most {max(counts)})")
    shown = sum(1 for c in counts if c >= 200)
    failures.check(shown >= 0.7 * len(counts), f"{label}: trails visible in only {shown} of {len(counts)} shots")
    # 100 dots of 1 x 2 pixels; some hide behind the trails or share a place.
    failures.check(percentile(specks, 0.5) >= 50, f"{label}: too few white dots: {specks}")
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


def check_movement(pictures, failures, label):
    pairs = [(a, b) for a, b in zip(pictures, pictures[1:]) if len(a.coloured) >= 200 and len(b.coloured) >= 200]
    overlaps = [e2e.coloured_overlap(a, b) for a, b in pairs]
    print(f"{label}: overlap of the trails between shots 2.5 s apart: {[round(o, 2) for o in overlaps]}", flush=True)
    failures.check(pairs and all(o < 0.8 for o in overlaps), f"{label}: the trails did not move: {overlaps}")
    falls = [e2e.stars_fell(a, b) for a, b in zip(pictures, pictures[1:])]
    print(f"{label}: dots (staying, falling) between shots: {[(round(s, 2), round(m, 2)) for s, m in falls]}",
          flush=True)
    failures.check(falls and all(s <= 0.3 and m >= 0.3 for s, m in falls), f"{label}: the dots did not fall: {falls}")


def check_new_patterns(timeline, failures, label):
    """Each new pattern lights up its start arc at once (twenty sparkles in one frame); a running
    pattern only sweeps through the start zone. Looks for such a burst about 15 s and 30 s after
    the first pattern appeared, against what the zone saw in the ten seconds before. A pattern
    whose radius puts its start arc beyond the screen's edge shows no burst, so one of the two
    is enough; with no new patterns at all, neither window has one."""
    seen = []
    for n, (low, high) in enumerate(((12.5, 18.0), (27.5, 33.0)), 1):
        base = [v for t, v in timeline if low - 10.0 <= t < low - 0.5]
        window = [(t, v) for t, v in timeline if low <= t <= high]
        if not failures.check(base and window, f"{label}: no shots around new pattern {n}"):
            return
        threshold = max(60, 2 * percentile(base, 0.9))
        best = max(window, key=lambda tv: tv[1])
        print(f"{label}: new pattern {n}: largest burst in the start zone {best[1]} at {best[0]:.1f} s "
              f"(threshold {threshold}; before: 90th percentile {percentile(base, 0.9)}, most {max(base)})",
              flush=True)
        seen.append(best[1] >= threshold)
    failures.check(any(seen), f"{label}: no new pattern about 15 or 30 s after the first one")


def star_state(b, saver):
    picture = e2e.Picture(e2e.screenshot(b, W, H))
    return picture, len(picture.specks)


def toggle_stars(b, saver, want_visible, failures, label):
    """Holds S until the dots are in the wanted state. A hold toggles them once or, if long enough
    to span the 250 ms pause, twice, so short holds are tried first and repeated."""
    for hold in (0.15, 0.2, 0.3, 0.3, 0.5, 0.5, 0.8, 1.2):
        saver.hold(["s"], hold)
        time.sleep(0.6)
        if not saver.alive():
            failures.check(False, f"{label}: S ended the saver (exit code {saver.exit_code()})")
            return None
        picture, n = star_state(b, saver)
        if (n >= 40) == want_visible and (n <= 5) != want_visible:
            return picture
    failures.check(False, f"{label}: S did not {'show' if want_visible else 'hide'} the dots")
    return None


def keyboard_checks(b, saver, failures, keep):
    label = "/s keys"
    saver.focus()
    picture, n = star_state(b, saver)
    failures.check(n >= 40, f"{label}: only {n} dots before S")
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
    took = saver.hold_until_exit(["x"], END_LIMIT)
    end_check(saver, failures, f"{label}: X held", took)


def escape_with_s(b, failures):
    label = "/s Escape with S"
    saver = start_saver(b, failures, label)
    if not saver:
        return
    try:
        failures.check(wait_for_pattern(b, saver) is not None, f"{label}: no trails")
        took = saver.hold_until_exit(["s", "Escape"], END_LIMIT)
        end_check(saver, failures, label, took)
    finally:
        saver.finish()


def mouse_moves(b, failures):
    label = "/s mouse"
    saver = start_saver(b, failures, label)
    if not saver:
        return
    try:
        failures.check(wait_for_pattern(b, saver) is not None, f"{label}: no trails")
        for dx, dy in ((5, 0), (0, 5), (-5, 0)):
            e2e.xdotool(b, "mousemove_relative", "--", dx, dy)
            failures.check(alive_after(saver, 1.5), f"{label}: a move of ({dx}, {dy}) ended the saver")
        e2e.xdotool(b, "mousemove_relative", "--", 30, 0)
        end_check(saver, failures, f"{label}: move of 30", None)
    finally:
        saver.finish()


def mouse_click(b, failures):
    label = "/s click"
    saver = start_saver(b, failures, label)
    if not saver:
        return
    try:
        failures.check(wait_for_pattern(b, saver) is not None, f"{label}: no trails")
        failures.check(alive_after(saver, 1.0), f"{label}: the saver ended by itself")
        e2e.xdotool(b, "click", 1)
        end_check(saver, failures, label, None)
    finally:
        saver.finish()


def no_sound_device(b, failures):
    home = tempfile.mkdtemp(prefix="vorlune-nosound-")
    try:
        for args, window in ((["/s"], False), ([], False), (["/c"], False), (["C:\\x"], False),
                             (["/p", "{host}"], True)):
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


def main():
    b = e2e.build_dir_from_argv()
    failures = e2e.Failures("test_saver")
    keep = os.path.join(b, "e2e-saver")
    os.makedirs(keep, exist_ok=True)
    with e2e.WineSession(b):
        parts = sys.argv[2:] or ["picture", "escape", "mouse", "click", "nosound"]
        for part in parts:
            print(f"== {part}", flush=True)
            {"picture": lambda: pattern_run(b, failures, keep),
             "escape": lambda: escape_with_s(b, failures),
             "mouse": lambda: mouse_moves(b, failures),
             "click": lambda: mouse_click(b, failures),
             "nosound": lambda: no_sound_device(b, failures)}[part]()
            e2e.no_processes_left(b, failures)
    return failures.report()


if __name__ == "__main__":
    sys.exit(main())
