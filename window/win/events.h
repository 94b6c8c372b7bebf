// The event loop's state and the last raw message's parameters.
#pragma once
#include <windows.h>

#include <cstdint>

#include "window/event_queue.h"
#include "window/events.h"

struct EventState {
  intptr_t item;          // control, menu item or icon number of the last event
  ObjectNumber window;    // window of the last event; -1 when none
  int32_t type;           // sub-kind of the last event; -1 when none
  int32_t immediate;      // set by a window procedure during dispatch
  WPARAM wParam;          // parameters of the last raw message returned
  LPARAM lParam;
  EventQueue queue;
  WNDPROC globalCallback;
  DropEventData* data;    // held until the next call
  DropEventData* pending; // drop records made by NewDropEventData, not yet delivered
};

// The program's event state (made by InitWindowLibrary); none before.
EventState* WindowEventState();

WPARAM EventWParam();
LPARAM EventLParam();
