// The system keyboard over DirectInput 7: one snapshot of every key per frame. Also owns the
// DirectInput object that the keyboard and the mouse share.
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

// Shared DirectInput object. Every call of ObtainDirectInput (input/win/directinput.h) counts one
// user, also a failed one; the object goes away when ReleaseDirectInput brings the count back to 0.
void ReleaseDirectInput();
// At the end of the run: the object goes whatever users are left (the keyboard is opened twice
// in a run but closed once).
void CloseDirectInput();

int32_t OpenKeyboardDevice();        // non-zero on success
int32_t ReadKeyboard();              // 1 when a fresh snapshot was taken
int32_t KeyIsDown(int32_t key);      // 0..255: 128 when down; AnyKey: 1 when any of 0..254 is down
void CloseKeyboardDevice();

// The snapshot and the device state, shared by the platform code and KeyIsDown.
extern uint8_t KeyStates[256];
extern int32_t KeyboardState;
