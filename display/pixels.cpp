// Pixel arithmetic: format codes, colour values, the blend table, bitmap files and the
// conversion of picture rows into sprite pixels. No platform calls.
#include "display/pixels.h"

#include <cstring>

int32_t BlendTable[65536];

int32_t PixelFormatCodeFor(int32_t depth, uint32_t redMask, uint32_t greenMask) {
  switch (depth) {
    case 16: return greenMask == 0x7E0 ? PixelFormat565 : PixelFormat555;
    case 24: return redMask == 0xFF ? PixelFormat24Rgb : PixelFormat24Bgr;
    case 32: return redMask == 0xFF ? PixelFormat32Rgb : PixelFormat32Bgr;
    default: return PixelFormatPalette;
  }
}

uint32_t RGBToPixelFor(int32_t depth, int32_t pixelFormatCode, int32_t red, int32_t green, int32_t blue) {
  // Unsigned shifts: callers may hand in values outside 0-255.
  const uint32_t r = static_cast<uint32_t>(red), g = static_cast<uint32_t>(green),
                 b = static_cast<uint32_t>(blue);
  switch (depth) {
    case 15:
      return static_cast<uint32_t>(red / 8) << 10 | static_cast<uint32_t>(green / 8) << 5 |
             static_cast<uint32_t>(blue / 8);
    case 16:
      return static_cast<uint32_t>(red / 8) << 11 | static_cast<uint32_t>(green / 4) << 5 |
             static_cast<uint32_t>(blue / 8);
    case 24:
    case 32:
      if (pixelFormatCode == PixelFormat24Rgb || pixelFormatCode == PixelFormat32Rgb)
        return b << 16 | g << 8 | r;
      return r << 16 | g << 8 | b;
    default:
      return 0;
  }
}

void BuildBlendTable() {
  for (int32_t v = 0; v < 256; ++v)
    for (int32_t k = 0; k < 256; ++k) BlendTable[v * 256 + k] = (v * 256) / (65280 / (k + 1));
}

namespace {

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

bool SpriteBitmapUsable(const BitmapFileLayout& bitmap, size_t size) {
  return bitmap.headerSize >= 40 && bitmap.width > 0 && bitmap.height > 0 && bitmap.width <= BitmapMaxSide &&
         bitmap.height <= BitmapMaxSide && bitmap.pixelOffset <= size;
}

namespace {

// Writes into the expanded rows; everything outside the picture is dropped.
struct ExpandTarget {
  const uint8_t* file;
  size_t size;
  size_t colourTable;   // offset of the first colour table entry
  uint8_t* rows;
  size_t pitch;
  size_t capacity;      // pitch * (height + 1)
  int64_t width, height;
  bool monochrome;      // 1 bit: black and white whatever the table says

  void Colour(uint32_t index, uint8_t* bgr) const {
    if (monochrome) {
      const uint8_t v = index ? 0xFF : 0;
      bgr[0] = bgr[1] = bgr[2] = v;
      return;
    }
    const size_t at = colourTable + 4 * static_cast<size_t>(index);
    if (at >= colourTable && at + 3 <= size) {
      memcpy(bgr, file + at, 3);
    } else {
      bgr[0] = bgr[1] = bgr[2] = 0;   // an index past the data's end is black
    }
  }
  // A pixel of the picture.
  void Put(int64_t x, int64_t y, uint32_t index) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    Colour(index, rows + static_cast<size_t>(y) * pitch + 3 * static_cast<size_t>(x));
  }
  // A pixel of a row's slack (an odd width's last nibble): anywhere inside the block.
  void PutSlack(int64_t x, int64_t y, uint32_t index) const {
    const size_t at = static_cast<size_t>(y) * pitch + 3 * static_cast<size_t>(x);
    if (at + 3 <= capacity) Colour(index, rows + at);
  }
};

void ExpandUncompressed(const ExpandTarget& t, uint32_t bitsPerPixel, size_t pixelOffset) {
  const size_t rowBytes = static_cast<size_t>(BitmapRowBytes(static_cast<uint64_t>(t.width), bitsPerPixel));
  for (int64_t y = 0; y < t.height; ++y) {
    const size_t start = pixelOffset + static_cast<size_t>(y) * rowBytes;
    if (start >= t.size) return;   // the data ends: the remaining rows stay as they are
    const size_t available = t.size - start < rowBytes ? t.size - start : rowBytes;
    const uint8_t* row = t.file + start;
    switch (bitsPerPixel) {
      case 1:
        for (int64_t x = 0; x < t.width && static_cast<size_t>(x / 8) < available; ++x)
          t.Put(x, y, (row[x / 8] >> (7 - x % 8)) & 1);
        break;
      case 4: {
        const int64_t bytes = (t.width + 1) / 2;
        for (int64_t i = 0; i < bytes && static_cast<size_t>(i) < available; ++i) {
          t.Put(2 * i, y, row[i] >> 4);
          if (2 * i + 1 < t.width) t.Put(2 * i + 1, y, row[i] & 0x0F);
          else t.PutSlack(2 * i + 1, y, row[i] & 0x0F);
        }
        break;
      }
      case 8:
        for (int64_t x = 0; x < t.width && static_cast<size_t>(x) < available; ++x) t.Put(x, y, row[x]);
        break;
    }
  }
}

// Run-length data: 4 bits a pixel (two indices a byte, high nibble first) or 8.
void ExpandRunLength(const ExpandTarget& t, bool nibbles, size_t position) {
  int64_t x = 0, y = 0;
  const uint8_t* d = t.file;
  while (position + 2 <= t.size && y < t.height) {
    const uint32_t count = d[position], value = d[position + 1];
    position += 2;
    if (count > 0) {
      for (uint32_t i = 0; i < count; ++i, ++x)
        t.Put(x, y, nibbles ? (i & 1 ? value & 0x0F : value >> 4) : value);
      continue;
    }
    switch (value) {
      case 0:   // end of line
        x = 0;
        ++y;
        break;
      case 1:   // end of bitmap
        return;
      case 2:   // delta
        if (position + 2 > t.size) return;
        x += d[position];
        y += d[position + 1];
        position += 2;
        break;
      default: {   // value literal indices, padded to an even number of bytes
        const size_t bytes = nibbles ? (value + 1) / 2 : value;
        for (uint32_t i = 0; i < value; ++i, ++x) {
          const size_t at = position + (nibbles ? i / 2 : i);
          if (at >= t.size) return;
          const uint32_t index = nibbles ? (i & 1 ? d[at] & 0x0F : d[at] >> 4) : d[at];
          t.Put(x, y, index);
        }
        position += bytes + (bytes & 1);
        break;
      }
    }
  }
}

}  // namespace

int32_t ExpandPaletteBitmap(const void* file, size_t size, void* destination, int32_t pitch) {
  BitmapFileLayout info;
  if (!destination || !ReadBitmapHeaders(file, size, &info) || !SpriteBitmapUsable(info, size)) return 0;
  if (pitch < 3 * info.width) return 0;
  ExpandTarget t;
  t.file = static_cast<const uint8_t*>(file);
  t.size = size;
  t.colourTable = 14 + static_cast<size_t>(info.headerSize);
  t.rows = static_cast<uint8_t*>(destination);
  t.pitch = static_cast<size_t>(pitch);
  t.capacity = t.pitch * (static_cast<size_t>(info.height) + 1);
  t.width = info.width;
  t.height = info.height;
  t.monochrome = info.bitCount == 1;
  switch (info.bitCount) {
    case 1:
      ExpandUncompressed(t, 1, info.pixelOffset);
      return 1;
    case 4:
      if (info.compression == 2) ExpandRunLength(t, true, info.pixelOffset);
      else ExpandUncompressed(t, 4, info.pixelOffset);
      return 1;
    case 8:
      if (info.compression == 1) ExpandRunLength(t, false, info.pixelOffset);
      else ExpandUncompressed(t, 8, info.pixelOffset);
      return 1;
    default:
      return 0;
  }
}

namespace {

void Convert16From555(const uint8_t* s, uint8_t* d, int32_t width, int32_t code) {
  for (int32_t x = 0; x < width; ++x, s += 2, d += 2) {
    uint32_t v = Read16(s);
    if (code != PixelFormat555) v = (v & 0x7C00) << 1 | ((v >> 5) & 0x1F) << 6 | (v & 0x1F);
    d[0] = static_cast<uint8_t>(v);
    d[1] = static_cast<uint8_t>(v >> 8);
  }
}

void Convert16FromRgb(const uint8_t* s, int32_t step, uint8_t* d, int32_t width, int32_t code) {
  for (int32_t x = 0; x < width; ++x, s += step, d += 2) {
    const uint32_t b = s[0], g = s[1], r = s[2];
    const uint32_t v = code == PixelFormat555 ? (r & 0xF8) << 7 | (g & 0xF8) << 2 | b >> 3
                                              : (r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3;
    d[0] = static_cast<uint8_t>(v);
    d[1] = static_cast<uint8_t>(v >> 8);
  }
}

void ConvertWideFrom555(const uint8_t* s, uint8_t* d, int32_t width, int32_t bytes) {
  for (int32_t x = 0; x < width; ++x, s += 2, d += bytes) {
    const uint32_t v = Read16(s);
    d[0] = static_cast<uint8_t>((v & 0x1F) << 3);
    d[1] = static_cast<uint8_t>(((v >> 5) & 0x1F) << 3);
    d[2] = static_cast<uint8_t>(((v >> 10) & 0x1F) << 3);
    if (bytes == 4) d[3] = 0;
  }
}

void ConvertWideFromRgb(const uint8_t* s, int32_t step, uint8_t* d, int32_t width, int32_t bytes,
                        bool alpha) {
  for (int32_t x = 0; x < width; ++x, s += step, d += bytes) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    if (bytes == 4) d[3] = alpha ? s[3] : 0;
  }
}

}  // namespace

void ConvertSpritePixels(const PixelSource& source, uint8_t* destination, int32_t destinationPitch,
                         int32_t targetDepth, int32_t pixelFormatCode, bool keepAlpha) {
  if (!source.rows || !destination || source.width <= 0 || source.height <= 0) return;
  const int32_t bpp = source.bitsPerPixel;
  const bool rgbSource = bpp == 24 || bpp == 32;
  const int32_t step = bpp / 8;
  const bool alpha = keepAlpha && bpp == 32;
  for (int32_t row = 0; row < source.height; ++row) {
    const int32_t sourceRow = source.bottomUp ? source.height - 1 - row : row;
    const uint8_t* s = source.rows + static_cast<ptrdiff_t>(sourceRow) * source.pitch;
    uint8_t* d = destination + static_cast<ptrdiff_t>(row) * destinationPitch;
    switch (targetDepth) {
      case 8:
        if (bpp == 8) memcpy(d, s, static_cast<size_t>(source.width));
        break;
      case 16:
        if (bpp == 16) Convert16From555(s, d, source.width, pixelFormatCode);
        else if (rgbSource) Convert16FromRgb(s, step, d, source.width, pixelFormatCode);
        break;
      case 24:
      case 32:
        if (bpp == 16) ConvertWideFrom555(s, d, source.width, targetDepth / 8);
        else if (rgbSource) ConvertWideFromRgb(s, step, d, source.width, targetDepth / 8, alpha);
        break;
      default:
        return;
    }
  }
}
