// Builds small PNG files in memory (8-bit RGB or RGBA, not interlaced) for the display tests.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

inline void AppendBigEndian(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void AppendChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  AppendBigEndian(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  AppendBigEndian(out, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// rgba: width x height pixels, top row first, 3 (R, G, B) or 4 (R, G, B, A) bytes each.
inline std::vector<uint8_t> BuildPng(int width, int height, int channels, const std::vector<uint8_t>& rgba) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  AppendBigEndian(header, static_cast<uint32_t>(width));
  AppendBigEndian(header, static_cast<uint32_t>(height));
  header.push_back(8);
  header.push_back(channels == 4 ? 6 : 2);
  header.push_back(0);
  header.push_back(0);
  header.push_back(0);
  AppendChunk(png, "IHDR", header);
  std::vector<uint8_t> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgba.begin() + static_cast<size_t>(y) * width * channels,
               rgba.begin() + static_cast<size_t>(y + 1) * width * channels);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9);
  packed.resize(packedSize);
  AppendChunk(png, "IDAT", packed);
  AppendChunk(png, "IEND", {});
  return png;
}

// A test picture: smooth gradients plus a few pure colours and black (transparent) pixels.
inline std::vector<uint8_t> TestPicture(int width, int height, int channels, int seed) {
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * channels);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * channels];
      p[0] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1) + seed * 17);
      p[1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1) + seed * 5);
      p[2] = static_cast<uint8_t>((x * 7 + y * 13 + seed * 29) & 0xFF);
      if ((x + y + seed) % 7 == 0) p[0] = p[1] = p[2] = 0;
      if (channels == 4) p[3] = static_cast<uint8_t>((x * 31 + y * 11 + seed) & 0xFF);
    }
  return rgba;
}
