// Shared set-up of the display tests: heaps, decoders, a clean display state (the multimedia
// window survives, its class can be registered only once per process), the display's platform
// calls with a recording DirectDraw fake, scripted performance counters, and the fixture the
// fake-DirectDraw suites share.
#pragma once
#include <windows.h>
#include <ddraw.h>

#include <cstring>
#include <deque>
#include <memory>

#include <gtest/gtest.h>

#include "display/tests/win/fake_ddraw.h"
#include "display/win/platform_calls.h"
#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "image/decoders.h"
#include "runtime/memory.h"

inline void EnsureDisplayTestHeaps() {
  if (!MainHeap) MainHeap = HeapCreate(0, 0, 0);
  InitListedObjectHeap();
  ResetImageDecoders();
  RegisterPngDecoder();
}

// Forgets every screen and sprite (without releasing: the objects belong to a finished test).
inline void ResetDisplayState() {
  const HWND base = Screen.baseWindow ? Screen.baseWindow : MultimediaWindow();
  memset(&Screen, 0, sizeof(Screen));
  memset(&SpriteEngine, 0, sizeof(SpriteEngine));
  Screen.baseWindow = base;
  SetMultimediaWindow(base);
}

inline FakeDirectDraw*& CurrentFakeDirectDraw() {
  static FakeDirectDraw* fake = nullptr;
  return fake;
}

inline HRESULT WINAPI FakeDirectDrawCreateEx(GUID* device, void** object, REFIID id, IUnknown* outer) {
  static const GUID DirectDraw7 = {0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};
  Log().Add(std::string("DirectDrawCreateEx(") + (device ? "guid" : "0") + "," +
            (IsEqualGUID(id, DirectDraw7) ? "IID_IDirectDraw7" : "other") + "," + (outer ? "outer" : "0") + ")");
  FAULT_POINT_OUT("DirectDrawCreateEx", object);
  *object = CurrentFakeDirectDraw();
  return CurrentFakeDirectDraw() ? DD_OK : DDERR_NODIRECTDRAWHW;
}

// Scripted performance counter: each read returns the next value (start + reads x step).
struct FakeCounter {
  bool frequencyWorks = true;
  int64_t frequency = 3579545;
  int64_t start = 1000000;
  int64_t step = 1000;
  int failures = 0;     // reads that fail before the next success
  int reads = 0;        // successful reads
  int calls = 0;        // all calls
};

inline FakeCounter& Counter() {
  static FakeCounter counter;
  return counter;
}

inline BOOL WINAPI FakeQueryFrequency(LARGE_INTEGER* frequency) {
  if (!Counter().frequencyWorks) return FALSE;
  frequency->QuadPart = Counter().frequency;
  return TRUE;
}

inline BOOL WINAPI FakeQueryCounter(LARGE_INTEGER* counter) {
  FakeCounter& c = Counter();
  ++c.calls;
  if (c.failures > 0) {
    --c.failures;
    return FALSE;
  }
  counter->QuadPart = c.start + c.reads * c.step;
  ++c.reads;
  return TRUE;
}

inline BOOL WINAPI IgnoreSessionRegistration(HWND, DWORD) { return TRUE; }

// Stands in for WTSRegisterSessionNotification when set (Wtsapi32.dll is still loaded).
inline SessionNotificationRoutine& FakeSessionRegistration() {
  static SessionNotificationRoutine routine = nullptr;
  return routine;
}

// DirectDrawCreateEx is FakeDirectDrawCreateEx (which refuses while no fake is current).
inline bool& FakeDirectDrawCreator() {
  static bool fake = false;
  return fake;
}

// The real modules, with the fakes' entry points where a test set them.
inline FARPROC WINAPI FakeDisplayGetProcAddress(HMODULE module, LPCSTR name) {
  if (FakeDirectDrawCreator() && std::strcmp(name, "DirectDrawCreateEx") == 0)
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(FakeDirectDrawCreateEx));
  if (FakeSessionRegistration() && std::strcmp(name, "WTSRegisterSessionNotification") == 0)
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(FakeSessionRegistration()));
  return GetProcAddress(module, name);
}

inline void UseSystemDisplayCalls() {
  DisplayPlatform = SYSTEM_DISPLAY_CALLS;
  FakeSessionRegistration() = nullptr;
  FakeDirectDrawCreator() = false;
  CurrentFakeDirectDraw() = nullptr;
}

// The display library on Wine's own DirectDraw, started once for a whole suite; the session
// registration can still be replaced (FakeSessionRegistration).
class RealDisplayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    EnsureDisplayTestHeaps();
    ResetDisplayState();
    UseSystemDisplayCalls();
    DisplayPlatform.library.getProcAddress = FakeDisplayGetProcAddress;
    InitSpriteEngine();
  }
  static void TearDownTestSuite() {
    EndScreen();
    ShutdownSpriteEngine();
    UseSystemDisplayCalls();
    ResetDisplayState();
  }
  void SetUp() override { ASSERT_NE(nullptr, Screen.directDraw) << "DirectDraw 7 from DDRAW.DLL"; }
};

// The display library on a recording DirectDraw fake (dd), started like the saver starts it.
class FakeDisplayTest : public ::testing::Test {
 protected:
  FakeDirectDraw* dd = nullptr;
  bool scriptedCounter = false;   // the frame pacing reads Counter() instead of the real one

  void SetUp() override { StartFakeDisplay(); }
  void TearDown() override {
    StopEngine();
    ForgetFakeDisplay();
  }

  void StartFakeDisplay(IDirectDrawClipper* clipper = nullptr) {
    EnsureDisplayTestHeaps();
    ResetDisplayState();
    dd = new FakeDirectDraw;
    dd->clipper = clipper;
    CurrentFakeDirectDraw() = dd;
    FakeDirectDrawCreator() = true;
    DisplayPlatform.library.getProcAddress = FakeDisplayGetProcAddress;
    FakeSessionRegistration() = IgnoreSessionRegistration;
    if (scriptedCounter) {
      Counter() = FakeCounter();
      DisplayPlatform.queryPerformanceFrequency = FakeQueryFrequency;
      DisplayPlatform.queryPerformanceCounter = FakeQueryCounter;
    }
    Log().Clear();
    ASSERT_NE(nullptr, InitSpriteEngine());
  }
  static void StopEngine() {
    EndScreen();
    ShutdownSpriteEngine();
  }
  void ForgetFakeDisplay() {
    UseSystemDisplayCalls();
    ResetDisplayState();
    delete dd;
    dd = nullptr;
  }
};
