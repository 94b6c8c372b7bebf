#!/usr/bin/env bash
# Stops the build's Wine processes and its Xvfb display.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh" "$1"
[ -d "$WINEPREFIX" ] && "$WINESERVER" -k 2>/dev/null
if [ -f "$VORLUNE_WINE_DIR/xvfb.pid" ]; then
  pid=$(cat "$VORLUNE_WINE_DIR/xvfb.pid")
  kill "$pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null
  rm -f "$VORLUNE_WINE_DIR/xvfb.pid" "$VORLUNE_WINE_DIR/display"
fi
exit 0
