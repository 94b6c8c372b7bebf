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
preset=win32
args=()
for a in "$@"; do
  if [ "$a" = --win64 ]; then preset=win64; else args+=("$a"); fi
done
set -- "${args[@]}"
minutes=30
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then minutes=$1; shift; fi
"$top/scripts/setup.sh"
if [ $preset = win32 ] && ! why=$("$top/tests/wine/can_run32.sh"); then
  echo "soak: FAILED: the win32 build cannot run here: $why; --win64 runs the 64-bit build instead" >&2
  exit 1
fi
b=$(realpath -m "${VORLUNE_BUILD_DIR:-$top/build/$preset}")
# A directory configured otherwise would keep its compiler and get a mixed-up cache: refused.
toolchain=mingw-$([ $preset = win32 ] && echo i686 || echo x86_64).cmake
if [ -f "$b/CMakeCache.txt" ] && ! grep -q "^CMAKE_TOOLCHAIN_FILE:FILEPATH=.*/$toolchain\$" "$b/CMakeCache.txt"; then
  echo "soak: FAILED: $b is not a $preset build directory (its CMakeCache.txt names no $toolchain)" >&2
  exit 1
fi
cmake --preset $preset -B "$b" >/dev/null
cmake --build "$b" -j2 --target Vorlune host
run="$b/soak"
mkdir -p "$run"
cp "$b/Vorlune.scr" "$b/host.exe" "$run/"
echo "soak: the $preset build in $b"
trap '"$top/tests/wine/stop.sh" "$run" >/dev/null 2>&1' EXIT
# A signal ends the run at once, and the EXIT trap still stops the display and the Wine processes.
trap '[ -z "${py:-}" ] || kill "$py" 2>/dev/null; exit 143' INT TERM HUP
"$top/tests/wine/start.sh" "$run"
python3 "$top/tests/e2e/soak.py" "$run" --minutes "$minutes" "$@" &
py=$!
wait "$py"
