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

uint64_t BitmapRowBytes(uint64_t width, uint32_t bitCount) { return (width * bitCount + 31) / 32 * 4; }

namespace {

// An information header (12 bytes for the core one, 40 or more otherwise) at p, with available
// bytes from p on; it must lie within them. The file header, if any, is the caller's.
bool ReadInfoHeader(const unsigned char* p, uint64_t available, BitmapFileLayout* l) {
  if (available < 4) return false;
  l->headerSize = Read32(p);
  if (l->headerSize > available) return false;
  if (l->headerSize == 12) {
    l->width = Read16(p + 4);
    l->height = Read16(p + 6);
    l->planes = Read16(p + 8);
    l->bitCount = Read16(p + 10);
  } else if (l->headerSize >= 40) {
    l->width = static_cast<int32_t>(Read32(p + 4));
    l->height = static_cast<int32_t>(Read32(p + 8));
    l->planes = Read16(p + 12);
    l->bitCount = Read16(p + 14);
    l->compression = Read32(p + 16);
    l->imageSize = Read32(p + 20);
    l->coloursUsed = Read32(p + 32);
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool ReadBitmapHeaders(const void* data, size_t size, BitmapFileLayout* layout) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  if (!p || !layout || size < 18 || p[0] != 'B' || p[1] != 'M') return false;
  BitmapFileLayout l = {};
  l.pixelOffset = Read32(p + 10);
  if (!ReadInfoHeader(p + 14, size - 14, &l)) return false;
  *layout = l;
  return true;
}

bool ParseBitmapFile(const void* data, size_t size, BitmapFileLayout* layout) {
  BitmapFileLayout l;
  if (!ReadBitmapHeaders(data, size, &l)) return false;
  const uint64_t headerEnd = 14 + static_cast<uint64_t>(l.headerSize);
  const uint64_t entrySize = l.headerSize == 12 ? 3 : 4;
  if (l.planes != 1 || l.width <= 0 || l.height == 0 || l.height == INT32_MIN || !ValidBitCount(l.bitCount))
    return false;
  const uint64_t rows = l.height < 0 ? -static_cast<int64_t>(l.height) : l.height;

  uint64_t masks = 0;
  switch (l.compression) {
    case CompressionRgb:
      break;
    case CompressionRle8:
    case CompressionRle4:
      if (l.bitCount != (l.compression == CompressionRle8 ? 8 : 4) || l.height < 0 || l.imageSize == 0)
        return false;
      break;
    case CompressionBitfields:
      if (l.bitCount != 16 && l.bitCount != 32) return false;
      if (l.headerSize == 40) masks = 12;  // later headers hold the masks themselves
      break;
    default:
      return false;
  }
  const uint64_t tableEnd = headerEnd + masks + PaletteEntries(l.bitCount, l.coloursUsed) * entrySize;
  if (tableEnd > size) return false;

  if (l.compression == CompressionRle8 || l.compression == CompressionRle4)
    l.pixelBytes = l.imageSize;
  else
    l.pixelBytes = BitmapRowBytes(static_cast<uint64_t>(l.width), l.bitCount) * rows;
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

  // An icon's DIB image is an information header of exactly 40 bytes with no file header.
  BitmapFileLayout dib = {};
  if (!ReadInfoHeader(image, l.size, &dib) || dib.headerSize != 40) return false;
  l.bitCount = dib.bitCount;
  if (dib.width <= 0 || dib.height < 2 || dib.planes != 1 || !ValidBitCount(l.bitCount)) return false;
  uint64_t masks = 0;
  if (dib.compression == CompressionBitfields && (l.bitCount == 16 || l.bitCount == 32))
    masks = 12;
  else if (dib.compression != CompressionRgb)
    return false;
  l.width = dib.width;
  l.height = dib.height / 2;
  const uint64_t rows = static_cast<uint64_t>(l.height);
  const uint64_t need = 40 + masks + PaletteEntries(l.bitCount, dib.coloursUsed) * 4 +
                        BitmapRowBytes(static_cast<uint64_t>(dib.width), l.bitCount) * rows +
                        BitmapRowBytes(static_cast<uint64_t>(dib.width), 1) * rows;
  if (need > l.size) return false;
  *layout = l;
  return true;
}
