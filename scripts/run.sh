#!/usr/bin/env bash
# Sets everything up, builds the 64-bit saver and runs it under Wine. On the user's display when
# DISPLAY is set (and reachable); otherwise headless on Xvfb, saving a few screenshots and saying
# where they are, then ending the saver with Escape. Extra arguments go to the saver (default /s).
# VORLUNE_BUILD_DIR names the build directory (default build/win64);
# RUN_SHOTS screenshots (default 6) are taken RUN_SHOT_INTERVAL seconds apart (default 4).
# Exits with the saver's exit code.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/setup.sh"
b=$(realpath -m "${VORLUNE_BUILD_DIR:-build/win64}")
cmake --preset win64 -B "$b" >/dev/null
cmake --build "$b"
args=("$@"); [ ${#args[@]} -gt 0 ] || args=(/s)

if [ -n "${DISPLAY:-}" ] && ! xdpyinfo >/dev/null 2>&1; then
  echo "run: the display $DISPLAY cannot be reached; running headless instead"
  unset DISPLAY
fi
if [ -n "${DISPLAY:-}" ]; then
  # The environment of the build's Wine prefix, but on the user's display, even while a test run
  # of the same build has its own display up.
  user_display=$DISPLAY
  . tests/wine/env.sh "$b"
  export DISPLAY=$user_display
  mkdir -p "$HOME"; printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' > "$HOME/.asoundrc"
  [ -f "$WINEPREFIX/system.reg" ] || "$WINE" wineboot -i >/dev/null 2>&1
  exec "$WINE" "$b/Vorlune.scr" "${args[@]}"
fi

shots="$top/build/screenshots"
mkdir -p "$shots"
rm -f "$shots"/run-*.png
trap 'tests/wine/stop.sh "$b" >/dev/null 2>&1' EXIT
tests/wine/start.sh "$b"
. tests/wine/env.sh "$b"
"$WINE" "$b/Vorlune.scr" "${args[@]}" &
saver=$!
# Start-up under Wine takes a few seconds (more on a busy machine): wait for the saver's window
# (or the About box) before the first picture.
for _ in $(seq 120); do
  kill -0 $saver 2>/dev/null || break
  xdotool search --name "Vorlune Screensaver" >/dev/null 2>&1 && break
  sleep 0.5
done
shots_wanted=${RUN_SHOTS:-6}
for i in $(seq "$shots_wanted"); do
  sleep "${RUN_SHOT_INTERVAL:-4}"
  import -window root "$shots/run-$i.png" 2>/dev/null || true
done
# A held Escape ends the saver, and also closes the About box of /c. The keyboard is read once a
# frame, and frames are slow on a busy machine: hold it for a second, and try again if need be.
for _ in 1 2 3; do
  kill -0 $saver 2>/dev/null || break
  xdotool keydown Escape; sleep 1; xdotool keyup Escape
  for _ in $(seq 50); do kill -0 $saver 2>/dev/null || break; sleep 0.1; done
done
kill $saver 2>/dev/null || true
code=0; wait $saver 2>/dev/null || code=$?
for f in "$shots"/run-*.png; do
  [ -f "$f" ] && echo "$f: mean brightness $(convert "$f" -format '%[fx:mean]' info: 2>/dev/null || echo '?')"
done
echo "saver exited with $code; screenshots: $shots/run-1.png .. run-$shots_wanted.png"
exit $code
