// The X11 screen's state and what the Linux program sets or reads beyond display/screen.h: the
// options of the screen (set before OpenFullScreen), the reason an open failed, and the pixels
// drawn so far (for tests).
//
// The screen is an OpenGL context on the program's one X window (window/x11/x11.h): a window lent
// by another program when X11.window is set at the open, else one of its own. The frame, the
// draw target, has the size given to OpenFullScreen and is stretched over the window, whatever
// size it has now.
#pragma once
#include <GL/gl.h>

#include <cstdint>
#include <ctime>

#include "display/screen.h"

// As <GL/glx.h> has it, which is not included here: Xlib's macros (AnyKey, None, ...) would
// collide with names of the program's headers included after this one.
typedef struct __GLXcontextRec* GLXContext;

struct X11ScreenOptions {
  int32_t fullScreen;   // a window of its own covers the screen
  int32_t showFps;      // frames per second on stderr once a second, and the first frame's delay
  int32_t pacing;       // 1: the frame rate is kept by sleeping; 0: never sleep (benchmarks)
  int32_t frameLimit;   // > 0: ScreenClosed once that many frames were shown
  timespec started;     // CLOCK_MONOTONIC when the program started; 0: the open's time
};

// fullScreen counts at the next OpenFullScreen, the rest at once. The defaults: a window, no
// report, pacing, no limit.
void SetX11ScreenOptions(const X11ScreenOptions& options);
// ScreenClosed is 1 also while no screen is open (before the open, or after it failed).
// 1 while the window is there to draw on. A lent window can be destroyed by its owner at any
// time, and GLX then reads a drawable size of garbage (a frame of gigabytes, over a second):
// for such a window this asks the server (one round trip) right before a frame's first drawing
// and the swap.
int32_t ConfirmWindow();
// One line: why the last OpenFullScreen failed ("" after a success).
const char* X11ScreenError();
// The top-left width x height pixels of the window's back buffer as drawn so far in this frame,
// rows top to bottom, 0x00RRGGBB each; 1 when read (the screen is open and the area lies within
// the window), else 0 and nothing written.
int32_t ReadScreenPixels(uint32_t* pixels, int32_t width, int32_t height);

struct ScreenState {
  GLXContext context;                  // none: no screen open
  int32_t doubleBuffered;              // else glFlush stands for the swap
  int32_t frameWidth, frameHeight;     // the draw target; 0 without a screen
  int32_t viewportWidth, viewportHeight;
  GLint maxTextureSize;
  // Frame pacing: LimitFrameRate's rate; frames may not start before nextFrame.
  int32_t frameRate;                   // 0: no pacing
  int64_t framePeriod;                 // nanoseconds
  int32_t scheduled;                   // nextFrame holds a time
  int64_t nextFrame;                   // CLOCK_MONOTONIC nanoseconds, as the times below
  // Counting for the frame limit and the report.
  int64_t flips;                       // since the open
  int64_t openedAt, reportStart;
  int32_t reportFrames;
  // The software frame: 0x00RRGGBB words in memory, uploaded into scratchTexture at its end.
  uint32_t* scratch;
  int32_t scratchWidth, scratchHeight;
  int32_t softwareFrame;
  GLuint scratchTexture;
  int32_t scratchTextureWidth, scratchTextureHeight;
  char error[200];
};

extern ScreenState GLScreen;
extern X11ScreenOptions ScreenOptions;

// The frame's pixels as the frame program shows them (RGBToPixel at 32 bits, red high).
inline uint32_t FramePixel(uint32_t red, uint32_t green, uint32_t blue) {
  return (red & 0xFF) << 16 | (green & 0xFF) << 8 | (blue & 0xFF);
}
