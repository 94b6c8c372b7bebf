#!/usr/bin/env bash
# Runs every libFuzzer target (<lib>/fuzz/<name>.cpp) in turn, one niced process at a time, for
# SECONDS_PER_TARGET seconds each (default 60), under AddressSanitizer and UndefinedBehaviorSanitizer.
# Each target starts from its committed seeds (<lib>/fuzz/corpus/<name without fuzz_>/, with
# <lib>/fuzz/<name without fuzz_>.dict when present); what it finds goes to a scratch corpus under
# the build directory, so the committed seeds stay as they are. Prints, per target, executions,
# executions per second, coverage and PASS or the crashing input; exits non-zero on any finding.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
#
# Environment: FUZZ_BUILD_DIR (default build/fuzz), FUZZ_RUNS (also stop after this many
# executions), FUZZ_FRESH=1 (start from the seeds alone, dropping the scratch corpus),
# FUZZ_MERGE_SEEDS=1 (afterwards add the scratch inputs that reach new code to the seeds).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

seconds=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]" >&2
  exit 2
fi
build=${FUZZ_BUILD_DIR:-build/fuzz}
runs=${FUZZ_RUNS:-}

# Every target with its library folder, in a fixed order.
declare -A lib_of=()
names=()
for src in */fuzz/*.cpp; do
  [ -f "$src" ] || continue
  name=$(basename "$src" .cpp)
  lib_of[$name]=${src%%/*}
  names+=("$name")
done
if [ $# -gt 0 ]; then
  for n in "$@"; do
    [ -n "${lib_of[$n]:-}" ] || { echo "no fuzz target named $n" >&2; exit 2; }
  done
  names=("$@")
fi
[ ${#names[@]} -gt 0 ] || { echo "no fuzz targets found" >&2; exit 2; }

echo "== build ${build} (fuzz preset): ${names[*]}"
if [ ! -f "$build/build.ninja" ]; then
  cmake --preset fuzz -B "$build" >/dev/null || { echo "FUZZING FAILED: configure"; exit 1; }
fi
nice -n 19 cmake --build "$build" -j2 --target "${names[@]}" >/dev/null ||
  { echo "FUZZING FAILED: build (run cmake --build $build to see why)"; exit 1; }

# UBSan reports are fatal in this build; say so to the run-time too, with stacks.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:print_stacktrace=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}

work="$build/fuzz-work"
status=0
summary=()
for name in "${names[@]}"; do
  lib=${lib_of[$name]}
  short=${name#fuzz_}
  seeds="$lib/fuzz/corpus/$short"
  scratch="$work/$name/corpus"
  artifacts="$work/$name/artifacts"
  log="$work/$name/last.log"
  [ "${FUZZ_FRESH:-0}" = 1 ] && rm -rf "$scratch"
  mkdir -p "$scratch" "$artifacts"
  # close_fd_mask=2: the code's own messages (libpng's, one per bad picture) would fill the log
  # and slow the run; sanitizer and libFuzzer reports still reach it.
  args=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048
        -close_fd_mask=2 -artifact_prefix="$artifacts/")
  [ -n "$runs" ] && args+=(-runs="$runs")
  [ -f "$lib/fuzz/$short.dict" ] && args+=(-dict="$lib/fuzz/$short.dict")
  dirs=("$scratch")
  [ -d "$seeds" ] || echo "   (no seed corpus at $seeds)"
  [ -d "$seeds" ] && dirs+=("$seeds")

  echo "== $name: ${seconds}s${runs:+ or $runs runs}, seeds $seeds, log $log"
  start=$(date +%s)
  nice -n 19 "$build/$name" "${args[@]}" "${dirs[@]}" >"$log" 2>&1
  rc=$?
  elapsed=$(( $(date +%s) - start ))

  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
  crash=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | head -1)
  if [ $rc -eq 0 ] && [ -z "$crash" ]; then
    verdict=PASS
  else
    status=1
    verdict="FAIL (exit $rc) ${crash:-see $log}"
    grep -m3 -E 'ERROR: |runtime error:|SUMMARY:' "$log" | sed 's/^/   /'
  fi
  line=$(printf '%-14s execs %-10s exec/s %-7s time %5ss  %-22s %s' \
         "$name" "${execs:-?}" "${rate:-?}" "$elapsed" "${cov:-cov: ?}" "$verdict")
  echo "   $line"
  summary+=("$line")

  if [ "${FUZZ_MERGE_SEEDS:-0}" = 1 ] && [ $rc -eq 0 ] && [ -d "$seeds" ]; then
    nice -n 19 "$build/$name" -merge=1 "$seeds" "$scratch" >"$work/$name/merge.log" 2>&1 &&
      echo "   seeds merged into $seeds ($(ls "$seeds" | wc -l) files)"
  fi
done

echo "== summary"
printf '   %s\n' "${summary[@]}"
if [ $status -eq 0 ]; then echo "FUZZING PASSED"; else echo "FUZZING FOUND PROBLEMS"; fi
exit $status
