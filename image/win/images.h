// The image records and their GDI handles.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "image/images.h"

struct ImageRecord {
  HANDLE handle;    // HBITMAP or HICON; non-zero while the image lives
  int16_t width;
  int16_t height;
  uint8_t depth;    // bits per pixel (an icon: of its colour bitmap)
  uint8_t flags;
};

HANDLE ImageHandleOf(ObjectNumber number);
HANDLE ScaleImage(ObjectNumber number, int32_t width, int32_t height);
HANDLE ScaleImageWithMode(ObjectNumber number, int32_t width, int32_t height, int32_t mode);

// Building blocks, also used by the tests.
HBITMAP CreateImageBitmap(int32_t width, int32_t height, uint32_t flags, int32_t depth);
HBITMAP DecodeToBitmap(int32_t probeResult, uint32_t flags);   // after a successful FindImageDecoder
HICON IconFromIcoData(const void* data, size_t size = ImageSizeLimit);
