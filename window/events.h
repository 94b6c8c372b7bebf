// The event loop: NextWindowEvent waits for (or polls) one message, dispatches it and returns an
// event code, a raw message number or 0. Windows only.
#pragma once
#include <cstdint>

#include "runtime/platform.h"
#include "window/event_queue.h"

const int32_t EventMove = 3;            // WM_MOVE of a library window (queued)
const int32_t EventSize = 5;            // WM_SIZE of a library window, not minimised (queued)
const int32_t EventRepaint = 15;        // WM_ERASEBKGND (queued)
const int32_t EventClose = 16;          // WM_CLOSE of a library window (queued)
const int32_t EventControl = 13100;     // a control's command (immediate)
const int32_t EventMenu = 13101;        // a menu item or shortcut (immediate)
const int32_t EventTrayIcon = 13102;    // a click on a tray icon (immediate)
const int32_t EventActivate = 13104;    // a window was activated (queued)
const int32_t EventWindowDrop = 13105;  // something was dropped on a window (immediate)
const int32_t EventControlDrop = 13106; // something was dropped on a control (immediate)

// Private messages the window procedures understand.
const UINT MessageTrayNotify = 12501;   // re-posted as MessageTrayEvent
const UINT MessageTrayEvent = 12502;    // wParam icon number, lParam the mouse message
const UINT MessageControlEvent = 13103; // wParam item, lParam type
const UINT MessageWindowDrop = 13105;   // lParam DropEventData
const UINT MessageControlDrop = 13106;  // wParam control, lParam DropEventData
const UINT MessageControlPrivate = 13120; // offered to the control in lParam

// The record handed over with a drop event: its sixth field points to a buffer of its own.
struct DropEventData {
  intptr_t fields[5];
  void* buffer;
  DropEventData* nextPending;  // made and not yet delivered
};

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

// time-out -1 waits for a message, 0 only polls, any other value waits at most that long (ms).
int32_t NextWindowEvent(int32_t timeout);

// The last event.
ObjectNumber EventWindow();
intptr_t EventItem();
int32_t EventType();
WPARAM EventWParam();
LPARAM EventLParam();
DropEventData* EventData();

// A drop record with a zeroed buffer of the given size (none for 0), both from MainHeap. Only
// records made here are accepted by the drop messages: any other lParam gives the event without
// data, since a posted message can carry anything.
DropEventData* NewDropEventData(size_t bufferBytes);
