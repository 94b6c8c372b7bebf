#include <cstring>

#include "window/win/window.h"

namespace {

const int MaxParentDepth = 256;

// One walk over the eligible controls finds everything either direction needs.
struct ControlSearch {
  HWND current;
  HWND first;
  HWND last;
  HWND before;  // the eligible control just before the current one
  HWND after;   // the eligible control just after it
  bool currentFound;
};

bool Eligible(HWND window) {
  return IsWindowEnabled(window) && IsWindowVisible(window) && (GetWindowLongA(window, GWL_STYLE) & WS_TABSTOP);
}

BOOL CALLBACK VisitControl(HWND window, LPARAM data) {
  ControlSearch* search = reinterpret_cast<ControlSearch*>(data);
  if (!Eligible(window)) return TRUE;
  if (!search->first) search->first = window;
  search->last = window;
  if (window == search->current)
    search->currentFound = true;
  else if (!search->currentFound)
    search->before = window;
  else if (!search->after)
    search->after = window;
  return TRUE;
}

bool IsFrameChild(HWND window) {
  char name[50];
  return GetClassNameA(window, name, sizeof(name)) > 0 && std::strcmp(name, "MDI_ChildClass") == 0;
}

}  // namespace

int CycleFocus(int32_t direction) {
  HWND top = GetActiveWindow();
  if (!top) return 0;
  HWND focus = GetFocus();
  HWND current = nullptr;
  if (focus && IsChild(top, focus)) {
    current = focus;
    // Inside a multiple-document child the cycle stays within the outermost such child.
    HWND frameChild = nullptr;
    HWND window = focus;
    for (int depth = 0; window && window != top && depth < MaxParentDepth; ++depth, window = GetParent(window))
      if (IsFrameChild(window)) frameChild = window;
    if (frameChild) {
      top = frameChild;
      if (focus == frameChild) current = nullptr;
    }
  }

  ControlSearch search = {current, nullptr, nullptr, nullptr, nullptr, false};
  EnumChildWindows(top, VisitControl, reinterpret_cast<LPARAM>(&search));
  HWND target;
  if (direction == 0)
    target = search.currentFound && search.after ? search.after : search.first;
  else
    target = search.currentFound && search.before ? search.before : search.last;
  if (!target) return 0;
  SetFocus(target);
  return 1;
}
