// The screen: full screen or inside a window, the draw target and the frame pacing. Each
// platform implements it in its own folder: DirectDraw 7 in display/win/ (a flip chain, or a back
// buffer copied into a window that lends itself as the multimedia window), OpenGL over X11 in
// display/x11/. Their state and what hands out platform objects are in the backend's screen.h;
// the pure pixel arithmetic lives in display/pixels.h.
#pragma once
#include <cstdint>

#include "display/pixels.h"

typedef void (*FocusLossRoutine)();
typedef void (*FlipRoutine)(int32_t mode);

// Flip modes.
const int32_t FlipWaitVerticalSync = 1;
const int32_t FlipWaitScanLine = 2;

// Width, height and depth are each taken as 16-bit signed values.
int32_t OpenFullScreen(int32_t width, int32_t height, int32_t depth, const char* title);
void ClearOutput(uint32_t colour);
int32_t LimitFrameRate(int32_t framesPerSecond);
void WaitFrameInterval();
int32_t ScreenIsActive();
uint32_t RGBToPixel(int32_t red, int32_t green, int32_t blue);
void EndScreen();
void ReleaseScreen();
// Shows the frame, keeping to the frame rate, and handles the window system's messages. Returns
// the back buffer, which stays the draw target (an opaque handle outside the backend).
void* FlipScreen();
// 1 once the window system took the screen away for good or asked the program to end (a window
// another program lent is gone, a termination signal). The Windows screen is never taken away.
int32_t ScreenClosed();
