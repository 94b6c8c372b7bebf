#!/usr/bin/env python3
"""The saver on a desktop of another colour depth: a display of 16 bits per pixel (RGB 565), in a
Wine prefix and Xvfb display of its own under <build>/e2e-depth16. The full-screen saver opens at
the desktop's depth, draws its coloured trails and white dots, and a held key ends it with exit
code 0; the preview shows its picture in a host window and WM_CLOSE ends it."""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_preview
import vorlune_e2e as e2e

W, H = 1024, 768


class Desktop:
    """A scratch copy of the pair under test with its own display of the given depth."""

    def __init__(self, build_dir, depth):
        self.dir = os.path.join(build_dir, f"e2e-depth{depth}")
        self.depth = depth

    def __enter__(self):
        os.makedirs(self.dir, exist_ok=True)
        # The copies keep their names: the prefix's settings for Vorlune.scr apply to them too.
        shutil.copy(e2e.saver_program(os.path.dirname(self.dir)), os.path.join(self.dir, "Vorlune.scr"))
        shutil.copy(e2e.host_program(os.path.dirname(self.dir)), os.path.join(self.dir, "host.exe"))
        subprocess.run([os.path.join(e2e.WINE_DIR, "start.sh"), self.dir, f"{W}x{H}x{self.depth}"], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        return self.dir

    def __exit__(self, *exc):
        subprocess.run([os.path.join(e2e.WINE_DIR, "stop.sh"), self.dir], check=False, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def saver_at(depth):
    def case(b, failures):
        with Desktop(b, depth) as d:
            with e2e.saver_started(d, failures, f"{depth} bits") as saver:
                if not saver:
                    return
                best = None
                end = time.time() + 60
                while time.time() < end and saver.alive():
                    picture = e2e.Picture(e2e.screenshot(d, W, H))
                    if best is None or len(picture.coloured) > len(best.coloured):
                        best = picture
                    if len(picture.coloured) >= 200 and picture.specks:
                        break
                    time.sleep(0.3)
                coloured = len(best.coloured) if best else 0
                print(f"{depth} bits: {coloured} coloured pixels, {len(best.specks) if best else 0} dots", flush=True)
                failures.check(coloured >= 200, f"{depth} bits: the saver drew no trails ({coloured} coloured pixels)")
                failures.check(best is not None and best.dots_seen() >= 0.3,
                               f"{depth} bits: too few falling dots seen")
                if best:
                    e2e.save_png(best.shot, os.path.join(d, "saver.png"))
                failures.check(saver.focus(), f"{depth} bits: the saver's window did not get the keyboard focus")
                saver.ended_by(e2e.held(["x"], 30), failures, f"{depth} bits: a held key")
            test_preview.check_preview_in(d, failures, 400, 300, "{host}")
            e2e.no_processes_left(d, failures)
    return case


CASES = {"sixteen_bits": saver_at(16)}

if __name__ == "__main__":
    sys.exit(e2e.run_cases("test_depths", CASES))
