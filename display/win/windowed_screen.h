// Opening a screen in a window, its presentation rectangles and the procedure it subclasses the
// window with.
#pragma once
#include <windows.h>

#include <cstdint>

#include "display/windowed_screen.h"

// 1 on success; on failure everything made is released and 0 returned.
int32_t OpenScreenInWindow(HWND window, int32_t xOffset, int32_t yOffset, int32_t width, int32_t height,
                           int32_t stretch, int32_t rightOffset, int32_t bottomOffset);
void ComputePresentRects(RECT* source, RECT* destination);
// Where the open windowed screen's picture lies on the desktop, at the screen's own size.
RECT WindowedPictureArea();
LRESULT CALLBACK ScreenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The procedure a window had before OpenScreenInWindow subclassed it; none for a window it never
// subclassed.
WNDPROC ScreenPreviousWindowProc(HWND window);
