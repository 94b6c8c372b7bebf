// The event loop: NextWindowEvent waits for (or polls) one message, dispatches it and returns an
// event code, a raw message number or 0. The event state and the last message's parameters, in
// Win32 types, are in window/win/events.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/memory.h"

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
const uint32_t MessageTrayNotify = 12501;   // re-posted as MessageTrayEvent
const uint32_t MessageTrayEvent = 12502;    // wParam icon number, lParam the mouse message
const uint32_t MessageControlEvent = 13103; // wParam item, lParam type
const uint32_t MessageWindowDrop = 13105;   // lParam DropEventData
const uint32_t MessageControlDrop = 13106;  // wParam control, lParam DropEventData
const uint32_t MessageControlPrivate = 13120; // offered to the control in lParam

// The record handed over with a drop event: its sixth field points to a buffer of its own.
struct DropEventData {
  intptr_t fields[5];
  void* buffer;
  DropEventData* nextPending;  // made and not yet delivered
};

// time-out -1 waits for a message, 0 only polls, any other value waits at most that long (ms).
int32_t NextWindowEvent(int32_t timeout);

// The last event.
ObjectNumber EventWindow();
intptr_t EventItem();
int32_t EventType();
DropEventData* EventData();

// A drop record with a zeroed buffer of the given size (none for 0), both from MainHeap. Only
// records made here are accepted by the drop messages: any other lParam gives the event without
// data, since a posted message can carry anything.
DropEventData* NewDropEventData(size_t bufferBytes);
