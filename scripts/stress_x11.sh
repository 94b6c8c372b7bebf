#!/usr/bin/env bash
# Stress run of the Linux program under XScreenSaver: the real daemon, on a private Xvfb display
# with vorlune as its only saver, is made to activate and deactivate CYCLES times (default 100).
# Every cycle must start the program, end it with exit code 0 and leave no process and no X client
# or resource behind (xrestop's counts); every 10th activation must show the saver's trails; the
# daemon must still answer at the end. Prints a line a cycle, the median and longest activation,
# deactivation and cycle times, the leftover counts and a PASS or FAIL line; exit code 0 on PASS.
# Usage: scripts/stress_x11.sh [CYCLES] [--picture-every N]
# Builds preset linux (build/linux) if needed; VORLUNE_BUILD_DIR names another build directory of
# that preset. The display and the daemon's log live under <build>/stress-x11. The daemon launches
# nothing for root: as root it runs as the user vorlune-test (made when missing).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build=${VORLUNE_BUILD_DIR:-$top/build/linux}
[ -f "$build/CMakeCache.txt" ] || cmake --preset linux -B "$build" >/dev/null
if ! built=$(cmake --build "$build" -j2 --target vorlune 2>&1); then echo "$built" >&2; exit 1; fi
cycles=100
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then cycles=$1; shift; fi
exec python3 "$top/tests/e2e/stress_x11.py" "$build" --cycles "$cycles" "$@"
