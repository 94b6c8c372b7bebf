// The hidden popup that the DirectX devices cooperate with, and its window procedure.
#include "window/win/multimedia.h"

MultimediaWindowState Multimedia;

namespace {

const char MultimediaClassName[] = "MultimediaBase Class";

}  // namespace

int32_t CreateMultimediaWindow() {
  if (!Multimedia.baseCreated && !Multimedia.window) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = MultimediaWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = MultimediaClassName;
    if (!RegisterClassExA(&windowClass)) return 0;
    Multimedia.window = CreateWindowExA(0, MultimediaClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                        instance, nullptr);
    if (Multimedia.window) Multimedia.baseCreated = TRUE;
  }
  return Multimedia.baseCreated ? 1 : 0;
}

HWND MultimediaWindow() { return Multimedia.window; }

void SetMultimediaWindow(HWND window) { Multimedia.window = window; }

void SetMultimediaFocusRoutine(MultimediaFocusRoutine routine) { Multimedia.focus = routine; }

LRESULT CALLBACK MultimediaWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (Multimedia.focus) Multimedia.focus(message, wParam);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 1;
    }
    case WM_CLOSE:
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
