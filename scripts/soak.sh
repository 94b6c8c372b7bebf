#!/usr/bin/env bash
# Soak run: the full-screen saver ("/s") runs for MINUTES (default 30) under Wine while the resident
# memory of its process is sampled; PASS when it grew by less than 1 MB after the first minute and a
# held key ended it with exit code 0.
# Usage: scripts/soak.sh [MINUTES] [--win64] [--interval SECONDS] [--threaded]
#   --win64     the 64-bit build instead of the win32 build (the product)
#   --interval  seconds between samples (default 60; shorter for a quick check)
#   --threaded  Wine's default threaded Direct3D instead of the single-threaded one
# Runs build/win32, or build/win64 with --win64; VORLUNE_BUILD_DIR names another directory for it.
# Builds it if needed, and runs in a Wine prefix and Xvfb display of its own under <build>/soak,
# stopped at the end whatever happens. Where this machine cannot execute 32-bit programs it says so
# and fails, unless --win64 is given.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
name=soak
. "$top/scripts/lib/saver_session.sh"
set -- "${args[@]}"
minutes=30
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then minutes=$1; shift; fi
python3 "$top/tests/e2e/soak.py" "$run" --minutes "$minutes" "$@" &
py=$!
wait "$py"
