#!/usr/bin/env bash
# Starts a private Xvfb display for a native build's X11 tests: BUILD/xvfb/display holds ":N".
# The tests read it (tests/x11/with_display.sh, or DisplayForTests in C++).
set -euo pipefail
build=$1
dir="$build/xvfb"
mkdir -p "$dir"
"$(dirname "$0")/stop.sh" "$build" >/dev/null 2>&1 || true
for n in $(seq 140 199); do
  [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/pid"
  for _ in $(seq 50); do
    if xdpyinfo -display ":$n" >/dev/null 2>&1; then echo ":$n" >"$dir/display"; echo "Xvfb :$n"; exit 0; fi
    kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
    sleep 0.1
  done
  kill "$(cat "$dir/pid")" 2>/dev/null || true
done
echo "start.sh: no Xvfb display could be started" >&2
exit 1
