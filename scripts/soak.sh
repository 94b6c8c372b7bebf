#!/usr/bin/env bash
# Soak run: the saver's own loop (soak_saver.exe: the program's start-up, the saver's set-up, frames
# and exit path) runs full screen for MINUTES (default 30) under Wine and counts the live blocks and
# bytes of the program's heaps at every sample; the bare-platform baseline (bench_baseline.exe) runs
# beside it on a Wine prefix and display of its own. Prints a table of samples and PASS when the heap
# counts at the end equal those of the first sample after the first pattern change, the saver's
# resident memory (reported beside the baseline's) grew by less than 16 MB, and a held key ended it
# with exit code 0.
# Usage: scripts/soak.sh [MINUTES | --minutes MINUTES] [--win64] [--interval SECONDS] [--no-baseline] [--threaded]
#   --minutes 1   a quick try: about two minutes with the start-up of both Wine sessions
#   --win64       the 64-bit build instead of the win32 build (the product)
#   --interval    seconds between samples (default 60, or a sixth of a shorter run, at least 5)
#   --no-baseline the saver alone
#   --threaded    Wine's default threaded Direct3D instead of the single-threaded one
# Runs build/win32, or build/win64 with --win64; VORLUNE_BUILD_DIR names another directory for it.
# Builds it if needed, and runs in a Wine prefix and Xvfb display of its own under <build>/soak (the
# baseline's under <build>/soak/baseline), stopped at the end whatever happens. Where this machine
# cannot execute 32-bit programs it says so and fails, unless --win64 is given.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
name=soak
programs="soak_saver bench_baseline"
. "$top/scripts/lib/saver_session.sh"
trap '"$top/tests/wine/stop.sh" "$run/baseline" >/dev/null 2>&1; "$top/tests/wine/stop.sh" "$run" >/dev/null 2>&1' EXIT
set -- "${args[@]}"
minutes=()
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then minutes=(--minutes "$1"); shift; fi
python3 "$top/tests/e2e/soak.py" "$run" "${minutes[@]}" "$@" &
py=$!
wait "$py"
