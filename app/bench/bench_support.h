// What the benchmark programs of both platforms measure with: a monotonic clock, the median and
// sum of timings, and the reading of Linux's /proc/<pid>/stat and status texts. The Windows
// programs get those texts through Wine's Z: drive (app/bench/win/bench_support.h).
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Seconds on a monotonic clock (QueryPerformanceCounter under mingw-w64).
inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

inline double Sum(const std::vector<double>& v) {
  double s = 0;
  for (double t : v) s += t;
  return s;
}

// A process's or thread's name and its utime + stime in clock ticks.
struct ProcStat {
  std::string name;
  long long ticks;
};

// The name in brackets may hold spaces and brackets, so the fields are counted from the last ')'.
inline bool ParseStat(const std::string& stat, ProcStat* out) {
  size_t open = stat.find('('), close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  out->name = stat.substr(open + 1, close - open - 1);
  // Fields after the name: state is field 3; utime and stime are fields 14 and 15.
  const char* p = stat.c_str() + close + 1;
  long long utime = 0, stime = 0;
  int field = 3;
  while (*p && field <= 15) {
    while (*p == ' ') ++p;
    if (field == 14) utime = atoll(p);
    if (field == 15) stime = atoll(p);
    while (*p && *p != ' ') ++p;
    ++field;
  }
  out->ticks = utime + stime;
  return field > 15;
}

// A "Key:  value kB" line of /proc/<pid>/status; -1 when the key is missing.
inline long long StatusKilobytes(const std::string& status, const char* key) {
  size_t at = status.find(key);
  return at == std::string::npos ? -1 : atoll(status.c_str() + at + strlen(key));
}
