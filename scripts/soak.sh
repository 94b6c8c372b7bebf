#!/usr/bin/env bash
# Soak run: the full-screen saver ("/s") runs for MINUTES (default 30) under Wine while the resident
# memory of its process is sampled; PASS when it grew by less than 1 MB after the first minute and a
# held key ended it with exit code 0.
# Usage: scripts/soak.sh [MINUTES] [--interval SECONDS] [--threaded]
#   --interval  seconds between samples (default 60; shorter for a quick check)
#   --threaded  Wine's default threaded Direct3D instead of the single-threaded one
# Builds win64 (in $VORLUNE_BUILD_DIR, default build/win64) if needed, and runs in a Wine prefix and
# Xvfb display of its own under <build>/soak, stopped at the end whatever happens.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
minutes=30
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then minutes=$1; shift; fi
"$top/scripts/setup.sh"
b=$(realpath -m "${VORLUNE_BUILD_DIR:-$top/build/win64}")
cmake --preset win64 -B "$b" >/dev/null
cmake --build "$b" -j2 --target Vorlune host
run="$b/soak"
mkdir -p "$run"
cp "$b/Vorlune.scr" "$b/host.exe" "$run/"
trap '"$top/tests/wine/stop.sh" "$run" >/dev/null 2>&1' EXIT
# A signal ends the run at once, and the EXIT trap still stops the display and the Wine processes.
trap '[ -z "${py:-}" ] || kill "$py" 2>/dev/null; exit 143' INT TERM HUP
"$top/tests/wine/start.sh" "$run"
python3 "$top/tests/e2e/soak.py" "$run" --minutes "$minutes" "$@" &
py=$!
wait "$py"
