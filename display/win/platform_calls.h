// The display library's platform calls, replaceable by tests (runtime/win/platform_calls.h).
#pragma once
#include "runtime/win/platform_calls.h"

typedef HRESULT(WINAPI* DirectDrawCreateExRoutine)(GUID* device, void** object, REFIID id, IUnknown* outer);
typedef BOOL(WINAPI* SessionNotificationRoutine)(HWND window, DWORD flags);

struct DisplayCalls {
  LibraryCalls library;   // "DDRAW.DLL" and "Wtsapi32.dll" with their entry points
  BOOL(WINAPI* queryPerformanceFrequency)(LARGE_INTEGER* frequency);
  BOOL(WINAPI* queryPerformanceCounter)(LARGE_INTEGER* counter);
};
extern DisplayCalls DisplayPlatform;

#define SYSTEM_DISPLAY_CALLS {SYSTEM_LIBRARY_CALLS, QueryPerformanceFrequency, QueryPerformanceCounter}
