#!/usr/bin/env python3
"""The Linux rows of scripts/perf.sh: the program against bench_gl_baseline on private Xvfb displays.

  perf_x11.py measure OUT PROGRAM BASELINE   runs both, alternating, and writes OUT/x11.json
  perf_x11.py table OUT                      prints the rows from OUT/x11.json

A missing PROGRAM is left out (the baseline is still measured). Settings (environment):
PERF_LINUX_SIZES (1024x768 1920x1080), PERF_LINUX_RUNS (3), PERF_LINUX_SECONDS seconds of rates per
unpaced run after the warm-up (6), PERF_WARMUP frames of warm-up (120), PERF_LINUX_PACED_SECONDS
the paced CPU window (10).

Each run is timed from outside: the launch, the arrival of the "first frame after" line on stderr
(both print it with -fps), and the "frames per second" lines, once a second. With pacing off a
run's rate is the median of those after the warm-up (the saver's trail fills over its first 100
frames); the frame time ratio is the median over each program run against the baseline run beside
it. CPU is utime + stime of every thread of the process (/proc/PID/stat): per frame after the
warm-up with pacing off, and per second over a window of the paced run, beside Xvfb's own.
Before each run the machine is given up to PERF_LINUX_QUIET_WAIT seconds (10) to fall quiet; what
other processes used during the runs is shown, and pairs they disturbed (0.3 cores or more) are
left out of the ratio where two others remain.
"""
import json
import os
import queue
import re
import signal
import statistics
import subprocess
import sys
import threading
import time

TICK = os.sysconf('SC_CLK_TCK')
FIRST = re.compile(r'first frame after ([0-9.]+) s')
RATE = re.compile(r'([0-9.]+) frames per second')


def cpu_seconds(pid):
    try:
        text = open('/proc/%d/stat' % pid).read()
    except OSError:
        return None
    fields = text[text.rindex(')') + 2:].split()
    return (int(fields[11]) + int(fields[12])) / TICK  # utime, stime: fields 14 and 15


def snapshot(pids):
    """The machine's busy seconds, its wall seconds (total ticks over cores), the pids' CPU seconds."""
    fields = [int(v) for v in open('/proc/stat').readline().split()[1:9]]
    own = [cpu_seconds(p) for p in pids]
    return ((sum(fields) - fields[3] - fields[4]) / TICK, sum(fields) / TICK / (os.cpu_count() or 1),
            None if None in own else sum(own))


def others_cores(a, b):
    """Cores the rest of the machine kept busy between two snapshots."""
    if b[1] <= a[1] or a[2] is None or b[2] is None:
        return None
    return max(0.0, ((b[0] - a[0]) - (b[2] - a[2])) / (b[1] - a[1]))


def wait_quiet(limit, xvfb_pid):
    """Waits up to limit seconds for the rest of the machine to go quiet (under 0.15 cores)."""
    end = time.monotonic() + limit
    while True:
        a = snapshot([xvfb_pid])
        time.sleep(1)
        used = others_cores(a, snapshot([xvfb_pid]))
        if used is None or used < 0.15 or time.monotonic() >= end:
            return used


def loadavg():
    return ' '.join(open('/proc/loadavg').read().split()[:3])


def start_xvfb(size, log):
    for n in range(200, 260):
        if os.path.exists('/tmp/.X%d-lock' % n) or os.path.exists('/tmp/.X11-unix/X%d' % n):
            continue
        proc = subprocess.Popen(['Xvfb', ':%d' % n, '-screen', '0', size + 'x24', '-nolisten', 'tcp'],
                                stdout=log, stderr=log)
        for _ in range(100):
            if subprocess.run(['xdpyinfo', '-display', ':%d' % n], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                return proc, ':%d' % n
            if proc.poll() is not None:
                break
            time.sleep(0.05)
        stop(proc)
    raise SystemExit('perf_x11: no Xvfb display could be started')


def stop(proc, sig=signal.SIGTERM):
    if proc.poll() is None:
        proc.send_signal(sig)
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


class Run:
    """One launch of a program, its stderr lines timestamped as they arrive."""

    def __init__(self, command, env, log_path):
        self.log = open(log_path, 'w')
        self.lines = queue.Queue()
        self.launch = time.monotonic()
        self.proc = subprocess.Popen(command, env=env, stdout=self.log, stderr=subprocess.PIPE, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        self.first = None      # harness: launch to the first frame line
        self.first_own = None  # what the program says
        self.rates = []        # (arrival, frames per second)

    def _read(self):
        for line in self.proc.stderr:
            now = time.monotonic()
            self.log.write('[%.3f] %s' % (now - self.launch, line))
            self.lines.put((now, line))
        self.lines.put((time.monotonic(), None))

    def pump(self, until):
        """Takes in lines until the time until; False once the program ended."""
        while True:
            left = until - time.monotonic()
            try:
                at, line = self.lines.get(timeout=max(0.0, left))
            except queue.Empty:
                return True
            if line is None:
                return False
            m = FIRST.search(line)
            if m and self.first is None:
                self.first = at - self.launch
                self.first_own = float(m.group(1))
            m = RATE.search(line)
            if m:
                self.rates.append((at, float(m.group(1))))

    def wait_first(self, limit=60):
        end = time.monotonic() + limit
        while self.first is None and time.monotonic() < end:
            if not self.pump(min(end, time.monotonic() + 0.2)):
                break
        return self.first is not None

    def finish(self):
        stop(self.proc)
        while self.pump(time.monotonic() + 1):
            pass
        self.log.close()


def launch(name, command, env, pacing, log):
    """The program takes its settings from the environment, the baseline from its arguments; both
    run until stopped."""
    if name == 'baseline':
        return Run(command + ['-pacing', '1' if pacing else '0', '-frames', '1000000'], env, log)
    return Run(command, dict(env, VORLUNE_PACING='1' if pacing else '0', VORLUNE_FRAMES='1000000'), log)


def unpaced(name, command, env, log, xvfb_pid, warmup, seconds):
    """Launch to first frame, the program's own figure, and the median rate after the warm-up."""
    r = launch(name, command, env, False, log)
    result = {}
    if r.wait_first():
        s0 = snapshot([r.proc.pid, xvfb_pid])
        # Frames so far, from the rates and their intervals: the warm-up ends at the warm-up'th frame.
        # CPU per frame is counted from there on: its frames are the rates times their intervals.
        end = time.monotonic() + 60 + seconds
        done, counted, last, cpu0, frames = None, 0.0, r.launch + r.first, None, 0.0
        while time.monotonic() < end:
            seen = len(r.rates)
            if not r.pump(time.monotonic() + 0.1):
                break
            for i in range(seen, len(r.rates)):
                at, rate = r.rates[i]
                if cpu0 is not None:
                    frames += rate * (at - max(last, cpu0[1]))
                counted += rate * (at - last)
                last = at
                if done is None and counted >= warmup:
                    done = i + 1
                    cpu0 = (cpu_seconds(r.proc.pid), time.monotonic())
            if done is not None and len(r.rates) - done >= seconds:
                break
        cpu1 = cpu_seconds(r.proc.pid)
        after = [rate for _, rate in r.rates[done:]] if done is not None else []
        result = {'first': r.first, 'first_own': r.first_own, 'rates': after,
                  'fps': statistics.median(after) if after else None,
                  'cpu_ms': 1000 * (cpu1 - cpu0[0]) / frames if cpu0 and None not in (cpu0[0], cpu1) and frames > 0 else None,
                  'others': others_cores(s0, snapshot([r.proc.pid, xvfb_pid]))}
    r.finish()
    return result


def paced(name, command, env, log, xvfb_pid, warm_seconds, seconds):
    """CPU cores of the program and of Xvfb over a window of the paced run, and the paced rate."""
    r = launch(name, command, env, True, log)
    result = {}
    if r.wait_first():
        alive = r.pump(time.monotonic() + warm_seconds)
        s0 = snapshot([r.proc.pid, xvfb_pid])
        c0, x0, t0, n0 = cpu_seconds(r.proc.pid), cpu_seconds(xvfb_pid), time.monotonic(), len(r.rates)
        alive = alive and r.pump(t0 + seconds)
        c1, x1, t1 = cpu_seconds(r.proc.pid), cpu_seconds(xvfb_pid), time.monotonic()
        s1 = snapshot([r.proc.pid, xvfb_pid])
        if alive and None not in (c0, c1, x0, x1):
            rates = [rate for _, rate in r.rates[n0:]]
            result = {'first': r.first, 'first_own': r.first_own, 'cores': (c1 - c0) / (t1 - t0),
                      'xvfb_cores': (x1 - x0) / (t1 - t0), 'fps': statistics.median(rates) if rates else None,
                      'others': others_cores(s0, s1)}
    r.finish()
    return result


def measure(out, program, baseline):
    sizes = os.environ.get('PERF_LINUX_SIZES', '1024x768 1920x1080').split()
    runs = int(os.environ.get('PERF_LINUX_RUNS', '3'))
    seconds = int(os.environ.get('PERF_LINUX_SECONDS', '6'))
    warmup = int(os.environ.get('PERF_WARMUP', '120'))
    paced_seconds = float(os.environ.get('PERF_LINUX_PACED_SECONDS', '10'))
    quiet_limit = float(os.environ.get('PERF_LINUX_QUIET_WAIT', '10'))
    os.makedirs(out, exist_ok=True)
    progs = {'baseline': [baseline, '-fullscreen', '-fps']}
    if os.access(program, os.X_OK):
        progs['program'] = [program, '-fullscreen', '-fps']
    data = {'load_start': loadavg(), 'started': time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime()),
            'runs': runs, 'seconds': seconds, 'warmup': warmup, 'paced_seconds': paced_seconds,
            'program_built': 'program' in progs, 'results': []}
    for size in sizes:
        with open(os.path.join(out, 'xvfb_%s.log' % size), 'w') as xlog:
            xvfb, display = start_xvfb(size, xlog)
            try:
                env = dict(os.environ, DISPLAY=display)
                # Once each, unmeasured: the first launch reads the libraries from disk.
                for name, command in progs.items():
                    r = launch(name, command, env, True, os.path.join(out, '%s_%s_cold.txt' % (name, size)))
                    r.wait_first()
                    r.finish()
                order = sorted(progs)
                for i in range(1, runs + 1):
                    print('perf_x11: %s run %d of %d (load %s)' % (size, i, runs, loadavg()), file=sys.stderr)
                    # Alternating, and in turn first, so that neither always follows the other.
                    for name in (order if i % 2 else order[::-1]):
                        base = os.path.join(out, '%s_%s_%d' % (name, size, i))
                        quiet = wait_quiet(quiet_limit, xvfb.pid)
                        u = unpaced(name, progs[name], env, base + '_unpaced.txt', xvfb.pid, warmup, seconds)
                        u['quiet'] = quiet
                        wait_quiet(quiet_limit, xvfb.pid)
                        p = paced(name, progs[name], env, base + '_paced.txt', xvfb.pid,
                                  max(1.0, warmup / 31.0 + 0.5), paced_seconds)
                        data['results'].append({'size': size, 'prog': name, 'run': i, 'unpaced': u, 'paced': p})
                        if not u.get('fps') or not p.get('cores'):
                            print('perf_x11: incomplete %s run, see %s_*.txt' % (name, base), file=sys.stderr)
            finally:
                stop(xvfb)
    data['load_end'] = loadavg()
    json.dump(data, open(os.path.join(out, 'x11.json'), 'w'), indent=1)


def table(out, header):
    data = json.load(open(os.path.join(out, 'x11.json')))
    results = data['results']

    def median(size, prog, part, key):
        values = [r[part][key] for r in results
                  if r['size'] == size and r['prog'] == prog and r[part].get(key) is not None]
        return (statistics.median(values), len(values)) if values else (None, 0)

    def fmt(v, f='%.1f'):
        return '-' if v is None else f % v

    def row(what, value, goal='', verdict=''):
        print('%-74s %-20s %-16s %s' % (what, value, goal, verdict))

    def met(ok):
        return '' if ok is None else ('MET' if ok else 'MISSED')

    if header:
        print()
        print('Vorlune performance (Linux rows), %s; %d cores' % (data['started'], os.cpu_count()))
    print()
    print('Linux: the program (-fullscreen) against bench_gl_baseline on private Xvfb displays, llvmpipe; '
          'load average %s at the start, %s at the end.' % (data['load_start'], data['load_end']))
    print('Median of %d runs each, alternating; pacing off: median of per-second rates after %d warm-up frames '
          '(%d s); paced: CPU over %g s.' % (data['runs'], data['warmup'], data['seconds'], data['paced_seconds']))
    if not data['program_built']:
        print('The program was NOT BUILT: baseline figures only.')
    print()
    row('measure', 'value', 'goal', 'verdict')
    row('-' * 74, '-' * 20, '-' * 16, '-------')
    sizes = []
    for r in results:
        if r['size'] not in sizes:
            sizes.append(r['size'])
    for size in sizes:
        s, ns = median(size, 'program', 'unpaced', 'fps')
        b, nb = median(size, 'baseline', 'unpaced', 'fps')
        row('Linux %s unpaced: frames/s, program / baseline (n=%d/%d)' % (size, ns, nb),
            '%s / %s' % (fmt(s), fmt(b)))
        row('Linux %s unpaced: frame time, program / baseline' % size,
            '%s / %s ms' % (fmt(s and 1000 / s, '%.2f'), fmt(b and 1000 / b, '%.2f')))
        # Each run against the other program's run beside it, so that a busy spell of the machine
        # weighs on both sides of a ratio; runs the rest of the machine disturbed are left out
        # where enough others remain.
        pairs = []
        for i in sorted({r['run'] for r in results if r['size'] == size}):
            u = {r['prog']: r['unpaced'] for r in results if r['size'] == size and r['run'] == i}
            if u.get('program', {}).get('fps') and u.get('baseline', {}).get('fps'):
                busy = max(u['program'].get('others') or 0, u['baseline'].get('others') or 0)
                pairs.append((u['baseline']['fps'] / u['program']['fps'], busy))
        calm = [p for p in pairs if p[1] < 0.3]
        used = calm if len(calm) >= 2 else pairs
        ratio = statistics.median([p[0] for p in used]) if used else None
        row('Linux %s unpaced: frame time ratio to the baseline (%d pairs%s)' %
            (size, len(used), '' if used is calm or not pairs else ', busy'), fmt(ratio, '%.2f'), '<= 1.05',
            met(None if ratio is None else ratio <= 1.05))
        sm, _ = median(size, 'program', 'unpaced', 'cpu_ms')
        bm, _ = median(size, 'baseline', 'unpaced', 'cpu_ms')
        row('Linux %s unpaced: CPU per frame, all threads, program / baseline' % size,
            '%s / %s ms' % (fmt(sm, '%.2f'), fmt(bm, '%.2f')))
        def spread(prog):
            v = [r['unpaced']['fps'] for r in results if r['size'] == size and r['prog'] == prog and r['unpaced'].get('fps')]
            return '%.0f-%.0f' % (min(v), max(v)) if v else '-'
        row('Linux %s unpaced: frames/s range over runs, program / baseline' % size,
            '%s / %s' % (spread('program'), spread('baseline')))
        sf, _ = median(size, 'program', 'paced', 'fps')
        bf, _ = median(size, 'baseline', 'paced', 'fps')
        row('Linux %s paced: frames/s, program / baseline' % size, '%s / %s' % (fmt(sf), fmt(bf)))
        sc, _ = median(size, 'program', 'paced', 'cores')
        bc, _ = median(size, 'baseline', 'paced', 'cores')
        row('Linux %s paced: CPU s per s, all threads, program / baseline' % size,
            '%s / %s' % (fmt(sc, '%.2f'), fmt(bc, '%.2f')), '< 1 core', met(None if sc is None else sc < 1.0))
        sx, _ = median(size, 'program', 'paced', 'xvfb_cores')
        bx, _ = median(size, 'baseline', 'paced', 'xvfb_cores')
        row('Linux %s paced: Xvfb\'s CPU s per s, with program / baseline' % size,
            '%s / %s' % (fmt(sx, '%.2f'), fmt(bx, '%.2f')))
        others = [r[part]['others'] for r in results for part in ('unpaced', 'paced')
                  if r['size'] == size and r[part].get('others') is not None]
        row('Linux %s: other processes\' CPU during the runs, median / largest' % size,
            '%s / %s cores' % (fmt(statistics.median(others) if others else None, '%.2f'),
                               fmt(max(others) if others else None, '%.2f')))
        # Start-up: every launch, paced or not.
        def firsts(prog, key):
            values = [r[part][key] for r in results for part in ('unpaced', 'paced')
                      if r['size'] == size and r['prog'] == prog and r[part].get(key) is not None]
            return statistics.median(values) if values else None
        sl, bl = firsts('program', 'first'), firsts('baseline', 'first')
        row('Linux %s: launch to first frame, program / baseline' % size,
            '%s / %s s' % (fmt(sl, '%.3f'), fmt(bl, '%.3f')))
        row('Linux %s: first frame as each reports it, program / baseline' % size,
            '%s / %s s' % (fmt(firsts('program', 'first_own'), '%.3f'), fmt(firsts('baseline', 'first_own'), '%.3f')))


def main():
    if len(sys.argv) == 5 and sys.argv[1] == 'measure':
        measure(*sys.argv[2:])
    elif len(sys.argv) in (3, 4) and sys.argv[1] == 'table':
        table(sys.argv[2], len(sys.argv) == 4 and sys.argv[3] == '--header')
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main())
