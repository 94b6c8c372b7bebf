#include "image/formats.h"

namespace {

uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

const uint32_t CompressionRgb = 0;
const uint32_t CompressionRle8 = 1;
const uint32_t CompressionRle4 = 2;
const uint32_t CompressionBitfields = 3;

bool ValidBitCount(uint32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Entries GDI reads from the colour table: only palette depths have one that matters, and it never
// holds more than 2^bits entries whatever the header claims.
uint64_t PaletteEntries(uint32_t bitCount, uint32_t coloursUsed) {
  if (bitCount > 8) return 0;
  const uint32_t full = 1u << bitCount;
  return (coloursUsed == 0 || coloursUsed > full) ? full : coloursUsed;
}

const unsigned char PngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

}  // namespace

uint64_t DibRowBytes(uint64_t width, uint32_t bitCount) { return (width * bitCount + 31) / 32 * 4; }

bool ParseBitmapFile(const void* data, size_t size, BitmapFileLayout* layout) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  if (!p || size < 18 || p[0] != 'B' || p[1] != 'M') return false;
  BitmapFileLayout l = {};
  l.pixelOffset = Read32(p + 10);
  l.headerSize = Read32(p + 14);
  const uint64_t headerEnd = 14 + static_cast<uint64_t>(l.headerSize);
  if (headerEnd > size) return false;

  uint32_t planes;
  uint32_t coloursUsed = 0;
  uint32_t imageSize = 0;
  uint64_t entrySize = 4;
  if (l.headerSize == 12) {
    l.width = Read16(p + 18);
    l.height = Read16(p + 20);
    planes = Read16(p + 22);
    l.bitCount = Read16(p + 24);
    entrySize = 3;
  } else if (l.headerSize >= 40) {
    l.width = static_cast<int32_t>(Read32(p + 18));
    l.height = static_cast<int32_t>(Read32(p + 22));
    planes = Read16(p + 26);
    l.bitCount = Read16(p + 28);
    l.compression = Read32(p + 30);
    imageSize = Read32(p + 34);
    coloursUsed = Read32(p + 46);
  } else {
    return false;
  }
  if (planes != 1 || l.width <= 0 || l.height == 0 || l.height == INT32_MIN || !ValidBitCount(l.bitCount))
    return false;
  const uint64_t rows = l.height < 0 ? -static_cast<int64_t>(l.height) : l.height;

  uint64_t masks = 0;
  switch (l.compression) {
    case CompressionRgb:
      break;
    case CompressionRle8:
    case CompressionRle4:
      if (l.bitCount != (l.compression == CompressionRle8 ? 8 : 4) || l.height < 0 || imageSize == 0)
        return false;
      break;
    case CompressionBitfields:
      if (l.bitCount != 16 && l.bitCount != 32) return false;
      if (l.headerSize == 40) masks = 12;  // later headers hold the masks themselves
      break;
    default:
      return false;
  }
  const uint64_t tableEnd = headerEnd + masks + PaletteEntries(l.bitCount, coloursUsed) * entrySize;
  if (tableEnd > size) return false;

  if (l.compression == CompressionRle8 || l.compression == CompressionRle4)
    l.pixelBytes = imageSize;
  else
    l.pixelBytes = DibRowBytes(static_cast<uint64_t>(l.width), l.bitCount) * rows;
  if (static_cast<uint64_t>(l.pixelOffset) + l.pixelBytes > size) return false;
  *layout = l;
  return true;
}

bool FindFirstIconImage(const void* data, size_t size, IconImageLayout* layout) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  if (!p || size < 6 + 16) return false;
  if (Read16(p) != 0 || Read16(p + 2) != 1 || Read16(p + 4) == 0) return false;
  IconImageLayout l = {};
  l.size = Read32(p + 6 + 8);
  l.offset = Read32(p + 6 + 12);
  if (l.size == 0 || static_cast<uint64_t>(l.offset) + l.size > size) return false;
  const unsigned char* image = p + l.offset;

  if (l.size >= sizeof PngSignature) {
    bool png = true;
    for (size_t i = 0; i < sizeof PngSignature; i++) png = png && image[i] == PngSignature[i];
    if (png) {
      l.bitCount = 32;
      *layout = l;
      return true;
    }
  }

  if (l.size < 40 || Read32(image) != 40) return false;
  const int32_t width = static_cast<int32_t>(Read32(image + 4));
  const int32_t height = static_cast<int32_t>(Read32(image + 8));
  const uint32_t planes = Read16(image + 12);
  l.bitCount = Read16(image + 14);
  const uint32_t compression = Read32(image + 16);
  const uint32_t coloursUsed = Read32(image + 32);
  if (width <= 0 || height < 2 || planes != 1 || !ValidBitCount(l.bitCount)) return false;
  uint64_t masks = 0;
  if (compression == CompressionBitfields && (l.bitCount == 16 || l.bitCount == 32))
    masks = 12;
  else if (compression != CompressionRgb)
    return false;
  l.width = width;
  l.height = height / 2;
  const uint64_t rows = static_cast<uint64_t>(l.height);
  const uint64_t need = 40 + masks + PaletteEntries(l.bitCount, coloursUsed) * 4 +
                        DibRowBytes(static_cast<uint64_t>(width), l.bitCount) * rows +
                        DibRowBytes(static_cast<uint64_t>(width), 1) * rows;
  if (need > l.size) return false;
  *layout = l;
  return true;
}
