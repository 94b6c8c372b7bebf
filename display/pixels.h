// Pixel arithmetic of the display library that needs no platform: pixel format codes, colour
// to pixel values, the blend table, what the sprites take of Windows bitmap files and the
// conversion of picture rows into a sprite surface's pixels. Built natively too.
#pragma once
#include <cstddef>
#include <cstdint>

#include "image/formats.h"

// Layout of the screen's pixels (PixelFormatCode).
const int32_t PixelFormatPalette = 1;   // 8 bits (or any depth not listed): palette indices
const int32_t PixelFormat555 = 2;       // 16 bits, green mask not 0x7E0
const int32_t PixelFormat565 = 3;       // 16 bits, green mask 0x7E0
const int32_t PixelFormat24Rgb = 4;     // 24 bits, red in the low byte
const int32_t PixelFormat24Bgr = 5;     // 24 bits, blue in the low byte
const int32_t PixelFormat32Rgb = 6;     // 32 bits, red in the low byte
const int32_t PixelFormat32Bgr = 7;     // 32 bits, blue in the low byte

int32_t PixelFormatCodeFor(int32_t depth, uint32_t redMask, uint32_t greenMask);
// Colour components (0-255) as a pixel of the given depth and layout; 0 for unknown depths.
uint32_t RGBToPixelFor(int32_t depth, int32_t pixelFormatCode, int32_t red, int32_t green, int32_t blue);

// Entry v * 256 + k: (v * 256) / (65280 / (k + 1)), both divisions truncating; about v * (k + 1) / 255.
extern int32_t BlendTable[65536];
void BuildBlendTable();

// Row pitch of 24-bit rows: 3 bytes a pixel, rounded up to a multiple of 4.
inline int32_t Rgb24Pitch(int32_t width) { return 3 * width + (width & 3); }

// Bitmap files are read by the image library (image/formats.h); what the sprites take of them:
// a Windows information header (40 bytes or more: the core header's sizes are 16-bit), bottom-up
// rows, sides of 1 to BitmapMaxSide and the rows' offset inside the size bytes of the file.
const int32_t BitmapMaxSide = 16384;
bool SpriteBitmapUsable(const BitmapFileLayout& bitmap, size_t size);

// Expands a bitmap of 1, 4 or 8 bits per pixel (4 and 8 also run-length encoded) into 3-byte
// blue-green-red rows, pitch bytes apart, keeping the file's bottom-to-top order. The destination
// holds pitch * (height + 1) bytes, pitch >= 3 * width. Never reads past file + size nor writes
// past the destination; run-length data reaching outside the picture is dropped.
// Returns 1 when the layout was supported (rows written), 0 when nothing was written.
int32_t ExpandPaletteBitmap(const void* file, size_t size, void* destination, int32_t pitch);

// Picture rows to convert into a sprite surface.
struct PixelSource {
  const uint8_t* rows;        // the first row in memory
  int32_t pitch;              // bytes from one row to the next
  int32_t bitsPerPixel;       // 8 (palette indices), 16 (5-5-5), 24 (B, G, R) or 32 (B, G, R, A)
  int32_t width, height;
  bool bottomUp;              // the first row is the bottom one (bitmap files)
};
// Writes width x height pixels at destination (pitch bytes a row, top row first) as pixels of
// targetDepth bits in the given layout. keepAlpha: the fourth byte of a 32-bit pixel is the
// source's alpha (32-bit sources), otherwise 0. Combinations with no conversion write nothing.
void ConvertSpritePixels(const PixelSource& source, uint8_t* destination, int32_t destinationPitch,
                         int32_t targetDepth, int32_t pixelFormatCode, bool keepAlpha);
