// The image-decoder registry and the PNG decoder. A caller finds a decoder for its data, reads the
// width and height, and has the rows written top-down into its own buffer at its own pitch:
// probe result 1 gives blue-green-red (3 bytes a pixel), 2 gives blue-green-red-alpha (4 bytes).
#pragma once
#include <cstdint>
#include <cstdio>

struct ImageDecoder {
  // file (or null), memory (or null), and the path of the file or the size limit of the memory.
  // 0: not this format or unreadable; 1: rows will be 24-bit; 2: rows will be 32-bit with alpha.
  int (*probe)(FILE* file, const void* memory, intptr_t value);
  // destination, row pitch in bytes, and 0 (or the destination's size in bytes, to have it
  // checked). 1: every row written; 0: failed. Ends the image the last probe opened either way.
  int (*decode)(void* destination, int32_t pitch, intptr_t value);
  uint32_t (*width)();
  uint32_t (*height)();
};

const int ImageDecoderCapacity = 100;

// Largest picture a decoder accepts: each side, and the whole area in pixels. Larger headers are
// refused at the probe, so a caller's pitch x (height + 1) never overflows 32 bits.
const uint32_t ImageDecoderMaxSide = 16384;
const uint32_t ImageDecoderMaxPixels = 1u << 25;

void ResetImageDecoders();
int RegisterImageDecoder(const ImageDecoder* decoder);   // 0 when the table is full
int ImageDecoderRegistered(const ImageDecoder* decoder);

// value is the size limit when memory is given (no read goes past memory + value), else the
// address of a zero-terminated file path. Returns the probe result of the first decoder that
// recognises the data, else 0. Every non-zero result must be followed by DecodeCurrentImage.
int FindImageDecoder(intptr_t value, const void* memory);
uint32_t CurrentImageWidth();
uint32_t CurrentImageHeight();
// The current decoder's result; closes the file the registry opened, if any.
int DecodeCurrentImage(void* destination, int32_t pitch, intptr_t value);

// Registers the PNG decoder unless it is registered already.
void RegisterPngDecoder();
const ImageDecoder* PngDecoder();
