#include <windows.h>

#include <commctrl.h>

#include "window/win/controls.h"
#include "window/win/window.h"

namespace {

const DWORD ExtendedControlClasses = 0xB08;  // tab, date, extended combo box, internet address
const size_t StateBlockBytes = 40;

CRITICAL_SECTION controlLock;
bool lockMade = false;
ObjectTable* controls = nullptr;
ControlLibraryState* state = nullptr;

void FreeControl(ObjectNumber number) {
  ControlRecord* record = static_cast<ControlRecord*>(LookupObject(controls, number));
  if (!record) return;
  HWND window = record->handle;
  ReleaseObject(controls, number);
  DestroyWindow(window);
}

// The control a message is about, or none.
HWND ControlOfMessage(UINT message, LPARAM lParam) {
  if (message != WM_NOTIFY) return reinterpret_cast<HWND>(lParam);
  // A notification header is only read where it can be: a message from elsewhere may carry
  // anything in lParam.
  const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
  if (!header || IsBadReadPtr(header, sizeof(NMHDR))) return nullptr;
  return header->hwndFrom;
}

}  // namespace

int InitControlSupport() {
  if (!lockMade) {
    InitializeCriticalSection(&controlLock);
    lockMade = true;
  }
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (!controls) controls = CreateObjectTable(sizeof(ControlRecord), 50, FreeControl);
  if (!state) {
    state = static_cast<ControlLibraryState*>(AllocateLibraryState(sizeof(ControlLibraryState), nullptr));
    if (state) {
      state->font = font;
      state->counter = 10;
      state->block = MainHeap ? HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, StateBlockBytes) : nullptr;
    }
  }
  INITCOMMONCONTROLSEX classes;
  classes.dwSize = sizeof(INITCOMMONCONTROLSEX);
  classes.dwICC = ExtendedControlClasses;
  InitCommonControlsEx(&classes);
  return controls && state && state->block;
}

ObjectTable* ControlTable() { return controls; }
ControlLibraryState* ControlState() { return state; }

int RouteControlMessage(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (!controls) return 0;
  HWND control = ControlOfMessage(message, lParam);
  if (!control || !IsWindow(control)) return 0;
  int id = GetDlgCtrlID(control);
  HANDLE property = GetPropA(control, "ZR_ID");
  if (reinterpret_cast<intptr_t>(property) != id) return 0;
  ControlRecord* record = static_cast<ControlRecord*>(LookupObject(controls, id));
  // The number must belong to this very control, not to another that happens to share it.
  if (!record || record->handle != control || !record->kind || !record->kind->message) return 0;
  LRESULT handled = record->kind->message(record, parent, message, wParam, lParam);
  if (SameResult(handled, ResultDefault)) return 0;
  if (result) *result = handled;
  return 1;
}
