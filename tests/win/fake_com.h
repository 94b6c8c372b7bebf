// What the recording fakes of COM interfaces and their DLLs share.
#pragma once
#include <windows.h>

#include <cstring>
#include <string>

#include "runtime/win/platform_calls.h"

// IUnknown of a fake: no other interface, a count in `references`, each Release noted by the
// statement given.
#define FAKE_IUNKNOWN(noteRelease)                                                                         \
  STDMETHOD_(HRESULT, QueryInterface)(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; } \
  STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++references); }                      \
  STDMETHOD_(ULONG, Release)() override { noteRelease; return static_cast<ULONG>(--references); }

// What a fake DLL offers in a test: the library, its creation routine, and that routine's answer.
struct FakeDllOffer {
  bool libraryPresent = true;
  bool createPresent = true;
  HRESULT createResult = 0;
};

// The run-time loader's calls (LibraryCalls) for a test in which one DLL with one creation routine
// stands in for the system's. Dll names the DLL (Library, for the notes), the routine (Routine)
// and the fake's log (Note); State is the test's record of what the DLL offers (a FakeDllOffer).
// The module handle is the record's address: never a real module.
template <class Dll, Dll& State, auto Create> struct FakeLoader {
  static HMODULE Module() { return reinterpret_cast<HMODULE>(&State); }
  static HMODULE WINAPI Load(LPCSTR name) {
    Dll::Note(std::string("LoadLibraryA(") + name + ")");
    return State.libraryPresent ? Module() : nullptr;
  }
  static FARPROC WINAPI Find(HMODULE module, LPCSTR name) {
    Dll::Note(std::string("GetProcAddress(") + name + ")");
    if (module != Module() || !State.createPresent || strcmp(name, Dll::Routine) != 0) return nullptr;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(Create));
  }
  static BOOL WINAPI Free(HMODULE module) {
    Dll::Note(std::string("FreeLibrary(") + (module == Module() ? Dll::Library : "other") + ")");
    return TRUE;
  }
  static LibraryCalls Calls() { return {Load, Find, Free}; }
};
