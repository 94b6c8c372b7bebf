// 2D drawing on one output at a time. The state is global: the program draws from one thread and
// opens one output at a time.
#include "image/win/drawing.h"

#include <cstring>

#include "image/formats.h"

namespace {

struct DrawingState {
  HDC deviceContext;  // none while no drawing is open
  int32_t kind;
  HWND window;
  DrawingReleaseRoutine release;
  DrawingOutput surface;  // the output's kind-7 values
  int32_t contextState;   // 1: the context is valid; -1: given up for direct pixel access
  void* pixels;           // what the direct access handed out while the context is given up
  int32_t pitch;
  COLORREF frontColour;
  COLORREF backgroundColour;
  int32_t flags;
  HBRUSH fillBrush;
  HGDIOBJ objectSlot1;
  HGDIOBJ objectSlot2;
  HBRUSH defaultBrush;
  HPEN defaultPen;
  HGDIOBJ savedBrush;
  HGDIOBJ savedPen;
};

DrawingState drawing;

void ApplyDrawingFlags() {
  HDC dc = drawing.deviceContext;
  SetROP2(dc, (drawing.flags & DrawInverted) ? R2_NOT : R2_COPYPEN);
  SelectObject(dc, (drawing.flags & DrawOutlinesOnly) ? GetStockObject(NULL_BRUSH) : drawing.fillBrush);
  SetBkMode(dc, (drawing.flags & DrawTransparentText) ? TRANSPARENT : OPAQUE);
}

// Closes the drawing without touching the device context, which is no longer ours to use.
void AbandonDrawing() {
  if (drawing.fillBrush) DeleteObject(drawing.fillBrush);
  if (drawing.objectSlot1) DeleteObject(drawing.objectSlot1);
  drawing.fillBrush = nullptr;
  drawing.objectSlot1 = nullptr;
  drawing.deviceContext = nullptr;
  if (drawing.release) drawing.release();
}

// True when a drawing is open with a usable context; fetches the context again after it was
// given up for direct pixel access.
bool EnsureDrawingContext() {
  if (!drawing.deviceContext) return false;
  if (drawing.kind != DrawingOutputSurface || drawing.contextState != -1) return true;
  drawing.contextState = 1;
  drawing.pixels = nullptr;
  HDC dc = drawing.surface.reacquire ? drawing.surface.reacquire() : nullptr;
  if (!dc) {
    AbandonDrawing();
    return false;
  }
  drawing.deviceContext = dc;
  SetTextColor(dc, drawing.frontColour);
  SetTextAlign(dc, TA_UPDATECP);
  SetBkColor(dc, drawing.backgroundColour);
  if (drawing.flags)
    ApplyDrawingFlags();
  else
    SelectObject(dc, drawing.fillBrush);
  if (drawing.objectSlot1) SelectObject(dc, drawing.objectSlot1);
  if (drawing.objectSlot2) SelectObject(dc, drawing.objectSlot2);
  return true;
}

}  // namespace

void DrawingLibraryInit() {
  if (drawing.deviceContext) EndDrawing();
  if (drawing.defaultBrush) DeleteObject(drawing.defaultBrush);
  if (drawing.defaultPen) DeleteObject(drawing.defaultPen);
  memset(&drawing, 0, sizeof drawing);
  drawing.defaultBrush = CreateSolidBrush(0);
  drawing.defaultPen = CreatePen(PS_SOLID, 0, 0);
}

HDC BeginDrawing(const DrawingOutput* output) {
  EndDrawing();
  if (!output) return nullptr;
  drawing.kind = output->kind;
  drawing.window = output->window;
  drawing.release = output->release;
  drawing.flags = 0;
  drawing.deviceContext = output->kind == DrawingOutputWindow ? GetDC(output->window) : output->deviceContext;
  if (output->kind == DrawingOutputSurface) drawing.surface = *output;
  drawing.contextState = 1;
  drawing.pixels = nullptr;
  HDC dc = drawing.deviceContext;
  if (!dc) return nullptr;

  SetTextAlign(dc, TA_UPDATECP);
  drawing.savedBrush = SelectObject(dc, drawing.defaultBrush);
  drawing.savedPen = SelectObject(dc, drawing.defaultPen);
  drawing.objectSlot2 = nullptr;
  drawing.frontColour = 0;
  drawing.backgroundColour = 0xFFFFFF;
  drawing.fillBrush = CreateSolidBrush(0);
  SetTextColor(dc, 0);
  return dc;
}

void EndDrawing() {
  HDC dc = drawing.deviceContext;
  if (!dc) return;
  // A context given up for direct access is gone: only the provider can end that state.
  if (drawing.contextState != -1) {
    if (drawing.savedBrush) SelectObject(dc, drawing.savedBrush);
    if (drawing.savedPen) SelectObject(dc, drawing.savedPen);
  }
  if (drawing.fillBrush) DeleteObject(drawing.fillBrush);
  if (drawing.objectSlot1) DeleteObject(drawing.objectSlot1);
  drawing.fillBrush = nullptr;
  drawing.objectSlot1 = nullptr;
  drawing.savedBrush = nullptr;
  drawing.savedPen = nullptr;
  switch (drawing.kind) {
    case DrawingOutputWindow:
      ReleaseDC(drawing.window, dc);
      break;
    case DrawingOutputProviderDC:
    case DrawingOutputDib:
    case DrawingOutputSurface:
      if (drawing.release) drawing.release();
      break;
    default:
      DeleteDC(dc);
      break;
  }
  drawing.deviceContext = nullptr;
  drawing.contextState = 1;
  drawing.pixels = nullptr;
}

void DrawLine(int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour) {
  if (!EnsureDrawingContext()) return;
  HDC dc = drawing.deviceContext;
  HPEN pen = nullptr;
  HGDIOBJ previousPen = nullptr;
  if (static_cast<COLORREF>(colour) != drawing.frontColour) {
    pen = CreatePen(PS_SOLID, 0, static_cast<COLORREF>(colour));
    if (pen) previousPen = SelectObject(dc, pen);
  }
  POINT saved = {};
  MoveToEx(dc, x, y, &saved);
  // Wrapping sums: GDI refuses far-off coordinates by itself.
  LineTo(dc, static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(width)),
         static_cast<int32_t>(static_cast<uint32_t>(y) + static_cast<uint32_t>(height)));
  MoveToEx(dc, saved.x, saved.y, nullptr);
  if (pen) {
    SelectObject(dc, previousPen);
    DeleteObject(pen);
  }
}

int DrawImageScaled(HANDLE image, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!EnsureDrawingContext()) return 0;
  HDC dc = drawing.deviceContext;
  if (GetObjectType(image) != OBJ_BITMAP)
    return DrawIconEx(dc, x, y, static_cast<HICON>(image), width, height, 0, nullptr, DI_NORMAL);

  HBITMAP bitmap = static_cast<HBITMAP>(image);
  HDC memory = CreateCompatibleDC(dc);
  if (!memory) return 0;
  BITMAP info = {};
  GetObjectA(bitmap, sizeof info, &info);
  const DWORD rop = (drawing.flags & DrawInverted) ? NOTSRCERASE : SRCCOPY;
  int32_t targetWidth = info.bmWidth;
  int32_t targetHeight = info.bmHeight;
  if (width && height) {
    targetWidth = width;
    targetHeight = height;
  }

  if (drawing.kind == DrawingOutputDib) {
    HGLOBAL copy = MakeDibCopy(bitmap, nullptr);
    if (copy) {
      BITMAPINFO* header = static_cast<BITMAPINFO*>(GlobalLock(copy));
      SetStretchBltMode(dc, COLORONCOLOR);
      StretchDIBits(dc, x, y, targetWidth, targetHeight, 0, 0, info.bmWidth, info.bmHeight,
                    reinterpret_cast<unsigned char*>(header) + sizeof(BITMAPINFOHEADER), header,
                    DIB_RGB_COLORS, rop);
      GlobalUnlock(copy);
      GlobalFree(copy);
    }
  } else {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (targetWidth == info.bmWidth && targetHeight == info.bmHeight) {
      BitBlt(dc, x, y, targetWidth, targetHeight, memory, 0, 0, rop);
    } else {
      SetStretchBltMode(dc, HALFTONE);
      StretchBlt(dc, x, y, targetWidth, targetHeight, memory, 0, 0, info.bmWidth, info.bmHeight, rop);
    }
    if (previous) SelectObject(memory, previous);
  }
  return DeleteDC(memory);
}

int DrawImageAt(HANDLE image, int32_t x, int32_t y) { return DrawImageScaled(image, x, y, 0, 0); }

void SetDrawingFlags(int32_t flags) {
  if (!EnsureDrawingContext()) return;
  drawing.flags = flags;
  ApplyDrawingFlags();
}

HGLOBAL MakeDibCopy(HBITMAP bitmap, HPALETTE palette) {
  BITMAP info = {};
  if (GetObjectA(bitmap, sizeof info, &info) != static_cast<int>(sizeof info)) return nullptr;
  if (info.bmWidth <= 0 || info.bmHeight <= 0) return nullptr;
  const uint64_t rowBytes = BitmapRowBytes(static_cast<uint64_t>(info.bmWidth), 24);
  const uint64_t total = rowBytes * static_cast<uint64_t>(info.bmHeight) + sizeof(BITMAPINFOHEADER);
  if (total > 0x7FFFFFFF) return nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, static_cast<SIZE_T>(total));
  if (!block) return nullptr;
  BITMAPINFOHEADER* header = static_cast<BITMAPINFOHEADER*>(block);
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = info.bmWidth;
  header->biHeight = info.bmHeight;
  header->biPlanes = 1;
  header->biBitCount = 24;
  header->biCompression = BI_RGB;

  int lines = 0;
  HDC screen = GetDC(nullptr);
  if (screen) {
    HPALETTE previous = nullptr;
    if (palette) {
      previous = SelectPalette(screen, palette, TRUE);
      RealizePalette(screen);
    }
    lines = GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), header + 1,
                      reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS);
    if (previous) SelectPalette(screen, previous, TRUE);
    ReleaseDC(nullptr, screen);
  }
  if (!lines) {
    GlobalFree(block);
    return nullptr;
  }
  return block;
}

void* DrawingPixels(int32_t* pitch) {
  if (!drawing.deviceContext || drawing.kind != DrawingOutputSurface || !drawing.surface.directAccess)
    return nullptr;
  if (drawing.contextState != -1) {
    drawing.pitch = 0;
    drawing.pixels = drawing.surface.directAccess(&drawing.pitch);
    // The provider gave the context up whether or not it could hand out the pixels.
    drawing.contextState = -1;
  }
  if (pitch) *pitch = drawing.pixels ? drawing.pitch : 0;
  return drawing.pixels;
}

HDC CurrentDrawingContext() { return drawing.deviceContext; }
