// The Windows benchmark programs' clocks and their view of Linux's /proc under Wine. Wine's
// GetProcessTimes misses the threads Wine starts itself, so CPU time and memory come from /proc,
// through the Z: drive. Wine's server opens those files, so /proc/self would be the server: a
// program finds its own Linux process by name.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/bench/bench_support.h"

inline double FileTimeSeconds(const FILETIME& t) {
  return static_cast<double>(static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
}

// Seconds since the Unix epoch, comparable with the launching script's clock.
inline double UnixNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return FileTimeSeconds(now) - 11644473600.0;
}

// Seconds from this process's creation, as Wine's server recorded it, to now.
inline double SinceCreation() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  GetSystemTimeAsFileTime(&now);
  return FileTimeSeconds(now) - FileTimeSeconds(created);
}

inline std::string LinuxPathOnZ(const std::string& path) {
  std::string dosPath = "Z:" + path;
  for (char& c : dosPath)
    if (c == '/') c = '\\';
  return dosPath;
}

// The whole file, or "" when it cannot be read.
inline std::string ReadLinuxFile(const std::string& path) {
  std::string text;
  FILE* f = fopen(LinuxPathOnZ(path).c_str(), "rb");
  if (!f) return text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  fclose(f);
  return text;
}

// The stat of every entry of a /proc folder whose name passes the filter.
inline std::vector<ProcStat> ReadStats(const std::string& folder, bool (*take)(const char* name),
                                       std::vector<std::string>* paths = nullptr) {
  std::vector<ProcStat> stats;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA(LinuxPathOnZ(folder + "/*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return stats;
  do {
    if (!take(entry.cFileName)) continue;
    ProcStat stat;
    const std::string path = folder + "/" + entry.cFileName;
    if (!ParseStat(ReadLinuxFile(path + "/stat"), &stat)) continue;
    stats.push_back(stat);
    if (paths) paths->push_back(path);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return stats;
}

// "/proc/<Linux pid>" of the process whose name is this program's file name (cut to the kernel's
// 15 characters), or "" (and a line saying so) when not exactly one process has that name.
inline std::string FindOwnProcess() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string name(path, length);
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  name = name.substr(0, 15);
  std::vector<std::string> dirs, found;
  const std::vector<ProcStat> stats =
      ReadStats("/proc", [](const char* entry) { return entry[0] >= '0' && entry[0] <= '9'; }, &dirs);
  for (size_t i = 0; i < stats.size(); ++i)
    if (stats[i].name == name) found.push_back(dirs[i]);
  if (found.size() != 1) {
    printf("%zu Linux processes are named %s: no CPU time or memory figures\n", found.size(), name.c_str());
    return std::string();
  }
  return found[0];
}

// utime + stime of the process in clock ticks, -1 without one.
inline long long ProcessTicks(const std::string& dir) {
  ProcStat stat;
  return !dir.empty() && ParseStat(ReadLinuxFile(dir + "/stat"), &stat) ? stat.ticks : -1;
}
