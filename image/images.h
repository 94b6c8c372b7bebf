// Images: GDI bitmaps and icons under object numbers, made from BMP, ICO or decoder-recognised
// data in memory. Windows only.
#pragma once
#include <cstddef>
#include <cstdint>

#include <windows.h>

#include "runtime/memory.h"

struct ImageRecord {
  HANDLE handle;    // HBITMAP or HICON; non-zero while the image lives
  int16_t width;
  int16_t height;
  uint8_t depth;    // bits per pixel (an icon: of its colour bitmap)
  uint8_t flags;
};

// Creation flag: keep the picture as a device-dependent bitmap instead of a DIB section.
const uint8_t ImageCompatibleBitmap = 0x80;
// What callers that do not know the size of their data may pass.
const size_t ImageSizeLimit = 10000000;

void ImageLibraryInit();
ObjectTable* ImageTable();

// The image's handle, or the record's address under AutoNumber; 0 on failure. size bounds every
// read of the data.
intptr_t ImageFromMemory(ObjectNumber number, const void* data, size_t size = ImageSizeLimit);
void ReleaseImage(ObjectNumber number);
void ReleaseAllImages();
HANDLE ImageHandleOf(ObjectNumber number);
HANDLE ScaleImage(ObjectNumber number, int32_t width, int32_t height);
HANDLE ScaleImageWithMode(ObjectNumber number, int32_t width, int32_t height, int32_t mode);

// Building blocks, also used by the tests.
HBITMAP CreateImageBitmap(int32_t width, int32_t height, uint32_t flags, int32_t depth);
HBITMAP DecodeToBitmap(int32_t probeResult, uint32_t flags);   // after a successful FindImageDecoder
HICON IconFromIcoData(const void* data, size_t size = ImageSizeLimit);
