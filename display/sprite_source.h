// The pixels a sprite is loaded from: a Windows bitmap file's rows (palette bitmaps expanded to
// 24 bits where the screen is deeper) or a picture a registered decoder reads. Both backends
// fill their sprites from this.
#pragma once
#include <cstddef>
#include <cstdint>

#include "display/pixels.h"
#include "image/formats.h"

struct SpriteSource {
  PixelSource pixels;
  uint8_t* buffer;          // converted or decoded rows from MainHeap, or none; FreeSpriteSource
  BitmapFileLayout bitmap;  // a bitmap file's headers
  bool isBitmap;
};

// A bitmap file ("BM") or a decoded picture, whichever data holds; 1 when source's rows may be
// read. Memory sprites (SpriteMemoryOnly) come from bitmap files only. expandPalette: palette
// bitmaps become 24-bit rows (any screen but an 8-bit one).
int32_t PrepareSpriteSource(const void* data, size_t size, int32_t flags, bool expandPalette,
                            SpriteSource* source);
void FreeSpriteSource(SpriteSource* source);
