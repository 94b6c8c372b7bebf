// The Linux saver's own loop for the soak run (scripts/soak_x11.sh): the program's start-up, the
// saver's set-up, frames and exit path, as `vorlune -root` runs them under XScreenSaver, on the
// root window of the display until SIGTERM, SIGINT or SIGHUP. At the start, then every INTERVAL
// seconds and once more after the last frame it counts what the program holds in its own heaps:
//   SAMPLE t=<seconds> frames=<n> patterns=<n> trail=<n> main_blocks=<n> main_bytes=<n>
//          listed_blocks=<n> listed_bytes=<n> string_blocks=<n> string_bytes=<n>
// (one line; -1 for a heap that could not be walked), the same line as the Windows soak's.
// Usage: soak_saver [-display NAME] [INTERVAL]   (seconds, default 60)
#include "window/x11/x11.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/saver.h"
#include "app/state.h"
#include "desktop/desktop.h"
#include "desktop/x11/displays.h"
#include "display/screen.h"
#include "display/sprites.h"
#include "display/sprites3d.h"
#include "display/x11/screen.h"
#include "image/decoders.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/params.h"

namespace {

struct Progress {
  DWORD start;
  long frames;
  long patterns;
};

long long Counted(int walked, size_t value) { return walked ? static_cast<long long>(value) : -1; }

void Sample(const Progress& p) {
  size_t mainBlocks, mainBytes, listedBlocks, listedBytes, stringBlocks, stringBytes;
  const int mainWalked = HeapUsage(MainHeap, &mainBlocks, &mainBytes);
  const int listedWalked = HeapUsage(ListedObjectHeap, &listedBlocks, &listedBytes);
  const int stringWalked = HeapUsage(StringHeap, &stringBlocks, &stringBytes);
  printf("SAMPLE t=%.1f frames=%ld patterns=%ld trail=%d main_blocks=%lld main_bytes=%lld listed_blocks=%lld "
         "listed_bytes=%lld string_blocks=%lld string_bytes=%lld\n",
         (GetTickCount() - p.start) / 1000.0, p.frames, p.patterns,
         App.TrailPoints.header ? static_cast<int>(App.TrailPoints.header->count) : 0,
         Counted(mainWalked, mainBlocks), Counted(mainWalked, mainBytes), Counted(listedWalked, listedBlocks),
         Counted(listedWalked, listedBytes), Counted(stringWalked, stringBlocks), Counted(stringWalked, stringBytes));
  fflush(stdout);
}

int Fail(const char* what) {
  printf("soak_saver: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* displayName = nullptr;
  long interval = 60;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "-display") && i + 1 < argc) displayName = argv[++i];
    else if ((interval = atol(argv[i])) < 1) {
      printf("usage: soak_saver [-display NAME] [INTERVAL]  (a whole number of seconds, 1 or more)\n");
      return 2;
    }
  }
  if (!OpenX11Display(displayName)) return Fail("cannot open the X display");
  if (!AdoptX11Window(DefaultRootWindow(X11.display))) return Fail("the root window cannot be drawn on");
  CatchEndSignals();

  // The program's start-up for a lent window, as app/x11/main.cpp does it.
  memset(&App, 0, sizeof(App));
  App.mainHeap = MainHeap = HeapCreate(0, 4096, 0);
  if (!MainHeap || !InitStringStorage() || !InitListedObjectHeap()) return Fail("no memory for the heaps");
  ResetImageDecoders();
  InitProgramParameters();
  CreateSaverState();
  UseDesktopConnection(X11.display);
  ExamineDisplays();
  DesktopRecord target = {};
  if (const DesktopRecord* screen = DisplayRecord(0)) target = *screen;
  target.width = static_cast<int16_t>(X11.width);
  target.height = static_cast<int16_t>(X11.height);
  if (!target.depth) target.depth = 24;
  ReplaceDesktopRecords(&target, 1);
  RegisterPngDecoder();
  if (!InitSpriteEngine() || !OpenFullScreen(DisplayWidth(0), DisplayHeight(0), DisplayDepth(0), "soak_saver"))
    return Fail(*X11ScreenError() ? X11ScreenError() : "no sprite engine");
  if (!Sprite3DLibraryInit()) return Fail(X11ScreenError());

  SaverSetUp();
  Progress progress = {GetTickCount(), 0, 0};
  const DWORD period = static_cast<DWORD>(interval) * 1000;
  DWORD nextSample = progress.start;
  int32_t patternTime = App.NextPatternTime;
  bool going;
  do {
    if (static_cast<int32_t>(GetTickCount() - nextSample) >= 0) {
      Sample(progress);
      nextSample += period;
    }
    DrawBackground();
    DrawPattern();
    ShowFrame();
    going = AdvanceAndReadInput() && !ScreenClosed();
    ++progress.frames;
    if (App.NextPatternTime != patternTime) {
      ++progress.patterns;
      patternTime = App.NextPatternTime;
    }
  } while (going);
  Sample(progress);

  CloseSprite3DLibrary();
  ShutdownSpriteEngine();
  CloseX11();
  ReplaceDesktopRecords(nullptr, 0);
  HeapDestroy(MainHeap);
  return 0;
}
