// The Linux saver's own loop for the soak run (scripts/soak_x11.sh): the program's start-up, the
// saver's set-up, frames and exit path, as `vorlune -root` runs them under XScreenSaver, on the
// root window of the display until SIGTERM, SIGINT or SIGHUP. At the start, then every INTERVAL
// seconds and once more after the last frame it counts what the program holds in its own heaps:
//   SAMPLE t=<seconds> frames=<n> patterns=<n> trail=<n> main_blocks=<n> main_bytes=<n>
//          listed_blocks=<n> listed_bytes=<n> string_blocks=<n> string_bytes=<n>
// (one line; -1 for a heap that could not be walked), as the Windows soak's (app/bench/soak_sample.h).
// Usage: soak_saver [-display NAME] [INTERVAL]   (seconds, default 60)
#include "window/x11/x11.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/bench/soak_sample.h"
#include "app/saver.h"
#include "app/x11/startup.h"
#include "desktop/desktop.h"
#include "display/screen.h"
#include "display/sprites.h"
#include "display/sprites3d.h"
#include "display/x11/screen.h"
#include "image/decoders.h"

namespace {

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

  if (!InitialiseLinuxApplication()) return Fail("no memory for the heaps");
  DescribeTarget(RootWindowTarget, 0, 0);
  RegisterPngDecoder();
  if (!InitSpriteEngine() || !OpenFullScreen(DisplayWidth(0), DisplayHeight(0), DisplayDepth(0), "soak_saver"))
    return Fail(*X11ScreenError() ? X11ScreenError() : "no sprite engine");
  if (!Sprite3DLibraryInit()) return Fail(X11ScreenError());

  SaverSetUp();
  RunSoakLoop(interval);

  ShutdownLinuxApplication();
  return 0;
}
