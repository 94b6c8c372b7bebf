// The ten pictures stored in the program's data, back to back with nothing between them:
// sprites 1 to 9, then the preview picture. Each is a complete PNG file.
#pragma once
#include <cstddef>

const int EmbeddedPictureCount = 10;
const int EmbeddedPreviewPicture = 10;
const size_t EmbeddedSpriteFileSize = 782;
const size_t EmbeddedPreviewFileSize = 16328;

// First byte of picture `order` (1 to 9: sprite n; 10: the preview). None for any other order,
// or when the stored data is not the ten files of the known sizes.
const unsigned char* EmbeddedPicture(int order);
// Its size in bytes, 0 where EmbeddedPicture gives none; a bound for readers that take one.
size_t EmbeddedPictureSize(int order);
