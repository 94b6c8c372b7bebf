// Inside the input library: the DirectInput headers, the shared object's state and the library
// loader that tests replace with fakes.
#pragma once
#include <cstdint>

#include <windows.h>
#include <dinput.h>

struct DirectInputShared {
  IDirectInput7A* object;   // null until created; cleared when released
  HMODULE library;          // "DINPUT.DLL" as loaded
  int32_t users;            // ObtainDirectInput calls not yet matched by ReleaseDirectInput
};
extern DirectInputShared DirectInput;

// The shared object, or none. Every call counts one user, also a failed one; the object goes away
// when ReleaseDirectInput brings the count back to 0.
IDirectInput7A* ObtainDirectInput();
void ReleaseDirectInput();
// At the end of the run: the object goes whatever users are left (the keyboard is opened twice
// in a run but closed once).
void CloseDirectInput();


typedef HRESULT(WINAPI* DirectInputCreateExRoutine)(HINSTANCE instance, DWORD version, REFIID id,
                                                    LPVOID* object, LPUNKNOWN outer);

struct KeyboardDevice {
  BOOL opened;                      // a DirectInput user to release at close
  IDirectInputDevice7A* device;
  DIDATAFORMAT format;
  DIOBJECTDATAFORMAT* objects;      // 256 records from MainHeap, built once, never freed
};
extern KeyboardDevice Keyboard;

const int32_t MouseEventCapacity = 24;

struct MouseDeviceRecord {
  BOOL opened;
  IDirectInputDevice7A* device;
  int32_t state;                    // MouseCreated / MouseConfigured
  BOOL cursorShown;                 // 0 while this library keeps the cursor hidden
  DIDEVICEOBJECTDATA events[MouseEventCapacity];
};
extern MouseDeviceRecord MouseInput;

// The mouse device, or none.
IDirectInputDevice7A* MouseDevice();

extern const DIDATAFORMAT MouseDataFormat;

// Object identifiers, kept here so nothing needs dxguid.
extern const GUID KeyObjectGuid;
extern const GUID SysKeyboardGuid;
extern const GUID SysMouseGuid;
extern const GUID XAxisGuid;
extern const GUID YAxisGuid;
extern const GUID ZAxisGuid;
extern const GUID DirectInput7Iid;
extern const GUID DirectInputDevice7Iid;

// DirectInput result codes the mouse reacts to.
const HRESULT InputBufferOverflow = 1;
const HRESULT InputLost = (HRESULT)0x8007001E;
const HRESULT InputNotAcquired = (HRESULT)0x8007000C;
