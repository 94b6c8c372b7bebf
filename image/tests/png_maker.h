// Test pictures made with libpng's writer, and what the decoder must turn them into.
#pragma once
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <vector>

struct TestPicture {
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 8;
  int colourType = PNG_COLOR_TYPE_RGB;
  bool interlaced = false;
  std::vector<uint16_t> samples;           // channels per pixel, row by row, raw sample values
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha;      // tRNS for a palette picture
  bool greyOrRgbKey = false;               // tRNS for grey or RGB: keyColour
  png_color_16 keyColour = {};
  size_t idatSize = 0;                     // split the image data into chunks of this size
};

inline int ChannelsOf(int colourType) {
  switch (colourType) {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;  // palette index
  }
}

// Raw bytes of one row as the PNG format packs it: samples below 8 bits most significant first,
// 16-bit samples big-endian.
inline std::vector<png_byte> PackRow(const TestPicture& p, uint32_t y) {
  const int channels = ChannelsOf(p.colourType);
  const size_t count = static_cast<size_t>(p.width) * channels;
  std::vector<png_byte> row((count * p.bitDepth + 7) / 8, 0);
  for (size_t i = 0; i < count; i++) {
    uint16_t v = p.samples[y * count + i];
    if (p.bitDepth == 16) {
      row[2 * i] = static_cast<png_byte>(v >> 8);
      row[2 * i + 1] = static_cast<png_byte>(v);
    } else if (p.bitDepth == 8) {
      row[i] = static_cast<png_byte>(v);
    } else {
      size_t bit = i * p.bitDepth;
      int shift = 8 - p.bitDepth - static_cast<int>(bit % 8);
      row[bit / 8] |= static_cast<png_byte>(v << shift);
    }
  }
  return row;
}

namespace png_maker_detail {
inline void Append(png_structp write, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(write));
  out->insert(out->end(), data, data + length);
}
inline void Flush(png_structp) {}

// No object with a destructor lives in this frame: libpng may jump back to it.
inline bool Write(const TestPicture* p, png_bytep* rows, std::vector<unsigned char>* out) {
  png_structp write = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!write) return false;
  png_infop info = png_create_info_struct(write);
  if (!info || setjmp(png_jmpbuf(write))) {
    png_destroy_write_struct(&write, &info);
    return false;
  }
  png_set_write_fn(write, out, Append, Flush);
  if (p->idatSize) png_set_compression_buffer_size(write, p->idatSize);
  png_set_IHDR(write, info, p->width, p->height, p->bitDepth, p->colourType,
               p->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!p->palette.empty())
    png_set_PLTE(write, info, const_cast<png_colorp>(p->palette.data()),
                 static_cast<int>(p->palette.size()));
  if (!p->paletteAlpha.empty())
    png_set_tRNS(write, info, const_cast<png_bytep>(p->paletteAlpha.data()),
                 static_cast<int>(p->paletteAlpha.size()), nullptr);
  if (p->greyOrRgbKey)
    png_set_tRNS(write, info, nullptr, 0, const_cast<png_color_16p>(&p->keyColour));
  png_write_info(write, info);
  png_write_image(write, rows);
  png_write_end(write, info);
  png_destroy_write_struct(&write, &info);
  return true;
}
}  // namespace png_maker_detail

inline std::vector<unsigned char> EncodePng(const TestPicture& p) {
  std::vector<std::vector<png_byte>> packed;
  std::vector<png_bytep> rows;
  for (uint32_t y = 0; y < p.height; y++) packed.push_back(PackRow(p, y));
  for (auto& r : packed) rows.push_back(r.data());
  std::vector<unsigned char> out;
  if (!png_maker_detail::Write(&p, rows.data(), &out)) out.clear();
  return out;
}

// A sample of bitDepth bits widened to 8 the way the decoder must: small depths scaled to the
// full range, 16 bits cut to the high byte.
inline uint8_t To8(uint16_t v, int bitDepth) {
  switch (bitDepth) {
    case 1: return v ? 255 : 0;
    case 2: return static_cast<uint8_t>(v * 0x55);
    case 4: return static_cast<uint8_t>(v * 0x11);
    case 16: return static_cast<uint8_t>(v >> 8);
    default: return static_cast<uint8_t>(v);
  }
}

inline int ExpectedProbe(const TestPicture& p) {
  return (p.colourType & PNG_COLOR_MASK_ALPHA) ? 2 : 1;
}

// The rows the decoder must produce, packed at width x bytes per pixel.
inline std::vector<uint8_t> ExpectedPixels(const TestPicture& p) {
  const int channels = ChannelsOf(p.colourType);
  std::vector<uint8_t> out;
  for (size_t i = 0; i < static_cast<size_t>(p.width) * p.height; i++) {
    const uint16_t* s = &p.samples[i * channels];
    uint8_t r, g, b, a = 0;
    switch (p.colourType) {
      case PNG_COLOR_TYPE_PALETTE:
        r = p.palette[s[0]].red; g = p.palette[s[0]].green; b = p.palette[s[0]].blue;
        break;
      case PNG_COLOR_TYPE_GRAY:
      case PNG_COLOR_TYPE_GRAY_ALPHA:
        r = g = b = To8(s[0], p.bitDepth);
        if (channels == 2) a = To8(s[1], p.bitDepth);
        break;
      default:
        r = To8(s[0], p.bitDepth); g = To8(s[1], p.bitDepth); b = To8(s[2], p.bitDepth);
        if (channels == 4) a = To8(s[3], p.bitDepth);
        break;
    }
    out.push_back(b);
    out.push_back(g);
    out.push_back(r);
    if (ExpectedProbe(p) == 2) out.push_back(a);
  }
  return out;
}

// Deterministic, varied samples covering the whole range of the depth (and the palette).
inline TestPicture MakePicture(uint32_t width, uint32_t height, int colourType, int bitDepth,
                               bool interlaced = false, uint32_t seed = 1) {
  TestPicture p;
  p.width = width;
  p.height = height;
  p.colourType = colourType;
  p.bitDepth = bitDepth;
  p.interlaced = interlaced;
  const uint32_t maxSample = bitDepth == 16 ? 0xFFFF : (1u << bitDepth) - 1;
  uint32_t limit = maxSample;
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    const uint32_t entries = bitDepth == 8 ? 37 : maxSample + 1;  // not always a full palette
    for (uint32_t i = 0; i < entries; i++)
      p.palette.push_back(png_color{static_cast<png_byte>(i * 7 + 3), static_cast<png_byte>(255 - i * 5),
                                    static_cast<png_byte>(i * 13 + 100)});
    limit = entries - 1;
  }
  uint32_t state = seed * 2654435761u + 12345;
  const size_t count = static_cast<size_t>(width) * height * ChannelsOf(colourType);
  for (size_t i = 0; i < count; i++) {
    state = state * 1103515245u + 12345u;
    uint32_t v = (state >> 8) % (limit + 1);
    if (i % 11 == 0) v = 0;
    if (i % 13 == 0) v = limit;
    p.samples.push_back(static_cast<uint16_t>(v));
  }
  return p;
}

// Sets a chunk's CRC right after its data was changed; offset is the chunk's length field.
inline void FixChunkCrc(std::vector<unsigned char>& png, size_t offset) {
  uint32_t length = (uint32_t(png[offset]) << 24) | (uint32_t(png[offset + 1]) << 16) |
                    (uint32_t(png[offset + 2]) << 8) | png[offset + 3];
  uLong crc = crc32(0, &png[offset + 4], static_cast<uInt>(length + 4));
  size_t at = offset + 8 + length;
  png[at] = static_cast<unsigned char>(crc >> 24);
  png[at + 1] = static_cast<unsigned char>(crc >> 16);
  png[at + 2] = static_cast<unsigned char>(crc >> 8);
  png[at + 3] = static_cast<unsigned char>(crc);
}

// Offset of the nth chunk of the given type (its length field), or 0.
inline size_t FindChunk(const std::vector<unsigned char>& png, const char* type, int nth = 0) {
  size_t at = 8;
  while (at + 12 <= png.size()) {
    uint32_t length = (uint32_t(png[at]) << 24) | (uint32_t(png[at + 1]) << 16) |
                      (uint32_t(png[at + 2]) << 8) | png[at + 3];
    if (memcmp(&png[at + 4], type, 4) == 0 && nth-- == 0) return at;
    at += 12 + static_cast<size_t>(length);
  }
  return 0;
}

// The file with a chunk of the given type and data put in front of the chunk at offset.
inline std::vector<unsigned char> InsertChunk(const std::vector<unsigned char>& png, size_t offset,
                                              const char* type, const std::vector<unsigned char>& data) {
  std::vector<unsigned char> chunk(12 + data.size());
  chunk[0] = static_cast<unsigned char>(data.size() >> 24);
  chunk[1] = static_cast<unsigned char>(data.size() >> 16);
  chunk[2] = static_cast<unsigned char>(data.size() >> 8);
  chunk[3] = static_cast<unsigned char>(data.size());
  memcpy(&chunk[4], type, 4);
  if (!data.empty()) memcpy(&chunk[8], data.data(), data.size());
  std::vector<unsigned char> out(png.begin(), png.begin() + static_cast<ptrdiff_t>(offset));
  size_t at = out.size();
  out.insert(out.end(), chunk.begin(), chunk.end());
  out.insert(out.end(), png.begin() + static_cast<ptrdiff_t>(offset), png.end());
  uLong crc = crc32(0, &out[at + 4], static_cast<uInt>(data.size() + 4));
  out[at + 8 + data.size()] = static_cast<unsigned char>(crc >> 24);
  out[at + 9 + data.size()] = static_cast<unsigned char>(crc >> 16);
  out[at + 10 + data.size()] = static_cast<unsigned char>(crc >> 8);
  out[at + 11 + data.size()] = static_cast<unsigned char>(crc);
  return out;
}

inline void PutBigEndian(std::vector<unsigned char>& png, size_t at, uint32_t v) {
  png[at] = static_cast<unsigned char>(v >> 24);
  png[at + 1] = static_cast<unsigned char>(v >> 16);
  png[at + 2] = static_cast<unsigned char>(v >> 8);
  png[at + 3] = static_cast<unsigned char>(v);
}
