#!/usr/bin/env bash
# Sets everything up, builds the native, linux, win32 and win64 presets and runs the whole test suite:
# native tests under AddressSanitizer and UndefinedBehaviorSanitizer, the Linux program's end-to-end
# tests on a private Xvfb (with XScreenSaver and valgrind), then the unit and end-to-end
# tests of both Windows builds under Wine on private Xvfb displays (the win32 build, the product,
# under Wine's 32-bit half). Ends with one line: ALL TESTS PASSED (...) or TESTS FAILED: ...; both
# say when the win32 runs were skipped because this machine cannot execute 32-bit programs.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
began=$(date +%s)
"$top/scripts/setup.sh" || { echo "TESTS FAILED: set-up did not complete"; exit 1; }

# Whether the product build can run here is found out now, not assumed; the tests find it out
# again themselves (and count as skipped in CTest's summary), this only words the last line.
win32_runs="win32 under Wine"
skipped=""
why=$(tests/wine/can_run32.sh)
if [ $? -eq 2 ]; then
  win32_runs="win32 checks"; skipped="; win32 runs SKIPPED: $why"
fi

status=0
failed=()
for preset in native linux win32 win64; do
  echo "== build $preset"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    failed+=("build $preset"); status=1
  fi
done
for preset in native linux win32 win64; do
  [[ " ${failed[*]:-} " == *" build $preset "* ]] && continue
  echo "== test $preset"
  if ! ctest --preset "$preset" --timeout 900; then
    failed+=("test $preset"); status=1
  fi
done
# Whatever happened, nothing of ours stays running.
for b in build/win32 build/win64; do
  [ -d "$b" ] && tests/wine/stop.sh "$b" >/dev/null 2>&1
done

took=$(( $(date +%s) - began ))
echo "test.sh: $((took / 60)) min $((took % 60)) s"
if [ $status -eq 0 ]; then
  echo "ALL TESTS PASSED (native, linux on Xvfb, $win32_runs, win64 under Wine)$skipped"
else
  echo "TESTS FAILED: ${failed[*]}$skipped"
fi
exit $status
