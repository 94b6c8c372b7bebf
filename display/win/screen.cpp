// The DirectDraw 7 screen: the DirectDraw object, the multimedia window, the full-screen flip
// chain, presentation with frame pacing, and recovery after the focus came back.
#include <windows.h>
#include <mmsystem.h>
#include <ddraw.h>
#include <d3d.h>

#include "display/frame_pacing.h"
#include "display/blending.h"
#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/win/windowed_screen.h"
#include "display/win/platform_calls.h"
#include "input/mouse.h"
#include "window/win/multimedia.h"

// Records are passed with their own size: on 32-bit Windows these are the documented 124 and
// 100 bytes, on 64-bit they are larger (and DirectDraw checks).
#ifndef _WIN64
static_assert(sizeof(DDSURFACEDESC2) == 124 && sizeof(DDBLTFX) == 100, "DirectDraw record sizes");
#endif

ScreenState Screen;

DisplayCalls DisplayPlatform = SYSTEM_DISPLAY_CALLS;

namespace {

// IID_IDirectDraw7, spelled out so that no DirectX import library is needed.
const GUID DirectDraw7Id = {0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

const int32_t ScanLineMargin = 150;

template <class T> void ReleaseAndClear(T*& object) {
  if (object) {
    object->Release();
    object = nullptr;
  }
}

void RunFocusLossOnce() {
  if (Screen.focusLoss && !Screen.spritesBackedUp) {
    Screen.focusLoss();
    Screen.spritesBackedUp = TRUE;
  }
}

}  // namespace

IDirectDraw7* ObtainDirectDraw() {
  if (!Screen.directDraw) {
    HMODULE library = DisplayPlatform.library.loadLibrary("DDRAW.DLL");
    if (library) {
      Screen.directDrawLibrary = library;
      DirectDrawCreateExRoutine create =
          LookUp<DirectDrawCreateExRoutine>(DisplayPlatform.library, library, "DirectDrawCreateEx");
      void* object = nullptr;
      // Only a success counts: a failing creator may leave anything in its result.
      if (create && create(nullptr, &object, DirectDraw7Id, nullptr) == DD_OK)
        Screen.directDraw = static_cast<IDirectDraw7*>(object);
      if (!Screen.directDraw) {
        DisplayPlatform.library.freeLibrary(library);
        Screen.directDrawLibrary = nullptr;
      }
    }
  }
  ++Screen.directDrawUsers;
  return Screen.directDraw;
}

void ReleaseDirectDraw() {
  --Screen.directDrawUsers;
  if (Screen.directDraw && Screen.directDrawUsers == 0) {
    Screen.directDraw->Release();
    Screen.directDraw = nullptr;
    if (Screen.directDrawLibrary) DisplayPlatform.library.freeLibrary(Screen.directDrawLibrary);
    Screen.directDrawLibrary = nullptr;
  }
}

void ScreenFocusMessage(UINT message, WPARAM wParam) {
  if (message == WM_ACTIVATE) {
    if (Screen.windowed) return;
    if (LOWORD(wParam) != 0) {
      Screen.spritesBackedUp = FALSE;
      Screen.active = TRUE;
    } else {
      RunFocusLossOnce();
      Screen.active = FALSE;
      SuspendMouse();
    }
  } else if (wParam == VK_TAB || wParam == VK_MENU) {
    RunFocusLossOnce();
  }
}

void DescribeScreenForMouse(MouseScreen* screen) {
  screen->active = ScreenIsActive();
  screen->windowed = Screen.windowed ? 1 : 0;
  screen->width = Screen.screenWidth;
  screen->height = Screen.screenHeight;
  if (screen->active && screen->windowed) {
    const RECT area = WindowedPictureArea();
    screen->left = area.left;
    screen->top = area.top;
    screen->right = area.right;
    screen->bottom = area.bottom;
  }
}

int32_t CreateFlipChain() {
  DDSURFACEDESC2 description = {};
  description.dwSize = sizeof(description);
  description.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  description.dwBackBufferCount = 1;
  description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
  if (Screen.directDraw->CreateSurface(&description, &Screen.primary, nullptr) != 0) {
    Screen.primary = nullptr;
    return 0;
  }
  DDSCAPS2 caps = {};
  caps.dwCaps = DDSCAPS_BACKBUFFER | DDSCAPS_3DDEVICE;
  if (Screen.primary->GetAttachedSurface(&caps, &Screen.backBuffer) != 0) {
    Screen.backBuffer = nullptr;
    return 0;
  }
  return 1;
}

namespace {

int32_t FailOpen() {
  ReleaseScreen();
  // A failed open leaves no screen: flips and clears do nothing until the next open.
  Screen.screenWidth = Screen.screenHeight = 0;
  return 0;
}

}  // namespace

int32_t OpenFullScreen(int32_t width, int32_t height, int32_t depth, const char* title) {
  const int32_t w = static_cast<int16_t>(width), h = static_cast<int16_t>(height),
                d = static_cast<int16_t>(depth);
  EndScreen();
  Screen.focusLoss = BackupAllSprites;
  const HWND window = MultimediaWindow();
  SetWindowTextA(window, title);
  MoveWindow(window, 0, 0, w, h, TRUE);
  if (!window) return FailOpen();
  Screen.outputWidth = Screen.screenWidth = w;
  Screen.outputHeight = Screen.screenHeight = h;
  Screen.screenDepth = d;
  ShowCursor(FALSE);
  if (!Screen.directDraw) return FailOpen();
  if (Screen.directDraw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN) != 0)
    return FailOpen();
  if (Screen.directDraw->SetDisplayMode(w, h, d, 0, 0) != 0) return FailOpen();
  if (!CreateFlipChain()) return FailOpen();
  ShowWindow(window, SW_SHOWMAXIMIZED);
  BlackenSurface(Screen.backBuffer);
  BlackenSurface(Screen.primary);
  Screen.drawTarget = Screen.backBuffer;
  DWORD frequency = 0;
  Screen.directDraw->GetMonitorFrequency(&frequency);
  Screen.monitorFrequency = static_cast<int32_t>(frequency);
  DetectPixelFormat();
  Screen.active = TRUE;
  Screen.flip = FullScreenFlip;
  timeBeginPeriod(1);
  return 1;
}

void FullScreenFlip(int32_t mode) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (Screen.active && Screen.primary && Screen.directDraw) {
    if (mode & FlipWaitScanLine) {
      HANDLE thread = GetCurrentThread();
      const int priority = GetThreadPriority(thread);
      SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
      const DWORD threshold = static_cast<DWORD>(Screen.outputHeight - ScanLineMargin);
      for (;;) {
        DWORD line = 0;
        if (Screen.directDraw->GetScanLine(&line) != 0 || line >= threshold) break;
        Sleep(1);
      }
      SetThreadPriority(thread, priority);
    }
    const DWORD flags = (mode & FlipWaitVerticalSync) ? DDFLIP_WAIT : DDFLIP_WAIT | DDFLIP_NOVSYNC;
    if (Screen.primary->Flip(nullptr, flags) == DDERR_SURFACELOST) {
      Screen.directDraw->SetCooperativeLevel(MultimediaWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
      Screen.directDraw->SetDisplayMode(Screen.outputWidth, Screen.outputHeight, Screen.screenDepth, 0, 0);
      Screen.directDraw->RestoreAllSurfaces();
      ShowWindow(MultimediaWindow(), SW_SHOWMAXIMIZED);
      RestoreAllSprites();
      if (Screen.screenDepth == 8) {
        IDirectDrawPalette* palette = nullptr;
        Screen.primary->GetPalette(&palette);
        Screen.primary->SetPalette(palette);
        if (palette) palette->Release();
      }
    }
  }
  if (Screen.frameRate != 0 && Screen.monitorFrequency != 0) WaitFrameInterval();
}

IDirectDrawSurface7* FlipScreenMode(int32_t mode) {
  SelectDrawTarget(-1);
  if (Screen.flip && Screen.screenWidth != 0) Screen.flip(mode);
  SelectDrawTarget(-1);
  return Screen.backBuffer;
}

void* FlipScreen() { return FlipScreenMode(FlipWaitVerticalSync); }

int32_t ScreenClosed() { return 0; }

int32_t LimitFrameRate(int32_t framesPerSecond) {
  LARGE_INTEGER frequency;
  if (!DisplayPlatform.queryPerformanceFrequency(&frequency)) return 0;
  // A negative rate would divide by zero (or worse): it means no pacing.
  if (framesPerSecond < 0) framesPerSecond = 0;
  Screen.frameRate = framesPerSecond;
  Screen.frameRateDefaulted = FALSE;
  Screen.ticksPerFrame = TicksPerFrame(frequency.QuadPart, framesPerSecond);
  Screen.lastFrameStamp = 0;
  return 1;
}

void WaitFrameInterval() {
  for (;;) {
    LARGE_INTEGER counter;
    // A counter that never answers cannot pace anything; give up rather than hang.
    int attempts = 0;
    while (!DisplayPlatform.queryPerformanceCounter(&counter))
      if (++attempts == 1000) return;
    const int32_t now = static_cast<int32_t>(static_cast<uint32_t>(counter.QuadPart));
    if (FrameIntervalPassed(now, &Screen.lastFrameStamp, Screen.ticksPerFrame)) return;
  }
}

void ClearOutput(uint32_t colour) {
  ReleaseBlendLocks();
  const uint32_t fill = Screen.screenDepth > 8
                            ? RGBToPixel(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF)
                            : colour;
  Screen.fillEffects.dwSize = sizeof(Screen.fillEffects);
  Screen.fillEffects.dwFillColor = fill;
  if (Screen.drawTarget)
    Screen.drawTarget->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &Screen.fillEffects);
}

uint32_t RGBToPixel(int32_t red, int32_t green, int32_t blue) {
  return RGBToPixelFor(Screen.screenDepth, Screen.pixelFormatCode, red, green, blue);
}

void DetectPixelFormat() {
  if (!Screen.primary) return;
  Screen.primaryDescription.dwSize = sizeof(Screen.primaryDescription);
  if (Screen.primary->Lock(nullptr, &Screen.primaryDescription, DDLOCK_WAIT, nullptr) != 0) return;
  Screen.primary->Unlock(nullptr);
  const DDPIXELFORMAT& format = Screen.primaryDescription.ddpfPixelFormat;
  Screen.pixelFormatCode = PixelFormatCodeFor(Screen.screenDepth, format.dwRBitMask, format.dwGBitMask);
}

IDirectDrawSurface7* SelectDrawTarget(intptr_t spriteNumber) {
  ReleaseBlendLocks();
  if (spriteNumber == -1) {
    Screen.drawTarget = Screen.backBuffer;
    Screen.outputWidth = Screen.screenWidth;
    Screen.outputHeight = Screen.screenHeight;
  } else if (SpriteRecord* sprite = LookupSprite(spriteNumber)) {
    if (sprite->depth != MemorySpriteDepth) {
      Screen.drawTarget = sprite->surface;
      Screen.outputWidth = sprite->width;
      Screen.outputHeight = sprite->height;
    }
  }
  return Screen.drawTarget;
}

int32_t ScreenIsActive() {
  if (Screen.windowed) return GetForegroundWindow() == MultimediaWindow() ? 1 : 0;
  return Screen.active ? 1 : 0;
}

void BlackenSurface(IDirectDrawSurface7* surface) {
  ReleaseBlendLocks();
  HDC context;
  if (!surface || surface->GetDC(&context) != 0) return;
  RECT area = {0, 0, Screen.outputWidth, Screen.outputHeight};
  FillRect(context, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  surface->ReleaseDC(context);
}

void EndScreen() {
  if (Screen.screenWidth == 0) return;
  if (Screen.frameRateDefaulted) LimitFrameRate(0);
  if (!Screen.windowed) timeEndPeriod(1);
  ReleaseScreen();
  Screen.screenWidth = Screen.screenHeight = 0;
}

void ReleaseScreen() {
  ReleaseBlendLocks();
  ReleaseAndClear(Screen.device3D);
  if (SpriteEngine.table) {
    ResetObjectIteration(SpriteEngine.table);
    ObjectNumber number;
    while (NextObject(SpriteEngine.table, &number)) ReleaseSprite(number);
  }
  if (Screen.directDraw) Screen.directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
  ReleaseAndClear(Screen.backBuffer);
  ReleaseAndClear(Screen.primary);
  if (MultimediaWindow() && !Screen.windowed) ShowCursor(TRUE);
  ReleaseAndClear(Screen.scratchSurface);
  ReleaseAndClear(Screen.clipper);
  if (Screen.windowed) {
    Screen.windowed = FALSE;
    InvalidateRect(MultimediaWindow(), nullptr, TRUE);
  }
  // Nothing may draw into the released surfaces.
  Screen.drawTarget = nullptr;
  Screen.savedDrawTarget = nullptr;
  SetMultimediaWindow(Screen.baseWindow);
  ShowWindow(Screen.baseWindow, SW_HIDE);
}
