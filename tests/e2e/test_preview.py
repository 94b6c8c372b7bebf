#!/usr/bin/env python3
"""The preview as the screensaver host runs it: Vorlune.scr started by host.exe with "/p" and the
handle of a host window (decimal or "$" hexadecimal) makes one child window exactly over the host's
client area and shows the preview picture scaled into it (compared with app/assets/preview.png
scaled by ImageMagick), keys and the mouse do not end it, WM_CLOSE to the child ends it with exit
code 0 within a second, a handle naming no window and a destroyed host end it with 0 as well, and
ten previews in a row leave no process behind.

Usage: test_preview.py BUILD_DIR [CASE...]"""
import os
import re
import subprocess
import sys
import time

from vorlune_e2e import (TOP, Failures, Host, run_cases, no_processes_left,
                         our_processes, parse_line, run_host, save_png, screenshot, windows_named, xdotool)

HOST_TITLE = "Vorlune test host"
PREVIEW_PNG = os.path.join(TOP, "app", "assets", "preview.png")
DISPLAY_SIZE = (1024, 768)
CLOSE_LIMIT = 1.0           # seconds from WM_CLOSE to the end of the process
START_LIMIT = 60            # seconds for Wine to start the host and the saver (loaded machines)
# Tolerance for the scaling filter (GDI's halftone against ImageMagick's box average): the picture
# has sharp, spiky edges that the two filters blur a little differently. A missing picture (the
# host's grey) differs by about 100 levels; a misplaced one by about the picture's brightness.
MAD_LIMIT = 6.0


def expected_picture(width, height):
    """preview.png scaled to width x height by area averaging: 8-bit RGB rows, top-down."""
    done = subprocess.run(["convert", PREVIEW_PNG, "-scale", f"{width}x{height}!", "-depth", "8", "rgb:-"],
                          capture_output=True, timeout=60, check=True)
    assert len(done.stdout) == width * height * 3
    return done.stdout


def host_client_area(build_dir):
    """(x, y, width, height) of the host window's client area on the display. Without a window
    manager Wine's X window of a top-level window is its client area."""
    found = windows_named(build_dir, HOST_TITLE)
    if not found:
        return None
    out = xdotool(build_dir, "getwindowgeometry", found[-1])
    if not out:
        return None
    position = re.search(r"Position:\s*(-?\d+),(-?\d+)", out)
    size = re.search(r"Geometry:\s*(\d+)x(\d+)", out)
    if not position or not size:
        return None
    return int(position.group(1)), int(position.group(2)), int(size.group(1)), int(size.group(2))


def compare(shot, x, y, width, height, expected):
    """(mean absolute difference per channel, mean level shown, mean level expected) of the
    display's width x height area at (x, y) against the expected picture."""
    data = shot.data
    total = shown_sum = expected_sum = 0
    for row in range(height):
        start = 3 * ((y + row) * shot.width + x)
        got = data[start:start + 3 * width]
        want = expected[3 * row * width:3 * (row + 1) * width]
        total += sum(abs(a - b) for a, b in zip(got, want))
        shown_sum += sum(got)
        expected_sum += sum(want)
    n = 3 * width * height
    return total / n, shown_sum / n, expected_sum / n


def best_match(shot, area, expected):
    """compare() at the client area, allowing a pixel or two of doubt about its position."""
    x, y, width, height = area
    best = None
    for dy in (0, -1, 1, -2, 2):
        for dx in (0, -1, 1, -2, 2):
            if x + dx < 0 or y + dy < 0 or x + dx + width > shot.width or y + dy + height > shot.height:
                continue
            result = compare(shot, x + dx, y + dy, width, height, expected)
            if best is None or result[0] < best[0]:
                best = result
            if result[0] < MAD_LIMIT:
                return result
    return best


def wait_for_picture(build_dir, area, expected, timeout):
    """Screenshots until the client area shows the expected picture; the last comparison and shot."""
    end = time.time() + timeout
    result, shot = None, None
    while True:
        shot = screenshot(build_dir, *DISPLAY_SIZE)
        result = best_match(shot, area, expected)
        if result and result[0] < MAD_LIMIT or time.time() > end:
            return result, shot
        time.sleep(0.5)


def picture_ok(result):
    if not result:
        return False
    mad, shown, wanted = result
    return mad < MAD_LIMIT and abs(shown - wanted) <= 0.1 * wanted + 1


def lines_of(host):
    return [parse_line(l) for l in host.lines()]


def line_seen(host, kind):
    for k, fields in lines_of(host):
        if k == kind:
            return fields
    return None


def saver_running(build_dir):
    return any("vorlune.scr" in command.lower() for _, command in our_processes(build_dir, ("vorlune.scr",)))


def close_and_time(build_dir, host, child):
    """Posts WM_CLOSE to the child from a second host.exe; (seconds from the post to the saver's
    exit as the first host saw it, exit fields) or (None, None) when it did not end in 15 s."""
    closer = Host(build_dir, ["close", child])
    posted = ended = None
    end = time.time() + START_LIMIT
    while time.time() < end:
        now = time.time()
        if posted is None and line_seen_in(closer, "closed"):
            posted = now
        exit_fields = line_seen(host, "exit")
        if exit_fields is not None:
            ended = now
            if posted is None:
                posted = now
            break
        if posted is not None and now - posted > 15:
            break
        time.sleep(0.02)
    closer.finish(60)
    if ended is None:
        return None, None
    return ended - posted, line_seen(host, "exit")


def wait_for_text(host, text, timeout):
    end = time.time() + timeout
    while time.time() < end:
        if any(l.startswith(text) for l in host.lines()):
            return True
        if host.process.poll() is not None:
            break
        time.sleep(0.02)
    return None


def line_seen_in(host, kind):
    return line_seen(host, kind) is not None


def check_preview_in(build_dir, failures, width, height, handle_form, keep_shot=None):
    """One host window of width x height, the preview in it, keys and mouse, then WM_CLOSE.
    The host window's handle, for later use as a handle that names no window."""
    name = f"{width}x{height} {handle_form}"
    host = Host(build_dir, ["window", str(width), str(height), "start", f"/p {handle_form}",
                            "child", str(START_LIMIT * 1000), "wait", "300000"])
    try:
        window = host.wait_for_line("window", START_LIMIT)
        child = host.wait_for_line("child", START_LIMIT)
        if not failures.check(window and child, f"{name}: a host window and a child of it\n{host.lines()}"):
            return window.get("hwnd") if window else None
        failures.check(window.get("client") == f"{width},{height}", f"{name}: host client area {window}")
        failures.check(child.get("saver") == "1", f"{name}: the child belongs to the saver: {child}")
        failures.check(child.get("rect") == f"0,0,{width},{height}" and child.get("client") == f"0,0,{width},{height}",
                       f"{name}: the child lies exactly over the client area: {child}")
        failures.check(child.get("children") == "1", f"{name}: one child window: {child}")

        area = host_client_area(build_dir)
        if not failures.check(area and area[2:] == (width, height), f"{name}: the host's client area on the display: {area}"):
            return window.get("hwnd")
        expected = expected_picture(width, height)
        result, shot = wait_for_picture(build_dir, area, expected, START_LIMIT)
        failures.check(picture_ok(result), f"{name}: the preview picture scaled into the child window "
                                           f"(mean difference, level shown, level expected: {result})")
        print(f"{name}: picture compared (mean difference, level shown, level expected): {result}", flush=True)
        if keep_shot and shot:
            save_png(shot, keep_shot)

        # Keys and the mouse over the preview do not end it.
        x, y = area[0], area[1]
        host_x = windows_named(build_dir, HOST_TITLE)
        if host_x:
            xdotool(build_dir, "windowfocus", host_x[-1])
        xdotool(build_dir, "mousemove", x + width // 2, y + height // 2)
        for key in ("a", "Escape", "Return", "space", "s"):
            xdotool(build_dir, "key", key)
        xdotool(build_dir, "keydown", "Escape")
        time.sleep(0.3)
        xdotool(build_dir, "keyup", "Escape")
        for dx, dy in ((30, 0), (0, 25), (-40, -20), (15, 15)):
            xdotool(build_dir, "mousemove_relative", "--", dx, dy)
            time.sleep(0.05)
        xdotool(build_dir, "click", "1")
        time.sleep(1.5)
        failures.check(line_seen(host, "exit") is None and saver_running(build_dir),
                       f"{name}: still running after keys and mouse movement")
        result = best_match(screenshot(build_dir, *DISPLAY_SIZE), area, expected)
        failures.check(picture_ok(result), f"{name}: the picture is still shown after keys and mouse: {result}")

        seconds, exit_fields = close_and_time(build_dir, host, child["hwnd"])
        failures.check(exit_fields is not None and exit_fields.get("code") == "0",
                       f"{name}: WM_CLOSE to the child ends the saver with exit code 0: {exit_fields}")
        if seconds is not None:
            print(f"{name}: ended {seconds:.2f} s after WM_CLOSE", flush=True)
            failures.check(seconds <= CLOSE_LIMIT, f"{name}: ended within {CLOSE_LIMIT} s of WM_CLOSE ({seconds:.2f} s)")
        return window.get("hwnd")
    finally:
        run = host.finish(10)
        failures.check(not run.failures(), f"{name}: host commands failed\n{run}")


def check_destroyed_host(build_dir, failures):
    host = Host(build_dir, ["window", "400", "300", "start", "/p {host}", "child", str(START_LIMIT * 1000),
                            "sleep", "3000", "destroy", "wait", "300000"])
    try:
        child = host.wait_for_line("child", START_LIMIT)
        failures.check(child is not None, "destroyed host: the preview made its child window")
        destroyed = wait_for_text(host, "ok destroy", START_LIMIT)
        start = time.time()
        exit_fields = host.wait_for_line("exit", 30)
        seconds = time.time() - start
        failures.check(destroyed is not None and exit_fields is not None and exit_fields.get("code") == "0",
                       f"destroyed host: the saver ends with exit code 0: {exit_fields}")
        if exit_fields is not None:
            print(f"destroyed host: ended {seconds:.2f} s after the host was destroyed", flush=True)
            failures.check(seconds <= 5, f"destroyed host: ended soon after ({seconds:.2f} s)")
    finally:
        run = host.finish(120)
        failures.check(not run.failures(), f"destroyed host: host commands failed\n{run}")


def check_no_such_window(build_dir, failures, stale_handle):
    for argument in (f"/p {stale_handle}", f"/P ${int(stale_handle):X}"):
        start = time.time()
        run = run_host(build_dir, "start", argument, "wait", "60000", timeout=180)
        seconds = time.time() - start
        exit_fields = run.first("exit")
        failures.check(exit_fields is not None and exit_fields.get("code") == "0" and not run.failures(),
                       f"{argument} (a window that no longer exists): the saver ends with exit code 0\n{run}")
        print(f"{argument}: host and saver done in {seconds:.2f} s", flush=True)


def check_ten_in_a_row(build_dir, failures):
    start = time.time()
    for i in range(10):
        run = run_host(build_dir, "window", "152", "112", "start", "/p {host}", "child", str(START_LIMIT * 1000),
                       "sleep", "200", "close", "child", "wait", "30000", timeout=180)
        exit_fields = run.first("exit")
        failures.check(exit_fields is not None and exit_fields.get("code") == "0" and not run.failures(),
                       f"preview {i + 1} of 10 opened and closed with exit code 0\n{run}")
    print(f"ten previews in {time.time() - start:.1f} s", flush=True)
    no_processes_left(build_dir, failures)


def stale_handle(build_dir):
    """The handle of a host window that no longer exists."""
    run = run_host(build_dir, "window", "100", "80", timeout=120)
    window = run.first("window")
    return window.get("hwnd") if window else None


def no_such_window(build_dir, failures):
    stale = stale_handle(build_dir)
    if failures.check(stale is not None, "a host window could be made (for a handle that names no window)"):
        check_no_such_window(build_dir, failures, stale)


CASES = {
    "decimal_400x300": lambda b, failures: check_preview_in(b, failures, 400, 300, "{host}",
                                                            keep_shot=os.path.join(b, "preview-e2e.png")),
    "hex_152x112": lambda b, failures: check_preview_in(b, failures, 152, 112, "{hosthex}"),
    "destroyed_host": check_destroyed_host,
    "no_such_window": no_such_window,
    "ten_in_a_row": check_ten_in_a_row,
}

if __name__ == "__main__":
    sys.exit(run_cases("test_preview", CASES))
