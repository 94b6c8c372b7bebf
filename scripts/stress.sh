#!/usr/bin/env bash
# Stress run: the real saver started and stopped CYCLES times (default 100) in each mode under Wine:
# "/s" ended by a held key, "/c" by the About box's OK, "/p" by WM_CLOSE from the host program. Every
# cycle must end with exit code 0 and leave no process behind. Prints per mode the cycles, passes,
# failures, median and longest cycle time, and a PASS or FAIL line; exit code 0 when all passed.
# Usage: scripts/stress.sh [CYCLES] [--win64] [--modes s,c,p] [--threaded]
# Runs the win32 build (the product; build/win32), or with --win64 the 64-bit build (build/win64);
# VORLUNE_BUILD_DIR names another directory for it. Builds it if needed, and runs in a Wine prefix
# and Xvfb display of its own under <build>/stress, stopped at the end whatever happens. Where this
# machine cannot execute 32-bit programs it says so and fails, unless --win64 is given.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
name=stress
. "$top/scripts/lib/saver_session.sh"
set -- "${args[@]}"
cycles=100
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then cycles=$1; shift; fi
python3 "$top/tests/e2e/stress.py" "$run" --cycles "$cycles" "$@" &
py=$!
wait "$py"
