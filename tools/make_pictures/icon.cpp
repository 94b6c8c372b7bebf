// The program's icon: the sparkle at several sizes, 32-bit entries with an AND mask.
#include "pictures.h"

namespace {

void Put16(Bytes* out, uint32_t v) {
  out->push_back(uint8_t(v));
  out->push_back(uint8_t(v >> 8));
}
void Put32(Bytes* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A BITMAPINFOHEADER image of twice the height: colour rows bottom-up, then the mask.
Bytes IconImage(int size, int sprite) {
  Bytes pixels = SparkleIcon(size, sprite);
  int maskStride = ((size + 31) / 32) * 4;
  Bytes out;
  Put32(&out, 40);
  Put32(&out, uint32_t(size));
  Put32(&out, uint32_t(size * 2));
  Put16(&out, 1);
  Put16(&out, 32);
  Put32(&out, 0);  // BI_RGB
  Put32(&out, uint32_t(size * size * 4 + maskStride * size));
  for (int i = 0; i < 4; ++i) Put32(&out, 0);
  for (int y = size - 1; y >= 0; --y) {
    out.insert(out.end(), pixels.begin() + size_t(y) * size * 4, pixels.begin() + size_t(y + 1) * size * 4);
  }
  // Mask bit set where the icon is fully transparent, for displays without alpha.
  for (int y = size - 1; y >= 0; --y) {
    Bytes row(maskStride);
    for (int x = 0; x < size; ++x) {
      if (pixels[(size_t(y) * size + x) * 4 + 3] == 0) row[x / 8] |= uint8_t(0x80 >> (x % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

Bytes MakeIcon(const std::vector<int>& sizes, int sprite) {
  std::vector<Bytes> images;
  for (int size : sizes) images.push_back(IconImage(size, sprite));
  Bytes out;
  Put16(&out, 0);
  Put16(&out, 1);  // icon
  Put16(&out, uint32_t(sizes.size()));
  uint32_t offset = uint32_t(6 + 16 * sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i) {
    out.push_back(uint8_t(sizes[i] >= 256 ? 0 : sizes[i]));
    out.push_back(uint8_t(sizes[i] >= 256 ? 0 : sizes[i]));
    out.push_back(0);  // no palette
    out.push_back(0);
    Put16(&out, 1);    // planes
    Put16(&out, 32);   // bits per pixel
    Put32(&out, uint32_t(images[i].size()));
    Put32(&out, offset);
    offset += uint32_t(images[i].size());
  }
  for (const Bytes& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}
