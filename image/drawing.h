// 2D drawing with GDI onto one output at a time: a window, a sprite's surface, or any target that
// hands out a device context. Windows only.
#pragma once
#include <cstdint>

#include <windows.h>

// Output kinds. Kinds 2, 5 and 7 give their device context back through the release routine;
// any kind not listed here is a memory device context that EndDrawing deletes.
const int32_t DrawingOutputWindow = 1;
const int32_t DrawingOutputProviderDC = 2;
const int32_t DrawingOutputDib = 5;        // images are drawn through device-independent copies
const int32_t DrawingOutputSurface = 7;    // a surface that can also hand out its pixels

typedef void (*DrawingReleaseRoutine)();
typedef HDC (*DrawingReacquireRoutine)();
typedef void* (*DrawingDirectAccessRoutine)(int32_t* pitch);

// Filled by the output's provider (SpriteDrawingOutput for sprites) and read at BeginDrawing.
struct DrawingOutput {
  int32_t kind;
  HWND window;                          // kind 1
  HDC deviceContext;                    // every kind but 1
  DrawingReleaseRoutine release;        // kinds 2, 5, 7
  intptr_t reserved1;
  intptr_t reserved2;
  int32_t width;                        // the rest: kind 7
  int32_t height;
  int32_t depth;
  int32_t pixelFormat;
  DrawingReacquireRoutine reacquire;    // a fresh device context after direct pixel access
  DrawingDirectAccessRoutine directAccess;  // gives the context up; pixels' address and pitch
};
// Twelve 32-bit fields in the 32-bit program.
static_assert(sizeof(void*) != 4 || sizeof(DrawingOutput) == 48, "DrawingOutput layout");

// Drawing flags.
const int32_t DrawTransparentText = 1;
const int32_t DrawInverted = 2;
const int32_t DrawOutlinesOnly = 4;

void DrawingLibraryInit();
HDC BeginDrawing(const DrawingOutput* output);   // output may be none
void EndDrawing();
void DrawLine(int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour);
int DrawImageScaled(HANDLE image, int32_t x, int32_t y, int32_t width, int32_t height);
int DrawImageAt(HANDLE image, int32_t x, int32_t y);
void SetDrawingFlags(int32_t flags);
HGLOBAL MakeDibCopy(HBITMAP bitmap, HPALETTE palette);

// Kind 7 only: gives the device context up for direct pixel access. Returns the pixels' address
// and their row pitch, or none. The next drawing operation fetches a fresh context.
void* DrawingPixels(int32_t* pitch);
// The device context of the open drawing, or none.
HDC CurrentDrawingContext();
