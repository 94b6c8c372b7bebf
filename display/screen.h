// The DirectDraw 7 screen: full screen (a flip chain) or inside a window (a back buffer copied
// into the window). Owns the DirectDraw object, the draw target and the frame pacing; a windowed
// screen lends its window as the multimedia window (window/win/multimedia.h) while it is open.
// The screen's state and what hands out DirectDraw objects are in display/win/screen.h; the pure
// pixel arithmetic lives in display/pixels.h.
#pragma once
#include <cstdint>

#include "display/pixels.h"

typedef void (*FocusLossRoutine)();
typedef void (*FlipRoutine)(int32_t mode);

// Flip modes.
const int32_t FlipWaitVerticalSync = 1;
const int32_t FlipWaitScanLine = 2;

// Gives back one user of the DirectDraw object (ObtainDirectDraw: display/win/screen.h).
void ReleaseDirectDraw();

// Width, height and depth are each taken as 16-bit signed values.
int32_t OpenFullScreen(int32_t width, int32_t height, int32_t depth, const char* title);
void FullScreenFlip(int32_t mode);
void ClearOutput(uint32_t colour);
int32_t LimitFrameRate(int32_t framesPerSecond);
void WaitFrameInterval();
int32_t ScreenIsActive();
uint32_t RGBToPixel(int32_t red, int32_t green, int32_t blue);
void DetectPixelFormat();
int32_t CreateFlipChain();
void EndScreen();
void ReleaseScreen();
