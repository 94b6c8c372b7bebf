// Shared set-up of the window library's tests under Wine: the state start-up would make, and
// small helpers around the thread's message queue.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "runtime/memory.h"
#include "window/win/controls.h"
#include "window/win/window.h"

inline void EnsureWindowLibrary() {
  static bool done = false;
  if (done) return;
  done = true;
  SetProgramInstance(GetModuleHandleA(nullptr));
  if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
  InitStringStorage();
  InitListedObjectHeap();
  InitPlatformLibraries();
  InitControlSupport();
  InitWindowLibrary();
}

// Reads events until there is nothing left (bounded: a window that keeps posting cannot hang).
inline int DrainEvents() {
  int count = 0;
  while (count < 10000 && NextWindowEvent(0) != 0) ++count;
  return count;
}

inline bool MessageWaiting(UINT message) {
  MSG m;
  return PeekMessageA(&m, nullptr, message, message, PM_NOREMOVE) != 0;
}

// A plain window class whose procedure records what it is sent.
struct RecordedMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
inline std::vector<RecordedMessage>& RecordedMessages() {
  static std::vector<RecordedMessage> messages;
  return messages;
}
inline LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  RecordedMessages().push_back({window, message, wParam, lParam});
  return DefWindowProcA(window, message, wParam, lParam);
}
inline int CountRecorded(UINT message, HWND window = nullptr) {
  int count = 0;
  for (const RecordedMessage& m : RecordedMessages())
    if (m.message == message && (!window || m.window == window)) ++count;
  return count;
}
inline const char* RecordingClass() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    windowClass.lpszClassName = "WindowTestRecorder";
    RegisterClassA(&windowClass);
    registered = true;
  }
  return "WindowTestRecorder";
}
// A visible popup of the recording class, shown without activation: Wine without a window manager
// waits two seconds for the manager whenever an activated top-level window is destroyed, so
// tests put their windows into one of these where being top-level and active does not matter.
inline HWND MakeTestParent(int x = 100, int y = 80, int width = 400, int height = 300) {
  HWND window = CreateWindowExA(0, RecordingClass(), "test parent", WS_POPUP, x, y, width, height, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  return window;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureWindowLibrary();
    InstallWindowCallback(nullptr);
    DrainEvents();
    RecordedMessages().clear();
  }
  void TearDown() override {
    CloseAllWindows();
    InstallWindowCallback(nullptr);
    for (HWND window : ownWindows)
      if (IsWindow(window)) DestroyWindow(window);
    ownWindows.clear();
    host = nullptr;
    DrainEvents();
  }
  // A shared host for child windows, made on first use.
  HWND Host() {
    if (!host || !IsWindow(host)) host = Own(MakeTestParent(20, 20, 900, 700));
    return host;
  }
  HWND Own(HWND window) {
    ownWindows.push_back(window);
    return window;
  }
  std::vector<HWND> ownWindows;
  HWND host = nullptr;
};
