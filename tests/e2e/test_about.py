#!/usr/bin/env python3
"""The About box: "/c", "C", "/C", "c" and "/c:1234" show it with the exact caption and text; it
stays open until OK is pressed, and then the saver ends with exit code 0."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vorlune_e2e as e2e


def about(switch):
    def case(b, failures):
        run = e2e.run_host(b, "start", switch, "findbox", "20000", "wait", "500", "press", "5000",
                           "wait", "20000", "kill")
        print(run, flush=True)
        box = run.first("box")
        if failures.check(box is not None, f"{switch}: no message box appeared"):
            failures.check(box["caption"] == e2e.ABOUT_CAPTION,
                           f"{switch}: caption {box['caption']!r}, expected {e2e.ABOUT_CAPTION!r}")
            failures.check(box["text"] == e2e.ABOUT_TEXT,
                           f"{switch}: text {box['text']!r}, expected {e2e.ABOUT_TEXT!r}")
        exits = run.find("exit")
        failures.check(len(exits) == 2 and exits[0] == {},
                       f"{switch}: the saver did not stay open while the box was shown")
        failures.check(run.first("pressed") is not None, f"{switch}: OK could not be pressed")
        failures.check(len(exits) == 2 and exits[1].get("code") == "0",
                       f"{switch}: no exit code 0 after OK")
        failures.check(not run.failures(), f"{switch}: host reported {run.failures()}")
    return case


CASES = {"slash_c": about("/c"), "bare_C": about("C"), "slash_C": about("/C"), "bare_c": about("c"),
         "slash_c_colon_number": about("/c:1234")}

if __name__ == "__main__":
    sys.exit(e2e.run_cases("test_about", CASES))
