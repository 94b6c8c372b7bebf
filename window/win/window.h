// The window library's Win32 side: the records, handles and the window-procedure chain.
#pragma once
#include <windows.h>

#include <cstdint>

#include "runtime/memory.h"
#include "window/win/events.h"
#include "window/window.h"

// Results passed between the layers of the window-procedure chain. On 64-bit only the low 32 bits
// are compared (SameResult), so a callback may return either the constant or its 32-bit value.
const LRESULT ResultDefault = static_cast<LRESULT>(0xD0D0D0D1u);   // not handled here
const LRESULT ResultContinue = static_cast<LRESULT>(0xE0E0E0E1u);  // callback: go on with the library
inline bool SameResult(LRESULT result, LRESULT code) {
  return static_cast<uint32_t>(result) == static_cast<uint32_t>(code);
}

typedef LRESULT (*BackgroundPainter)(HDC dc, HWND window);

struct WindowRecord {
  HWND handle;  // non-zero while the window is open
  int32_t shortcutCount;
  ACCEL* shortcuts;  // from MainHeap
  HACCEL shortcutTable;
  WNDPROC callback;  // takes the global callback's place for this window
  intptr_t reserved;
  HBRUSH backgroundBrush;  // deleted at close
  HWND frameClient;        // of a multiple-document frame this window is a child of
  BackgroundPainter backgroundPainter;
};
#ifndef _WIN64
static_assert(sizeof(WindowRecord) == 36, "nine 32-bit fields");
#endif

struct WindowLibraryState {
  ObjectTable* windows;
  HICON icon;
  HCURSOR cursor;
};

// The library's sizing loop: one window at a time.
struct SizingState {
  int32_t active;
  int32_t restoreCursor;
  POINT savedCursor;
  RECT current;  // screen coordinates
  RECT start;
  int32_t edge;  // WMSZ_* numbers; 0 while keyboard sizing has no edge yet
  MINMAXINFO minMax;
  HWND window;  // the window being sized
};

// The module SetProgramInstance named.
HINSTANCE ProgramInstance();

// Returns for number -1 the new window's record address (its number from then on), otherwise the
// window handle; 0 on failure. parent may be none.
intptr_t WindowOpen(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height, const char* title,
                    uint32_t flags, HWND parent);
HWND WindowHandle(ObjectNumber number);

// The global callback, which sees every message of the library's windows before the library.
void InstallWindowCallback(WNDPROC callback);
// A window's own callback (none to go back to the global one); 0 when the window is not open.
int SetWindowCallback(ObjectNumber number, WNDPROC callback);

WindowLibraryState* WindowLibrary();
SizingState* WindowSizingState();
WindowRecord* WindowRecordOf(ObjectNumber number);

// The class procedure of every library window, and the chain it runs (sizing loop, callback,
// the library's own handling); the chain's ResultDefault means default processing.
LRESULT CALLBACK WindowClassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CommonWindowHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The library's own handling of a message (events.cpp): libraryWindow is the window carrying
// "ZR_WindowID" found up the parent chain, or the message's window when there is none (number -1).
LRESULT LibraryMessageHandling(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ObjectNumber number,
                               WindowRecord* record, HWND libraryWindow);

// Runs a window's sizing instead of the system's modal loop while drag-full-windows is on.
// ResultDefault for what it leaves to the rest of the chain, 0 for what it handled.
LRESULT SizingLoopFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
