// The windowed screen: an off-screen back buffer presented into a window through a clipper.
#include <windows.h>
#include <ddraw.h>

#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/win/windowed_screen.h"
#include "display/windowed_geometry.h"
#include "display/win/platform_calls.h"

const char* const ScreenPaintProperty = "zr_dxpaint";

namespace {

const UINT SessionChangeMessage = 0x2B1;   // WM_WTSSESSION_CHANGE
const WPARAM SessionLock = 7;
const WPARAM SessionUnlock = 8;
const DWORD NotifyForThisSession = 0;
const int32_t DefaultWindowedFrameRate = 60;
// A scan-line counter that never leaves the picture must not hold the program: no refresh
// period is anywhere near this long.
const DWORD ScanLineWaitLimit = 50;

// The procedure each subclassed window had before, so that every window's messages go on to its
// own procedure even when screens were opened in several windows. The screen state's single
// field holds the one of the window last opened.
struct SubclassedWindow {
  HWND window;
  WNDPROC previous;
};
const int MaxSubclassedWindows = 64;
SubclassedWindow Subclassed[MaxSubclassedWindows];

SubclassedWindow* FindSubclassed(HWND window) {
  if (!window) return nullptr;
  for (SubclassedWindow& entry : Subclassed)
    if (entry.window == window) return &entry;
  return nullptr;
}

// A slot for a window about to be subclassed: its own old one (a reused handle), a free one or
// one of a window that no longer exists; none when every slot holds a live window.
SubclassedWindow* SlotFor(HWND window) {
  if (SubclassedWindow* own = FindSubclassed(window)) return own;
  for (SubclassedWindow& entry : Subclassed)
    if (!entry.window || !IsWindow(entry.window)) return &entry;
  return nullptr;
}

void RegisterForSessionNotifications(HWND window) {
  const LibraryCalls& calls = DisplayPlatform.library;
  HMODULE library = calls.loadLibrary("Wtsapi32.dll");
  if (!library) return;
  SessionNotificationRoutine registerWindow =
      LookUp<SessionNotificationRoutine>(calls, library, "WTSRegisterSessionNotification");
  if (registerWindow) registerWindow(window, NotifyForThisSession);
  calls.freeLibrary(library);
}

// Subclasses the window and registers it for session notifications, once in the window's life.
void SubclassOnce(HWND window) {
  if (GetPropA(window, ScreenPaintProperty)) return;
  SubclassedWindow* slot = SlotFor(window);
  if (!slot) return;
  WNDPROC previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ScreenWindowProc)));
  // Refused (a window of another process): it was not subclassed, so it is not marked either.
  if (!previous) return;
  slot->window = window;
  slot->previous = previous;
  SetPropA(window, ScreenPaintProperty, reinterpret_cast<HANDLE>(1));
  RegisterForSessionNotifications(window);
}

int32_t FailWindowedOpen() {
  // The open's own default must not outlive it: a failed open leaves the frame rate as it was.
  if (Screen.frameRateDefaulted) LimitFrameRate(0);
  ReleaseScreen();
  Screen.screenWidth = Screen.screenHeight = 0;
  return 0;
}

ScreenRect FromRect(const RECT& r) {
  return ScreenRect{static_cast<int32_t>(r.left), static_cast<int32_t>(r.top), static_cast<int32_t>(r.right),
                    static_cast<int32_t>(r.bottom)};
}

RECT ToRect(const ScreenRect& r) {
  RECT out;
  SetRect(&out, r.left, r.top, r.right, r.bottom);
  return out;
}

void Present(const RECT& source, const RECT& destination) {
  RECT from = source, to = destination;
  Screen.primary->Blt(&to, Screen.backBuffer, &from, DDBLT_WAIT, nullptr);
}

bool WindowedScreenOpen() { return Screen.windowed && Screen.primary && Screen.backBuffer; }

// Wine presents a windowed primary through a Direct3D swap chain on the window DirectDraw
// cooperates with, or on the window the clipper names when it is attached to the primary, and
// nothing such a chain draws into a child window reaches the screen (in a child of another
// process's window not even a plain GDI paint does). A child window's screen therefore cooperates
// with no window and names the clipper's window only once the clipper is attached: the blit then
// writes the primary itself, clipped to the window, as it does on Windows.
bool IsChildWindow(HWND window) { return (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) != 0; }

}  // namespace

int32_t OpenScreenInWindow(HWND window, int32_t xOffset, int32_t yOffset, int32_t width, int32_t height,
                           int32_t stretch, int32_t rightOffset, int32_t bottomOffset) {
  EndScreen();
  Screen.focusLoss = BackupAllSprites;
  // A handle that names no window is refused like none: DirectDraw would accept it and show nothing.
  if (!window || !IsWindow(window)) {
    ReleaseScreen();
    Screen.screenWidth = Screen.screenHeight = 0;
    return 0;
  }
  SetMultimediaWindow(window);
  Screen.outputWidth = Screen.screenWidth = width;
  Screen.outputHeight = Screen.screenHeight = height;
  HDC context = GetDC(window);
  Screen.screenDepth = GetDeviceCaps(context, BITSPIXEL);
  ReleaseDC(window, context);
  if (Screen.frameRate == 0) {
    LimitFrameRate(DefaultWindowedFrameRate);
    Screen.frameRateDefaulted = TRUE;
  } else {
    Screen.frameRateDefaulted = FALSE;
  }
  Screen.windowed = TRUE;
  const HWND cooperating = IsChildWindow(window) ? nullptr : window;
  if (!Screen.directDraw || Screen.directDraw->SetCooperativeLevel(cooperating, DDSCL_NORMAL) != 0)
    return FailWindowedOpen();
  if (!CreateWindowedSurfaces()) return FailWindowedOpen();
  BlackenSurface(Screen.backBuffer);
  Screen.drawTarget = Screen.backBuffer;
  Screen.xOffset = xOffset;
  Screen.yOffset = yOffset;
  Screen.rightOffset = rightOffset;
  Screen.bottomOffset = bottomOffset;
  Screen.stretch = stretch ? TRUE : FALSE;
  MeasureWindowInsets();
  SubclassOnce(window);
  Screen.previousWindowProc = ScreenPreviousWindowProc(window);
  DetectPixelFormat();
  Screen.flip = WindowedFlip;
  Screen.active = TRUE;
  return 1;
}

int32_t CreateWindowedSurfaces() {
  DDSURFACEDESC2 description = {};
  description.dwSize = sizeof(description);
  description.dwFlags = DDSD_CAPS;
  description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE;
  if (Screen.directDraw->CreateSurface(&description, &Screen.primary, nullptr) != 0) {
    Screen.primary = nullptr;
    return 0;
  }
  if (Screen.directDraw->CreateClipper(0, &Screen.clipper, nullptr) != 0) {
    Screen.clipper = nullptr;
    return 0;
  }
  const HWND window = MultimediaWindow();
  if (IsChildWindow(window)) {
    if (Screen.primary->SetClipper(Screen.clipper) != 0) return 0;
    if (Screen.clipper->SetHWnd(0, window) != 0) return 0;
  } else {
    if (Screen.clipper->SetHWnd(0, window) != 0) return 0;
    if (Screen.primary->SetClipper(Screen.clipper) != 0) return 0;
  }
  description = DDSURFACEDESC2{};
  description.dwSize = sizeof(description);
  description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
  description.dwWidth = static_cast<DWORD>(Screen.outputWidth);
  description.dwHeight = static_cast<DWORD>(Screen.outputHeight);
  description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
  if (Screen.directDraw->CreateSurface(&description, &Screen.backBuffer, nullptr) != 0) {
    Screen.backBuffer = nullptr;
    return 0;
  }
  return 1;
}

void MeasureWindowInsets() {
  const HWND window = MultimediaWindow();
  RECT frame = {0, 0, 0, 0}, client = {0, 0, 0, 0};
  GetWindowRect(window, &frame);
  GetClientRect(window, &client);
  ClientToScreen(window, reinterpret_cast<POINT*>(&client.left));
  ClientToScreen(window, reinterpret_cast<POINT*>(&client.right));
  const WindowInsets insets = InsetsFor(FromRect(frame), FromRect(client), Screen.xOffset, Screen.yOffset,
                                        Screen.rightOffset, Screen.bottomOffset);
  Screen.leftInset = insets.left;
  Screen.topInset = insets.top;
  Screen.rightInset = insets.right;
  Screen.bottomInset = insets.bottom;
}

namespace {

// Where a picture of width x height comes from and goes to in the multimedia window as it is now.
void PictureRects(int32_t width, int32_t height, ScreenRect* from, ScreenRect* to) {
  RECT frame = {0, 0, 0, 0};
  GetWindowRect(MultimediaWindow(), &frame);
  const WindowInsets insets = {Screen.leftInset, Screen.topInset, Screen.rightInset, Screen.bottomInset};
  PresentRectsFor(FromRect(frame), insets, Screen.stretch != FALSE, width, height, from, to);
}

}  // namespace

void ComputePresentRects(RECT* source, RECT* destination) {
  ScreenRect from, to;
  PictureRects(Screen.outputWidth, Screen.outputHeight, &from, &to);
  *source = ToRect(from);
  *destination = ToRect(to);
}

RECT WindowedPictureArea() {
  ScreenRect from, to;
  PictureRects(Screen.screenWidth, Screen.screenHeight, &from, &to);
  return ToRect(to);
}

void WindowedFlip(int32_t mode) {
  RECT source, destination;
  ComputePresentRects(&source, &destination);
  WaitFrameInterval();
  if (mode != 0 && Screen.directDraw) {
    const int64_t displayHeight = GetSystemMetrics(SM_CYSCREEN);
    const DWORD start = GetTickCount();
    for (;;) {
      DWORD line = 0;
      if (Screen.directDraw->GetScanLine(&line) != 0) break;   // vertical blank
      if (static_cast<int64_t>(line) >= destination.bottom || static_cast<int64_t>(line) >= displayHeight) break;
      if (GetTickCount() - start > ScanLineWaitLimit) break;
    }
  }
  if (WindowedScreenOpen()) Present(source, destination);
}

void RepaintWindowedScreen() {
  if (!WindowedScreenOpen()) return;
  RECT source, destination;
  ComputePresentRects(&source, &destination);
  Present(source, destination);
}

WNDPROC ScreenPreviousWindowProc(HWND window) {
  const SubclassedWindow* entry = FindSubclassed(window);
  return entry ? entry->previous : nullptr;
}

LRESULT CALLBACK ScreenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const WNDPROC previous = ScreenPreviousWindowProc(window);
  auto passOn = [&]() -> LRESULT {
    return previous ? CallWindowProcA(previous, window, message, wParam, lParam)
                    : DefWindowProcA(window, message, wParam, lParam);
  };
  // Size and paint concern the open screen only when this is its window.
  const bool screenWindow = Screen.windowed && window == MultimediaWindow();
  switch (message) {
    case WM_SIZE:
      if (screenWindow) {
        MeasureWindowInsets();
        RepaintWindowedScreen();
      }
      return passOn();
    case WM_PAINT: {
      const LRESULT result = passOn();
      if (screenWindow) RepaintWindowedScreen();
      return result;
    }
    case SessionChangeMessage:
      if (wParam == SessionLock) {
        BackupAllSprites();
      } else if (wParam == SessionUnlock) {
        if (Screen.primary) Screen.primary->Restore();
        if (Screen.backBuffer) Screen.backBuffer->Restore();
        RestoreAllSprites();
      }
      return 0;
    case WM_NCDESTROY: {
      const LRESULT result = passOn();
      if (SubclassedWindow* entry = FindSubclassed(window)) *entry = SubclassedWindow{nullptr, nullptr};
      return result;
    }
    default:
      return passOn();
  }
}
