#!/usr/bin/env python3
"""Bounded stress run: the real saver started and stopped 10 times in each of "/s" (a held key),
"/c" (the About box's OK) and "/p" (WM_CLOSE from the host), every cycle ending with exit code 0
and no process left behind. scripts/stress.sh runs the long version."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stress
import vorlune_e2e as e2e

CYCLES = 10


def cycles_of(mode):
    def case(b, failures):
        # A process of an earlier test would be counted as left behind by the first cycle.
        left = stress.clear_leftovers(b)
        if left:
            print(f"note: processes of an earlier test were still running and were ended: {left}", flush=True)
        for result in stress.run(b, CYCLES, modes=mode, out=lambda s: print(s, flush=True)):
            failed = [r.reason for r in result.results if not r.ok]
            failures.check(result.passed, f"{stress.MODES[result.mode]}: {result.passes} of {CYCLES} cycles "
                                          f"passed; {failed[:3]}")
    return case


CASES = {"saver": cycles_of("s"), "about": cycles_of("c"), "preview": cycles_of("p")}

if __name__ == "__main__":
    sys.exit(e2e.run_cases("test_stress", CASES))
