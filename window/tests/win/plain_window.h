// One plain top-level window per test program, made on first use: visible and in the foreground,
// for DirectInput and DirectSound to cooperate with and for the cursor confinement tests.
#pragma once
#include <windows.h>

inline HWND PlainTestWindow() {
  static HWND window = nullptr;
  if (window && IsWindow(window)) return window;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "VorlunePlainTestWindow";
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  RegisterClassA(&windowClass);
  window = CreateWindowExA(0, "VorlunePlainTestWindow", "plain test window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                           80, 400, 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetForegroundWindow(window);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  return window;
}
