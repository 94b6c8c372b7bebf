// Blend arithmetic: two table reads and an addition per component, no multiplication.
#include "display/blend.h"

#include <cstring>

#include "display/pixels.h"

BlendMode BlendModeFor(int32_t intensity) {
  BlendMode mode;
  mode.halfMix = intensity == HalfMixIntensity;
  if (mode.halfMix || intensity < 1) intensity = 1;
  if (intensity > 255) intensity = 255;
  mode.intensity = intensity;
  mode.inverse = 256 - intensity;
  return mode;
}

int32_t ClipBlendArea(int32_t x, int32_t y, int32_t width, int32_t height, int32_t outputWidth,
                      int32_t outputHeight, BlendArea* area) {
  if (x >= outputWidth || y >= outputHeight || x <= -width || y <= -height) return 0;
  // From here x > -width and y > -height, so neither x + width nor -x can overflow.
  if (x + width > outputWidth) width = outputWidth - x;
  if (y + height > outputHeight) height = outputHeight - y;
  int32_t skipX = 0, skipY = 0;
  if (x < 0) {
    skipX = -x;
    x = 0;
  }
  if (y < 0) {
    skipY = -y;
    y = 0;
  }
  width -= skipX;
  height -= skipY;
  if (width <= 0 || height <= 0) return 0;
  area->x = x;
  area->y = y;
  area->skipX = skipX;
  area->skipY = skipY;
  area->width = width;
  area->height = height;
  return 1;
}

namespace {

// Sprite value v (0-255) at weight k plus target value w at the inverse weight.
inline int32_t Mix(uint32_t v, uint32_t w, const BlendMode& mode) {
  return BlendTable[v * 256 + static_cast<uint32_t>(mode.intensity)] +
         BlendTable[w * 256 + static_cast<uint32_t>(mode.inverse)];
}

inline uint32_t Component32(uint32_t s, uint32_t d, int shift, const BlendMode& mode) {
  const int32_t v = Mix((s >> shift) & 0xFF, (d >> shift) & 0xFF, mode);
  return static_cast<uint32_t>(v > 255 ? 255 : v) << shift;
}

template <class Pixel> inline Pixel Load(const uint8_t* p) {
  Pixel v;
  memcpy(&v, p, sizeof v);
  return v;
}

template <class Pixel> inline void Store(uint8_t* p, Pixel v) { memcpy(p, &v, sizeof v); }

template <class Pixel, Pixel (*Blend)(Pixel, Pixel, const BlendMode&)>
void BlendRowsOf(const BlendRows& rows, const BlendMode& mode) {
  const uint8_t* sprite = rows.sprite;
  const uint8_t* target = rows.target;
  uint8_t* output = rows.output;
  for (int32_t row = 0; row < rows.height; ++row) {
    for (int32_t column = 0; column < rows.width; ++column) {
      const size_t offset = static_cast<size_t>(column) * sizeof(Pixel);
      const Pixel s = Load<Pixel>(sprite + offset);
      if (s == 0) continue;
      Store<Pixel>(output + offset, Blend(s, Load<Pixel>(target + offset), mode));
    }
    sprite += rows.spritePitch;
    target += rows.targetPitch;
    output += rows.outputPitch;
  }
}

}  // namespace

uint32_t BlendPixel32(uint32_t s, uint32_t d, const BlendMode& mode) {
  if (mode.halfMix) return ((s >> 1) & 0x7F7F7F) + ((d >> 1) & 0x7F7F7F);
  return Component32(s, d, 0, mode) | Component32(s, d, 8, mode) | Component32(s, d, 16, mode);
}

uint16_t BlendPixel16(uint16_t s, uint16_t d, const BlendMode& mode) {
  const uint32_t sb = s & 0x1F, sg = (s >> 5) & 0x3F, sr = s >> 11;
  const uint32_t db = d & 0x1F, dg = (d >> 5) & 0x3F, dr = d >> 11;
  uint32_t b, g, r;
  if (mode.halfMix) {
    b = (sb >> 1) + (db >> 1);
    g = (sg >> 1) + (dg >> 1);
    r = (sr >> 1) + (dr >> 1);
  } else {
    // Fields are scaled up to about 0-255 for the table and back down after.
    int32_t v = Mix(sb * 4, db * 4, mode);
    b = v > 255 ? 31 : static_cast<uint32_t>(v) >> 2;
    v = Mix(sg * 2, dg * 2, mode);
    g = v > 255 ? 63 : static_cast<uint32_t>(v) >> 1;
    v = Mix(sr * 4, dr * 4, mode);
    r = v > 255 ? 31 : static_cast<uint32_t>(v) >> 2;
  }
  return static_cast<uint16_t>(r << 11 | g << 5 | b);
}

void BlendRows32(const BlendRows& rows, const BlendMode& mode) {
  BlendRowsOf<uint32_t, BlendPixel32>(rows, mode);
}

void BlendRows16(const BlendRows& rows, const BlendMode& mode) {
  BlendRowsOf<uint16_t, BlendPixel16>(rows, mode);
}

void CopyBlendedPixels(const BlendRows& rows, int32_t bytesPerPixel) {
  const size_t bytes = static_cast<size_t>(bytesPerPixel);
  const uint8_t* sprite = rows.sprite;
  const uint8_t* blended = rows.output;
  uint8_t* target = rows.target;
  static const uint8_t zero[4] = {};
  for (int32_t row = 0; row < rows.height; ++row) {
    for (int32_t column = 0; column < rows.width; ++column) {
      const size_t offset = static_cast<size_t>(column) * bytes;
      if (memcmp(sprite + offset, zero, bytes) != 0) memcpy(target + offset, blended + offset, bytes);
    }
    sprite += rows.spritePitch;
    target += rows.targetPitch;
    blended += rows.outputPitch;
  }
}
