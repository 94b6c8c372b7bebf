// The Linux program: the saver over X11 and OpenGL, in XScreenSaver's conventions. It draws into
// a window it is given ($XSCREENSAVER_WINDOW, -window-id, -root) and then takes no input, or into
// a window of its own that input ends as it ends the Windows saver.
// First: it takes back Xlib's macros that clash with the desktop's and the keyboard's names.
#include "window/x11/x11.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/saver.h"
#include "app/state.h"
#include "app/x11/startup.h"
#include "desktop/desktop.h"
#include "display/sprites.h"
#include "display/sprites3d.h"
#include "display/x11/screen.h"
#include "image/decoders.h"
#include "input/keyboard.h"
#include "input/mouse.h"
#include "runtime/message.h"

#ifndef VORLUNE_VERSION
#define VORLUNE_VERSION "0"
#endif

namespace {

const int ExitFailure = 1;
const int ExitUsage = 2;

const char* const Usage =
    "Usage: vorlune [options]\n"
    "Draws slowly changing, symmetric rosettes of glowing sprites over falling white dots.\n"
    "\n"
    "  -window            a window of its own (the default); a key, a click or a mouse move ends it,\n"
    "                     Return starts a new pattern, S shows or hides the dots\n"
    "  -fullscreen        the same over the whole screen\n"
    "  -geometry WxH[+X+Y]  the size of its own window\n"
    "  -root              draw on the root window, take no input\n"
    "  -window-id ID      draw into window ID (decimal or 0x hex), take no input\n"
    "  -display NAME      the X display to use (default: $DISPLAY)\n"
    "  -no-dots           start with the falling dots hidden\n"
    "  -fps               print the frame rate on stderr once a second\n"
    "  --help, --version\n"
    "\n"
    "$XSCREENSAVER_WINDOW, when set, names the window to draw into and takes precedence.\n"
    "A window given to it is drawn into until SIGTERM, SIGINT or SIGHUP, or until it is destroyed.\n";

struct Options {
  Target target;
  Window window;            // GivenWindow
  const char* windowText;   // as given, for messages
  const char* displayName;
  int32_t width, height;    // -geometry; 0: the default
  int geometryMask, x, y;   // -geometry's position, if it gave one
  int32_t showFps;
  int32_t dotsHidden;
};

[[noreturn]] void Fail(int status, const char* format, const char* detail) {
  std::fprintf(stderr, "vorlune: ");
  std::fprintf(stderr, format, detail);
  std::fputc('\n', stderr);
  std::exit(status);
}

// Decimal or 0x hex, nothing else: "12abc", "", "-5" and values past the id range are refused.
int32_t ParseWindowId(const char* text, Window* window) {
  if (!text || !*text) return 0;
  int base = 10;
  const char* digits = text;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    digits = text + 2;
  }
  if (!*digits) return 0;
  for (const char* p = digits; *p; ++p) {
    const bool ok = base == 16 ? std::strchr("0123456789abcdefABCDEF", *p) != nullptr : (*p >= '0' && *p <= '9');
    if (!ok) return 0;
  }
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(digits, &end, base);
  if (errno || *end || value == 0 || value > 0xFFFFFFFFull) return 0;
  *window = static_cast<Window>(value);
  return 1;
}

Options ReadOptions(int argc, char** argv) {
  Options options = {};
  options.target = OwnWindow;
  for (int i = 1; i < argc; ++i) {
    // XScreenSaver's programs take -option and --option alike.
    const char* arg = argv[i];
    if (arg[0] == '-' && arg[1] == '-' && arg[2]) ++arg;
    const bool more = i + 1 < argc;
    if (!std::strcmp(arg, "-help") || !std::strcmp(arg, "-h")) {
      std::fputs(Usage, stdout);
      std::exit(0);
    } else if (!std::strcmp(arg, "-version")) {
      std::printf("vorlune %s\n", VORLUNE_VERSION);
      std::exit(0);
    } else if (!std::strcmp(arg, "-window")) {
      options.target = OwnWindow;
    } else if (!std::strcmp(arg, "-fullscreen")) {
      options.target = FullScreen;
    } else if (!std::strcmp(arg, "-root")) {
      options.target = RootWindowTarget;
    } else if (!std::strcmp(arg, "-window-id")) {
      if (!more) Fail(ExitUsage, "%s needs a window id (try --help)", argv[i]);
      options.windowText = argv[++i];
      if (!ParseWindowId(options.windowText, &options.window))
        Fail(ExitFailure, "-window-id: \"%s\" is not a window id (decimal or 0x hex)", options.windowText);
      options.target = GivenWindow;
    } else if (!std::strcmp(arg, "-display")) {
      if (!more) Fail(ExitUsage, "%s needs a display name (try --help)", argv[i]);
      options.displayName = argv[++i];
    } else if (!std::strcmp(arg, "-geometry")) {
      if (!more) Fail(ExitUsage, "%s needs WIDTHxHEIGHT (try --help)", argv[i]);
      int x = 0, y = 0;
      unsigned int w = 0, h = 0;
      const int given = XParseGeometry(argv[++i], &x, &y, &w, &h);
      if (!(given & WidthValue) || !(given & HeightValue) || w == 0 || h == 0 || w > 16384 || h > 16384)
        Fail(ExitUsage, "-geometry: \"%s\" is not WIDTHxHEIGHT (try --help)", argv[i]);
      options.width = static_cast<int32_t>(w);
      options.height = static_cast<int32_t>(h);
      options.geometryMask = given;
      options.x = x;
      options.y = y;
    } else if (!std::strcmp(arg, "-fps")) {
      options.showFps = 1;
    } else if (!std::strcmp(arg, "-no-dots")) {
      options.dotsHidden = 1;
    } else if (!std::strcmp(arg, "-dots")) {
      options.dotsHidden = 0;
    } else {
      Fail(ExitUsage, "unknown option \"%s\" (try --help)", argv[i]);
    }
  }
  // The daemon's own variable wins over what the command line says, as for its own programs.
  const char* given = std::getenv("XSCREENSAVER_WINDOW");
  if (given && *given) {
    options.windowText = given;
    if (!ParseWindowId(given, &options.window))
      Fail(ExitFailure, "$XSCREENSAVER_WINDOW: \"%s\" is not a window id", given);
    options.target = GivenWindow;
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  timespec started;
  clock_gettime(CLOCK_MONOTONIC, &started);
  const Options options = ReadOptions(argc, argv);

  if (!OpenX11Display(options.displayName)) {
    const char* name = options.displayName ? options.displayName : std::getenv("DISPLAY");
    Fail(ExitFailure, "cannot open the X display \"%s\"", name ? name : "");
  }
  if (options.target == GivenWindow && !AdoptX11Window(options.window))
    Fail(ExitFailure, "window \"%s\" does not exist", options.windowText);
  if (options.target == RootWindowTarget && !AdoptX11Window(DefaultRootWindow(X11.display)))
    Fail(ExitFailure, "%s", "the root window cannot be drawn on");
  CatchEndSignals();
  PlaceX11Window(options.geometryMask, options.x, options.y);

  if (!InitialiseLinuxApplication()) Fail(ExitFailure, "%s", "no memory for the program's heaps");
  DescribeTarget(options.target, options.width, options.height);
  RegisterPngDecoder();
  if (options.dotsHidden) App.StarsVisible = 0;

  X11ScreenOptions screen = {};
  screen.fullScreen = options.target == FullScreen;
  screen.showFps = options.showFps;
  screen.started = started;
  const char* frames = std::getenv("VORLUNE_FRAMES");
  screen.frameLimit = frames ? std::atoi(frames) : 0;
  const char* pacing = std::getenv("VORLUNE_PACING");
  screen.pacing = pacing && !std::strcmp(pacing, "0") ? 0 : 1;
  SetX11ScreenOptions(screen);

  const bool interactive = options.target == OwnWindow || options.target == FullScreen;
  int status = 0;
  // The saver's set-up opens the screen without looking at the result (as on Windows), so whether
  // OpenGL can draw here is found out first: the same open, which the set-up's then keeps.
  if (!InitSpriteEngine() ||
      !OpenFullScreen(DisplayWidth(0), DisplayHeight(0), DisplayDepth(0), "Vorlune Screensaver")) {
    ShowPlainMessage("Error", *X11ScreenError() ? X11ScreenError() : "can't start the sprite engine");
    status = ExitFailure;
  } else if (interactive && (!OpenKeyboardDevice() || !OpenMouseDevice())) {
    ShowPlainMessage("Error", "can't read the keyboard or the mouse");
    status = ExitFailure;
  } else if (!Sprite3DLibraryInit()) {
    ShowPlainMessage("Error", X11ScreenError());
    status = ExitFailure;
  } else {
    SaverLoop();
  }
  ShutdownLinuxApplication();
  return status;
}
