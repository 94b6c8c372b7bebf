// Bitmap files from anywhere: the palette expansion and the row conversion must stay inside the
// data and inside rows allocated exactly as the sprite loader allocates them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "display/pixels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BitmapFileLayout info;
  if (!ReadBitmapHeaders(data, size, &info) || !SpriteBitmapUsable(info, size)) return 0;
  // A few bytes may declare a huge picture, and every run pays for the whole of it: at a
  // megapixel a run took milliseconds. The bounds arithmetic is the same at any size, and 16384
  // pixels still allow either side its largest value.
  if (static_cast<int64_t>(info.width) * info.height > BitmapMaxSide) return 0;
  const int32_t pitch = Rgb24Pitch(info.width);
  const size_t bytes = static_cast<size_t>(pitch) * (static_cast<size_t>(info.height) + 1);
  uint8_t* rows = static_cast<uint8_t*>(malloc(bytes));
  if (!rows) return 0;
  memset(rows, 0, bytes);
  if (ExpandPaletteBitmap(data, size, rows, pitch)) {
    // Converting expanded rows depends on the picture's size alone, and costs a run per pixel:
    // small pictures cover it.
    if (static_cast<int64_t>(info.width) * info.height > 1024) {
      free(rows);
      return 0;
    }
    PixelSource source{rows, pitch, 24, info.width, info.height, true};
    uint8_t* surface = static_cast<uint8_t*>(malloc(static_cast<size_t>(info.width) * 4 * info.height));
    if (surface) {
      ConvertSpritePixels(source, surface, info.width * 2, 16, PixelFormat565, false);
      ConvertSpritePixels(source, surface, info.width * 4, 32, PixelFormat32Bgr, true);
      free(surface);
    }
  } else {
    // The loader reads wider rows straight from the file once they lie inside it.
    const size_t rowBytes = static_cast<size_t>(BitmapRowBytes(static_cast<uint64_t>(info.width), info.bitCount));
    if ((info.bitCount == 16 || info.bitCount == 24 || info.bitCount == 32) &&
        info.pixelOffset + rowBytes * info.height <= size) {
      PixelSource source{data + info.pixelOffset, static_cast<int32_t>(rowBytes),
                         info.bitCount, info.width, info.height, true};
      uint8_t* surface = static_cast<uint8_t*>(malloc(static_cast<size_t>(info.width) * 4 * info.height));
      if (surface) {
        ConvertSpritePixels(source, surface, info.width * 4, 32, PixelFormat32Bgr, true);
        ConvertSpritePixels(source, surface, info.width * 2, 16, PixelFormat555, false);
        free(surface);
      }
    }
  }
  free(rows);
  return 0;
}
