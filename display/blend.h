// Software blending of sprite pixels over target pixels through the blend table: the intensity
// rules, clipping against the output, and the row arithmetic at 16 (5-6-5) and 32 bits per pixel.
// Needs no platform; each backend's blending.cpp supplies the pixels. Built natively too.
#pragma once
#include <cstdint>

// The intensity that asks for the half-and-half mix.
const int32_t HalfMixIntensity = -1;

struct BlendMode {
  int32_t intensity;   // 1 to 255: weight of the sprite pixel
  int32_t inverse;     // 256 - intensity: weight of the target pixel
  bool halfMix;        // each component is half the sprite's plus half the target's
};

// -1 selects the half mix; anything else is clamped to 1..255.
BlendMode BlendModeFor(int32_t intensity);

// The part of a sprite that lies on the output.
struct BlendArea {
  int32_t x, y;           // top-left corner on the output
  int32_t skipX, skipY;   // first sprite column and row that are drawn
  int32_t width, height;  // columns and rows drawn
};

// A width x height sprite at (x, y) on an outputWidth x outputHeight output: 1 with the clipped
// area, 0 when nothing of it lies on the output.
int32_t ClipBlendArea(int32_t x, int32_t y, int32_t width, int32_t height, int32_t outputWidth,
                      int32_t outputHeight, BlendArea* area);

// One pixel. 32 bits: blue in bits 0-7, green 8-15, red 16-23; the result's bits 24-31 are 0.
// 16 bits: always 5-6-5. The sprite pixel s is not 0 (0 is transparent and never blended).
uint32_t BlendPixel32(uint32_t s, uint32_t d, const BlendMode& mode);
uint16_t BlendPixel16(uint16_t s, uint16_t d, const BlendMode& mode);

// A rectangle of pixels: sprite, target and output each start at their first pixel of the area
// and advance by their own pitch (bytes) per row. The output may be the target itself.
struct BlendRows {
  const uint8_t* sprite;
  int32_t spritePitch;
  uint8_t* target;
  int32_t targetPitch;
  uint8_t* output;
  int32_t outputPitch;
  int32_t width, height;
};

// Writes the blend of every non-zero sprite pixel with the target pixel under it to the output;
// output pixels under zero sprite pixels are left alone.
void BlendRows32(const BlendRows& rows, const BlendMode& mode);
void BlendRows16(const BlendRows& rows, const BlendMode& mode);

// Copies the output pixel to the target wherever the sprite pixel is not 0 (the blend was made in
// a separate output). bytesPerPixel is 2 or 4.
void CopyBlendedPixels(const BlendRows& rows, int32_t bytesPerPixel);
