#!/usr/bin/env bash
# Runs a Windows program of the build under its Wine prefix and display.
# Usage: run.sh BUILD_DIR PROGRAM [ARGS...]; the exit code is the program's, or 77 (skipped) for a
# 32-bit program on a machine whose kernel cannot execute 32-bit programs.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh" "$1"
shift
[ -n "${DISPLAY:-}" ] || { echo "no test display: run tests/wine/start.sh first" >&2; exit 2; }
if [ "$(pe_bits "$1")" = 32 ]; then
  why=$("$here/can_run32.sh")
  case $? in
    0) ;;
    2) echo "SKIPPED: $(basename "$1"): $why"; exit 77 ;;
    *) echo "FAIL: $(basename "$1"): $why"; exit 1 ;;
  esac
fi
wine_precheck "$1"
exec "$WINE" "$@"
