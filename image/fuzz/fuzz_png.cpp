// Arbitrary bytes through the registry's probe and the PNG decode, from memory (the block is
// exactly the input, so any read past it is caught) and, for some inputs, from a stream.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "image/decoders.h"

namespace {

const uint64_t LargestBuffer = 16u << 20;

void DecodeWhatWasFound(int probe, uint8_t variant) {
  const uint64_t width = CurrentImageWidth(), height = CurrentImageHeight();
  const uint64_t rowBytes = width * (probe == 2 ? 4 : 3);
  const uint64_t pitch = rowBytes + (variant & 7);
  const uint64_t span = (height - 1) * pitch + rowBytes;
  if (width == 0 || height == 0 || span > LargestBuffer) {
    // Too big to bother with here: a refused decode must still close the image.
    if (DecodeCurrentImage(nullptr, 0, 0) != 0) abort();
    return;
  }
  unsigned char* buffer = static_cast<unsigned char*>(malloc(span));
  const intptr_t size = (variant & 8) ? static_cast<intptr_t>(span) : 0;
  DecodeCurrentImage(buffer, static_cast<int32_t>(pitch), size);
  free(buffer);
}

// Mutations almost never keep a chunk's CRC right, and libpng stops at the first wrong one; with
// the CRCs mended, the mutated chunk data reaches the parsers and the row decoding.
std::vector<uint8_t> WithCrcsMended(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out(data, data + size);
  size_t at = 8;
  while (at + 12 <= out.size()) {
    const uint32_t length = (uint32_t(out[at]) << 24) | (uint32_t(out[at + 1]) << 16) |
                            (uint32_t(out[at + 2]) << 8) | out[at + 3];
    if (length > out.size() - at - 12) break;
    const uint32_t crc = static_cast<uint32_t>(crc32(0, &out[at + 4], length + 4));
    const size_t c = at + 8 + length;
    out[c] = static_cast<uint8_t>(crc >> 24);
    out[c + 1] = static_cast<uint8_t>(crc >> 16);
    out[c + 2] = static_cast<uint8_t>(crc >> 8);
    out[c + 3] = static_cast<uint8_t>(crc);
    at = c + 4;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = false;
  if (!registered) {
    ResetImageDecoders();
    RegisterPngDecoder();
    registered = true;
  }
  const uint8_t variant = size ? data[size - 1] : 0;

  std::vector<uint8_t> mended;
  if (variant & 0x40) {
    mended = WithCrcsMended(data, size);
    data = mended.data();
  }
  int probe = FindImageDecoder(static_cast<intptr_t>(size), size ? data : reinterpret_cast<const uint8_t*>(""));
  if (probe < 0 || probe > 2) abort();
  if (probe) DecodeWhatWasFound(probe, variant);

  if ((variant & 0x30) == 0x30 && size) {
    // The same bytes as a stream, straight through the decoder's own probe.
    FILE* stream = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (stream) {
      const ImageDecoder* png = PngDecoder();
      probe = png->probe(stream, nullptr, 0);
      if (probe < 0 || probe > 2) abort();
      if (probe) {
        const uint64_t rowBytes = static_cast<uint64_t>(png->width()) * (probe == 2 ? 4 : 3);
        const uint64_t span = rowBytes * png->height();
        unsigned char* buffer = span <= LargestBuffer ? static_cast<unsigned char*>(malloc(span)) : nullptr;
        png->decode(buffer, static_cast<int32_t>(rowBytes), 0);
        free(buffer);
      }
      fclose(stream);
    }
  }
  return 0;
}
