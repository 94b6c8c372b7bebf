// The control records and the routing of their messages, in Win32 types.
#pragma once
#include <windows.h>

#include <cstdint>

#include "window/controls.h"

struct ControlRecord;
typedef LRESULT (*ControlMessageRoutine)(ControlRecord* control, HWND parent, UINT message, WPARAM wParam,
                                         LPARAM lParam);

// A control kind's operations; only the message routine (the third) is used here.
struct ControlKind {
  void* reserved[2];
  ControlMessageRoutine message;
};

struct ControlRecord {
  HWND handle;  // non-zero while the control exists
  const ControlKind* kind;
  intptr_t data[6];
};

struct ControlLibraryState {
  HFONT font;
  int32_t counter;
  void* block;  // 40 zeroed bytes
};

ControlLibraryState* ControlState();

// Offers a control's message to its kind: the control (from lParam, or the notification header)
// must carry "ZR_ID" equal to its identifier, and that number in the table must be this control.
// Returns 1 with the routine's result when it handled the message, 0 when it declined or there
// is no such control.
int RouteControlMessage(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
