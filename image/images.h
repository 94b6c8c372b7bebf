// Images: GDI bitmaps and icons under object numbers, made from BMP, ICO or decoder-recognised
// data in memory. The records and the GDI handles they hand out are in image/win/images.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/memory.h"

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
