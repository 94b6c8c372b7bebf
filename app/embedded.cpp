#include "app/embedded.h"

// Generated from app/assets at build time.
extern const unsigned char EmbeddedImageData[];
extern const size_t EmbeddedImageDataSize;

namespace {

// No length is stored with the files, so every start follows from the fixed sizes; data of any
// other total (pictures missing or redrawn at other sizes) is not handed out at all.
const size_t ExpectedTotal = 9 * EmbeddedSpriteFileSize + EmbeddedPreviewFileSize;

bool Valid(int order) {
  return order >= 1 && order <= EmbeddedPictureCount && EmbeddedImageDataSize == ExpectedTotal;
}

}  // namespace

const unsigned char* EmbeddedPicture(int order) {
  if (!Valid(order)) return nullptr;
  return EmbeddedImageData + size_t(order - 1) * EmbeddedSpriteFileSize;
}

size_t EmbeddedPictureSize(int order) {
  if (!Valid(order)) return 0;
  return order == EmbeddedPreviewPicture ? EmbeddedPreviewFileSize : EmbeddedSpriteFileSize;
}
