// The DirectDraw 7 screen: full screen (a flip chain) or inside a window (a back buffer copied
// into the window). Owns the DirectDraw object, the multimedia window that DirectDraw,
// DirectInput and DirectSound cooperate with, the draw target and the frame pacing.
// Windows only; the pure pixel arithmetic lives in display/pixels.h.
#pragma once
#include <cstdint>

#include <windows.h>
#include <ddraw.h>

#include "display/pixels.h"

struct IDirect3DDevice7;

typedef void (*FocusLossRoutine)();
typedef void (*FlipRoutine)(int32_t mode);

// The one screen of the program (and the display library's shared state). All zero at start.
struct ScreenState {
  IDirectDraw7* directDraw;
  HMODULE directDrawLibrary;
  int32_t directDrawUsers;
  HWND multimediaWindow;
  HWND baseWindow;
  BOOL baseWindowCreated;
  IDirectDrawSurface7* primary;
  IDirectDrawSurface7* backBuffer;
  IDirectDrawClipper* clipper;            // windowed screens only
  IDirectDrawSurface7* drawTarget;        // what ClearOutput, blits and blends write to
  int32_t outputWidth, outputHeight;      // size of the draw target; clipping uses these
  int32_t screenWidth, screenHeight;      // screen width 0: no screen open
  int32_t screenDepth;                    // 8, 16, 24 or 32
  int32_t pixelFormatCode;                // PixelFormatPalette.. (display/pixels.h)
  BOOL windowed;
  BOOL active;                            // cleared while a full screen has lost the focus
  FocusLossRoutine focusLoss;             // BackupAllSprites once a screen was opened
  BOOL spritesBackedUp;                   // the focus-loss routine ran since the last activation
  FlipRoutine flip;                       // FullScreenFlip or the windowed screen's flip
  int32_t frameRate;                      // 0: no pacing
  BOOL frameRateDefaulted;                // set to 60 by the windowed open, not by the program
  int32_t ticksPerFrame;
  int32_t lastFrameStamp;                 // low 32 bits of the performance counter
  int32_t monitorFrequency;
  // Windowed placement of the picture inside the window's client area.
  int32_t xOffset, yOffset, rightOffset, bottomOffset;
  BOOL stretch;
  int32_t leftInset, topInset, rightInset, bottomInset;
  WNDPROC previousWindowProc;             // of the window the windowed open subclassed
  DDBLTFX fillEffects;                    // dwSize sizeof(DDBLTFX), set up by InitSpriteEngine
  DDSURFACEDESC2 primaryDescription;      // filled by DetectPixelFormat
  // Held here for the 3D sprites and the software blending, released by ReleaseScreen.
  IDirect3DDevice7* device3D;             // the 3D sprites' device on the back buffer
  IDirectDrawSurface7* scratchSurface;    // system-memory surface of the software frame
  int32_t scratchWidth, scratchHeight;
  BOOL softwareFrame;                     // cleared by InitSpriteEngine
  IDirectDrawSurface7* savedDrawTarget;   // the draw target before the software frame
};

extern ScreenState Screen;

// Flip modes.
const int32_t FlipWaitVerticalSync = 1;
const int32_t FlipWaitScanLine = 2;

// DirectDraw object, shared with the 3D sprites; counted by users.
IDirectDraw7* ObtainDirectDraw();
void ReleaseDirectDraw();

// The hidden "MultimediaBase Class" popup; 1 once it exists.
int32_t CreateMultimediaWindow();
// The window DirectDraw, DirectInput and DirectSound cooperate with: the base window, or the
// window of a windowed screen while one is open.
HWND MultimediaWindow();
LRESULT CALLBACK MultimediaWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Width, height and depth are each taken as 16-bit signed values.
int32_t OpenFullScreen(int32_t width, int32_t height, int32_t depth, const char* title);
IDirectDrawSurface7* FlipScreenMode(int32_t mode);
IDirectDrawSurface7* FlipScreen();
void FullScreenFlip(int32_t mode);
void ClearOutput(uint32_t colour);
int32_t LimitFrameRate(int32_t framesPerSecond);
void WaitFrameInterval();
int32_t ScreenIsActive();
IDirectDrawSurface7* SelectDrawTarget(intptr_t spriteNumber);   // -1: the back buffer
uint32_t RGBToPixel(int32_t red, int32_t green, int32_t blue);
void DetectPixelFormat();
void BlackenSurface(IDirectDrawSurface7* surface);
int32_t CreateFlipChain();
void EndScreen();
void ReleaseScreen();

// Platform entry points that tests replace; the defaults are the real ones. When
// ScreenDirectDrawCreateEx is set, ObtainDirectDraw calls it instead of DDRAW.DLL's export
// (the library is still loaded and freed as usual).
typedef HRESULT (WINAPI* DirectDrawCreateExRoutine)(GUID* device, void** object, REFIID id,
                                                    IUnknown* outer);
extern DirectDrawCreateExRoutine ScreenDirectDrawCreateEx;
extern BOOL (WINAPI* ScreenQueryPerformanceFrequency)(LARGE_INTEGER* frequency);
extern BOOL (WINAPI* ScreenQueryPerformanceCounter)(LARGE_INTEGER* counter);
