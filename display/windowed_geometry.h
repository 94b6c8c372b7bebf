// Where a windowed screen's picture goes on the desktop: the insets of the picture inside its
// window and the rectangles of the presentation blit. Pure arithmetic, no platform calls.
#pragma once
#include <cstdint>

// Left, top, right, bottom; right and bottom exclusive, as Win32 rectangles.
struct ScreenRect {
  int32_t left, top, right, bottom;
};

struct WindowInsets {
  int32_t left, top, right, bottom;
};

// window: the window rectangle, client: the client rectangle, both in screen coordinates. The
// insets are the picture's offsets inside the client area plus the window's frame on each side.
WindowInsets InsetsFor(const ScreenRect& window, const ScreenRect& client, int32_t xOffset, int32_t yOffset,
                       int32_t rightOffset, int32_t bottomOffset);

// Source: the whole picture. Destination: stretched, the client area less the offsets; otherwise
// the picture's own size at the client area's top-left corner plus the offsets.
void PresentRectsFor(const ScreenRect& window, const WindowInsets& insets, bool stretch, int32_t outputWidth,
                     int32_t outputHeight, ScreenRect* source, ScreenRect* destination);
