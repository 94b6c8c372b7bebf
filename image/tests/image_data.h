// Builders of BMP and ICO files for the tests of every library that reads them (image, display).
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

namespace testdata {

inline void Put16(std::vector<uint8_t>& v, size_t at, uint32_t value) {
  v.at(at) = value & 0xFF;
  v.at(at + 1) = (value >> 8) & 0xFF;
}
inline void Put32(std::vector<uint8_t>& v, size_t at, uint32_t value) {
  for (int i = 0; i < 4; i++) v.at(at + i) = (value >> (8 * i)) & 0xFF;
}

// Bytes of one stored row, padded to 4; worked out here rather than taken from the code under test.
inline uint32_t RowBytes(int32_t width, int bits) { return ((uint32_t)width * bits + 31) / 32 * 4; }

// A bitmap as stored: its header's fields, the colour table (0x00RRGGBB entries, stored as B, G,
// R, 0) and the pixel area byte for byte.
struct BitmapLayout {
  int32_t width = 1;
  int32_t height = 1;
  uint16_t bitsPerPixel = 8;
  uint32_t compression = 0;
  std::vector<uint32_t> palette;
  std::vector<uint8_t> pixels;
};

// A 40-byte information header with the given height (an icon's counts its mask rows too), the
// colour table and the pixel area. Only run-length data states its size; rows leave it 0.
inline std::vector<uint8_t> InfoHeaderAndPixels(const BitmapLayout& layout, int32_t headerHeight) {
  const size_t table = 40 + 4 * layout.palette.size();
  std::vector<uint8_t> v(table + layout.pixels.size());
  Put32(v, 0, 40);
  Put32(v, 4, (uint32_t)layout.width);
  Put32(v, 8, (uint32_t)headerHeight);
  Put16(v, 12, 1);
  Put16(v, 14, layout.bitsPerPixel);
  Put32(v, 16, layout.compression);
  Put32(v, 20, layout.compression ? (uint32_t)layout.pixels.size() : 0);
  Put32(v, 32, (uint32_t)layout.palette.size());
  for (size_t i = 0; i < layout.palette.size(); i++) Put32(v, 40 + 4 * i, layout.palette[i]);
  std::copy(layout.pixels.begin(), layout.pixels.end(), v.begin() + table);
  return v;
}

// A "BM" file: the file header in front of the information header, table and pixels.
inline std::vector<uint8_t> BuildBitmapFile(const BitmapLayout& layout) {
  const std::vector<uint8_t> dib = InfoHeaderAndPixels(layout, layout.height);
  std::vector<uint8_t> v(14 + dib.size());
  v[0] = 'B';
  v[1] = 'M';
  Put32(v, 2, (uint32_t)v.size());
  Put32(v, 10, (uint32_t)(14 + 40 + 4 * layout.palette.size()));
  std::copy(dib.begin(), dib.end(), v.begin() + 14);
  return v;
}

// Bottom-up rows; pixel(x, y) gives the stored value of the pixel at column x of visual row y
// (0 = top): a palette index, a 16-bit 5-5-5 value or 0xRRGGBB (with alpha in the top byte at 32
// bits).
template <class Pixel>
BitmapLayout PaintedBitmap(int32_t width, int32_t height, int bits, const std::vector<uint32_t>& palette,
                           Pixel pixel) {
  BitmapLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bitsPerPixel = (uint16_t)bits;
  layout.palette = palette;
  const uint32_t row = RowBytes(width, bits);
  layout.pixels.assign((size_t)row * height, 0);
  for (int32_t y = 0; y < height; y++) {
    uint8_t* r = layout.pixels.data() + (size_t)(height - 1 - y) * row;
    for (int32_t x = 0; x < width; x++) {
      const uint32_t p = pixel(x, y);
      switch (bits) {
        case 1: r[x / 8] |= (p & 1) << (7 - x % 8); break;
        case 4: r[x / 2] |= (p & 15) << (x % 2 ? 0 : 4); break;
        case 8: r[x] = (uint8_t)p; break;
        case 16: r[2 * x] = p & 0xFF; r[2 * x + 1] = (p >> 8) & 0xFF; break;
        case 24: r[3 * x] = p & 0xFF; r[3 * x + 1] = (p >> 8) & 0xFF; r[3 * x + 2] = (p >> 16) & 0xFF; break;
        case 32: for (int i = 0; i < 4; i++) r[4 * x + i] = (p >> (8 * i)) & 0xFF; break;
      }
    }
  }
  return layout;
}

template <class Pixel>
std::vector<uint8_t> DibImage(int32_t width, int32_t height, int bits, const std::vector<uint32_t>& palette,
                              Pixel pixel, int32_t headerHeight) {
  return InfoHeaderAndPixels(PaintedBitmap(width, height, bits, palette, pixel), headerHeight);
}

template <class Pixel>
std::vector<uint8_t> BmpFile(int32_t width, int32_t height, int bits, const std::vector<uint32_t>& palette,
                             Pixel pixel) {
  return BuildBitmapFile(PaintedBitmap(width, height, bits, palette, pixel));
}

// An ICO file holding the given DIB images (colour rows followed by an all-zero mask: opaque).
inline std::vector<uint8_t> IcoFile(const std::vector<std::vector<uint8_t>>& images,
                                    const std::vector<int>& sides) {
  std::vector<uint8_t> v(6 + 16 * images.size());
  Put16(v, 2, 1);
  Put16(v, 4, (uint32_t)images.size());
  size_t offset = v.size();
  for (size_t i = 0; i < images.size(); i++) {
    const size_t e = 6 + 16 * i;
    v[e] = (uint8_t)sides[i];
    v[e + 1] = (uint8_t)sides[i];
    Put16(v, e + 4, 1);
    Put16(v, e + 6, 32);
    Put32(v, e + 8, (uint32_t)images[i].size());
    Put32(v, e + 12, (uint32_t)offset);
    offset += images[i].size();
  }
  for (const auto& image : images) v.insert(v.end(), image.begin(), image.end());
  return v;
}

// A 32-bit icon image of side s filled with one colour (0xRRGGBB), mask rows included.
inline std::vector<uint8_t> IconImage(int side, uint32_t colour) {
  std::vector<uint8_t> dib =
      DibImage(side, side, 32, {}, [colour](int, int) { return colour | 0xFF000000u; }, side * 2);
  dib.resize(dib.size() + RowBytes(side, 1) * side, 0);
  return dib;
}

}  // namespace testdata
