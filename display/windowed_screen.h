// The windowed screen: the picture lives in an off-screen back buffer and is copied (optionally
// stretched) into an existing window once per frame, through a clipper. The window becomes the
// multimedia window while the screen is open and is subclassed, once in its life, so that size
// changes, repaints and session lock and unlock reach the screen. Opening it and its window
// procedure take Win32 types (display/win/windowed_screen.h); the geometry is in
// display/windowed_geometry.h.
#pragma once
#include <cstdint>

// Marks a window as subclassed and registered for session notifications; never removed.
extern const char* const ScreenPaintProperty;   // "zr_dxpaint"

int32_t CreateWindowedSurfaces();
void MeasureWindowInsets();
void WindowedFlip(int32_t mode);
// Copies the back buffer into the window again; nothing unless a windowed screen is open.
void RepaintWindowedScreen();
