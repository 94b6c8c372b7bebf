#!/usr/bin/env bash
# Runs a Windows program of the build under its Wine prefix and display.
# Usage: run.sh BUILD_DIR PROGRAM [ARGS...]; the exit code is the program's.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh" "$1"
shift
[ -n "${DISPLAY:-}" ] || { echo "no test display: run tests/wine/start.sh first" >&2; exit 2; }
exec "$WINE" "$@"
