// The system mouse in buffered mode: every read drains the device's queue and sums it.
#include "input/mouse.h"

#include "input/keyboard.h"
#include "input/win/directinput.h"
#include "window/win/multimedia.h"

MouseDeviceRecord MouseInput;

const DWORD MouseFullScreenCooperation = DISCL_EXCLUSIVE | DISCL_FOREGROUND;      // 5
const DWORD MouseWindowedCooperation = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND;     // 6

namespace {

DIOBJECTDATAFORMAT MouseObjects[] = {
    {&XAxisGuid, 0, 0x00FFFF03, 0},   // any axis
    {&YAxisGuid, 4, 0x00FFFF03, 0},
    {&ZAxisGuid, 8, 0x80FFFF03, 0},   // wheel, optional
    {nullptr, 12, 0x00FFFF0C, 0},     // any button
    {nullptr, 13, 0x00FFFF0C, 0},
    {nullptr, 14, 0x80FFFF0C, 0},     // optional
    {nullptr, 15, 0x80FFFF0C, 0},
};

}  // namespace

const DIDATAFORMAT MouseDataFormat = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 16,
    sizeof MouseObjects / sizeof MouseObjects[0], MouseObjects};

static_assert(sizeof(DIDEVICEOBJECTDATA) == sizeof(MouseEvent), "device records are 16 bytes");

IDirectInputDevice7A* MouseDevice() { return MouseInput.device; }

int32_t OpenMouseDevice() {
  IDirectInput7A* input = ObtainDirectInput();
  MouseInput.opened = TRUE;
  if (!input) return 0;
  if (MouseInput.device) {
    MouseInput.device->Release();
    MouseInput.device = nullptr;
  }
  void* device = nullptr;
  if (input->CreateDeviceEx(SysMouseGuid, DirectInputDevice7Iid, &device, nullptr) != 0 || !device)
    return 0;
  MouseInput.device = static_cast<IDirectInputDevice7A*>(device);
  if (MouseInput.device->SetDataFormat(&MouseDataFormat) != 0) {
    MouseInput.device->Release();
    MouseInput.device = nullptr;
    return 0;
  }
  MouseInput.cursorShown = TRUE;
  MouseInput.state = MouseCreated;
  return 1;
}

namespace {

void GiveBack(bool windowed) {
  if (windowed) {
    ClipCursor(nullptr);
    if (!MouseInput.cursorShown) {
      ShowCursor(TRUE);
      MouseInput.cursorShown = TRUE;
    }
  }
  if (MouseInput.device) MouseInput.device->Unacquire();
}

}  // namespace

void SuspendMouse() { GiveBack(QueryMouseScreen().windowed != 0); }

int32_t ReadMouse() {
  Mouse.stepX = 0;
  Mouse.stepY = 0;
  IDirectInputDevice7A* device = MouseInput.device;
  if (!device) return 0;
  const MouseScreen screen = QueryMouseScreen();
  if (!screen.active) {
    GiveBack(screen.windowed != 0);
    return 0;
  }

  const bool windowed = screen.windowed != 0;
  RECT area = {0, 0, 0, 0};
  if (windowed) {
    SetRect(&area, screen.left, screen.top, screen.right, screen.bottom);
    ClipCursor(&area);
    // Hidden once; ShowCursor counts, so repeated hides would need as many shows.
    if (MouseInput.cursorShown) {
      ShowCursor(FALSE);
      MouseInput.cursorShown = FALSE;
    }
  }

  if (MouseInput.state == MouseCreated) {
    // Any failure leaves the state alone, so the whole set-up is tried on the next read.
    if (device->SetCooperativeLevel(MultimediaWindow(), windowed ? MouseWindowedCooperation
                                                                  : MouseFullScreenCooperation) == 0) {
      DIPROPDWORD bufferSize = {};
      bufferSize.diph.dwSize = sizeof(DIPROPDWORD);
      bufferSize.diph.dwHeaderSize = sizeof(DIPROPHEADER);
      bufferSize.diph.dwObj = 0;
      bufferSize.diph.dwHow = DIPH_DEVICE;
      bufferSize.dwData = MouseEventCapacity;
      if (device->SetProperty(DIPROP_BUFFERSIZE, &bufferSize.diph) == 0 && device->Acquire() == 0)
        MouseInput.state = MouseConfigured;
    }
  }

  DWORD count = MouseEventCapacity;
  HRESULT result = device->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), MouseInput.events, &count, 0);
  if (result == 0) {
    if (count > (DWORD)MouseEventCapacity) count = MouseEventCapacity;
    ApplyMouseEvents(reinterpret_cast<const MouseEvent*>(MouseInput.events), count, screen.width, screen.height);
    if (windowed) SetCursorPos(area.left + Mouse.x, area.top + Mouse.y);
    return 1;
  }
  if (result == InputBufferOverflow) {
    DropMouseButtonsAfterOverflow();
    return 0;
  }
  if (result == InputLost || result == InputNotAcquired) {
    // Deactivation unacquired it; the cooperative level and buffer size still stand.
    if (QueryMouseScreen().active) device->Acquire();
    return 0;
  }
  return 0;
}

void CloseMouseDevice() {
  if (!MouseInput.opened) return;
  ClipCursor(nullptr);
  if (MouseInput.device) {
    MouseInput.device->Release();
    MouseInput.device = nullptr;
  }
  MouseInput.opened = FALSE;
  ReleaseDirectInput();
}
