// The saver's own loop for the soak run (scripts/soak.sh): the program's start-up and the saver's
// set-up, frames and exit path, as Vorlune.scr /s runs them, until a key, a button or the mouse
// ends them. The window has the saver's title, so the soak finds and ends it as it would the saver.
// At the start, then every INTERVAL seconds and once more after the last frame it counts what the
// program holds in its own heaps, in one line for the soak:
//   SAMPLE t=<seconds> frames=<n> patterns=<n> trail=<n> main_blocks=<n> main_bytes=<n>
//          listed_blocks=<n> listed_bytes=<n> string_blocks=<n> string_bytes=<n>
// (one line; -1 for a heap that could not be walked). patterns counts the pattern changes the
// timer made; the trail is full once more than the fade length's frames have passed.
// Run: tests/wine/run.sh BUILD soak_saver.exe [interval seconds]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "app/saver.h"
#include "app/win/startup.h"
#include "app/state.h"
#include "display/sprites.h"
#include "display/sprites3d.h"
#include "input/keyboard.h"
#include "input/mouse.h"
#include "runtime/memory.h"
#include "sound/sound.h"

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
         App.TrailPoints.header ? App.TrailPoints.header->count : 0, Counted(mainWalked, mainBlocks),
         Counted(mainWalked, mainBytes), Counted(listedWalked, listedBlocks), Counted(listedWalked, listedBytes),
         Counted(stringWalked, stringBlocks), Counted(stringWalked, stringBytes));
  fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const long interval = argc > 1 ? atol(argv[1]) : 60;
  if (interval < 1) {
    printf("the interval is a whole number of seconds, 1 or more\n");
    return 2;
  }
  // StartUp without its Error boxes, which nobody would press here: a failure is printed.
  InitialiseApplication();
  if (!InitSpriteEngine() || !OpenKeyboardDevice() || !OpenMouseDevice() || !OpenSoundDevice()) {
    printf("a device could not be opened (sprite engine, keyboard, mouse or sound)\n");
    return 1;
  }
  if (!Sprite3DLibraryInit()) {
    printf("Sprite3DLibraryInit failed\n");
    return 1;
  }
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
    going = AdvanceAndReadInput();
    ++progress.frames;
    // Return moves the time a little ahead without a new pattern; the timer's change moves it a
    // whole period.
    if (App.NextPatternTime != patternTime) {
      if (App.NextPatternTime - static_cast<int32_t>(GetTickCount()) > ReturnDelay) ++progress.patterns;
      patternTime = App.NextPatternTime;
    }
  } while (going);
  Sample(progress);
  ExitProgram();
}
