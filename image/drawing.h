// 2D drawing with GDI onto one output at a time: a window, a sprite's surface, or any target that
// hands out a device context. The output record and what takes or gives GDI handles are in
// image/win/drawing.h.
#pragma once
#include <cstdint>

// Output kinds. Kinds 2, 5 and 7 give their device context back through the release routine;
// any kind not listed here is a memory device context that EndDrawing deletes.
const int32_t DrawingOutputWindow = 1;
const int32_t DrawingOutputProviderDC = 2;
const int32_t DrawingOutputDib = 5;        // images are drawn through device-independent copies
const int32_t DrawingOutputSurface = 7;    // a surface that can also hand out its pixels

typedef void (*DrawingReleaseRoutine)();
typedef void* (*DrawingDirectAccessRoutine)(int32_t* pitch);

// Drawing flags.
const int32_t DrawTransparentText = 1;
const int32_t DrawInverted = 2;
const int32_t DrawOutlinesOnly = 4;

void DrawingLibraryInit();
void EndDrawing();
void DrawLine(int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour);
void SetDrawingFlags(int32_t flags);

// Kind 7 only: gives the device context up for direct pixel access. Returns the pixels' address
// and their row pitch, or none. The next drawing operation fetches a fresh context.
void* DrawingPixels(int32_t* pitch);
