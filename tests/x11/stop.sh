#!/usr/bin/env bash
# Stops the private Xvfb display tests/x11/start.sh started for BUILD.
build=$1
dir="$build/xvfb"
[ -f "$dir/pid" ] || exit 0
pid=$(cat "$dir/pid")
kill "$pid" 2>/dev/null && for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
rm -f "$dir/pid" "$dir/display"
exit 0
