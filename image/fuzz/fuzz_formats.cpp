// BMP headers and the BMP and ICO checks on arbitrary data: they must never read outside it, and
// what they accept must describe areas inside it.
#include <cstdint>
#include <cstdlib>

#include "image/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BitmapFileLayout bmp;
  if (ReadBitmapHeaders(data, size, &bmp) && 14 + static_cast<uint64_t>(bmp.headerSize) > size) abort();
  if (ParseBitmapFile(data, size, &bmp)) {
    if (bmp.pixelOffset + bmp.pixelBytes > size || 14 + static_cast<uint64_t>(bmp.headerSize) > size) abort();
  }
  IconImageLayout ico;
  if (FindFirstIconImage(data, size, &ico)) {
    if (static_cast<uint64_t>(ico.offset) + ico.size > size || ico.size == 0) abort();
  }
  return 0;
}
