// A picture through the registered image decoders, for tests that compare what was drawn with it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/decoders.h"

namespace testdata {

// Decoded rows: blue, green, red (and alpha), top row first.
struct Decoded {
  int32_t width = 0, height = 0, channels = 0;
  std::vector<uint8_t> rows;
  const uint8_t* At(int32_t x, int32_t y) const { return &rows[(static_cast<size_t>(y) * width + x) * channels]; }
};

inline bool Decode(const uint8_t* data, size_t size, Decoded* out) {
  const int result = FindImageDecoder(static_cast<intptr_t>(size), data);
  if (!result) return false;
  out->width = static_cast<int32_t>(CurrentImageWidth());
  out->height = static_cast<int32_t>(CurrentImageHeight());
  out->channels = result == 2 ? 4 : 3;
  out->rows.assign(static_cast<size_t>(out->width) * out->height * out->channels, 0);
  return DecodeCurrentImage(out->rows.data(), out->width * out->channels, static_cast<intptr_t>(out->rows.size())) == 1;
}

}  // namespace testdata
