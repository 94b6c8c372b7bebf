// Shared set-up of the display tests: heaps, decoders, a clean display state (the multimedia
// window survives, its class can be registered only once per process), the DirectDraw seam
// with a recording fake, and scripted performance counters.
#pragma once
#include <windows.h>
#include <ddraw.h>

#include <cstring>
#include <deque>
#include <memory>

#include "display/screen.h"
#include "display/sprites.h"
#include "display/tests/win/fake_ddraw.h"
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
  const HWND base = Screen.baseWindow ? Screen.baseWindow : Screen.multimediaWindow;
  const BOOL created = Screen.baseWindowCreated;
  memset(&Screen, 0, sizeof(Screen));
  memset(&SpriteEngine, 0, sizeof(SpriteEngine));
  Screen.multimediaWindow = Screen.baseWindow = base;
  Screen.baseWindowCreated = created;
}

inline FakeDirectDraw*& CurrentFakeDirectDraw() {
  static FakeDirectDraw* fake = nullptr;
  return fake;
}

inline HRESULT WINAPI FakeDirectDrawCreateEx(GUID* device, void** object, REFIID id, IUnknown* outer) {
  static const GUID DirectDraw7 = {0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};
  Log().Add(std::string("DirectDrawCreateEx(") + (device ? "guid" : "0") + "," +
            (IsEqualGUID(id, DirectDraw7) ? "IID_IDirectDraw7" : "other") + "," + (outer ? "outer" : "0") + ")");
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
