#include "display/windowed_geometry.h"

namespace {

// Offsets come from the caller unchecked: sums wrap like the 32-bit machine arithmetic instead
// of overflowing.
int32_t Add(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
int32_t Sub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

}  // namespace

WindowInsets InsetsFor(const ScreenRect& window, const ScreenRect& client, int32_t xOffset, int32_t yOffset,
                       int32_t rightOffset, int32_t bottomOffset) {
  WindowInsets insets;
  insets.left = Add(xOffset, Sub(client.left, window.left));
  insets.top = Add(yOffset, Sub(client.top, window.top));
  insets.right = Add(rightOffset, Sub(window.right, client.right));
  insets.bottom = Add(bottomOffset, Sub(window.bottom, client.bottom));
  return insets;
}

void PresentRectsFor(const ScreenRect& window, const WindowInsets& insets, bool stretch, int32_t outputWidth,
                     int32_t outputHeight, ScreenRect* source, ScreenRect* destination) {
  ScreenRect d = window;
  d.left = Add(d.left, insets.left);
  d.right = Add(d.right, insets.left);
  d.top = Add(d.top, insets.top);
  d.bottom = Add(d.bottom, insets.top);
  if (stretch) {
    d.right = Sub(d.right, Add(insets.left, insets.right));
    d.bottom = Sub(d.bottom, Add(insets.top, insets.bottom));
  } else {
    d.right = Add(d.left, outputWidth);
    d.bottom = Add(d.top, outputHeight);
  }
  *destination = d;
  *source = ScreenRect{0, 0, outputWidth, outputHeight};
}
