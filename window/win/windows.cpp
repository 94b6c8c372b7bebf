#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>

#include <cstdio>
#include <cstring>

#include "window/win/internal.h"
#include "window/win/window.h"

namespace {

const char* const WindowIdProperty = "ZR_WindowID";
const char* const DropAcceptProperty = "ZR_DropAccept";
const char* const FrameGadgetProperty = "ZR_MDI_Gadget";
const uint32_t OwnFlags = WindowCentreOnScreen | WindowCentreOnParent;
const uint32_t CaptionAndBorder = 0x00C00000;
const int MaxParentDepth = 256;  // a parent chain is never this deep; a broken one still ends

WindowLibraryState* library = nullptr;
SizingState* sizing = nullptr;

void ClassNameOf(ObjectNumber number, char (&name)[40]) {
  // The full number: an AutoNumber window's address must not be cut to 32 bits on 64-bit.
  std::snprintf(name, sizeof(name), "WindowClass_%lld", static_cast<long long>(number));
}

// Sizes and positions are worked out wide, so absurd arguments cannot overflow.
int32_t ClampToInt32(int64_t value) {
  if (value < INT32_MIN) return INT32_MIN;
  if (value > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(value);
}

HINSTANCE programInstance = nullptr;

void CloseWindowRelease(ObjectNumber number) { WindowClose(number); }

// The library window of a message: the first window up the parent chain carrying "ZR_WindowID".
ObjectNumber FindLibraryWindow(HWND window, HWND* libraryWindow) {
  HWND current = window;
  for (int depth = 0; current && depth < MaxParentDepth; ++depth, current = GetParent(current)) {
    HANDLE id = GetPropA(current, WindowIdProperty);
    if (id) {
      *libraryWindow = current;
      return reinterpret_cast<intptr_t>(id) - 1;
    }
  }
  *libraryWindow = window;
  return -1;
}

// The slot of a number not yet live (LookupObject would not find it).
WindowRecord* RecordSlot(ObjectTable* table, ObjectNumber number) {
  return reinterpret_cast<WindowRecord*>(table->slots + static_cast<size_t>(number) * table->recordSize);
}

void CreateShortcuts(WindowRecord* record) {
  ACCEL* entries = static_cast<ACCEL*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, 2 * sizeof(ACCEL)));
  if (!entries) return;  // the window works without Tab cycling
  entries[0].fVirt = FVIRTKEY | FNOINVERT;
  entries[0].key = VK_TAB;
  entries[0].cmd = CommandNextControl;
  entries[1].fVirt = FVIRTKEY | FNOINVERT | FSHIFT;
  entries[1].key = VK_TAB;
  entries[1].cmd = CommandPreviousControl;
  record->shortcuts = entries;
  record->shortcutCount = 2;
  record->shortcutTable = CreateAcceleratorTableA(entries, 2);
}

}  // namespace

void SetProgramInstance(void* instance) { programInstance = static_cast<HINSTANCE>(instance); }
HINSTANCE ProgramInstance() { return programInstance; }

WindowLibraryState* WindowLibrary() { return library; }
ObjectTable* WindowTable() { return library ? library->windows : nullptr; }
SizingState* WindowSizingState() { return sizing; }

WindowRecord* WindowRecordOf(ObjectNumber number) {
  return static_cast<WindowRecord*>(LookupObject(WindowTable(), number));
}

int InitPlatformLibraries() {
  InitCommonControls();
  return SUCCEEDED(CoInitialize(nullptr));
}

int InitWindowLibrary() {
  if (!library) {
    library = static_cast<WindowLibraryState*>(AllocateLibraryState(sizeof(WindowLibraryState), nullptr));
    if (!library) return 0;
  }
  if (!library->windows) library->windows = CreateObjectTable(sizeof(WindowRecord), 16, CloseWindowRelease);
  EventState* events = CreateEventState();
  if (!library->icon) library->icon = LoadIconA(ProgramInstance(), MAKEINTRESOURCEA(1));
  if (!library->cursor) library->cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  if (!sizing) sizing = static_cast<SizingState*>(AllocateLibraryState(sizeof(SizingState), nullptr));
  return library->windows && events && sizing;
}

intptr_t WindowOpen(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height, const char* title,
                    uint32_t flags, HWND parent) {
  ObjectTable* table = WindowTable();
  if (!table) return 0;
  WindowRecord* record = static_cast<WindowRecord*>(AllocateObject(table, number));
  if (!record) return 0;
  bool autoNumbered = number == AutoNumber;
  if (autoNumbered) number = reinterpret_cast<intptr_t>(record);

  char className[40];
  ClassNameOf(number, className);
  WNDCLASSA windowClass = {};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = WindowClassProcedure;
  windowClass.hInstance = ProgramInstance();
  windowClass.hIcon = library->icon;
  windowClass.hCursor = library->cursor;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);

  if ((flags & ~(OwnFlags | WindowHidden)) == 0) flags |= CaptionAndBorder;
  bool show = true;
  if (flags & WindowHidden) {
    flags &= ~WindowHidden;
    show = false;
  }
  DWORD style = flags & ~OwnFlags;

  // The frame is measured around an empty client and added here: the system's own sum would
  // overflow for a client size near the end of the range and escape the clipping below.
  RECT frame = {0, 0, 0, 0};
  AdjustWindowRect(&frame, style, FALSE);
  int32_t outerWidth = ClampToInt32(static_cast<int64_t>(width) + (frame.right - frame.left));
  int32_t outerHeight = ClampToInt32(static_cast<int64_t>(height) + (frame.bottom - frame.top));

  if ((x == WindowDefaultPosition || y == WindowDefaultPosition) && !(flags & OwnFlags)) {
    x = CW_USEDEFAULT;
    y = CW_USEDEFAULT;
  }
  if (flags & WindowCentreOnScreen) {
    int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (outerWidth > screenWidth) outerWidth = screenWidth;
    if (outerHeight > screenHeight) outerHeight = screenHeight;
    x = ClampToInt32((static_cast<int64_t>(screenWidth) - outerWidth) / 2);
    y = ClampToInt32((static_cast<int64_t>(screenHeight) - outerHeight) / 2);
  } else if (flags & WindowCentreOnParent) {
    HWND around = parent ? parent : GetActiveWindow();
    RECT area;
    if (around && GetWindowRect(around, &area)) {
      x = ClampToInt32(area.left + ((static_cast<int64_t>(area.right) - area.left) - outerWidth) / 2);
      y = ClampToInt32(area.top + ((static_cast<int64_t>(area.bottom) - area.top) - outerHeight) / 2);
      if (x < 0) x = 0;
      if (y < 0) y = 0;
    }
  }

  HWND window = CreateWindowExA(0, className, title ? title : "", style, x, y, outerWidth, outerHeight, parent,
                                nullptr, ProgramInstance(), nullptr);
  if (!window) {
    UnregisterClassA(className, ProgramInstance());
    ReleaseObject(table, number);
    return 0;
  }
  // The slots may have moved if a window procedure opened windows meanwhile.
  record = autoNumbered ? record : RecordSlot(table, number);
  record->handle = window;
  record->reserved = -1;
  record->frameClient = nullptr;
  SetPropA(window, WindowIdProperty, reinterpret_cast<HANDLE>(number + 1));

  if (show) {
    int command = SW_SHOWNORMAL;
    if (flags & WindowMaximised)
      command = SW_SHOWMAXIMIZED;
    else if (flags & WindowMinimised)
      command = SW_SHOWMINIMIZED;
    ShowWindow(window, command);
  }

  record = WindowRecordOf(number);
  if (record && !record->shortcuts) CreateShortcuts(record);
  return autoNumbered ? number : reinterpret_cast<intptr_t>(window);
}

HWND WindowHandle(ObjectNumber number) {
  WindowRecord* record = WindowRecordOf(number);
  return record ? record->handle : nullptr;
}

void WindowClose(ObjectNumber number) {
  ObjectTable* table = WindowTable();
  WindowRecord* found = WindowRecordOf(number);
  if (!found) return;
  // The record is freed first, so that whatever the closing window's procedures do (even close
  // or reopen this number) finds it gone.
  WindowRecord record = *found;
  ReleaseObject(table, number);

  HWND window = record.handle;
  HWND owner = GetWindow(window, GW_OWNER);
  if (owner && !record.frameClient) SetActiveWindow(owner);
  RemovePropA(window, WindowIdProperty);
  if (RemovePropA(window, DropAcceptProperty)) RevokeDragDrop(window);
  if (record.frameClient) {
    SendMessageA(record.frameClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
  } else {
    DestroyWindow(window);
    char className[40];
    ClassNameOf(number, className);
    UnregisterClassA(className, ProgramInstance());
  }
  if (record.shortcuts) {
    HeapFree(MainHeap, 0, record.shortcuts);
    if (record.shortcutTable) DestroyAcceleratorTable(record.shortcutTable);
  }
  if (record.backgroundBrush) DeleteObject(record.backgroundBrush);
}

void CloseAllWindows() {
  ObjectTable* table = WindowTable();
  if (table) {
    ObjectNumber number;
    ResetObjectIteration(table);
    while (NextObject(table, &number)) WindowClose(number);
  }
  if (EventState* events = WindowEventState()) {
    FreeHeldEventData(events);
    FreePendingDropData(events);
  }
}

void InstallWindowCallback(WNDPROC callback) {
  if (EventState* events = WindowEventState()) events->globalCallback = callback;
}

int SetWindowCallback(ObjectNumber number, WNDPROC callback) {
  WindowRecord* record = WindowRecordOf(number);
  if (!record) return 0;
  record->callback = callback;
  return 1;
}

LRESULT CommonWindowHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = SizingLoopFilter(window, message, wParam, lParam);
  if (!SameResult(result, ResultDefault)) return result;

  HWND libraryWindow;
  ObjectNumber number = FindLibraryWindow(window, &libraryWindow);
  WindowRecord* record = number == -1 ? nullptr : WindowRecordOf(number);

  WNDPROC callback = record && record->callback ? record->callback : nullptr;
  if (!callback) {
    EventState* events = WindowEventState();
    callback = events ? events->globalCallback : nullptr;
  }
  if (callback) {
    result = callback(window, message, wParam, lParam);
    if (!SameResult(result, ResultContinue)) return result;
    // The callback may have closed the window.
    record = number == -1 ? nullptr : WindowRecordOf(number);
  }
  return LibraryMessageHandling(window, message, wParam, lParam, number, record, libraryWindow);
}

LRESULT CALLBACK WindowClassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = CommonWindowHandler(window, message, wParam, lParam);
  HWND frameClient = static_cast<HWND>(GetPropA(window, FrameGadgetProperty));
  if (frameClient && message != WM_SIZE) {
    if (message == WM_COMMAND && lParam == 0)
      return DefFrameProcA(window, reinterpret_cast<HWND>(lParam), message, wParam, lParam);
    if (SameResult(result, ResultDefault) || message == WM_SETFOCUS || message == WM_MENUCHAR)
      return DefFrameProcA(window, frameClient, message, wParam, lParam);
    return result;
  }
  if (SameResult(result, ResultDefault)) return DefWindowProcA(window, message, wParam, lParam);
  return result;
}
