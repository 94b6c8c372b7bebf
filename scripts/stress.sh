#!/usr/bin/env bash
# Stress run: the real saver started and stopped CYCLES times (default 100) in each mode under Wine:
# "/s" ended by a held key, "/c" by the About box's OK, "/p" by WM_CLOSE from the host program. Every
# cycle must end with exit code 0 and leave no process behind. Prints per mode the cycles, passes,
# failures, median and longest cycle time, and a PASS or FAIL line; exit code 0 when all passed.
# Usage: scripts/stress.sh [CYCLES] [--modes s,c,p] [--threaded]
# Builds win64 (in $VORLUNE_BUILD_DIR, default build/win64) if needed, and runs in a Wine prefix and
# Xvfb display of its own under <build>/stress, stopped at the end whatever happens.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
cycles=100
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then cycles=$1; shift; fi
"$top/scripts/setup.sh"
b=$(realpath -m "${VORLUNE_BUILD_DIR:-$top/build/win64}")
cmake --preset win64 -B "$b" >/dev/null
cmake --build "$b" -j2 --target Vorlune host
run="$b/stress"
mkdir -p "$run"
cp "$b/Vorlune.scr" "$b/host.exe" "$run/"
trap '"$top/tests/wine/stop.sh" "$run" >/dev/null 2>&1' EXIT
# A signal ends the run at once, and the EXIT trap still stops the display and the Wine processes.
trap '[ -z "${py:-}" ] || kill "$py" 2>/dev/null; exit 143' INT TERM HUP
"$top/tests/wine/start.sh" "$run"
python3 "$top/tests/e2e/stress.py" "$run" --cycles "$cycles" "$@" &
py=$!
wait "$py"
