#!/usr/bin/env bash
# Sets everything up, builds the 64-bit saver and runs it under Wine. On the user's display when
# DISPLAY is set; otherwise headless on Xvfb, saving a few screenshots and saying where they are.
# Extra arguments go to the saver (default /s).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/setup.sh"
cmake --preset win64 >/dev/null
cmake --build --preset win64
args=("$@"); [ ${#args[@]} -gt 0 ] || args=(/s)
b="$top/build/win64"
if [ -n "${DISPLAY:-}" ]; then
  export VORLUNE_KEEP_DISPLAY=1
  . tests/wine/env.sh "$b"
  mkdir -p "$HOME"; printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' > "$HOME/.asoundrc"
  [ -f "$WINEPREFIX/system.reg" ] || "$WINE" wineboot -i >/dev/null 2>&1
  exec "$WINE" "$b/Vorlune.scr" "${args[@]}"
fi
shots="$top/build/screenshots"
mkdir -p "$shots"
trap 'tests/wine/stop.sh "$b" >/dev/null 2>&1' EXIT
tests/wine/start.sh "$b"
. tests/wine/env.sh "$b"
"$WINE" "$b/Vorlune.scr" "${args[@]}" &
saver=$!
for i in 1 2 3 4; do
  sleep 3
  import -window root "$shots/run-$i.png" 2>/dev/null || true
done
# A held Escape ends the saver, and also closes the About box of /c.
if kill -0 $saver 2>/dev/null; then
  xdotool keydown Escape; sleep 0.4; xdotool keyup Escape
fi
for _ in $(seq 50); do kill -0 $saver 2>/dev/null || break; sleep 0.1; done
kill $saver 2>/dev/null || true
code=0; wait $saver 2>/dev/null || code=$?
echo "saver exited with $code; screenshots: $shots/run-1.png .. run-4.png"
