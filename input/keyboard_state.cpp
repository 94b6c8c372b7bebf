#include "input/keyboard.h"

uint8_t KeyStates[256];
int32_t KeyboardState = KeyboardClosed;

int32_t KeyIsDown(int32_t key) {
  if (KeyboardState != KeyboardAcquired) return 0;
  if (key == AnyKey) {
    // Code 255 is left out on purpose.
    for (int i = 0; i < 255; ++i)
      if (KeyStates[i] & 0x80) return 1;
    return 0;
  }
  if (key < 0 || key > 255) return 0;
  return KeyStates[key] & 0x80;
}
