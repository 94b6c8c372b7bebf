// The windowed screen: the picture lives in an off-screen back buffer and is copied (optionally
// stretched) into an existing window once per frame, through a clipper. The window becomes the
// multimedia window while the screen is open and is subclassed, once in its life, so that size
// changes, repaints and session lock and unlock reach the screen. Windows only; the geometry is
// in display/windowed_geometry.h.
#pragma once
#include <cstdint>

#include <windows.h>
#include <ddraw.h>

// Marks a window as subclassed and registered for session notifications; never removed.
extern const char* const ScreenPaintProperty;   // "zr_dxpaint"

// 1 on success; on failure everything made is released and 0 returned.
int32_t OpenScreenInWindow(HWND window, int32_t xOffset, int32_t yOffset, int32_t width, int32_t height,
                           int32_t stretch, int32_t rightOffset, int32_t bottomOffset);
int32_t CreateWindowedSurfaces();
void MeasureWindowInsets();
void ComputePresentRects(RECT* source, RECT* destination);
void WindowedFlip(int32_t mode);
// Copies the back buffer into the window again; nothing unless a windowed screen is open.
void RepaintWindowedScreen();
LRESULT CALLBACK ScreenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The procedure a window had before OpenScreenInWindow subclassed it; none for a window it never
// subclassed.
WNDPROC ScreenPreviousWindowProc(HWND window);

// Test seam: when set, called in place of Wtsapi32.dll's WTSRegisterSessionNotification (which
// is still looked up, and must exist, as usual).
typedef BOOL (WINAPI* SessionNotificationRoutine)(HWND window, DWORD flags);
extern SessionNotificationRoutine ScreenRegisterSessionNotification;
