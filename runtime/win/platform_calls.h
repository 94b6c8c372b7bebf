// The platform calls each library makes through a table of its own, so that a test can stand in
// for the system: the run-time loader (DirectX, Wtsapi32 and EnumDisplayDevicesA are looked up
// when needed) and the few other calls whose results tests must choose. Defaults are the system's.
#pragma once
#include <windows.h>

struct LibraryCalls {
  HMODULE(WINAPI* loadLibrary)(LPCSTR name);
  FARPROC(WINAPI* getProcAddress)(HMODULE module, LPCSTR name);
  BOOL(WINAPI* freeLibrary)(HMODULE module);
};

#define SYSTEM_LIBRARY_CALLS {LoadLibraryA, GetProcAddress, FreeLibrary}

// An entry point of a loaded module, as the routine type the caller names.
template <class Routine> Routine LookUp(const LibraryCalls& calls, HMODULE module, LPCSTR name) {
  return reinterpret_cast<Routine>(reinterpret_cast<void (*)()>(calls.getProcAddress(module, name)));
}

struct RuntimeCalls {
  int(WINAPI* messageBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT flags);
};
extern RuntimeCalls RuntimePlatform;
