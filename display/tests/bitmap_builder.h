// Builds Windows bitmap files in memory for the display tests.
#pragma once
#include <cstdint>
#include <vector>

struct BitmapLayout {
  int32_t width = 1;
  int32_t height = 1;
  uint16_t bitsPerPixel = 8;
  uint32_t compression = 0;
  std::vector<uint32_t> palette;   // 0x00RRGGBB entries, stored as B, G, R, 0
  std::vector<uint8_t> pixels;     // the file's pixel area exactly as stored
};

inline void PutLittle(std::vector<uint8_t>& out, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline std::vector<uint8_t> BuildBitmapFile(const BitmapLayout& layout) {
  const size_t tableBytes = 4 * layout.palette.size();
  const size_t offset = 14 + 40 + tableBytes;
  std::vector<uint8_t> file(offset + layout.pixels.size(), 0);
  file[0] = 'B';
  file[1] = 'M';
  PutLittle(file, 2, static_cast<uint32_t>(file.size()), 4);
  PutLittle(file, 10, static_cast<uint32_t>(offset), 4);
  PutLittle(file, 14, 40, 4);
  PutLittle(file, 18, static_cast<uint32_t>(layout.width), 4);
  PutLittle(file, 22, static_cast<uint32_t>(layout.height), 4);
  PutLittle(file, 26, 1, 2);
  PutLittle(file, 28, layout.bitsPerPixel, 2);
  PutLittle(file, 30, layout.compression, 4);
  PutLittle(file, 34, static_cast<uint32_t>(layout.pixels.size()), 4);
  PutLittle(file, 46, static_cast<uint32_t>(layout.palette.size()), 4);
  for (size_t i = 0; i < layout.palette.size(); ++i) {
    const uint32_t c = layout.palette[i];
    file[54 + 4 * i] = static_cast<uint8_t>(c);
    file[54 + 4 * i + 1] = static_cast<uint8_t>(c >> 8);
    file[54 + 4 * i + 2] = static_cast<uint8_t>(c >> 16);
  }
  for (size_t i = 0; i < layout.pixels.size(); ++i) file[offset + i] = layout.pixels[i];
  return file;
}

// Bytes of one stored row, padded to 4.
inline size_t StoredRowBytes(int32_t width, int bitsPerPixel) {
  return (static_cast<size_t>(width) * bitsPerPixel + 31) / 32 * 4;
}
