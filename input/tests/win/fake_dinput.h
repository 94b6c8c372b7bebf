// Recording fakes of IDirectInput7A and IDirectInputDevice7A (the real vtables, through the
// interface declarations of dinput.h) and of the DINPUT.DLL loader.
#pragma once
#include "runtime/tests/win/fault_points.h"
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <windows.h>
#include <dinput.h>

#include "input/keyboard.h"
#include "input/mouse.h"
#include "input/win/directinput.h"
#include "tests/win/fake_com.h"

namespace fake {

// Identifiers as DirectInput documents them, written out here independently of the library.
inline const GUID SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline const GUID SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline const GUID KeyObject = {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline const GUID XAxis = {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline const GUID YAxis = {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline const GUID ZAxis = {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline const GUID Input7A = {0x9A4CB684, 0x236D, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
inline const GUID Device7A = {0x57D7C6BC, 0x2356, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
inline const GUID NoGuid = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

inline std::vector<std::string> Log;
inline void Note(const std::string& call) { Log.push_back(call); }
inline int CountOf(const std::string& call) {
  int n = 0;
  for (const std::string& c : Log) n += c == call;
  return n;
}

#define FAKE_UNUSED(name, ...) \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { Note(prefix + "." #name); return E_NOTIMPL; }

struct Device : IDirectInputDevice7A {
  std::string prefix;       // "keyboard" or "mouse"
  LONG references = 1;
  HRESULT setDataFormatResult = 0, cooperativeResult = 0, setPropertyResult = 0, acquireResult = 0;
  // Copies of what was handed over.
  DIDATAFORMAT format = {};
  std::vector<DIOBJECTDATAFORMAT> objects;
  std::vector<GUID> objectGuids;          // NoGuid where the pointer was null
  std::vector<bool> objectGuidPresent;
  HWND cooperativeWindow = nullptr;
  DWORD cooperativeFlags = 0;
  const GUID* propertyId = nullptr;
  DIPROPDWORD property = {};
  // GetDeviceState: results in turn (0 when the queue is empty) and the state handed out.
  std::deque<HRESULT> stateResults;
  BYTE state[256] = {};
  DWORD stateSize = 0;
  // GetDeviceData: one batch per call; an empty queue answers 0 with no records.
  struct Batch { HRESULT result; std::vector<DIDEVICEOBJECTDATA> records; };
  std::deque<Batch> batches;
  DWORD dataRecordSize = 0, dataCountIn = 0, dataFlags = 0;
  void (*onGetDeviceData)() = nullptr;

  FAKE_IUNKNOWN(Note(prefix + ".Release"))
  FAKE_UNUSED(GetCapabilities, LPDIDEVCAPS)
  FAKE_UNUSED(EnumObjects, LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD)
  FAKE_UNUSED(GetProperty, REFGUID, LPDIPROPHEADER)
  HRESULT STDMETHODCALLTYPE SetProperty(REFGUID id, LPCDIPROPHEADER header) override {
    FAULT_POINT("inputdevice.SetProperty");
    Note(prefix + ".SetProperty");
    propertyId = &id;
    memcpy(&property, header, header->dwSize < sizeof property ? header->dwSize : sizeof property);
    return setPropertyResult;
  }
  HRESULT STDMETHODCALLTYPE Acquire() override { FAULT_POINT("inputdevice.Acquire"); Note(prefix + ".Acquire"); return acquireResult; }
  HRESULT STDMETHODCALLTYPE Unacquire() override { FAULT_POINT("inputdevice.Unacquire"); Note(prefix + ".Unacquire"); return 0; }
  HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD size, LPVOID data) override {
    FAULT_POINT("inputdevice.GetDeviceState");
    Note(prefix + ".GetDeviceState");
    stateSize = size;
    HRESULT result = 0;
    if (!stateResults.empty()) {
      result = stateResults.front();
      stateResults.pop_front();
    }
    if (result == 0) memcpy(data, state, size < 256 ? size : 256);
    else memset(data, 0xAA, size);   // a failing read may leave anything behind
    return result;
  }
  HRESULT STDMETHODCALLTYPE GetDeviceData(DWORD recordSize, LPDIDEVICEOBJECTDATA records, LPDWORD count,
                                          DWORD flags) override {
    FAULT_POINT("inputdevice.GetDeviceData");
    Note(prefix + ".GetDeviceData");
    if (onGetDeviceData) onGetDeviceData();
    dataRecordSize = recordSize;
    dataCountIn = *count;
    dataFlags = flags;
    Batch batch = {0, {}};
    if (!batches.empty()) {
      batch = batches.front();
      batches.pop_front();
    }
    DWORD n = 0;
    for (const DIDEVICEOBJECTDATA& r : batch.records)
      if (n < *count) records[n++] = r;
    *count = batch.result == 0 ? n : 0;
    return batch.result;
  }
  HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT f) override {
    FAULT_POINT("inputdevice.SetDataFormat");
    Note(prefix + ".SetDataFormat");
    format = *f;
    objects.assign(f->rgodf, f->rgodf + f->dwNumObjs);
    for (const DIOBJECTDATAFORMAT& o : objects) {
      objectGuidPresent.push_back(o.pguid != nullptr);
      objectGuids.push_back(o.pguid ? *o.pguid : NoGuid);
    }
    return setDataFormatResult;
  }
  FAKE_UNUSED(SetEventNotification, HANDLE)
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override {
    FAULT_POINT("inputdevice.SetCooperativeLevel");
    Note(prefix + ".SetCooperativeLevel");
    cooperativeWindow = window;
    cooperativeFlags = flags;
    return cooperativeResult;
  }
  FAKE_UNUSED(GetObjectInfo, LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD)
  FAKE_UNUSED(GetDeviceInfo, LPDIDEVICEINSTANCEA)
  FAKE_UNUSED(RunControlPanel, HWND, DWORD)
  FAKE_UNUSED(Initialize, HINSTANCE, DWORD, REFGUID)
  FAKE_UNUSED(CreateEffect, REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT*, LPUNKNOWN)
  FAKE_UNUSED(EnumEffects, LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD)
  FAKE_UNUSED(GetEffectInfo, LPDIEFFECTINFOA, REFGUID)
  FAKE_UNUSED(GetForceFeedbackState, LPDWORD)
  FAKE_UNUSED(SendForceFeedbackCommand, DWORD)
  FAKE_UNUSED(EnumCreatedEffectObjects, LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD)
  FAKE_UNUSED(Escape, LPDIEFFESCAPE)
  FAKE_UNUSED(Poll)
  FAKE_UNUSED(SendDeviceData, DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD)
  FAKE_UNUSED(EnumEffectsInFile, LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD)
  FAKE_UNUSED(WriteEffectToFile, LPCSTR, DWORD, LPDIFILEEFFECT, DWORD)
};

struct Input : IDirectInput7A {
  std::string prefix = "input";
  LONG references = 1;
  Device keyboard, mouse;
  HRESULT createKeyboardResult = 0, createMouseResult = 0;
  bool mouseComesBackNull = false;
  int keyboardsCreated = 0, miceCreated = 0;
  GUID lastInterface = NoGuid;
  IUnknown* lastOuter = reinterpret_cast<IUnknown*>(1);

  Input() {
    keyboard.prefix = "keyboard";
    mouse.prefix = "mouse";
  }
  FAKE_IUNKNOWN(Note("input.Release"))
  FAKE_UNUSED(CreateDevice, REFGUID, LPDIRECTINPUTDEVICEA*, LPUNKNOWN)
  FAKE_UNUSED(EnumDevices, DWORD, LPDIENUMDEVICESCALLBACKA, LPVOID, DWORD)
  FAKE_UNUSED(GetDeviceStatus, REFGUID)
  FAKE_UNUSED(RunControlPanel, HWND, DWORD)
  FAKE_UNUSED(Initialize, HINSTANCE, DWORD)
  FAKE_UNUSED(FindDevice, REFGUID, LPCSTR, LPGUID)
  HRESULT STDMETHODCALLTYPE CreateDeviceEx(REFGUID id, REFIID interfaceId, LPVOID* out, LPUNKNOWN outer) override {
    FAULT_POINT_OUT("input.CreateDeviceEx", out);
    lastInterface = interfaceId;
    lastOuter = outer;
    if (id == SysKeyboard) {
      Note("input.CreateDeviceEx(keyboard)");
      if (createKeyboardResult != 0) return createKeyboardResult;
      ++keyboardsCreated;
      *out = static_cast<IDirectInputDevice7A*>(&keyboard);
      return 0;
    }
    if (id == SysMouse) {
      Note("input.CreateDeviceEx(mouse)");
      if (createMouseResult != 0) return createMouseResult;
      ++miceCreated;
      *out = mouseComesBackNull ? nullptr : static_cast<IDirectInputDevice7A*>(&mouse);
      return 0;
    }
    Note("input.CreateDeviceEx(other)");
    return E_FAIL;
  }
};
#undef FAKE_UNUSED

// The loader: what DINPUT.DLL offers in a test.
struct Loader : FakeDllOffer {
  static constexpr const char* Library = "dinput";
  static constexpr const char* Routine = "DirectInputCreateEx";
  static void Note(const std::string& call) { fake::Note(call); }
  void* createLeavesBehind = nullptr;   // what a failing creator writes
  HINSTANCE instance = nullptr;
  DWORD version = 0;
  GUID interfaceId = NoGuid;
  IUnknown* outer = reinterpret_cast<IUnknown*>(1);
  Input* input = nullptr;
};
inline Loader Dll;

inline HRESULT WINAPI CreateFake(HINSTANCE instance, DWORD version, REFIID id, LPVOID* object, LPUNKNOWN outer) {
  Note("DirectInputCreateEx");
  FAULT_POINT_OUT("DirectInputCreateEx", object);
  Dll.instance = instance;
  Dll.version = version;
  Dll.interfaceId = id;
  Dll.outer = outer;
  if (Dll.createResult != 0) {
    *object = Dll.createLeavesBehind;
    return Dll.createResult;
  }
  *object = static_cast<IDirectInput7A*>(Dll.input);
  return 0;
}
using DllLoader = FakeLoader<Loader, Dll, CreateFake>;

}  // namespace fake
