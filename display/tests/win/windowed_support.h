// Helpers of the windowed-screen and preview tests: plain test windows, message pumping, frames
// drawn and shown, and what is on the screen read back through GDI.
#pragma once
#include <windows.h>
#include <ddraw.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "display/screen.h"

// Pixels as 0x00RRGGBB, top row first.
struct ScreenPixels {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> values;
  uint32_t At(int32_t x, int32_t y) const { return values[static_cast<size_t>(y) * width + x]; }
};

// What the desktop shows in the given rectangle (screen coordinates).
inline bool ReadScreenArea(int32_t x, int32_t y, int32_t width, int32_t height, ScreenPixels* out) {
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (memory && dib) {
    HGDIOBJ old = SelectObject(memory, dib);
    ok = BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY) != FALSE;
    GdiFlush();
    out->width = width;
    out->height = height;
    out->values.assign(static_cast<const uint32_t*>(bits),
                       static_cast<const uint32_t*>(bits) + static_cast<size_t>(width) * height);
    for (uint32_t& v : out->values) v &= 0xFFFFFF;
    SelectObject(memory, old);
  }
  if (dib) DeleteObject(dib);
  if (memory) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

// The client area of a window as the desktop shows it.
inline bool ReadClientArea(HWND window, ScreenPixels* out) {
  RECT client;
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  return ReadScreenArea(origin.x, origin.y, client.right, client.bottom, out);
}

inline void PumpWindowMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Handles messages until the condition holds, for two seconds at most; whether it came to hold.
template <class Condition> bool PumpUntil(Condition condition) {
  const DWORD start = GetTickCount();
  for (;;) {
    PumpWindowMessages();
    if (condition()) return true;
    if (GetTickCount() - start > 2000) return false;
    Sleep(5);
  }
}

// Handles messages for the given time.
inline void PumpFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  do {
    PumpWindowMessages();
    Sleep(5);
  } while (GetTickCount() - start < milliseconds);
}

// Shows the frame the way a program's loop does, flipping and handling messages for a while, so
// that the window is fully shown under Wine before the last flip.
inline void Show() {
  const DWORD start = GetTickCount();
  do {
    PumpWindowMessages();
    FlipScreen();
  } while (GetTickCount() - start < 300);
  PumpWindowMessages();
  FlipScreen();
}

// Fills an area of a surface (all of it: none) with a colour 0x00RRGGBB.
inline void FillArea(IDirectDrawSurface7* surface, RECT* area, uint32_t rgb) {
  DDBLTFX fx = {};
  fx.dwSize = sizeof(fx);
  fx.dwFillColor = RGBToPixel((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
  surface->Blt(area, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

// A visible static child window, after its first messages.
inline HWND CreateChild(HWND parent, int32_t x, int32_t y, int32_t width, int32_t height) {
  HWND child = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, x, y, width, height, parent, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  PumpFor(50);
  return child;
}

// Counts what reaches the test windows' own procedure.
struct TestWindowCounts {
  int probes = 0;          // TestProbeMessage
  int sessionChanges = 0;  // WM_WTSSESSION_CHANGE
  int paints = 0;
};
const UINT TestProbeMessage = WM_APP + 17;

inline TestWindowCounts& CountsOf(HWND window) {
  return *reinterpret_cast<TestWindowCounts*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

inline LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TestWindowCounts* counts = reinterpret_cast<TestWindowCounts*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (counts) {
    if (message == TestProbeMessage) {
      ++counts->probes;
      return 0x5A;
    }
    if (message == 0x2B1) ++counts->sessionChanges;
    if (message == WM_PAINT) ++counts->paints;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A top-level window of the given class (registered when first used) and style, with a client area
// of width x height at (x, y) of the desktop; not shown yet.
inline HWND CreateClientWindow(const char* className, WNDPROC procedure, HBRUSH background, DWORD style,
                               const char* title, int32_t x, int32_t y, int32_t width, int32_t height) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass = {};
  if (!GetClassInfoA(instance, className, &windowClass)) {
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
  }
  RECT frame = {x, y, x + width, y + height};
  AdjustWindowRect(&frame, style, FALSE);
  return CreateWindowA(className, title, style, frame.left, frame.top, frame.right - frame.left,
                       frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
}

// A visible window with a client area of width x height at (x, y) of the desktop, filled with a
// magenta background; framed (caption and border) or a plain popup.
inline HWND CreateTestWindow(int32_t x, int32_t y, int32_t width, int32_t height, bool framed,
                             TestWindowCounts* counts) {
  static const HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
  HWND window = CreateClientWindow("VorluneWindowedTest", TestWindowProc, magenta,
                                   framed ? WS_OVERLAPPEDWINDOW : WS_POPUP, "windowed test", x, y, width, height);
  if (!window) return nullptr;
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(counts));
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  SetForegroundWindow(window);
  // Shown once its first paint came through.
  if (counts) PumpUntil([counts] { return counts->paints > 0; });
  return window;
}
