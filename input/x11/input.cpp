// The keyboard and the mouse of the program's own X window. X delivers events rather than
// states, so both are gathered here between frames: a key counts as down at a read when it is
// held or was pressed since the last read (a tap between two frames is not lost), and the
// pointer's moves become the same step records the Windows mouse sums.
// First: it takes back Xlib's macros that clash with the keyboard's names.
#include "window/x11/x11.h"

#include <X11/keysym.h>

#include <cstdint>
#include <cstring>

#include "input/keyboard.h"
#include "input/mouse.h"

namespace {

struct PendingInput {
  uint8_t held[256];
  uint8_t pressed[256];         // since the last ReadKeyboard
  uint8_t buttonHeld[3];        // left, right, middle
  uint8_t buttonPressed[3];     // since the last ReadMouse
  int64_t stepX, stepY;         // the pointer's moves since the last ReadMouse
  int32_t lastX, lastY;         // the pointer's last position in the window
  int32_t pointerKnown;
  int32_t keyboardOpen, mouseOpen;
};
PendingInput pending;

// The program's keys by meaning, the rest by their scan code (evdev key codes are scan codes
// plus 8); a key whose code would collide with the three is still "another key".
int32_t ScanCode(XKeyEvent& event) {
  const KeySym symbol = XLookupKeysym(&event, 0);
  if (symbol == XK_Escape) return KeyEscape;
  if (symbol == XK_Return || symbol == XK_KP_Enter) return KeyReturn;
  if (symbol == XK_s || symbol == XK_S) return KeyS;
  const int32_t code = static_cast<int32_t>(event.keycode) - 8;
  if (code <= 0 || code > 254 || code == KeyEscape || code == KeyReturn || code == KeyS) return 2;
  return code;
}

int32_t Clamp(int64_t value) {
  return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value);
}

void MovePointer(int32_t x, int32_t y) {
  if (pending.pointerKnown) {
    pending.stepX += x - pending.lastX;
    pending.stepY += y - pending.lastY;
  }
  pending.lastX = x;
  pending.lastY = y;
  pending.pointerKnown = 1;
}

void OnInput(const XEvent& event) {
  switch (event.type) {
    case KeyPress:
    case KeyRelease: {
      if (!pending.keyboardOpen) break;
      XKeyEvent key = event.xkey;
      const int32_t code = ScanCode(key);
      pending.held[code] = event.type == KeyPress ? 0x80 : 0;
      if (event.type == KeyPress) pending.pressed[code] = 0x80;
      break;
    }
    case ButtonPress:
    case ButtonRelease: {
      if (!pending.mouseOpen) break;
      // X numbers left, middle, right; the records go left, right, middle. Wheels are not buttons.
      const unsigned button = event.xbutton.button;
      const int index = button == 1 ? 0 : button == 3 ? 1 : button == 2 ? 2 : -1;
      if (index < 0) break;
      pending.buttonHeld[index] = event.type == ButtonPress;
      if (event.type == ButtonPress) pending.buttonPressed[index] = 1;
      break;
    }
    case MotionNotify:
      if (pending.mouseOpen) MovePointer(event.xmotion.x, event.xmotion.y);
      break;
    default:
      break;
  }
}

void Listen() { SetX11InputRoutine(pending.keyboardOpen || pending.mouseOpen ? OnInput : nullptr); }

}  // namespace

int32_t OpenKeyboardDevice() {
  if (!X11.display) return 0;
  std::memset(pending.held, 0, sizeof pending.held);
  std::memset(pending.pressed, 0, sizeof pending.pressed);
  std::memset(KeyStates, 0, sizeof KeyStates);
  pending.keyboardOpen = 1;
  KeyboardState = KeyboardAcquired;
  Listen();
  return 1;
}

int32_t ReadKeyboard() {
  if (KeyboardState != KeyboardAcquired) return 0;
  PumpX11Events();
  for (int i = 0; i < 256; ++i) KeyStates[i] = pending.held[i] | pending.pressed[i];
  std::memset(pending.pressed, 0, sizeof pending.pressed);
  return 1;
}

void CloseKeyboardDevice() {
  pending.keyboardOpen = 0;
  KeyboardState = KeyboardClosed;
  std::memset(KeyStates, 0, sizeof KeyStates);
  Listen();
}

int32_t OpenMouseDevice() {
  if (!X11.display) return 0;
  std::memset(pending.buttonHeld, 0, sizeof pending.buttonHeld);
  std::memset(pending.buttonPressed, 0, sizeof pending.buttonPressed);
  pending.stepX = pending.stepY = 0;
  pending.pointerKnown = 0;
  std::memset(&Mouse, 0, sizeof Mouse);
  if (X11.window) {
    Window root, child;
    int rootX, rootY, x, y;
    unsigned int buttons;
    if (XQueryPointer(X11.display, X11.window, &root, &child, &rootX, &rootY, &x, &y, &buttons)) {
      pending.lastX = x;
      pending.lastY = y;
      pending.pointerKnown = 1;
    }
  }
  pending.mouseOpen = 1;
  Listen();
  return 1;
}

int32_t ReadMouse() {
  Mouse.stepX = 0;
  Mouse.stepY = 0;
  if (!pending.mouseOpen) return 0;
  PumpX11Events();
  // A click within one frame still counts as a button down at this read.
  MouseEvent events[5] = {{0, static_cast<uint32_t>(Clamp(pending.stepX)), 0, 0},
                          {4, static_cast<uint32_t>(Clamp(pending.stepY)), 0, 0}};
  for (uint32_t i = 0; i < 3; ++i) {
    const bool down = pending.buttonHeld[i] || pending.buttonPressed[i];
    events[2 + i] = {12 + i, down ? 0x80u : 0u, 0, 0};
  }
  ApplyMouseEvents(events, 5, X11.width, X11.height);
  std::memset(pending.buttonPressed, 0, sizeof pending.buttonPressed);
  pending.stepX = pending.stepY = 0;
  return 1;
}

void SuspendMouse() {}

void CloseMouseDevice() {
  pending.mouseOpen = 0;
  Listen();
}
