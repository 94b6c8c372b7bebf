// The PNG decoder over libpng. The probe reads the header and keeps libpng's structures alive;
// the decode that follows writes the rows straight into the caller's buffer and releases them.
// libpng reports errors by jumping back to the setjmp of whichever of the two is running, so no
// object with a destructor may live in these frames.
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>

#include "image/decoders.h"
#include "runtime/platform.h"

namespace {

struct PngState {
  png_structp read;
  png_infop info;
  png_uint_32 width;
  png_uint_32 height;
  int bitDepth;
  int colourType;
  int result;                   // the probe result while an image is open, 0 when idle
  FILE* file;                   // the input: a stream, or memory at the cursor
  const unsigned char* cursor;
  size_t remaining;             // bytes that may still be read
  size_t offset;                // bytes read so far, and where the next chunk header starts
  size_t nextChunk;
};

const size_t NoChunk = SIZE_MAX;

PngState png;

// Never past the end of the input: running out is a broken file, reported like any other.
// libpng allocates a chunk's whole length before reading it, so a chunk header claiming more than
// the input holds is refused as soon as it is read, not after an allocation of up to 2 GB.
void ReadInput(png_structp read, png_bytep destination, png_size_t length) {
  if (length > png.remaining) png_error(read, "Read past the end of the data");
  if (png.file) {
    if (fread(destination, 1, length, png.file) != length) png_error(read, "Read Error");
  } else {
    memcpy(destination, png.cursor, length);
    png.cursor += length;
  }
  if (png.offset == png.nextChunk && length >= 8) {
    const unsigned char* b = destination;
    const uint32_t chunkLength = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    if (chunkLength > PNG_UINT_31_MAX || static_cast<size_t>(chunkLength) + 4 > png.remaining - 8)
      png_error(read, "Chunk runs past the end of the data");
    png.nextChunk = png.offset + 12 + chunkLength;
  } else if (png.offset < png.nextChunk && png.offset + length > png.nextChunk) {
    png.nextChunk = NoChunk;  // out of step with libpng's reads: stop looking rather than guess
  }
  png.remaining -= length;
  png.offset += length;
}

// What is left of a stream after the signature; unknown (no bound but the stream's end) if it
// cannot be measured.
size_t StreamBytesLeft(FILE* file) {
  const long here = ftell(file);
  if (here < 0 || fseek(file, 0, SEEK_END) != 0) return SIZE_MAX;
  const long end = ftell(file);
  if (fseek(file, here, SEEK_SET) != 0) return 0;
  return end >= here ? static_cast<size_t>(end - here) : 0;
}

void CloseImage() {
  if (png.read) png_destroy_read_struct(&png.read, &png.info, nullptr);
  png.read = nullptr;
  png.info = nullptr;
  png.result = 0;
  png.file = nullptr;
  png.cursor = nullptr;
  png.remaining = 0;
  png.offset = 0;
  png.nextChunk = NoChunk;
}

int ProbePng(FILE* file, const void* memory, intptr_t value) {
  // Only one image is open at a time: one that was probed and never decoded goes now.
  CloseImage();
  png.width = 0;
  png.height = 0;

  png_byte signature[8];
  if (file) {
    if (fread(signature, 1, sizeof signature, file) != sizeof signature) return 0;
  } else if (memory) {
    if (value < static_cast<intptr_t>(sizeof signature)) return 0;
    memcpy(signature, memory, sizeof signature);
  } else {
    return 0;
  }
  if (png_sig_cmp(signature, 0, sizeof signature) != 0) return 0;

  png.read = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png.read) return 0;
  png.info = nullptr;
  if (setjmp(png_jmpbuf(png.read))) {
    CloseImage();
    png.width = 0;
    png.height = 0;
    return 0;
  }

  // Both inputs go through the bounded reader; a stream's signature was read above already.
  png.nextChunk = sizeof signature;
  if (file) {
    png.file = file;
    png.remaining = StreamBytesLeft(file);
    png.offset = sizeof signature;
    png_set_sig_bytes(png.read, sizeof signature);
  } else {
    png.cursor = static_cast<const unsigned char*>(memory);
    png.remaining = static_cast<size_t>(value);
    png.offset = 0;
  }
  png_set_read_fn(png.read, nullptr, ReadInput);

  png.info = png_create_info_struct(png.read);
  if (!png.info) {
    CloseImage();
    return 0;
  }
  png_read_info(png.read, png.info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0, compression = 0, filter = 0;
  png_get_IHDR(png.read, png.info, &width, &height, &bitDepth, &colourType, &interlace,
               &compression, &filter);

  // A header may claim any size; the caller allocates what it says, so refuse the absurd here.
  if (width == 0 || height == 0 || width > ImageDecoderMaxSide || height > ImageDecoderMaxSide ||
      static_cast<uint64_t>(width) * height > ImageDecoderMaxPixels) {
    CloseImage();
    return 0;
  }

  png.width = width;
  png.height = height;
  png.bitDepth = bitDepth;
  png.colourType = colourType;
  png.result = (colourType & PNG_COLOR_MASK_ALPHA) ? 2 : 1;
  return png.result;
}

int DecodePng(void* destination, int32_t pitch, intptr_t value) {
  if (!png.result) return 0;

  // The rows must fit the pitch, and, where the caller says how big its buffer is, the buffer.
  const uint64_t rowBytes = static_cast<uint64_t>(png.width) * (png.result == 2 ? 4 : 3);
  if (!destination || pitch < 0 || static_cast<uint64_t>(pitch) < rowBytes) {
    CloseImage();
    return 0;
  }
  const uint64_t span = static_cast<uint64_t>(png.height - 1) * static_cast<uint64_t>(pitch) + rowBytes;
  if (span > static_cast<uint64_t>(PTRDIFF_MAX) ||
      (value != 0 && (value < 0 || span > static_cast<uint64_t>(value)))) {
    CloseImage();
    return 0;
  }

  if (setjmp(png_jmpbuf(png.read))) {
    CloseImage();
    return 0;
  }

  switch (png.colourType) {
    case PNG_COLOR_TYPE_PALETTE:
      png_set_palette_to_rgb(png.read);
      png_set_strip_alpha(png.read);  // a tRNS chunk's transparency is not kept
      break;
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      if (png.bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png.read);
      png_set_gray_to_rgb(png.read);
      break;
    default:
      break;
  }
  if (png.bitDepth == 16) png_set_strip_16(png.read);
  png_set_bgr(png.read);
  const int passes = png_set_interlace_handling(png.read);

  // Each pass walks every row from the top; libpng fills in only that pass's pixels.
  unsigned char* const first = static_cast<unsigned char*>(destination);
  for (int pass = 0; pass < passes; pass++) {
    for (png_uint_32 y = 0; y < png.height; y++) {
      png_bytep rows[1] = {first + static_cast<size_t>(y) * static_cast<size_t>(pitch)};
      png_read_rows(png.read, rows, nullptr, 1);
    }
  }

  CloseImage();
  return 1;
}

uint32_t PngWidth() { return png.width; }

uint32_t PngHeight() { return png.height; }

const ImageDecoder pngDecoder = {ProbePng, DecodePng, PngWidth, PngHeight};

}  // namespace

const ImageDecoder* PngDecoder() { return &pngDecoder; }

void RegisterPngDecoder() {
  if (!ImageDecoderRegistered(&pngDecoder)) RegisterImageDecoder(&pngDecoder);
}
