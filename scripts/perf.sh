#!/usr/bin/env bash
# The performance run: builds what it needs, runs the native benchmarks, then the saver's frame
# against a bare-platform baseline under Wine at 1024 x 768 and 1920 x 1080 (with Wine's Direct3D
# command-stream thread on, its default, and off), the win64 and win32 builds of both alternating,
# and prints one table with the goals. Where this machine cannot execute 32-bit programs the table
# says so instead of showing win32 figures. Then the Linux rows: the Linux program (preset linux)
# against its bare Xlib/GLX/OpenGL baseline (app/bench/x11/bench_gl_baseline.cpp) on private Xvfb
# displays of both sizes (scripts/perf_x11.py): frame time with pacing off, CPU at the paced rate,
# start-up.
#
# Usage: scripts/perf.sh [--linux-only]
#   --linux-only (or PERF_LINUX_ONLY=1): builds build/linux and prints the Linux rows alone (about
#   5 minutes with the defaults; PERF_LINUX_RUNS=1 PERF_LINUX_SIZES=1024x768 for a quick look).
#   PERF_LINUX=0 leaves the Linux rows out of the full run. Where the program does not build yet,
#   the baseline is measured alone.
# Settings (environment): PERF_RUNS runs of each program per size and setting (5), PERF_FRAMES
# measured frames per run (300), PERF_WARMUP frames before them (120), PERF_BUILD build-directory
# prefix ("build/": build/bench, build/win64, build/win32, build/linux), PERF_SKIP_SETUP=1 skips
# scripts/setup.sh. Linux rows: PERF_LINUX_RUNS of each program per size (3), PERF_LINUX_SIZES
# ("1024x768 1920x1080"), PERF_LINUX_SECONDS of per-second rates after the warm-up (PERF_WARMUP)
# per unpaced run (6), PERF_LINUX_PACED_SECONDS of CPU per paced run (10).
# Raw output of every run is kept in <win64 build>/perf/ and <linux build>/perf/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
linux_only=${PERF_LINUX_ONLY:-0}
for arg in "$@"; do
  case $arg in
    --linux-only) linux_only=1 ;;
    *) echo "usage: scripts/perf.sh [--linux-only]" >&2; exit 2 ;;
  esac
done
with_linux=${PERF_LINUX:-1}
[ "$linux_only" = 0 ] || with_linux=1
runs=${PERF_RUNS:-5}
frames=${PERF_FRAMES:-300}
warmup=${PERF_WARMUP:-120}
prefix=${PERF_BUILD:-build/}
bench=${prefix}bench
win64=${prefix}win64
win32=${prefix}win32

[ "${PERF_SKIP_SETUP:-0}" = 1 ] || "$top/scripts/setup.sh" >/dev/null || { echo "perf: set-up failed" >&2; exit 1; }

note() { echo "perf: $*" >&2; }

# ---- Linux: the program and its baseline on Xvfb ---------------------------------------------
linux=${prefix}linux
linux_rows() {
  note "building bench_gl_baseline and vorlune in $linux"
  cmake --preset linux -B "$linux" >/dev/null
  cmake --build "$linux" -j2 --target bench_gl_baseline >/dev/null
  local program=$linux/vorlune
  cmake --build "$linux" -j2 --target vorlune >"$linux/perf_build.log" 2>&1 ||
    { note "vorlune does not build (see $linux/perf_build.log): the baseline alone"; program=none; }
  rm -rf "$linux/perf"
  python3 scripts/perf_x11.py measure "$linux/perf" "$program" "$linux/bench_gl_baseline"
}
if [ "$linux_only" = 1 ]; then
  linux_rows
  python3 scripts/perf_x11.py table "$linux/perf" --header
  exit 0
fi

# ---- build ---------------------------------------------------------------------------------
benches=()
for f in */bench/*.cpp; do benches+=("$(basename "$f" .cpp)"); done
note "building ${benches[*]} in $bench"
cmake --preset bench -B "$bench" >/dev/null
cmake --build "$bench" -j2 --target "${benches[@]}" >/dev/null
note "building Vorlune, bench_saver and bench_baseline in $win64 and $win32"
for preset in win64 win32; do
  cmake --preset "$preset" -B "$prefix$preset" >/dev/null
  cmake --build "$prefix$preset" -j2 --target Vorlune bench_saver bench_baseline >/dev/null
done
run32=1
why32=$(tests/wine/can_run32.sh) || run32=0
[ $run32 = 1 ] || note "the win32 build is not measured: $why32"

out="$win64/perf"
rm -rf "$out"
mkdir -p "$out"
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date -u '+%Y-%m-%d %H:%M UTC')

# ---- native ----------------------------------------------------------------------------------
for b in "${benches[@]}"; do
  note "native $b"
  "$bench/$b" --benchmark_format=json --benchmark_out="$out/native_$b.json" --benchmark_out_format=json >/dev/null 2>"$out/native_$b.err"
done

# ---- under Wine --------------------------------------------------------------------------------
results="$out/wine.tsv"
: > "$results"
# One display and prefix (the win64 build's, with its 32-bit half) serve both builds' programs.
trap 'tests/wine/stop.sh "$win64" >/dev/null 2>&1' EXIT
progs=(saver baseline)
[ $run32 = 0 ] || progs+=(saver32 baseline32)
for size in 1024x768 1920x1080; do
  note "Wine at $size: $runs runs each of ${progs[*]}, csmt default and off, alternating"
  tests/wine/start.sh "$win64" "$size" >/dev/null
  for i in $(seq "$runs"); do
    for csmt in default off; do
      for prog in "${progs[@]}"; do
        log="$out/${prog}_${size}_${csmt}_$i.txt"
        exe="$win64/bench_$prog.exe"
        [ "${prog%32}" = "$prog" ] || exe="$win32/bench_${prog%32}.exe"
        # The saver's trail fills over its first 100 frames; the baseline draws all its quads from
        # the first frame on and needs only a short warm-up.
        w=$warmup
        [ "${prog%32}" = baseline ] && [ "$w" -gt 30 ] && w=30
        launch=$(date +%s.%N)
        if [ "$csmt" = off ]; then
          WINE_D3D_CONFIG=csmt=0 timeout 300 tests/wine/run.sh "$win64" "$exe" "$frames" "$w" >"$log" 2>&1 || true
        else
          WINE_D3D_CONFIG= timeout 300 tests/wine/run.sh "$win64" "$exe" "$frames" "$w" >"$log" 2>&1 || true
        fi
        line=$(grep '^RESULT ' "$log" | tail -1 || true)
        if [ -z "$line" ]; then
          note "no result from $log:"; tail -5 "$log" >&2
          continue
        fi
        printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$size" "$csmt" "$prog" "$i" "$launch" "${line#RESULT }" >> "$results"
      done
    done
  done
  tests/wine/stop.sh "$win64" >/dev/null 2>&1
done
load_end=$(cut -d' ' -f1-3 /proc/loadavg)
[ "$with_linux" = 0 ] || linux_rows

size_of() { [ -f "$1" ] && stat -c %s "$1" || echo -1; }

# ---- the table ---------------------------------------------------------------------------------
python3 - "$out" "$started" "$load_start" "$load_end" "$runs" "$frames" "$warmup" \
  "$(size_of "$win32/Vorlune.scr")" "$(size_of "$win64/Vorlune.scr")" "$(nproc)" "$run32" "$why32" <<'EOF'
import json, os, statistics, sys

out, started, load_start, load_end, runs, frames, warmup, size32, size64, cores, run32, why32 = sys.argv[1:]
run32 = run32 == '1'

def native(program, name):
    """CPU time per iteration of one benchmark, in microseconds, or None."""
    try:
        data = json.load(open(os.path.join(out, 'native_%s.json' % program)))
    except (OSError, ValueError):
        return None
    for b in data.get('benchmarks', []):
        if b['name'] == name and not b.get('error_occurred'):
            scale = {'ns': 1e-3, 'us': 1.0, 'ms': 1e3, 's': 1e6}[b.get('time_unit', 'ns')]
            return b['cpu_time'] * scale
    return None

rows = []
for line in open(os.path.join(out, 'wine.tsv')):
    size, csmt, prog, run, launch, rest = line.rstrip('\n').split('\t')
    fields = dict(kv.split('=', 1) for kv in rest.split())
    r = {k: float(v) for k, v in fields.items()}
    r['launch_to_flip'] = r['first_flip_unix'] - float(launch)
    rows.append((size, csmt, prog, r))

def median(size, csmt, prog, key):
    values = [r[key] for s, c, p, r in rows if (s, c, p) == (size, csmt, prog) and r.get(key, -1) >= 0]
    return (statistics.median(values), len(values)) if values else (None, 0)

def fmt(v, f='%.1f'):
    return '-' if v is None else f % v

lines = []
def row(what, value, goal='', verdict=''):
    lines.append('%-74s %-20s %-16s %s' % (what, value, goal, verdict))

def met(ok):
    return '' if ok is None else ('MET' if ok else 'MISSED')

print()
print('Vorlune performance, %s; %s cores; load average %s at the start, %s at the end' % (started, cores, load_start, load_end))
print('Native: Google Benchmark, CPU time per iteration. Wine: median of %s runs per program, %s frames after %s warm-up '
      '(baseline: at most 30), saver and baseline alternating.' % (runs, frames, warmup))
print('Wine rows measure the win64 build unless they say win32 (the product: the win32 saver against the win32 baseline).')
if not run32:
    print('win32 build NOT MEASURED: %s.' % why32)
print()
row('measure', 'value', 'goal', 'verdict')
row('-' * 74, '-' * 20, '-' * 16, '-------')
model = native('bench_pattern', 'BM_PatternFrame')
stars = native('bench_blend', 'BM_StarBlends/1920/1080')
row('native: pattern model, one steady-state frame (2,020 pts)', fmt(model, '%.1f us'))
row('native: 100 star blends (1 x 2 sprite), 1920 x 1080 x 32', fmt(stars, '%.1f us'))
row('native: 100 star blends (1 x 2 sprite), 1024 x 768 x 32', fmt(native('bench_blend', 'BM_StarBlends/1024/768'), '%.1f us'))
row('native: 9 sprites, PNG decode + 32-bit pixel conversion', fmt(native('bench_decode', 'BM_LoadSpritePixels'), '%.1f us'))
row('native: preview picture decode (400 x 320)', fmt(native('bench_decode', 'BM_DecodePreview'), '%.1f us'))
random = native('bench_random', 'BM_RandomUpTo/10')
row('native: RandomUpTo(10)', fmt(random and random * 1000, '%.1f ns'))
def rate_rows(label, size, csmt, saver, baseline, who):
    """Frame rates of a saver and its baseline and their ratio against the goal; the saver's rate."""
    s, ns = median(size, csmt, saver, 'fps')
    b, nb = median(size, csmt, baseline, 'fps')
    ratio = s / b if s and b else None
    row('Wine %s %s: %ssaver frames/s (n=%d)' % (label, size, who, ns), fmt(s))
    row('Wine %s %s: %sbaseline frames/s (n=%d)' % (label, size, who, nb), fmt(b))
    row('Wine %s %s: %ssaver / %sbaseline frame rate' % (label, size, who, who), fmt(ratio, '%.2f'), '>= 0.90',
        met(None if ratio is None else ratio >= 0.90))
    return s

def startup_rows(label, size, csmt, saver, baseline, who):
    """Launch to first flip of a saver and its baseline, and their ratio against the goal."""
    sl, _ = median(size, csmt, saver, 'launch_to_flip')
    bl, _ = median(size, csmt, baseline, 'launch_to_flip')
    st = sl / bl if sl and bl else None
    row('Wine %s %s: %slaunch to first flip, saver / baseline' % (label, size, who),
        '%s / %s s' % (fmt(sl, '%.2f'), fmt(bl, '%.2f')))
    row('Wine %s %s: %sstart-up ratio saver / baseline' % (label, size, who), fmt(st, '%.2f'), '<= 1.20',
        met(None if st is None else st <= 1.20))

for csmt in ('default', 'off'):
    label = 'csmt on' if csmt == 'default' else 'csmt=0'
    for size in ('1024x768', '1920x1080'):
        s = rate_rows(label, size, csmt, 'saver', 'baseline', '')
        sc, _ = median(size, csmt, 'saver', 'cores')
        bc, _ = median(size, csmt, 'baseline', 'cores')
        row('Wine %s %s: CPU cores used, saver / baseline' % (label, size), '%s / %s' % (fmt(sc, '%.2f'), fmt(bc, '%.2f')))
        sl2, _ = median(size, csmt, 'saver', 'sleep_ms')
        si, _ = median(size, csmt, 'saver', 'input_ms')
        row('Wine %s %s: saver\'s Sleep(2) / keyboard+mouse reads, per frame' % (label, size),
            '%s / %s ms' % (fmt(sl2, '%.2f'), fmt(si, '%.3f')))
        sm, _ = median(size, csmt, 'saver', 'peak_kib')
        bm, _ = median(size, csmt, 'baseline', 'peak_kib')
        row('Wine %s %s: peak memory, saver / baseline' % (label, size),
            '%s / %s MiB' % (fmt(sm and sm / 1024, '%.0f'), fmt(bm and bm / 1024, '%.0f')))
        startup_rows(label, size, csmt, 'saver', 'baseline', '')
        sc2, _ = median(size, csmt, 'saver', 'first_flip_since_creation')
        bc2, _ = median(size, csmt, 'baseline', 'first_flip_since_creation')
        row('Wine %s %s: process creation to first flip, saver / base' % (label, size),
            '%s / %s s' % (fmt(sc2, '%.2f'), fmt(bc2, '%.2f')))
        if not run32:
            row('Wine %s %s: win32 saver and baseline' % (label, size), 'not measured', '', 'cannot run here')
            continue
        s32 = rate_rows(label, size, csmt, 'saver32', 'baseline32', 'win32 ')
        row('Wine %s %s: win32 saver / win64 saver frame rate' % (label, size), fmt(s32 / s if s32 and s else None, '%.2f'))
        startup_rows(label, size, csmt, 'saver32', 'baseline32', 'win32 ')
# The program's own work per frame: model and 3D call submission (the product's 64-bit code under
# Wine, against a no-op device), plus the star blends (native; their surface locks are DirectDraw's).
def own_work(prog, key):
    """Median of a saver's own-work figure over every run at 1920 x 1080, and how many runs had it."""
    values = [r[key] for s, c, p, r in rows if p == prog and s == '1920x1080' and r.get(key, -1) >= 0]
    return (statistics.median(values) if values else None), len(values)

mw, nw = own_work('saver', 'model_us')
mc, _ = own_work('saver', 'model_calls_us')
row('Wine: model alone, win64 code (n=%d)' % nw, fmt(mw, '%.1f us'))
row('Wine: model + 3D call submission to a no-op device', fmt(mc, '%.1f us'))
if run32:
    m32, n32 = own_work('saver32', 'model_us')
    row('Wine: model alone, win32 code (n=%d)' % n32, fmt(m32, '%.1f us'))
    row('Wine: model + 3D call submission, win32 code', fmt(own_work('saver32', 'model_calls_us')[0], '%.1f us'))
own = mc + stars if mc is not None and stars is not None else None
row('own work per frame: model + submission + 100 star blends', fmt(own, '%.1f us'), '< 33 us (0.1 %)',
    met(None if own is None else own < 33.0))
row('size of build/win32 Vorlune.scr', '%s bytes' % size32 if int(size32) >= 0 else '-', '<= 300 KB',
    met(None if int(size32) < 0 else int(size32) <= 300 * 1024))
row('size of build/win64 Vorlune.scr', '%s bytes' % size64 if int(size64) >= 0 else '-')
print('\n'.join(lines))
EOF
[ "$with_linux" = 0 ] || python3 scripts/perf_x11.py table "$linux/perf"

# What takes the space, so that the size is watched: sections and libraries of both executables.
for b in "$win32" "$win64"; do
  echo
  python3 scripts/size_table.py "$b" || note "no size table for $b"
done
