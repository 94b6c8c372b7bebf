#!/usr/bin/env bash
# Starts the test display (Xvfb) and the build's Wine prefix; tests/wine/stop.sh undoes it.
# Usage: start.sh BUILD_DIR [WIDTHxHEIGHT[xDEPTH]]   (depth 24 unless given)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh" "$1"
size=${2:-1024x768}
mkdir -p "$VORLUNE_WINE_DIR" "$HOME"
printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' > "$HOME/.asoundrc"

# A stale display of an earlier run of this build is stopped first.
"$here/stop.sh" "$1" >/dev/null 2>&1 || true

n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
case $size in *x*x*) geometry=$size ;; *) geometry=${size}x24 ;; esac
Xvfb ":$n" -screen 0 "$geometry" -nolisten tcp -ac >"$VORLUNE_WINE_DIR/xvfb.log" 2>&1 &
echo $! > "$VORLUNE_WINE_DIR/xvfb.pid"
echo "$n" > "$VORLUNE_WINE_DIR/display"
export DISPLAY=":$n"
for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X$n" ] && break
  sleep 0.1
done
[ -e "/tmp/.X11-unix/X$n" ] || { echo "Xvfb did not start on :$n" >&2; cat "$VORLUNE_WINE_DIR/xvfb.log" >&2; exit 1; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating Wine prefix $WINEPREFIX"
  "$WINE" wineboot -i >/dev/null 2>&1 || true
  "$WINESERVER" -w
fi
[ -f "$WINEPREFIX/system.reg" ] || { echo "Wine prefix was not created" >&2; exit 1; }
# Both halves: a prefix made before Wine's 32-bit half was installed lacks syswow64, and 32-bit
# programs end at once there. Where this machine can run them, the prefix is completed.
if [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] && "$here/can_run32.sh" >/dev/null; then
  echo "completing Wine prefix $WINEPREFIX with its 32-bit half"
  "$WINE" wineboot -u >/dev/null 2>&1 || true
  "$WINESERVER" -w
  [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] || { echo "Wine prefix has no 32-bit half after wineboot -u" >&2; exit 1; }
fi
# A persistent server saves every test the server's start-up. It must not hold the caller's output
# open, or ctest waits for it for ever.
"$WINESERVER" -p </dev/null >/dev/null 2>&1
# Wine's services (services.exe, winedevice.exe...) live as long as the server and keep the stdio of
# the program that started them: start them here, detached, rather than inside the first test.
"$WINE" wineboot </dev/null >/dev/null 2>&1 || true
# The test display has no window manager. Wine treats a full-screen or activated window as managed
# by one, and when such a window is hidden it waits 2 s for the manager to withdraw it: every
# saver's exit would take 2 s longer. The windows of Vorlune.scr and of the start-up, preview and
# display tests are therefore left unmanaged.
for program in Vorlune.scr app_tests.exe display_tests.exe; do
  if ! grep -qF "AppDefaults\\\\$program\\\\X11 Driver" "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$WINE" reg add "HKCU\\Software\\Wine\\AppDefaults\\$program\\X11 Driver" /v Managed /d N /f \
      </dev/null >/dev/null 2>&1 || true
  fi
done
echo "display :$n, prefix $WINEPREFIX"
