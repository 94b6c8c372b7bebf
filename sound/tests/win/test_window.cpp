#include <windows.h>

// A plain window for the sound device to cooperate with.
HWND SoundTestWindow() {
  static HWND window = nullptr;
  if (window && IsWindow(window)) return window;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "SoundTestWindow";
  RegisterClassA(&windowClass);
  window = CreateWindowExA(0, "SoundTestWindow", "sound test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
  return window;
}
