// The saver's own frame, uncapped, at the desktop's size: the same start-up and set-up as the
// program, then the loop's parts timed one by one. Prints frames per second, each part's share of
// the frame, and the process's CPU time (all threads, and by thread) and peak memory, read from
// Linux's /proc through Wine's Z: drive: Wine's GetProcessTimes leaves out the threads it starts
// itself (Direct3D's command stream, the GL rasteriser's workers). Wine's server opens those
// files, so /proc/self would be the server: the program finds its own Linux process by name.
// It also prints the time from process creation to the first flip, and the application's own work
// per frame: the model step and the 3D sprites' call submission, timed against a Direct3D device
// that does nothing, so that only the program's code is in the figure.
// The last line, "RESULT ...", is for scripts/perf.sh.
// Run: tests/wine/run.sh BUILD bench_saver.exe [frames] [warm-up frames]
#include <windows.h>
#include <d3d.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/bench/win/bench_support.h"
#include "app/pattern.h"
#include "app/saver.h"
#include "app/win/startup.h"
#include "app/state.h"
#include "desktop/desktop.h"
#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/win/sprites3d.h"
#include "input/keyboard.h"
#include "input/mouse.h"
#include "sound/sound.h"

namespace {

std::string ProcDir;  // "/proc/<Linux pid>", empty when not found

// Per-thread CPU ticks (the llvmpipe workers each have their own), to be added up by name.
std::vector<ProcStat> ThreadTicks() {
  if (ProcDir.empty()) return {};
  return ReadStats(ProcDir + "/task", [](const char* entry) { return entry[0] != '.'; });
}

long long TicksFor(const std::vector<ProcStat>& threads, const std::string& name) {
  long long sum = 0;
  for (const ProcStat& t : threads)
    if (t.name == name) sum += t.ticks;
  return sum;
}

struct Part {
  const char* name;
  std::vector<double> times;
};

int TrailPointCount() { return App.TrailPoints.header ? App.TrailPoints.header->count : 0; }

// A Direct3D device that accepts every call and does nothing: with it in place of the real one,
// the trail pass costs only the program's own work (model, vertex set-up, the calls themselves).
#define ACCEPT(method, parameters) STDMETHOD(method) parameters override { return D3D_OK; }
class NullDevice final : public IDirect3DDevice7 {
 public:
  STDMETHOD_(HRESULT, QueryInterface)(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return 1; }
  STDMETHOD_(ULONG, Release)() override { return 1; }
  ACCEPT(GetCaps, (D3DDEVICEDESC7*))
  ACCEPT(EnumTextureFormats, (LPD3DENUMPIXELFORMATSCALLBACK, void*))
  ACCEPT(BeginScene, ())
  ACCEPT(EndScene, ())
  ACCEPT(GetDirect3D, (IDirect3D7**))
  ACCEPT(SetRenderTarget, (IDirectDrawSurface7*, DWORD))
  ACCEPT(GetRenderTarget, (IDirectDrawSurface7**))
  ACCEPT(Clear, (DWORD, D3DRECT*, DWORD, D3DCOLOR, D3DVALUE, DWORD))
  ACCEPT(SetTransform, (D3DTRANSFORMSTATETYPE, D3DMATRIX*))
  ACCEPT(GetTransform, (D3DTRANSFORMSTATETYPE, D3DMATRIX*))
  ACCEPT(SetViewport, (D3DVIEWPORT7*))
  ACCEPT(MultiplyTransform, (D3DTRANSFORMSTATETYPE, D3DMATRIX*))
  ACCEPT(GetViewport, (D3DVIEWPORT7*))
  ACCEPT(SetMaterial, (D3DMATERIAL7*))
  ACCEPT(GetMaterial, (D3DMATERIAL7*))
  ACCEPT(SetLight, (DWORD, D3DLIGHT7*))
  ACCEPT(GetLight, (DWORD, D3DLIGHT7*))
  ACCEPT(SetRenderState, (D3DRENDERSTATETYPE, DWORD))
  ACCEPT(GetRenderState, (D3DRENDERSTATETYPE, LPDWORD))
  ACCEPT(BeginStateBlock, ())
  ACCEPT(EndStateBlock, (LPDWORD))
  ACCEPT(PreLoad, (IDirectDrawSurface7*))
  ACCEPT(DrawPrimitive, (D3DPRIMITIVETYPE, DWORD, void*, DWORD, DWORD))
  ACCEPT(DrawIndexedPrimitive, (D3DPRIMITIVETYPE, DWORD, void*, DWORD, WORD*, DWORD, DWORD))
  ACCEPT(SetClipStatus, (D3DCLIPSTATUS*))
  ACCEPT(GetClipStatus, (D3DCLIPSTATUS*))
  ACCEPT(DrawPrimitiveStrided, (D3DPRIMITIVETYPE, DWORD, D3DDRAWPRIMITIVESTRIDEDDATA*, DWORD, DWORD))
  ACCEPT(DrawIndexedPrimitiveStrided, (D3DPRIMITIVETYPE, DWORD, D3DDRAWPRIMITIVESTRIDEDDATA*, DWORD, WORD*, DWORD, DWORD))
  ACCEPT(DrawPrimitiveVB, (D3DPRIMITIVETYPE, IDirect3DVertexBuffer7*, DWORD, DWORD, DWORD))
  ACCEPT(DrawIndexedPrimitiveVB, (D3DPRIMITIVETYPE, IDirect3DVertexBuffer7*, DWORD, DWORD, WORD*, DWORD, DWORD))
  ACCEPT(ComputeSphereVisibility, (D3DVECTOR*, D3DVALUE*, DWORD, DWORD, DWORD*))
  ACCEPT(GetTexture, (DWORD, IDirectDrawSurface7**))
  ACCEPT(SetTexture, (DWORD, IDirectDrawSurface7*))
  ACCEPT(GetTextureStageState, (DWORD, D3DTEXTURESTAGESTATETYPE, LPDWORD))
  ACCEPT(SetTextureStageState, (DWORD, D3DTEXTURESTAGESTATETYPE, DWORD))
  ACCEPT(ValidateDevice, (LPDWORD))
  ACCEPT(ApplyStateBlock, (DWORD))
  ACCEPT(CaptureStateBlock, (DWORD))
  ACCEPT(DeleteStateBlock, (DWORD))
  ACCEPT(CreateStateBlock, (D3DSTATEBLOCKTYPE, LPDWORD))
  ACCEPT(Load, (IDirectDrawSurface7*, POINT*, IDirectDrawSurface7*, RECT*, DWORD))
  ACCEPT(LightEnable, (DWORD, WINBOOL))
  ACCEPT(GetLightEnable, (DWORD, WINBOOL*))
  ACCEPT(SetClipPlane, (DWORD, D3DVALUE*))
  ACCEPT(GetClipPlane, (DWORD, D3DVALUE*))
  ACCEPT(GetInfo, (DWORD, LPVOID, DWORD))
};
#undef ACCEPT

void NoDraw(int32_t, int32_t, int32_t, int32_t) {}

// Median time of one model frame (trail pass with the given routine, step, colour), in seconds.
double ModelFrameTime(TrailDrawRoutine draw, int repetitions) {
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const double t0 = Now();
    TrailPass(draw);
    StepEmitters();
    CycleEmitterColour();
    times.push_back(Now() - t0);
  }
  return Median(times);
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, atoi(argv[1])) : 600;
  const int warmUp = argc > 2 ? std::max(0, atoi(argv[2])) : 150;
  const char* csmt = getenv("WINE_D3D_CONFIG");
  const double clockTicks = 100.0;  // USER_HZ of Linux's /proc

  ProcDir = FindOwnProcess();
  // The program's own start-up, without its error boxes: a failure is printed instead.
  // Each start-up step timed, in the program's order.
  const double sinceCreationAtMain = SinceCreation();
  double start = Now();
  double stepStart = start;
  std::string steps;
  auto step = [&](const char* name, bool ok) {
    const double now = Now();
    char text[96];
    snprintf(text, sizeof text, "%s %.0f ms, ", name, (now - stepStart) * 1000);
    steps += text;
    stepStart = now;
    return ok;
  };
  InitialiseApplication();
  step("libraries", true);
  if (!step("sprite engine", InitSpriteEngine()) || !step("keyboard", OpenKeyboardDevice()) ||
      !step("mouse", OpenMouseDevice()) || !step("sound", OpenSoundDevice())) {
    printf("a device could not be opened (sprite engine, keyboard, mouse or sound)\n");
    return 1;
  }
  if (!step("3D sprites", Sprite3DLibraryInit())) {
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
  printf("process creation to main %.0f ms; start-up (libraries and devices) %.0f ms: %s\nsaver set-up %.0f ms\n",
         sinceCreationAtMain * 1000, startUp * 1000, steps.c_str(), setUp * 1000);

  Part parts[4] = {{"software frame (clear, stars, blit)", {}},
                   {"3D scene (trail points)", {}},
                   {"flip", {}},
                   {"model step, timer, colours, input, Sleep(2)", {}}};
  bool stopped = false;
  // The first frame, with Direct3D's first draw and shader set-up in it.
  const double firstFrameStart = Now();
  DrawBackground();
  DrawPattern();
  ShowFrame();
  const double firstFrame = Now() - firstFrameStart;
  const double firstFlipUnix = UnixNow();
  const double firstFlipSinceCreation = SinceCreation();
  stopped = !AdvanceAndReadInput();
  printf("first frame %.0f ms; first flip %.0f ms after process creation\n", firstFrame * 1000,
         firstFlipSinceCreation * 1000);
  // The trail fills up over its 100-frame life; measure the steady state after it.
  for (int i = 0; i < warmUp && !stopped; ++i) {
    DrawBackground();
    DrawPattern();
    ShowFrame();
    stopped = !AdvanceAndReadInput();
  }
  const int trailPoints = TrailPointCount();

  const long long ticksBefore = ProcessTicks(ProcDir);
  const std::vector<ProcStat> threadsBefore = ThreadTicks();
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
  const long long ticksAfter = ProcessTicks(ProcDir);
  const std::vector<ProcStat> threadsAfter = ThreadTicks();
  if (stopped) printf("the saver's input ended the run early (a key, the mouse or a button)\n");
  if (done == 0) return 1;

  printf("%d frames after %d warm-up frames, %d trail points drawn per frame: %.1f frames/s (%.2f ms a frame)\n", done,
         warmUp, trailPoints, done / wall, wall * 1000 / done);
  for (const Part& p : parts) {
    const double total = Sum(p.times);
    printf("  %-45s %5.1f %%  mean %7.2f ms  median %7.2f ms\n", p.name, 100 * total / wall, total * 1000 / done,
           Median(p.times) * 1000);
  }

  if (!csmt || !strstr(csmt, "csmt=0"))
    printf("  (with Wine's command stream on, the software frame's first DirectDraw call waits for the previous\n"
           "   frame's 3D scene to be drawn: its share holds most of the scene's cost)\n");
  if (ticksBefore >= 0 && ticksAfter >= 0) {
    const double cpu = (ticksAfter - ticksBefore) / clockTicks;
    printf("CPU time of the process over the measured frames: %.2f s in %.2f s (%.2f cores)\n", cpu, wall, cpu / wall);
    std::vector<std::string> names;
    for (const ProcStat& t : threadsAfter)
      if (std::find(names.begin(), names.end(), t.name) == names.end()) names.push_back(t.name);
    for (const std::string& name : names) {
      const double used = (TicksFor(threadsAfter, name) - TicksFor(threadsBefore, name)) / clockTicks;
      if (used > 0) printf("  thread %-16s %6.2f s (%.2f cores)\n", name.c_str(), used, used / wall);
    }
    printf("CPU time of the process since it started: %.2f s\n", ProcessTicks(ProcDir) / clockTicks);
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


  // The program's own work per frame, on the steady-state trail: the model alone, then the model
  // with the 3D sprites' calls made to a device that does nothing. The real device is put back.
  double modelOnly = -1, modelAndCalls = -1;
  if (Screen.device3D) {
    const int repetitions = 300;
    modelOnly = ModelFrameTime(NoDraw, repetitions);
    NullDevice nullDevice;
    IDirect3DDevice7* device = Screen.device3D;
    Screen.device3D = &nullDevice;
    modelAndCalls = ModelFrameTime(DrawSprite3DFaded, repetitions);
    Screen.device3D = device;
    printf("own work per frame (median of %d, %d trail points): model %.1f us, model and 3D call submission to a "
           "no-op device %.1f us\n",
           repetitions, TrailPointCount(), modelOnly * 1e6, modelAndCalls * 1e6);
  }
  // Two parts of the loop's last step on their own: the input reads, and the 2 ms pause, which
  // under load lasts as long as the scheduler takes to wake the thread again.
  std::vector<double> inputTimes, sleepTimes;
  for (int i = 0; i < 100; ++i) {
    const double t0 = Now();
    ReadKeyboard();
    ReadMouse();
    const double t1 = Now();
    Sleep(2);
    inputTimes.push_back(t1 - t0);
    sleepTimes.push_back(Now() - t1);
  }
  printf("keyboard and mouse reads median %.3f ms; Sleep(2) median %.2f ms\n", Median(inputTimes) * 1000,
         Median(sleepTimes) * 1000);
  double cores = -1;
  if (ticksBefore >= 0 && ticksAfter >= 0) cores = (ticksAfter - ticksBefore) / clockTicks / wall;
  const double share = [&] {
    double s = 0;
    for (double t : parts[0].times) s += t;
    return s / wall;
  }();
  printf("RESULT fps=%.2f first_flip_unix=%.6f first_flip_since_creation=%.4f cores=%.2f peak_kib=%lld "
         "model_us=%.2f model_calls_us=%.2f software_share=%.3f sleep_ms=%.3f input_ms=%.4f\n",
         done / wall, firstFlipUnix, firstFlipSinceCreation, cores,
         status.empty() ? -1LL : StatusKilobytes(status, "VmHWM:"), modelOnly * 1e6, modelAndCalls * 1e6, share,
         Median(sleepTimes) * 1000, Median(inputTimes) * 1000);
  fflush(stdout);
  ShutdownRuntime();
  return 0;
}
