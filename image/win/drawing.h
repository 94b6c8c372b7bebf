// The drawing output record and the drawing routines that take or give GDI handles.
#pragma once
#include <windows.h>

#include <cstdint>

#include "image/drawing.h"

typedef HDC (*DrawingReacquireRoutine)();

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

HDC BeginDrawing(const DrawingOutput* output);   // output may be none
int DrawImageScaled(HANDLE image, int32_t x, int32_t y, int32_t width, int32_t height);
int DrawImageAt(HANDLE image, int32_t x, int32_t y);
HGLOBAL MakeDibCopy(HBITMAP bitmap, HPALETTE palette);
// The device context of the open drawing, or none.
HDC CurrentDrawingContext();
