// The platform calls the display examination makes, passed in so that tests can stand in for
// them (several displays, detached ones, no EnumDisplayDevicesA).
#pragma once
#include <cstdint>

#include <windows.h>

typedef BOOL(WINAPI* EnumDisplayDevicesRoutine)(LPCSTR device, DWORD index, DISPLAY_DEVICEA* info, DWORD flags);

struct DisplayApi {
  EnumDisplayDevicesRoutine enumDevices;  // none: the device-context fall-back is used
  BOOL(WINAPI* enumSettings)(LPCSTR device, DWORD mode, DEVMODEA* settings);
  HDC(WINAPI* createDC)(LPCSTR driver, LPCSTR device, LPCSTR port, const DEVMODEA* settings);
  int(WINAPI* systemMetrics)(int index);
  int(WINAPI* deviceCaps)(HDC dc, int index);
  BOOL(WINAPI* deleteDC)(HDC dc);
};

// ExamineDisplays with the given calls; returns the display count.
int32_t ExamineDisplaysWith(const DisplayApi& api);

// The calls ExamineDisplays uses; enumDevices as loaded from "User32.DLL" (none if missing).
DisplayApi SystemDisplayApi();
