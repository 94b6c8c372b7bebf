// The DirectInput object shared by the keyboard and the mouse.
#include "input/win/directinput.h"

#include "input/keyboard.h"
#include "input/win/platform_calls.h"

// The 32-bit program hands DirectInput records of exactly these sizes; 64-bit ones are larger.
static_assert(sizeof(void*) != 4 || sizeof(DIDATAFORMAT) == 24, "data format record");
static_assert(sizeof(void*) != 4 || sizeof(DIOBJECTDATAFORMAT) == 16, "object record");
static_assert(sizeof(DIPROPDWORD) == 20 && sizeof(DIPROPHEADER) == 16, "property records");
static_assert(sizeof(DIDEVICEOBJECTDATA) == 16, "device-object record");

DirectInputShared DirectInput;
InputCalls InputPlatform = {SYSTEM_LIBRARY_CALLS};

const GUID KeyObjectGuid = {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID SysKeyboardGuid = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID SysMouseGuid = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID XAxisGuid = {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID YAxisGuid = {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID ZAxisGuid = {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID DirectInput7Iid = {0x9A4CB684, 0x236D, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
const GUID DirectInputDevice7Iid = {0x57D7C6BC, 0x2356, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};

IDirectInput7A* ObtainDirectInput() {
  if (!DirectInput.object) {
    HMODULE library = InputPlatform.library.loadLibrary("DINPUT.DLL");
    if (library) {
      // A failed load or creation keeps the library; a later call tries again.
      DirectInput.library = library;
      DirectInputCreateExRoutine create = LookUp<DirectInputCreateExRoutine>(InputPlatform.library, library, "DirectInputCreateEx");
      if (create) {
        void* object = nullptr;
        // Only a success counts: a failing creator may leave anything in its result.
        if (create(GetModuleHandleA(nullptr), 0x0700, DirectInput7Iid, &object, nullptr) == 0)
          DirectInput.object = static_cast<IDirectInput7A*>(object);
      }
    }
  }
  DirectInput.users += 1;
  return DirectInput.object;
}

void ReleaseDirectInput() {
  DirectInput.users -= 1;
  if (DirectInput.object && DirectInput.users == 0) {
    DirectInput.object->Release();
    InputPlatform.library.freeLibrary(DirectInput.library);
    DirectInput.object = nullptr;
    DirectInput.library = nullptr;
  }
}

void CloseDirectInput() {
  if (DirectInput.object) DirectInput.object->Release();
  if (DirectInput.library) InputPlatform.library.freeLibrary(DirectInput.library);
  DirectInput = DirectInputShared{};
}
