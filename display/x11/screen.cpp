// The X11 screen: a GLX context on the program's window, the frame stretched over it, the flip with
// frame pacing on the monotonic clock, and the report of the frame rate.
#include "display/x11/screen.h"

#include <GL/glx.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/blending.h"
#include "display/frame_pacing.h"
#include "display/pixels.h"
#include "display/x11/gl.h"
#include "display/x11/quads.h"
#include "display/x11/sprites.h"
#include "display/x11/sprites3d.h"
#include "window/x11/x11.h"

ScreenState GLScreen;
X11ScreenOptions ScreenOptions = {0, 0, 1, 0, {0, 0}};

namespace {

const int64_t NanosecondsPerSecond = 1000000000;

int64_t Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * NanosecondsPerSecond + now.tv_nsec;
}

int32_t Fail(const char* format, ...) {
  ReleaseScreen();
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(GLScreen.error, sizeof GLScreen.error, format, arguments);
  va_end(arguments);
  return 0;
}

// The visual of a window another program lent: GLX must draw on it as it is.
XVisualInfo* AdoptedVisual() {
  Display* display = X11.display;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, X11.window, &attributes) || X11.windowGone) {
    Fail("the window 0x%lx is gone", X11.window);
    return nullptr;
  }
  XVisualInfo wanted = {};
  wanted.visualid = XVisualIDFromVisual(attributes.visual);
  wanted.screen = XScreenNumberOfScreen(attributes.screen);
  int count = 0;
  XVisualInfo* visual = XGetVisualInfo(display, VisualIDMask | VisualScreenMask, &wanted, &count);
  if (!visual) {
    Fail("the visual 0x%lx of the window is unknown", wanted.visualid);
    return nullptr;
  }
  int usesGL = 0, rgba = 0, doubleBuffered = 0;
  if (glXGetConfig(display, visual, GLX_USE_GL, &usesGL) != 0 || !usesGL ||
      glXGetConfig(display, visual, GLX_RGBA, &rgba) != 0 || !rgba) {
    XFree(visual);
    Fail("the window's visual 0x%lx does not support RGBA OpenGL", wanted.visualid);
    return nullptr;
  }
  glXGetConfig(display, visual, GLX_DOUBLEBUFFER, &doubleBuffered);
  GLScreen.doubleBuffered = doubleBuffered ? 1 : 0;
  return visual;
}

// No alpha asked for: the destination alpha then reads 1, as on the Windows back buffer.
XVisualInfo* ChosenVisual() {
  Display* display = X11.display;
  int doubleBuffered[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 1, GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE, 1, None};
  XVisualInfo* visual = glXChooseVisual(display, DefaultScreen(display), doubleBuffered);
  GLScreen.doubleBuffered = 1;
  if (!visual) {
    int single[] = {GLX_RGBA, GLX_RED_SIZE, 1, GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE, 1, None};
    visual = glXChooseVisual(display, DefaultScreen(display), single);
    GLScreen.doubleBuffered = 0;
  }
  if (!visual) Fail("the X screen has no RGBA OpenGL visual");
  return visual;
}

// "2.1 Mesa ...", "4.6 (Compatibility Profile) ...", or "OpenGL ES 3.2 ...".
int32_t MajorVersion(const GLubyte* text) {
  if (!text) return 0;
  const char* version = reinterpret_cast<const char*>(text);
  if (std::strncmp(version, "OpenGL ES ", 10) == 0) version += 10;
  return static_cast<int32_t>(std::strtol(version, nullptr, 10));
}

// The window may have been resized since: the frame is stretched over all of it.
void FitViewport() {
  const int32_t width = X11.width > 0 ? X11.width : GLScreen.frameWidth;
  const int32_t height = X11.height > 0 ? X11.height : GLScreen.frameHeight;
  if (width == GLScreen.viewportWidth && height == GLScreen.viewportHeight) return;
  FlushQuads();
  Gl.Viewport(0, 0, width, height);
  GLScreen.viewportWidth = width;
  GLScreen.viewportHeight = height;
}

void ReportFrame(int64_t now) {
  if (!ScreenOptions.showFps) return;
  if (GLScreen.flips == 1) {
    const timespec& started = ScreenOptions.started;
    const int64_t from = started.tv_sec || started.tv_nsec
                             ? static_cast<int64_t>(started.tv_sec) * NanosecondsPerSecond + started.tv_nsec
                             : GLScreen.openedAt;
    std::fprintf(stderr, "vorlune: first frame after %.3f s\n", static_cast<double>(now - from) / 1e9);
    GLScreen.reportStart = now;
    GLScreen.reportFrames = 0;
    return;
  }
  ++GLScreen.reportFrames;
  const int64_t elapsed = now - GLScreen.reportStart;
  if (elapsed < NanosecondsPerSecond) return;
  std::fprintf(stderr, "vorlune: %.1f frames per second\n", GLScreen.reportFrames * 1e9 / static_cast<double>(elapsed));
  GLScreen.reportStart = now;
  GLScreen.reportFrames = 0;
}

}  // namespace

void SetX11ScreenOptions(const X11ScreenOptions& options) { ScreenOptions = options; }

const char* X11ScreenError() { return GLScreen.error; }

int32_t OpenFullScreen(int32_t width, int32_t height, int32_t depth, const char* title) {
  const int32_t w = static_cast<int16_t>(width), h = static_cast<int16_t>(height);
  // The same frame again (the Linux program opens the screen once to learn whether OpenGL works
  // before the saver's set-up opens it): the context stays, the sprites go as with a new screen.
  if (GLScreen.context && w == GLScreen.frameWidth && h == GLScreen.frameHeight && !X11.windowGone) {
    ReleaseAllSprites();
    Sprites3D.sceneOpen = 0;
    GLScreen.softwareFrame = 0;
    GLScreen.flips = 0;
    GLScreen.scheduled = 0;
    GLScreen.openedAt = Now();
    ClearOutput(0);
    return 1;
  }
  EndScreen();
  GLScreen.error[0] = 0;
  if (w <= 0 || h <= 0) return Fail("the frame size %dx%d is not usable", w, h);
  Display* display = X11.display;
  if (!display) return Fail("no X display is open");
  int errorBase = 0, eventBase = 0;
  if (!glXQueryExtension(display, &errorBase, &eventBase)) return Fail("the X display has no GLX extension");
  XVisualInfo* visual = X11.window ? AdoptedVisual() : ChosenVisual();
  if (!visual) return 0;
  if (!X11.window && !CreateX11Window(visual, w, h, ScreenOptions.fullScreen, title)) {
    XFree(visual);
    return Fail("no window could be made for OpenGL");
  }
  // Direct rendering first; an indirect context is the last resort (it rarely has OpenGL 2).
  GLXContext context = glXCreateContext(display, visual, nullptr, True);
  if (!context) context = glXCreateContext(display, visual, nullptr, False);
  XFree(visual);
  if (!context) return Fail("GLX made no OpenGL context for the window's visual");
  GLScreen.context = context;
  if (!glXMakeCurrent(display, X11.window, context)) return Fail("the OpenGL context cannot draw on the window");
  if (!LoadGLCalls()) return Fail("OpenGL has no %s", MissingGLCall());
  const GLubyte* version = Gl.GetString(GL_VERSION);
  if (MajorVersion(version) < 2)
    return Fail("OpenGL 2.0 or later is needed; the display offers %s",
                version ? reinterpret_cast<const char*>(version) : "none");
  Gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &GLScreen.maxTextureSize);
  if (!CreateQuadBatch(w, h, GLScreen.error, sizeof GLScreen.error)) {
    char reason[sizeof GLScreen.error];
    std::memcpy(reason, GLScreen.error, sizeof reason);
    return Fail("%s", reason);
  }
  GLScreen.frameWidth = w;
  GLScreen.frameHeight = h;
  FitViewport();
  Gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  Gl.ClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  Gl.Clear(GL_COLOR_BUFFER_BIT);
  GLScreen.flips = 0;
  GLScreen.scheduled = 0;
  GLScreen.openedAt = Now();
  return 1;
}

void ClearOutput(uint32_t colour) {
  const uint32_t red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = (colour >> 16) & 0xFF;
  if (GLScreen.softwareFrame && GLScreen.scratch) {
    const uint32_t pixel = FramePixel(red, green, blue);
    const size_t count = static_cast<size_t>(GLScreen.scratchWidth) * static_cast<size_t>(GLScreen.scratchHeight);
    for (size_t i = 0; i < count; ++i) GLScreen.scratch[i] = pixel;
    return;
  }
  if (!ScreenIsActive()) return;
  FlushQuads();
  Gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  Gl.ClearColor(static_cast<float>(red) / 255.0f, static_cast<float>(green) / 255.0f,
                static_cast<float>(blue) / 255.0f, 1.0f);
  Gl.Clear(GL_COLOR_BUFFER_BIT);
}

int32_t LimitFrameRate(int32_t framesPerSecond) {
  if (framesPerSecond < 0) framesPerSecond = 0;
  GLScreen.frameRate = framesPerSecond;
  GLScreen.framePeriod = TicksPerFrame(NanosecondsPerSecond, framesPerSecond);
  GLScreen.scheduled = 0;
  return 1;
}

void WaitFrameInterval() {
  if (GLScreen.frameRate == 0 || !ScreenOptions.pacing) return;
  const int64_t now = Now();
  if (!GLScreen.scheduled || now - GLScreen.nextFrame > GLScreen.framePeriod) {
    // The first frame, or more than a frame late: catching up would race; start afresh from now.
    GLScreen.nextFrame = now + GLScreen.framePeriod;
    GLScreen.scheduled = 1;
    return;
  }
  const int64_t due = GLScreen.nextFrame;
  GLScreen.nextFrame = due + GLScreen.framePeriod;
  const timespec until = {static_cast<time_t>(due / NanosecondsPerSecond), static_cast<long>(due % NanosecondsPerSecond)};
  // A signal ends the sleep early (EINTR): the loop then sees ScreenClosed at once.
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
}

int32_t ScreenIsActive() { return GLScreen.context && !X11.windowGone ? 1 : 0; }

uint32_t RGBToPixel(int32_t red, int32_t green, int32_t blue) {
  return RGBToPixelFor(32, PixelFormat32Bgr, red, green, blue);
}

void EndScreen() {
  if (!GLScreen.context) return;
  ReleaseScreen();
}

void ReleaseScreen() {
  ReleaseAllSprites();
  if (GLScreen.context && X11.display) {
    if (GLScreen.scratchTexture) Gl.DeleteTextures(1, &GLScreen.scratchTexture);
    DestroyQuadBatch();
    glXMakeCurrent(X11.display, None, nullptr);
    glXDestroyContext(X11.display, GLScreen.context);
  } else if (Quads.vertices) {
    // The connection closed first: the context and its objects went with it, the memory did not.
    HeapFree(MainHeap, 0, Quads.vertices);
  }
  std::memset(&Quads, 0, sizeof Quads);
  if (GLScreen.scratch) HeapFree(MainHeap, 0, GLScreen.scratch);
  Sprites3D.sceneOpen = 0;
  // The frame rate is the program's choice and outlives the screen.
  const int32_t frameRate = GLScreen.frameRate;
  const int64_t framePeriod = GLScreen.framePeriod;
  std::memset(&GLScreen, 0, sizeof GLScreen);
  GLScreen.frameRate = frameRate;
  GLScreen.framePeriod = framePeriod;
}

int32_t ConfirmWindow() {
  if (!X11.display || X11.windowGone) return 0;
  if (!X11.ownWindow) XSync(X11.display, False);
  PumpX11Events();
  return X11.windowGone ? 0 : 1;
}

void* FlipScreen() {
  if (!GLScreen.context) return nullptr;
  // As on Windows, the flip makes the back buffer the target again: an unfinished software
  // frame is dropped.
  GLScreen.softwareFrame = 0;
  FlushQuads();
  // A window destroyed since the last frame is seen before GLX would swap on it.
  if (ConfirmWindow()) {
    if (GLScreen.doubleBuffered) glXSwapBuffers(X11.display, X11.window);
    else Gl.Flush();
  }
  PumpX11Events();
  FitViewport();
  ++GLScreen.flips;
  ReportFrame(Now());
  if (!X11EndRequested()) WaitFrameInterval();
  // What came during the sleep (a destroyed window, a key) counts before the next frame.
  PumpX11Events();
  return &GLScreen;
}

int32_t ScreenClosed() {
  // A failed open leaves nothing to draw on: the loop ends, and X11ScreenError says why.
  if (!GLScreen.context || X11EndRequested()) return 1;
  return ScreenOptions.frameLimit > 0 && GLScreen.flips >= ScreenOptions.frameLimit ? 1 : 0;
}

int32_t ReadScreenPixels(uint32_t* pixels, int32_t width, int32_t height) {
  if (!GLScreen.context || !pixels || width <= 0 || height <= 0 || width > GLScreen.viewportWidth ||
      height > GLScreen.viewportHeight)
    return 0;
  FlushQuads();
  Gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
  Gl.ReadPixels(0, GLScreen.viewportHeight - height, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  // GL's rows run bottom to top in R, G, B, A bytes: turned over and into words in place.
  const size_t rowWords = static_cast<size_t>(width);
  for (int32_t top = 0, bottom = height - 1; top <= bottom; ++top, --bottom) {
    uint32_t* upper = pixels + static_cast<size_t>(top) * rowWords;
    uint32_t* lower = pixels + static_cast<size_t>(bottom) * rowWords;
    for (size_t x = 0; x < rowWords; ++x) {
      uint8_t a[4], b[4];
      std::memcpy(a, upper + x, 4);
      std::memcpy(b, lower + x, 4);
      upper[x] = FramePixel(b[0], b[1], b[2]);
      lower[x] = FramePixel(a[0], a[1], a[2]);
    }
  }
  return 1;
}
