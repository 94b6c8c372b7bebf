#!/usr/bin/env bash
# Sets everything up, builds the native, win32 and win64 presets and runs the whole test suite:
# native tests under AddressSanitizer and UndefinedBehaviorSanitizer, the win32 executable checks,
# and the win64 unit and end-to-end tests under Wine on a private Xvfb display.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/setup.sh" || { echo "TESTS FAILED: set-up did not complete"; exit 1; }

status=0
failed=()
for preset in native win32 win64; do
  echo "== build $preset"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    failed+=("build $preset"); status=1
  fi
done
for preset in native win32 win64; do
  [[ " ${failed[*]:-} " == *" build $preset "* ]] && continue
  echo "== test $preset"
  if ! ctest --preset "$preset" --timeout 900; then
    failed+=("test $preset"); status=1
  fi
done
# Whatever happened, nothing of ours stays running.
tests/wine/stop.sh build/win64 >/dev/null 2>&1

if [ $status -eq 0 ]; then
  echo "ALL TESTS PASSED (native, win32, win64)"
else
  echo "TESTS FAILED: ${failed[*]}"
fi
exit $status
