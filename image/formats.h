// Bitmap files read in one place: the headers of BMP data for every library that takes it (the
// images here, the sprites of the display library), and checks of BMP and ICO data in memory
// before any of it reaches GDI: every table and pixel area the platform would read must lie
// inside the data. Portable.
#pragma once
#include <cstddef>
#include <cstdint>

struct BitmapFileLayout {
  int32_t width;
  int32_t height;          // negative for top-down rows
  uint16_t planes;
  uint16_t bitCount;
  uint32_t compression;    // 0 in a core header
  uint32_t headerSize;     // 12 (core header) or 40 and up
  uint32_t pixelOffset;    // from the start of the data
  uint32_t imageSize;      // the header's image size; 0 in a core header
  uint32_t coloursUsed;    // 0 in a core header
  uint64_t pixelBytes;     // bytes of pixel data the rows need (ParseBitmapFile; 0 otherwise)
};

// The headers of a "BM" file as stored: the file header and an information header of 12 (core) or
// 40 bytes or more, all within size bytes. Nothing else is judged: callers check what they use.
bool ReadBitmapHeaders(const void* data, size_t size, BitmapFileLayout* layout);

// A "BM" file whose header, colour table, masks and pixel rows all lie within size bytes.
bool ParseBitmapFile(const void* data, size_t size, BitmapFileLayout* layout);

// Bytes of one stored row of a bitmap: width pixels of bitCount bits, rounded up to a multiple of
// 4 bytes. Exact for every width below 2^32 and every 16-bit count.
uint64_t BitmapRowBytes(uint64_t width, uint32_t bitCount);

struct IconImageLayout {
  uint32_t offset;         // of the first image, from the start of the data
  uint32_t size;
  int32_t width;           // from its BITMAPINFOHEADER; 0 for an image that has none (PNG)
  int32_t height;          // colour rows only (half the header's height)
  uint16_t bitCount;
};

// The first image of an ICO file (reserved 0, type 1, at least one entry), when it lies within
// size bytes and, for a DIB image, its header, colours, colour rows and mask rows fit its size.
bool FindFirstIconImage(const void* data, size_t size, IconImageLayout* layout);
