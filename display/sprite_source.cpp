#include "display/sprite_source.h"

#include "display/sprites.h"
#include "image/decoders.h"
#include "runtime/memory.h"

namespace {

int32_t PrepareBitmap(const uint8_t* data, size_t size, int32_t flags, bool expandPalette,
                      SpriteSource& source) {
  BitmapFileLayout& info = source.bitmap;
  if (!ReadBitmapHeaders(data, size, &info) || !SpriteBitmapUsable(info, size)) return 0;
  source.pixels.width = info.width;
  source.pixels.height = info.height;
  source.pixels.bitsPerPixel = info.bitCount;
  // Both sides are at most BitmapMaxSide, so a row of any bit count fits.
  source.pixels.pitch = static_cast<int32_t>(BitmapRowBytes(static_cast<uint64_t>(info.width), info.bitCount));
  source.pixels.rows = data + info.pixelOffset;
  source.pixels.bottomUp = true;
  if (flags & SpriteMemoryOnly) {
    // The block takes width bytes of each row, as stored at 8 bits a pixel.
    const size_t stride = static_cast<size_t>(BitmapRowBytes(static_cast<uint64_t>(info.width), 8));
    return info.pixelOffset + stride * static_cast<size_t>(info.height) <= size;
  }
  if (expandPalette && info.bitCount <= 8) {
    const int32_t pitch = Rgb24Pitch(info.width);
    // Zeroed: pixels that run-length data or a short file leave out come out black.
    source.buffer = static_cast<uint8_t*>(HeapAlloc(
        MainHeap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(pitch) * (static_cast<SIZE_T>(info.height) + 1)));
    // Palette indices read as colours would be a wrong picture, not a poorer one.
    if (!source.buffer) return 0;
    ExpandPaletteBitmap(data, size, source.buffer, pitch);
    source.pixels.rows = source.buffer;
    source.pixels.pitch = pitch;
    source.pixels.bitsPerPixel = 24;
    return 1;
  }
  // The file's own rows are read: all of them must lie inside the data.
  return info.pixelOffset + static_cast<size_t>(source.pixels.pitch) * static_cast<size_t>(info.height) <= size;
}

int32_t PrepareDecoded(const void* data, size_t size, SpriteSource& source) {
  const size_t limit = size < SpriteDataSizeLimit ? size : SpriteDataSizeLimit;
  const int result = FindImageDecoder(static_cast<intptr_t>(limit), data);
  if (result == 0) return 0;
  const int32_t width = static_cast<int32_t>(CurrentImageWidth());
  const int32_t height = static_cast<int32_t>(CurrentImageHeight());
  const int32_t bpp = result == 2 ? 32 : 24;
  const int32_t pitch = result == 2 ? 4 * width : Rgb24Pitch(width);
  const size_t bytes = static_cast<size_t>(pitch) * (static_cast<size_t>(height) + 1);
  source.buffer = width > 0 && height > 0 ? static_cast<uint8_t*>(HeapAlloc(MainHeap, 0, bytes)) : nullptr;
  // The decode ends the image the probe opened, also when there is nowhere to put it (the
  // decoder refuses a missing destination without writing). A picture that fails half-way would
  // leave rows never written.
  const int decoded = DecodeCurrentImage(source.buffer, pitch, source.buffer ? static_cast<intptr_t>(bytes) : 0);
  if (!source.buffer || !decoded) return 0;
  source.pixels.rows = source.buffer;
  source.pixels.pitch = pitch;
  source.pixels.bitsPerPixel = bpp;
  source.pixels.width = width;
  source.pixels.height = height;
  source.pixels.bottomUp = false;
  return 1;
}

}  // namespace

int32_t PrepareSpriteSource(const void* data, size_t size, int32_t flags, bool expandPalette,
                            SpriteSource* source) {
  *source = SpriteSource{};
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  source->isBitmap = size >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
  if (source->isBitmap) return PrepareBitmap(bytes, size, flags, expandPalette, *source);
  if (flags & SpriteMemoryOnly) return 0;   // memory sprites come from bitmap files only
  return PrepareDecoded(data, size, *source);
}

void FreeSpriteSource(SpriteSource* source) {
  if (source->buffer) HeapFree(MainHeap, 0, source->buffer);
  source->buffer = nullptr;
}
