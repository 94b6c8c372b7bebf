// The system keyboard in immediate mode: one 256-byte state snapshot per frame.
#include <cstring>

#include "input/keyboard.h"
#include "input/win/directinput.h"
#include "runtime/memory.h"
#include "window/win/multimedia.h"

KeyboardDevice Keyboard;

const DWORD KeyboardCooperation = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY;  // 0x16

namespace {

// The standard keyboard format, one optional button per key code; built by hand so that no
// import library is needed.
int BuildKeyboardFormat() {
  if (!Keyboard.objects) {
    HANDLE heap = MainHeap ? MainHeap : GetProcessHeap();
    Keyboard.objects = static_cast<DIOBJECTDATAFORMAT*>(
        HeapAlloc(heap, HEAP_ZERO_MEMORY, 256 * sizeof(DIOBJECTDATAFORMAT)));
    if (!Keyboard.objects) return 0;
    for (DWORD i = 0; i < 256; ++i) {
      Keyboard.objects[i].pguid = &KeyObjectGuid;
      Keyboard.objects[i].dwOfs = i;
      Keyboard.objects[i].dwType = 0x8000000C | (i << 8);   // optional button, instance i
      Keyboard.objects[i].dwFlags = 0;
    }
  }
  Keyboard.format.dwSize = sizeof(DIDATAFORMAT);
  Keyboard.format.dwObjSize = sizeof(DIOBJECTDATAFORMAT);
  Keyboard.format.dwFlags = DIDF_RELAXIS;
  Keyboard.format.dwDataSize = 256;
  Keyboard.format.dwNumObjs = 256;
  Keyboard.format.rgodf = Keyboard.objects;
  return 1;
}

}  // namespace

int32_t OpenKeyboardDevice() {
  IDirectInput7A* input = ObtainDirectInput();
  Keyboard.opened = TRUE;
  if (!input) return 0;
  if (KeyboardState != KeyboardClosed) return 1;
  if (!BuildKeyboardFormat()) return 0;

  void* device = nullptr;
  if (input->CreateDeviceEx(SysKeyboardGuid, DirectInputDevice7Iid, &device, nullptr) != 0 || !device)
    return 0;
  Keyboard.device = static_cast<IDirectInputDevice7A*>(device);
  if (Keyboard.device->SetDataFormat(&Keyboard.format) != 0) {
    // Not kept half made: a later open starts again from nothing.
    Keyboard.device->Release();
    Keyboard.device = nullptr;
    return 0;
  }
  KeyboardState = KeyboardCreated;
  return 1;
}

int32_t ReadKeyboard() {
  IDirectInputDevice7A* device = Keyboard.device;
  if (!device || KeyboardState == KeyboardClosed) return 0;
  // The window to cooperate with may not have existed at open time, so this waits for a read.
  if (KeyboardState == KeyboardCreated) {
    device->SetCooperativeLevel(MultimediaWindow(), KeyboardCooperation);
    device->Acquire();
    KeyboardState = KeyboardAcquired;
  }
  uint8_t snapshot[256];
  if (device->GetDeviceState(sizeof snapshot, snapshot) != 0) {
    // Lost (another program in front): acquire again on the next read; keep the old table.
    KeyboardState = KeyboardCreated;
    return 0;
  }
  memcpy(KeyStates, snapshot, sizeof snapshot);
  return 1;
}

void CloseKeyboardDevice() {
  if (!Keyboard.opened) return;
  if (Keyboard.device) {
    Keyboard.device->Unacquire();
    Keyboard.device->Release();
    Keyboard.device = nullptr;
  }
  Keyboard.opened = FALSE;
  ReleaseDirectInput();
}
