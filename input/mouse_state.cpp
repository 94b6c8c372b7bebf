#include <cstdint>

#include "input/mouse.h"

MouseRecord Mouse;

namespace {

MouseScreenQuery screenQuery = nullptr;

}  // namespace

void SetMouseScreenQuery(MouseScreenQuery query) { screenQuery = query; }

MouseScreen QueryMouseScreen() {
  MouseScreen screen = {};
  if (screenQuery) screenQuery(&screen);
  return screen;
}

int32_t MouseStepX() { return Mouse.stepX; }
int32_t MouseStepY() { return Mouse.stepY; }
int32_t MouseX() { return Mouse.x; }
int32_t MouseY() { return Mouse.y; }

int32_t MouseButtonIsDown(int32_t button) {
  switch (button) {
    case 1: return Mouse.button1;
    case 2: return Mouse.button2;
    case 3: return Mouse.button3;
    default: return 0;
  }
}

namespace {

int32_t Saturate(int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return (int32_t)value;
}

int32_t ClampToScreen(int64_t position, int32_t size) {
  if (position >= size) position = (int64_t)size - 1;
  if (position < 0) position = 0;   // also catches a size of 0 (no screen)
  return (int32_t)position;
}

}  // namespace

void ApplyMouseEvents(const MouseEvent* events, uint32_t count, int32_t width, int32_t height) {
  int64_t stepX = Mouse.stepX, stepY = Mouse.stepY;
  for (uint32_t i = 0; i < count; ++i) {
    const MouseEvent& e = events[i];
    int32_t down = (e.data & 0x80) ? 1 : 0;
    switch (e.offset) {
      case 0: stepX += (int32_t)e.data; break;
      case 4: stepY += (int32_t)e.data; break;
      case 12: Mouse.button1 = down; break;
      case 13: Mouse.button2 = down; break;
      case 14: Mouse.button3 = down; break;
      default: break;   // wheel, fourth button
    }
  }
  Mouse.stepX = Saturate(stepX);
  Mouse.stepY = Saturate(stepY);
  Mouse.x = ClampToScreen((int64_t)Mouse.x + Mouse.stepX, width);
  Mouse.y = ClampToScreen((int64_t)Mouse.y + Mouse.stepY, height);
}

// A lost release must not leave a button held; the middle button is not watched.
void DropMouseButtonsAfterOverflow() {
  Mouse.button1 = 0;
  Mouse.button2 = 0;
}
