#include <windows.h>

// A plain visible window that can hold the foreground, for the DirectInput devices and the
// cursor confinement tests.
HWND InputTestWindow() {
  static HWND window = nullptr;
  if (window && IsWindow(window)) return window;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "InputTestWindow";
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  RegisterClassA(&windowClass);
  window = CreateWindowExA(0, "InputTestWindow", "input test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80,
                           400, 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetForegroundWindow(window);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  return window;
}
