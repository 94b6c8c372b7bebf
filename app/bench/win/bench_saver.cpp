// The saver's own frame, uncapped, at the desktop's size: the same start-up and set-up as the
// program, then the loop's parts timed one by one. Prints frames per second, each part's share of
// the frame, and the process's CPU time (all threads, and by thread) and peak memory, read from
// Linux's /proc through Wine's Z: drive: Wine's GetProcessTimes leaves out the threads it starts
// itself (Direct3D's command stream, the GL rasteriser's workers). Wine's server opens those
// files, so /proc/self would be the server: the program finds its own Linux process by name.
// Run: tests/wine/run.sh BUILD bench_saver.exe [frames] [warm-up frames]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/saver.h"
#include "app/startup.h"
#include "app/state.h"
#include "desktop/desktop.h"
#include "display/screen.h"
#include "display/sprites.h"
#include "display/sprites3d.h"
#include "input/keyboard.h"
#include "input/mouse.h"
#include "sound/sound.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string ReadLinuxFile(const std::string& path) {
  std::string dosPath = "Z:" + path;
  for (char& c : dosPath) {
    if (c == '/') c = '\\';
  }
  std::string text;
  FILE* f = fopen(dosPath.c_str(), "rb");
  if (!f) return text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  fclose(f);
  return text;
}

// utime + stime of /proc/.../stat, in clock ticks; the name in brackets may hold spaces.
struct ThreadTime {
  std::string name;
  long long ticks;
};

bool ParseStat(const std::string& stat, ThreadTime* out) {
  size_t open = stat.find('(');
  size_t close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  out->name = stat.substr(open + 1, close - open - 1);
  // Fields after the name: state is field 3; utime and stime are fields 14 and 15.
  const char* p = stat.c_str() + close + 1;
  long long fields[13] = {};
  int field = 3;
  while (*p && field <= 15) {
    while (*p == ' ') ++p;
    if (field >= 14) fields[field - 14] = atoll(p);
    while (*p && *p != ' ') ++p;
    ++field;
  }
  out->ticks = fields[0] + fields[1];
  return field > 15;
}

std::string ProcDir;  // "/proc/<Linux pid>", empty when not found

// The Linux process whose name is this program's file name (cut to the kernel's 15 characters).
// Two benchmarks of the same name running at once cannot be told apart: then none is chosen.
std::string FindOwnProcess() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string name(path, length);
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  name = name.substr(0, 15);
  std::vector<std::string> found;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
  if (find == INVALID_HANDLE_VALUE) return std::string();
  do {
    if (entry.cFileName[0] < '0' || entry.cFileName[0] > '9') continue;
    ThreadTime t;
    std::string dir = std::string("/proc/") + entry.cFileName;
    if (ParseStat(ReadLinuxFile(dir + "/stat"), &t) && t.name == name) found.push_back(dir);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  if (found.size() != 1) {
    printf("%zu Linux processes are named %s: no CPU time or memory figures\n", found.size(), name.c_str());
    return std::string();
  }
  return found[0];
}

long long ProcessTicks() {
  ThreadTime t;
  return !ProcDir.empty() && ParseStat(ReadLinuxFile(ProcDir + "/stat"), &t) ? t.ticks : -1;
}

// Per-thread CPU ticks, added up by thread name (the llvmpipe workers each have their own).
std::vector<ThreadTime> ThreadTicks() {
  std::vector<ThreadTime> threads;
  if (ProcDir.empty()) return threads;
  std::string pattern = "Z:" + ProcDir + "/task/*";
  for (char& c : pattern) {
    if (c == '/') c = '\\';
  }
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA(pattern.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return threads;
  do {
    if (entry.cFileName[0] == '.') continue;
    ThreadTime t;
    if (ParseStat(ReadLinuxFile(ProcDir + "/task/" + entry.cFileName + "/stat"), &t)) threads.push_back(t);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return threads;
}

long long StatusKilobytes(const std::string& status, const char* key) {
  size_t at = status.find(key);
  return at == std::string::npos ? -1 : atoll(status.c_str() + at + strlen(key));
}

long long TicksFor(const std::vector<ThreadTime>& threads, const std::string& name) {
  long long sum = 0;
  for (const ThreadTime& t : threads)
    if (t.name == name) sum += t.ticks;
  return sum;
}

struct Part {
  const char* name;
  std::vector<double> times;
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Sum(const std::vector<double>& v) {
  double s = 0;
  for (double t : v) s += t;
  return s;
}

int TrailPointCount() { return App.TrailPoints.header ? App.TrailPoints.header->count : 0; }

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, atoi(argv[1])) : 600;
  const int warmUp = argc > 2 ? std::max(0, atoi(argv[2])) : 150;
  const char* csmt = getenv("WINE_D3D_CONFIG");
  const double clockTicks = 100.0;  // USER_HZ of Linux's /proc

  ProcDir = FindOwnProcess();
  // The program's own start-up, without its error boxes: a failure is printed instead.
  double start = Now();
  InitialiseApplication();
  if (!InitSpriteEngine() || !OpenKeyboardDevice() || !OpenMouseDevice() || !OpenSoundDevice()) {
    printf("a device could not be opened (sprite engine, keyboard, mouse or sound)\n");
    return 1;
  }
  if (!Sprite3DLibraryInit()) {
    printf("Sprite3DLibraryInit failed\n");
    return 1;
  }
  const double startUp = Now() - start;
  start = Now();
  SaverSetUp();
  const double setUp = Now() - start;
  if (Screen.screenWidth == 0) {
    printf("the full screen did not open\n");
    return 1;
  }
  // The saver asks for 30 frames per second; lifted here to see what a frame costs.
  LimitFrameRate(0);
  printf("desktop %d x %d x %d, WINE_D3D_CONFIG=%s, monitor frequency %d\n", DisplayWidth(0), DisplayHeight(0),
         DisplayDepth(0), csmt ? csmt : "(unset)", Screen.monitorFrequency);
  std::string load = ReadLinuxFile("/proc/loadavg");
  printf("machine load before: %s", load.empty() ? "(unknown)\n" : load.c_str());
  printf("start-up (libraries and devices) %.0f ms, saver set-up %.0f ms\n", startUp * 1000, setUp * 1000);

  Part parts[4] = {{"software frame (clear, stars, blit)", {}},
                   {"3D scene (trail points)", {}},
                   {"flip", {}},
                   {"model step, timer, colours, input, Sleep(2)", {}}};
  bool stopped = false;
  // The trail fills up over its 100-frame life; measure the steady state after it.
  for (int i = 0; i < warmUp && !stopped; ++i) {
    DrawBackground();
    DrawPattern();
    ShowFrame();
    stopped = !AdvanceAndReadInput();
  }
  const int trailPoints = TrailPointCount();

  const long long ticksBefore = ProcessTicks();
  const std::vector<ThreadTime> threadsBefore = ThreadTicks();
  const double wallStart = Now();
  int done = 0;
  while (done < frames && !stopped) {
    double t0 = Now();
    DrawBackground();
    double t1 = Now();
    DrawPattern();
    double t2 = Now();
    ShowFrame();
    double t3 = Now();
    stopped = !AdvanceAndReadInput();
    double t4 = Now();
    parts[0].times.push_back(t1 - t0);
    parts[1].times.push_back(t2 - t1);
    parts[2].times.push_back(t3 - t2);
    parts[3].times.push_back(t4 - t3);
    ++done;
  }
  const double wall = Now() - wallStart;
  const long long ticksAfter = ProcessTicks();
  const std::vector<ThreadTime> threadsAfter = ThreadTicks();
  if (stopped) printf("the saver's input ended the run early (a key, the mouse or a button)\n");
  if (done == 0) return 1;

  printf("%d frames after %d warm-up frames, %d trail points drawn per frame: %.1f frames/s (%.2f ms a frame)\n", done,
         warmUp, trailPoints, done / wall, wall * 1000 / done);
  for (const Part& p : parts) {
    const double total = Sum(p.times);
    printf("  %-45s %5.1f %%  mean %7.2f ms  median %7.2f ms\n", p.name, 100 * total / wall, total * 1000 / done,
           Median(p.times) * 1000);
  }

  if (ticksBefore >= 0 && ticksAfter >= 0) {
    const double cpu = (ticksAfter - ticksBefore) / clockTicks;
    printf("CPU time of the process over the measured frames: %.2f s in %.2f s (%.2f cores)\n", cpu, wall, cpu / wall);
    std::vector<std::string> names;
    for (const ThreadTime& t : threadsAfter)
      if (std::find(names.begin(), names.end(), t.name) == names.end()) names.push_back(t.name);
    for (const std::string& name : names) {
      const double used = (TicksFor(threadsAfter, name) - TicksFor(threadsBefore, name)) / clockTicks;
      if (used > 0) printf("  thread %-16s %6.2f s (%.2f cores)\n", name.c_str(), used, used / wall);
    }
    printf("CPU time of the process since it started: %.2f s\n", ProcessTicks() / clockTicks);
  }
  FILETIME created, exited, kernel, user;
  if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
    auto seconds = [](const FILETIME& t) {
      return (static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    printf("(GetProcessTimes reports %.2f s since start)\n", seconds(kernel) + seconds(user));
  }
  load = ReadLinuxFile("/proc/loadavg");
  printf("machine load after: %s", load.empty() ? "(unknown)\n" : load.c_str());
  const std::string status = ProcDir.empty() ? std::string() : ReadLinuxFile(ProcDir + "/status");
  if (!status.empty())
    printf("memory: peak resident %lld KiB (VmHWM), resident now %lld KiB, peak virtual %lld KiB\n",
         StatusKilobytes(status, "VmHWM:"), StatusKilobytes(status, "VmRSS:"), StatusKilobytes(status, "VmPeak:"));

  ShutdownRuntime();
  return 0;
}
