// The desktop library's platform calls, replaceable by tests (runtime/win/platform_calls.h):
// several displays, detached ones, no EnumDisplayDevicesA.
#pragma once
#include "runtime/win/platform_calls.h"

typedef BOOL(WINAPI* EnumDisplayDevicesRoutine)(LPCSTR device, DWORD index, DISPLAY_DEVICEA* info, DWORD flags);

struct DesktopCalls {
  LibraryCalls library;   // "User32.DLL" for EnumDisplayDevicesA, which older systems lack
  BOOL(WINAPI* enumSettings)(LPCSTR device, DWORD mode, DEVMODEA* settings);
  HDC(WINAPI* createDC)(LPCSTR driver, LPCSTR device, LPCSTR port, const DEVMODEA* settings);
  int(WINAPI* systemMetrics)(int index);
  int(WINAPI* deviceCaps)(HDC dc, int index);
  BOOL(WINAPI* deleteDC)(HDC dc);
};
extern DesktopCalls DesktopPlatform;

#define SYSTEM_DESKTOP_CALLS \
  {SYSTEM_LIBRARY_CALLS, EnumDisplaySettingsA, CreateDCA, GetSystemMetrics, GetDeviceCaps, DeleteDC}
