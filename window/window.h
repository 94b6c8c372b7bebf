// Numbered windows over Win32: each with a class of its own ("WindowClass_%d"), the property
// "ZR_WindowID" (number + 1) and a Tab / Shift+Tab shortcut table; one chain of window procedures
// that feeds the event loop (window/events.h); the library's own sizing loop and focus cycling.
// What hands out Win32 types (records, handles, the procedure chain) is in window/win/window.h.
#pragma once
#include <cstdint>

#include "runtime/memory.h"

// WindowOpen flags besides the Win32 styles they are passed on as.
const uint32_t WindowCentreOnScreen = 1;
const uint32_t WindowCentreOnParent = 2;
const uint32_t WindowHidden = 0x10000000;    // WS_VISIBLE's bit: open without showing
const uint32_t WindowMaximised = 0x01000000;
const uint32_t WindowMinimised = 0x20000000;
const int32_t WindowDefaultPosition = -65535;

// Shortcut commands of every window.
const uint16_t CommandNextControl = 1212;
const uint16_t CommandPreviousControl = 1213;

// The module whose resources and classes the windows use (its icon 1 is theirs); start-up sets it
// before InitWindowLibrary. None until then.
void SetProgramInstance(void* instance);

// Start-up, in this order.
int InitPlatformLibraries();  // common controls and COM
// (InitControlSupport: window/controls.h)
int InitWindowLibrary();      // window table, event state, icon and cursor, sizing state

void WindowClose(ObjectNumber number);
void CloseAllWindows();
ObjectTable* WindowTable();

// Moves the focus to the next (direction 0) or previous (1) enabled, visible tab-stop control of
// the active window; non-zero when it found one.
int CycleFocus(int32_t direction);
