// The saver's own loop for the soak run (scripts/soak.sh): the program's start-up and the saver's
// set-up, frames and exit path, as Vorlune.scr /s runs them, until a key, a button or the mouse
// ends them. The window has the saver's title, so the soak finds and ends it as it would the saver.
// At the start, then every INTERVAL seconds and once more after the last frame it prints what the
// program holds in its own heaps (app/bench/soak_sample.h). patterns counts the pattern changes the
// timer made; the trail is full once more than the fade length's frames have passed.
// Run: tests/wine/run.sh BUILD soak_saver.exe [interval seconds]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "app/bench/soak_sample.h"
#include "app/saver.h"
#include "app/win/startup.h"
#include "app/state.h"
#include "display/sprites.h"
#include "display/sprites3d.h"
#include "input/keyboard.h"
#include "input/mouse.h"
#include "runtime/memory.h"
#include "sound/sound.h"

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
  RunSoakLoop(interval);
  ExitProgram();
}
