// The system keyboard: one snapshot of every key per frame (DirectInput 7 in input/win/, which
// also owns the DirectInput object the keyboard and the mouse share; X11 key events in input/x11/).
#pragma once
#include <cstdint>

// DirectInput keyboard codes (set-1 scan codes) used by the program.
const int32_t AnyKey = -1;
const int32_t KeyEscape = 1;
const int32_t KeyReturn = 28;
const int32_t KeyS = 31;

enum KeyboardDeviceState : int32_t {
  KeyboardClosed = 0,    // no usable device
  KeyboardCreated = 1,   // device made and data format set, not acquired
  KeyboardAcquired = 2,
};

int32_t OpenKeyboardDevice();        // non-zero on success
int32_t ReadKeyboard();              // 1 when a fresh snapshot was taken
int32_t KeyIsDown(int32_t key);      // 0..255: 128 when down; AnyKey: 1 when any of 0..254 is down
void CloseKeyboardDevice();

// The snapshot and the device state, shared by the platform code and KeyIsDown.
extern uint8_t KeyStates[256];
extern int32_t KeyboardState;
