#!/usr/bin/env bash
# Makes the README's moving picture, docs/images/saver.webp, from real frames of the Linux program:
# vorlune full screen on a private 640 x 480 Xvfb whose screen is also a file (-fbdir), copied ten
# times a second for six seconds once the first pattern's trails are full, then shown at the same
# pace, looping. Usage: scripts/readme_picture.sh [OUT.webp]
# PICTURE_BUILD names the build of the linux preset to use (default build/linux, built if needed).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$top/docs/images/saver.webp}")
build=$(realpath -m "${PICTURE_BUILD:-$top/build/linux}")
width=640 height=480 rate=10 seconds=6 settle=5
"$top/scripts/setup.sh" >/dev/null
cmake --preset linux -B "$build" >/dev/null
cmake --build "$build" -j2 --target vorlune >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlune-picture.XXXXXX")
xvfb= saver=
cleanup() {
  [ -z "$saver" ] || kill "$saver" 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
for n in $(seq 200 259); do
  [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 "${width}x${height}x24" -fbdir "$scratch" -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 50); do xdpyinfo -display ":$n" >/dev/null 2>&1 && break 2; sleep 0.1; done
  kill "$xvfb" 2>/dev/null || true; xvfb=
done
[ -n "$xvfb" ] || { echo "readme_picture: FAILED: no Xvfb display could be started" >&2; exit 1; }

DISPLAY=":$n" "$build/vorlune" -fullscreen </dev/null >/dev/null 2>"$scratch/stderr" &
saver=$!
sleep "$settle"
kill -0 "$saver" 2>/dev/null || { echo "readme_picture: FAILED: vorlune ended: $(cat "$scratch/stderr")" >&2; exit 1; }
mkdir "$scratch/frames"
frames=$((rate * seconds))
start=$(date +%s.%N)
for i in $(seq -w 1 "$frames"); do
  cp "$scratch/Xvfb_screen0" "$scratch/frames/$i.xwd"
  # The next copy at its own time, whatever this one took.
  sleep "$(awk -v s="$start" -v i="$i" -v r="$rate" -v now="$(date +%s.%N)" 'BEGIN { d = s + i / r - now; print (d > 0 ? d : 0) }')"
done
kill "$saver"; wait "$saver" 2>/dev/null || true; saver=

mkdir -p "$(dirname "$out")"
convert -delay $((100 / rate)) -loop 0 "$scratch/frames/"*.xwd -alpha off -define webp:method=6 -quality 80 "$out"
lit=$(convert "$scratch/frames/$frames.xwd" -alpha off -format '%[fx:mean]' info:)
echo "readme_picture: $out: $frames frames of ${width}x${height}, $(stat -c %s "$out") bytes; last frame's mean brightness $lit"
