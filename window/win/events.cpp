#include <windows.h>

#include <richedit.h>

#include <cstring>

#include "window/win/controls.h"
#include "window/win/internal.h"
#include "window/win/window.h"

namespace {

const UINT WaitForAnyInput = 0x1FF;
const WORD ShortcutSource = 1;  // high word of a WM_COMMAND sent by TranslateAccelerator
const int MenuControlId = -10000;

EventState* eventState = nullptr;

void InitialiseEvents(void* block) { static_cast<EventState*>(block)->window = -1; }

void FreeDropData(DropEventData* data) {
  if (!data) return;
  if (data->buffer) HeapFree(MainHeap, 0, data->buffer);
  HeapFree(MainHeap, 0, data);
}

// A drop record travels in a message's lParam, which anyone can post: only one that
// NewDropEventData made and that was not delivered yet is taken.
DropEventData* TakePendingDropData(EventState* events, LPARAM lParam) {
  DropEventData* wanted = reinterpret_cast<DropEventData*>(lParam);
  for (DropEventData** link = &events->pending; *link; link = &(*link)->nextPending) {
    if (*link == wanted) {
      *link = wanted->nextPending;
      wanted->nextPending = nullptr;
      return wanted;
    }
  }
  return nullptr;
}

void HoldDropData(EventState* events, LPARAM lParam) {
  FreeHeldEventData(events);  // two drops in one dispatch: the older one is not leaked
  events->data = TakePendingDropData(events, lParam);
}

void Queue(EventState* events, int32_t code, ObjectNumber window) { QueueEvent(&events->queue, code, window); }

void SetImmediate(EventState* events, int32_t code) { events->immediate = code; }

bool KeyDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// Tab alone, with an editable rich-text control focused, belongs to the editor.
bool TabBelongsToEditor() {
  if (!KeyDown(VK_TAB) || KeyDown(VK_CONTROL) || KeyDown(VK_SHIFT) || KeyDown(VK_MENU)) return false;
  HWND focus = GetFocus();
  if (!focus) return false;
  char name[5] = {};
  if (GetClassNameA(focus, name, sizeof(name)) < 4 || std::strncmp(name, "Rich", 4) != 0) return false;
  LRESULT options = SendMessageA(focus, EM_GETOPTIONS, 0, 0);
  return (options & ECO_READONLY) == 0;
}

HACCEL ActiveShortcutTable(HWND active) {
  if (!active || TabBelongsToEditor()) return nullptr;
  HANDLE id = GetPropA(active, "ZR_WindowID");
  if (!id) return nullptr;
  WindowRecord* record = WindowRecordOf(reinterpret_cast<intptr_t>(id) - 1);
  return record ? record->shortcutTable : nullptr;
}

BOOL CALLBACK SendColourChange(HWND child, LPARAM) {
  SendMessageA(child, WM_SYSCOLORCHANGE, 0, 0);
  return TRUE;
}

bool IsControlMessage(UINT message, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      return lParam != 0;
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case MessageControlPrivate:
      return true;
    default:
      return false;
  }
}

int32_t TrayClickKind(LPARAM mouseMessage) {
  switch (mouseMessage) {
    case WM_LBUTTONDOWN:
      return 0;
    case WM_RBUTTONDOWN:
      return 1;
    case WM_LBUTTONDBLCLK:
      return 2;
    case WM_RBUTTONDBLCLK:
      return 3;
    default:
      return -1;
  }
}

LRESULT HandleCommand(EventState* events, WPARAM wParam, LPARAM lParam) {
  WORD low = LOWORD(wParam), high = HIWORD(wParam);
  if (lParam) {
    int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
    if (id == MenuControlId) {
      events->item = low;
      SetImmediate(events, EventMenu);
    } else {
      events->type = high;
      events->item = id;
      SetImmediate(events, EventControl);
    }
  } else if (high == ShortcutSource && (low == CommandNextControl || low == CommandPreviousControl)) {
    CycleFocus(low == CommandPreviousControl ? 1 : 0);
  } else if (high == 0 || high == ShortcutSource) {
    events->item = low;
    SetImmediate(events, EventMenu);
  }
  return 0;
}

LRESULT HandleEraseBackground(EventState* events, HWND window, WPARAM wParam, ObjectNumber number,
                              WindowRecord* record) {
  LRESULT result = ResultDefault;
  if (record) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    if (record->backgroundBrush) {
      RECT client;
      GetClientRect(window, &client);
      FillRect(dc, &client, record->backgroundBrush);
      result = 1;
    } else if (window == record->handle && record->backgroundPainter) {
      result = record->backgroundPainter(dc, window);
    }
  }
  Queue(events, EventRepaint, number);
  return result;
}

}  // namespace

EventState* CreateEventState() {
  if (!eventState) eventState = static_cast<EventState*>(AllocateLibraryState(sizeof(EventState), InitialiseEvents));
  return eventState;
}

EventState* WindowEventState() { return eventState; }

void FreeHeldEventData(EventState* events) {
  if (!events) return;
  FreeDropData(events->data);
  events->data = nullptr;
}

void FreePendingDropData(EventState* events) {
  if (!events) return;
  while (DropEventData* data = events->pending) {
    events->pending = data->nextPending;
    FreeDropData(data);
  }
}

DropEventData* NewDropEventData(size_t bufferBytes) {
  EventState* events = eventState;
  if (!events || !MainHeap) return nullptr;
  DropEventData* data = static_cast<DropEventData*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(DropEventData)));
  if (!data) return nullptr;
  if (bufferBytes) {
    data->buffer = HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, bufferBytes);
    if (!data->buffer) {
      HeapFree(MainHeap, 0, data);
      return nullptr;
    }
  }
  data->nextPending = events->pending;
  events->pending = data;
  return data;
}

ObjectNumber EventWindow() { return eventState ? eventState->window : -1; }
intptr_t EventItem() { return eventState ? eventState->item : 0; }
int32_t EventType() { return eventState ? eventState->type : -1; }
WPARAM EventWParam() { return eventState ? eventState->wParam : 0; }
LPARAM EventLParam() { return eventState ? eventState->lParam : 0; }
DropEventData* EventData() { return eventState ? eventState->data : nullptr; }

int32_t NextWindowEvent(int32_t timeout) {
  EventState* events = eventState;
  if (events) {
    FreeHeldEventData(events);
    events->type = -1;
    int32_t code;
    ObjectNumber window;
    if (TakeQueuedEvent(&events->queue, &code, &window)) {
      events->window = window;
      events->immediate = 0;
      return code;
    }
  }

  MSG message;
  if (timeout == -1) {
    if (GetMessageA(&message, nullptr, 0, 0) == -1) return 0;
  } else if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) {
    if (timeout == 0) return 0;
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeout), WaitForAnyInput) == WAIT_TIMEOUT)
      return 0;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) return 0;
  }

  HWND active = GetActiveWindow();
  HACCEL shortcuts = ActiveShortcutTable(active);
  if (!shortcuts || !TranslateAcceleratorA(active, shortcuts, &message)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }

  // A window procedure may have ended the library meanwhile; the state block itself stays.
  events = eventState;
  if (events && events->immediate) {
    int32_t code = events->immediate;
    events->immediate = 0;
    return code;
  }
  if (events) {
    events->wParam = message.wParam;
    events->lParam = message.lParam;
  }
  return static_cast<int32_t>(message.message);
}

LRESULT LibraryMessageHandling(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ObjectNumber number,
                               WindowRecord* record, HWND libraryWindow) {
  EventState* events = eventState;
  if (!events) return ResultDefault;
  events->window = number;

  if (IsControlMessage(message, lParam)) {
    LRESULT result;
    if (RouteControlMessage(window, message, wParam, lParam, &result)) return message == WM_COMMAND ? 0 : result;
  }

  switch (message) {
    case WM_MOVE:
    case WM_CLOSE:
      // A close is never left to default processing: a window closes only when the program says.
      if (number != -1) Queue(events, static_cast<int32_t>(message), number);
      return 0;
    case WM_SIZE:
      if (window != libraryWindow) return 1;
      if (number != -1 && wParam != SIZE_MINIMIZED) {
        Queue(events, EventSize, number);
        return 0;
      }
      return ResultDefault;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) Queue(events, EventActivate, number);
      return 1;
    case WM_ERASEBKGND:
      return HandleEraseBackground(events, window, wParam, number, record);
    case WM_COMMAND:
      return HandleCommand(events, wParam, lParam);
    case WM_SYSCOLORCHANGE:
      if (!record || !record->frameClient) EnumChildWindows(window, SendColourChange, 0);
      return ResultDefault;
    case MessageTrayNotify:
      PostMessageA(window, MessageTrayEvent, wParam, lParam);
      return 0;
    case MessageTrayEvent: {
      int32_t kind = TrayClickKind(lParam);
      if (kind >= 0) {
        events->item = static_cast<intptr_t>(wParam);
        events->type = kind;
        SetImmediate(events, EventTrayIcon);
      }
      return 0;
    }
    case MessageControlEvent:
      events->item = static_cast<intptr_t>(wParam);
      events->type = static_cast<int32_t>(lParam);
      SetImmediate(events, EventControl);
      return 0;
    case MessageWindowDrop:
      HoldDropData(events, lParam);
      SetImmediate(events, EventWindowDrop);
      return 0;
    case MessageControlDrop:
      events->item = static_cast<intptr_t>(wParam);
      HoldDropData(events, lParam);
      SetImmediate(events, EventControlDrop);
      return 0;
    default:
      return ResultDefault;
  }
}
