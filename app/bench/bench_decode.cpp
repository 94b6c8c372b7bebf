// Decoding the embedded pictures natively, through the decoder registry and the PNG decoder.
// BM_LoadSpritePixels is the portable part of LoadSpriteFromMemory for the nine sprites with
// SpriteTexture on a 32-bit screen: find the decoder, allocate the row buffer as the sprite engine
// does, decode, convert the rows into 32-bit pixels (blue in the low byte) in a 16 x 16 buffer,
// free the rows. Left out, because they are DirectDraw's: creating the surface, its lock and
// unlock, the colour key and the sprite's object record.
// BM_DecodePreview decodes the 400 x 320 preview picture into a buffer of its own.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "app/embedded.h"
#include "display/pixels.h"
#include "image/decoders.h"
#include "runtime/memory.h"
#include "runtime/platform.h"

namespace {

bool SetUp() {
  if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
  ResetImageDecoders();
  RegisterPngDecoder();
  return MainHeap && EmbeddedPicture(1) && EmbeddedPicture(EmbeddedPreviewPicture);
}

void BM_LoadSpritePixels(benchmark::State& state) {
  if (!SetUp()) {
    state.SkipWithError("no heap or no embedded pictures");
    return;
  }
  std::vector<uint32_t> surface(16 * 16);
  int64_t failures = 0;
  for (auto _ : state) {
    for (int n = 1; n <= 9; ++n) {
      const int kind = FindImageDecoder(static_cast<intptr_t>(EmbeddedPictureSize(n)), EmbeddedPicture(n));
      if (kind == 0) {
        ++failures;
        continue;
      }
      const int32_t width = static_cast<int32_t>(CurrentImageWidth());
      const int32_t height = static_cast<int32_t>(CurrentImageHeight());
      const int32_t bpp = kind == 2 ? 32 : 24;
      const int32_t pitch = kind == 2 ? 4 * width : Rgb24Pitch(width);
      const size_t bytes = static_cast<size_t>(pitch) * (static_cast<size_t>(height) + 1);
      uint8_t* rows = static_cast<uint8_t*>(HeapAlloc(MainHeap, 0, bytes));
      if (!DecodeCurrentImage(rows, pitch, static_cast<intptr_t>(bytes)) || width > 16 || height > 16) {
        ++failures;
      } else {
        const PixelSource source = {rows, pitch, bpp, width, height, false};
        ConvertSpritePixels(source, reinterpret_cast<uint8_t*>(surface.data()), 16 * 4, 32, PixelFormat32Bgr, false);
      }
      HeapFree(MainHeap, 0, rows);
    }
    benchmark::ClobberMemory();
  }
  if (failures) state.SkipWithError("a sprite did not decode");
}
BENCHMARK(BM_LoadSpritePixels)->Unit(benchmark::kMicrosecond);

void BM_DecodePreview(benchmark::State& state) {
  if (!SetUp()) {
    state.SkipWithError("no heap or no embedded pictures");
    return;
  }
  const unsigned char* data = EmbeddedPicture(EmbeddedPreviewPicture);
  const size_t size = EmbeddedPictureSize(EmbeddedPreviewPicture);
  std::vector<uint8_t> buffer;
  for (auto _ : state) {
    const int kind = FindImageDecoder(static_cast<intptr_t>(size), data);
    const int32_t width = static_cast<int32_t>(CurrentImageWidth());
    const int32_t height = static_cast<int32_t>(CurrentImageHeight());
    const int32_t pitch = kind == 2 ? 4 * width : Rgb24Pitch(width);
    buffer.resize(static_cast<size_t>(pitch) * (static_cast<size_t>(height) + 1));
    if (kind == 0 || !DecodeCurrentImage(buffer.data(), pitch, static_cast<intptr_t>(buffer.size()))) {
      state.SkipWithError("the preview picture did not decode");
      break;
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DecodePreview)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
