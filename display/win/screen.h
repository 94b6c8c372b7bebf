// The screen's state and what hands out DirectDraw objects or takes Win32 types.
#pragma once
#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "display/screen.h"
#include "input/mouse.h"
#include "window/win/multimedia.h"

struct IDirect3DDevice7;

// The one screen of the program (and the display library's shared state). All zero at start.
struct ScreenState {
  IDirectDraw7* directDraw;
  HMODULE directDrawLibrary;
  int32_t directDrawUsers;
  HWND baseWindow;                        // the multimedia window to go back to at the close
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

// DirectDraw object, shared with the 3D sprites; counted by users (ReleaseDirectDraw).
IDirectDraw7* ObtainDirectDraw();

// Gives back one user of the DirectDraw object (ObtainDirectDraw).
void ReleaseDirectDraw();
void FullScreenFlip(int32_t mode);
void DetectPixelFormat();
int32_t CreateFlipChain();

IDirectDrawSurface7* FlipScreenMode(int32_t mode);
IDirectDrawSurface7* SelectDrawTarget(intptr_t spriteNumber);   // -1: the back buffer
void BlackenSurface(IDirectDrawSurface7* surface);

// Registered by InitSpriteEngine: the multimedia window's focus messages (a full screen that
// loses the focus backs its sprites up and gives the mouse back), and the screen as the mouse
// sees it.
void ScreenFocusMessage(UINT message, WPARAM wParam);
void DescribeScreenForMouse(MouseScreen* screen);
