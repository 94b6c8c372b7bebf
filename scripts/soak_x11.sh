#!/usr/bin/env bash
# Soak run of the Linux program: the saver's own loop (soak_saver: the program's start-up, the
# saver's set-up, frames and exit path, as XScreenSaver runs `vorlune -root`) draws for MINUTES
# (default 30) on a private Xvfb display and counts the live blocks and bytes of the program's heaps
# at every sample; the bare OpenGL loop (bench_gl_baseline) runs beside it on an Xvfb display of its
# own. Prints a table of samples and PASS when the heap counts at the end equal those of the first
# sample after the first pattern change, the saver's resident memory (reported beside the
# baseline's) grew by less than 16 MB, and SIGTERM ended it with exit code 0.
# Usage: scripts/soak_x11.sh [MINUTES | --minutes MINUTES] [--interval SECONDS] [--no-baseline]
#   --minutes 1   a quick try
#   --interval    seconds between samples (default 60, or a sixth of a shorter run, at least 5)
#   --no-baseline the saver alone
# Builds preset linux (build/linux) if needed; VORLUNE_BUILD_DIR names another build directory of
# that preset. The displays live under <build>/soak-x11 and are stopped at the end.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build=${VORLUNE_BUILD_DIR:-$top/build/linux}
[ -f "$build/CMakeCache.txt" ] || cmake --preset linux -B "$build" >/dev/null
if ! built=$(cmake --build "$build" -j2 --target soak_saver bench_gl_baseline 2>&1); then echo "$built" >&2; exit 1; fi
minutes=()
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then minutes=(--minutes "$1"); shift; fi
exec python3 "$top/tests/e2e/soak_x11.py" "$build" "${minutes[@]}" "$@"
