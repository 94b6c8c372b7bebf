// The ten embedded pictures: where each starts, the exact layout of every file, the sparkle's
// pixels and hues, and decoding through the decoder registry as the loaders do it.
#include "app/embedded.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/decoders.h"

extern const unsigned char EmbeddedImageData[];
extern const size_t EmbeddedImageDataSize;

namespace {

uint32_t Crc(const unsigned char* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

uint32_t Be32(const unsigned char* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

struct Chunk {
  std::string type;
  std::vector<unsigned char> data;
  bool crcValid;
};

// Walks a file from its first byte to the end of IEND, never past `limit` bytes.
bool ReadChunks(const unsigned char* file, size_t limit, std::vector<Chunk>* chunks, size_t* used) {
  static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (limit < 8 || std::memcmp(file, signature, 8) != 0) return false;
  size_t pos = 8;
  while (pos + 12 <= limit) {
    uint32_t length = Be32(file + pos);
    if (length > limit - pos - 12) return false;
    Chunk c;
    c.type.assign(reinterpret_cast<const char*>(file + pos + 4), 4);
    c.data.assign(file + pos + 8, file + pos + 8 + length);
    c.crcValid = Crc(file + pos + 4, length + 4) == Be32(file + pos + 8 + length);
    chunks->push_back(c);
    pos += 12 + length;
    if (c.type == "IEND") {
      *used = pos;
      return true;
    }
  }
  return false;
}

const Chunk* Find(const std::vector<Chunk>& chunks, const char* type) {
  for (const Chunk& c : chunks) {
    if (c.type == type) return &c;
  }
  return nullptr;
}

int Paeth(int a, int b, int c) {
  int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

// The palette indices of an 8-bit palette picture, by inflating and unfiltering its IDAT.
bool Indices(const std::vector<unsigned char>& idat, uint32_t width, uint32_t height, std::vector<uint8_t>* out) {
  std::vector<unsigned char> raw(size_t(width + 1) * height);
  uLongf rawSize = uLongf(raw.size());
  if (uncompress(raw.data(), &rawSize, idat.data(), uLong(idat.size())) != Z_OK || rawSize != raw.size()) return false;
  out->assign(size_t(width) * height, 0);
  for (uint32_t y = 0; y < height; ++y) {
    const unsigned char* in = &raw[size_t(y) * (width + 1)];
    uint8_t* row = &(*out)[size_t(y) * width];
    const uint8_t* up = y ? row - width : nullptr;
    for (uint32_t x = 0; x < width; ++x) {
      int a = x ? row[x - 1] : 0, b = up ? up[x] : 0, c = (up && x) ? up[x - 1] : 0;
      int predicted;
      switch (in[0]) {
        case 0: predicted = 0; break;
        case 1: predicted = a; break;
        case 2: predicted = b; break;
        case 3: predicted = (a + b) / 2; break;
        case 4: predicted = Paeth(a, b, c); break;
        default: return false;
      }
      row[x] = uint8_t(in[x + 1] + predicted);
    }
  }
  return true;
}

struct Rgb {
  int r, g, b;
};

// The picture as the program sees it: registry, PNG decoder, 24-bit blue-green-red rows.
struct Decoded {
  int probe = 0, decode = 0;
  uint32_t width = 0, height = 0;
  int32_t pitch = 0;
  std::vector<unsigned char> rows;
  Rgb At(int x, int y) const {
    const unsigned char* p = &rows[size_t(y) * pitch + size_t(x) * 3];
    return {p[2], p[1], p[0]};
  }
};

Decoded DecodeThroughRegistry(int order, intptr_t limit) {
  Decoded d;
  d.probe = FindImageDecoder(limit, EmbeddedPicture(order));
  if (d.probe == 0) return d;
  d.width = CurrentImageWidth();
  d.height = CurrentImageHeight();
  d.pitch = int32_t(d.probe == 2 ? 4 * d.width : 3 * d.width + (d.width & 3));
  d.rows.assign(size_t(d.pitch) * (d.height + 1), 0xAB);
  d.decode = DecodeCurrentImage(d.rows.data(), d.pitch, 0);
  return d;
}

class EmbeddedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetImageDecoders();
    RegisterPngDecoder();
  }
  void TearDown() override { ResetImageDecoders(); }
};

// Per sprite: the table's brightest colour and the hue's mid-glow colour.
const Rgb Brightest[9] = {{0xF9, 0xFB, 0xFF}, {0xF9, 0xFE, 0xFF}, {0xF9, 0xFF, 0xFC},
                          {0xFB, 0xFF, 0xF9}, {0xFF, 0xFF, 0xF9}, {0xFF, 0xFD, 0xF9},
                          {0xFF, 0xF9, 0xF9}, {0xFF, 0xF9, 0xFD}, {0xFD, 0xF9, 0xFF}};
const Rgb MidGlow[9] = {{0x17, 0x5A, 0xBF}, {0x18, 0xB8, 0xBE}, {0x18, 0xBE, 0x66},
                        {0x62, 0xBE, 0x18}, {0xB8, 0xBE, 0x18}, {0xBE, 0x76, 0x18},
                        {0xBE, 0x18, 0x28}, {0xBE, 0x18, 0x99}, {0x72, 0x18, 0xBE}};

int Sum(const Rgb& c) { return c.r + c.g + c.b; }
bool Black(const Rgb& c) { return c.r == 0 && c.g == 0 && c.b == 0; }

}  // namespace

TEST(EmbeddedPictures, StartsFollowFromTheFixedSizes) {
  ASSERT_EQ(EmbeddedImageDataSize, 9 * EmbeddedSpriteFileSize + EmbeddedPreviewFileSize);
  EXPECT_EQ(EmbeddedPicture(1), EmbeddedImageData);
  for (int n = 1; n < EmbeddedPictureCount; ++n) {
    EXPECT_EQ(EmbeddedPicture(n + 1), EmbeddedPicture(n) + EmbeddedPictureSize(n)) << n;
  }
  EXPECT_EQ(EmbeddedPicture(EmbeddedPreviewPicture) + EmbeddedPictureSize(EmbeddedPreviewPicture),
            EmbeddedImageData + EmbeddedImageDataSize);
  for (int bad : {0, -1, 11, 1000}) {
    EXPECT_EQ(EmbeddedPicture(bad), nullptr) << bad;
    EXPECT_EQ(EmbeddedPictureSize(bad), 0u) << bad;
  }
}

TEST(EmbeddedPictures, EveryFileHasTheExactChunkLayout) {
  const bool isSprite[10] = {true, true, true, true, true, true, true, true, true, false};
  for (int order = 1; order <= EmbeddedPictureCount; ++order) {
    SCOPED_TRACE("picture " + std::to_string(order));
    bool sprite = isSprite[order - 1];
    const unsigned char* file = EmbeddedPicture(order);
    ASSERT_NE(file, nullptr);
    // From the first byte, the file ends with IEND exactly where the next one starts.
    std::vector<Chunk> chunks;
    size_t used = 0;
    size_t room = size_t(EmbeddedImageData + EmbeddedImageDataSize - file);
    ASSERT_TRUE(ReadChunks(file, room, &chunks, &used));
    EXPECT_EQ(used, sprite ? 782u : 16328u);

    std::vector<std::string> order_ = {"IHDR", "tEXt", "tIME", "pHYs", "gAMA", "PLTE"};
    if (sprite) order_.push_back("tRNS");
    order_.push_back("IDAT");
    order_.push_back("IEND");
    std::vector<std::string> types;
    for (const Chunk& c : chunks) {
      types.push_back(c.type);
      EXPECT_TRUE(c.crcValid) << c.type;
    }
    ASSERT_EQ(types, order_);

    const std::vector<unsigned char>& ihdr = chunks[0].data;
    ASSERT_EQ(ihdr.size(), 13u);
    EXPECT_EQ(Be32(&ihdr[0]), sprite ? 16u : 400u);
    EXPECT_EQ(Be32(&ihdr[4]), sprite ? 16u : 320u);
    EXPECT_EQ(std::vector<unsigned char>(ihdr.begin() + 8, ihdr.end()),
              (std::vector<unsigned char>{8, 3, 0, 0, 0}));  // depth, palette, deflate, filter, no interlace

    const std::vector<unsigned char>& text = Find(chunks, "tEXt")->data;
    const char keyword[] = "Creation Time";
    ASSERT_GT(text.size(), sizeof keyword);
    EXPECT_EQ(std::memcmp(text.data(), keyword, sizeof keyword), 0);  // keyword and its zero

    EXPECT_EQ(Find(chunks, "tIME")->data.size(), 7u);
    const std::vector<unsigned char>& phys = Find(chunks, "pHYs")->data;
    ASSERT_EQ(phys.size(), 9u);
    EXPECT_EQ(Be32(&phys[0]), 2834u);
    EXPECT_EQ(Be32(&phys[4]), 2834u);
    EXPECT_EQ(phys[8], 1);
    const std::vector<unsigned char>& gama = Find(chunks, "gAMA")->data;
    ASSERT_EQ(gama.size(), 4u);
    EXPECT_EQ(Be32(&gama[0]), 45455u);

    EXPECT_EQ(Find(chunks, "PLTE")->data.size(), (sprite ? 115u : 256u) * 3);
    if (sprite) {
      EXPECT_EQ(Find(chunks, "tRNS")->data, std::vector<unsigned char>{0});
    }
    EXPECT_EQ(Find(chunks, "IDAT")->data.size(), sprite ? 244u : 15380u);
    EXPECT_TRUE(Find(chunks, "IEND")->data.empty());
  }
}

TEST(EmbeddedPictures, SpritesShareOneLayoutThatNeverUsesTheTransparentIndex) {
  std::vector<uint8_t> first;
  for (int n = 1; n <= 9; ++n) {
    SCOPED_TRACE("sprite " + std::to_string(n));
    std::vector<Chunk> chunks;
    size_t used;
    ASSERT_TRUE(ReadChunks(EmbeddedPicture(n), EmbeddedPictureSize(n), &chunks, &used));
    std::vector<uint8_t> indices;
    ASSERT_TRUE(Indices(Find(chunks, "IDAT")->data, 16, 16, &indices));
    for (size_t i = 0; i < indices.size(); ++i) {
      EXPECT_NE(indices[i], 0) << "pixel " << i;
      EXPECT_LT(indices[i], 115) << "pixel " << i;
    }
    if (n == 1) first = indices;
    EXPECT_EQ(indices, first);
    // The palettes differ: nine hues.
    if (n > 1) {
      std::vector<Chunk> one;
      ASSERT_TRUE(ReadChunks(EmbeddedPicture(1), EmbeddedPictureSize(1), &one, &used));
      EXPECT_NE(Find(chunks, "PLTE")->data, Find(one, "PLTE")->data);
    }
  }
}

TEST(EmbeddedPictures, SpritesAreOpaqueWithTheirTransparencyApplied) {
  // Read with the tRNS entry turned into alpha, every pixel is fully opaque.
  for (int n = 1; n <= 9; ++n) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, EmbeddedPicture(n), EmbeddedPictureSize(n))) << n;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> rgba(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) << n;
    ASSERT_EQ(rgba.size(), 16u * 16 * 4);
    for (size_t i = 3; i < rgba.size(); i += 4) EXPECT_EQ(rgba[i], 255) << "sprite " << n << " pixel " << i / 4;
  }
}

TEST_F(EmbeddedTest, SpritesDecodeOpaqueToTheSparkle) {
  for (int n = 1; n <= 9; ++n) {
    SCOPED_TRACE("sprite " + std::to_string(n));
    // The loaders pass a generous size limit; the data must still be read only up to IEND.
    Decoded d = DecodeThroughRegistry(n, 10000000);
    ASSERT_EQ(d.probe, 1);  // 24-bit rows: the transparency entry adds no alpha
    ASSERT_EQ(d.decode, 1);
    ASSERT_EQ(d.width, 16u);
    ASSERT_EQ(d.height, 16u);

    // The brightest pixel is at column 8, row 7, with the table's colour.
    Rgb top = d.At(8, 7);
    EXPECT_EQ(top.r, Brightest[n - 1].r);
    EXPECT_EQ(top.g, Brightest[n - 1].g);
    EXPECT_EQ(top.b, Brightest[n - 1].b);
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        if (x != 8 || y != 7) {
          EXPECT_LT(Sum(d.At(x, y)), Sum(top)) << x << "," << y;
        }
      }
    }
    // Row 15 and the corners are black; the rays reach every edge, the diagonals the corners'
    // neighbourhood, and all fade outwards.
    for (int x = 0; x < 16; ++x) EXPECT_TRUE(Black(d.At(x, 15))) << x;
    EXPECT_TRUE(Black(d.At(0, 0)) || Sum(d.At(0, 0)) < 30);
    for (int edge : {0, 15}) EXPECT_FALSE(Black(d.At(edge, 7))) << edge;
    for (int edge : {0, 14}) EXPECT_FALSE(Black(d.At(8, edge))) << edge;
    for (int step = 1; step <= 6; ++step) {
      EXPECT_LT(Sum(d.At(8 + step + 1, 7)), Sum(d.At(8 + step, 7)));
      EXPECT_LT(Sum(d.At(8, 7 - step - 1)), Sum(d.At(8, 7 - step)));
    }
    // A diagonal pixel outshines its neighbours off the diagonal, and the rays outshine it.
    EXPECT_GT(Sum(d.At(11, 4)), Sum(d.At(10, 4)));
    EXPECT_GT(Sum(d.At(11, 4)), Sum(d.At(11, 5)));
    EXPECT_LT(Sum(d.At(11, 4)), Sum(d.At(11, 7)));
    // Round glow: equal distances give near-equal light.
    EXPECT_NEAR(Sum(d.At(10, 8)), Sum(d.At(7, 9)), 6);

    // Somewhere in the glow is the hue's mid-glow colour, and the glow carries that hue.
    bool midFound = false;
    for (int y = 0; y < 16 && !midFound; ++y) {
      for (int x = 0; x < 16; ++x) {
        Rgb c = d.At(x, y);
        if (std::abs(c.r - MidGlow[n - 1].r) <= 12 && std::abs(c.g - MidGlow[n - 1].g) <= 12 &&
            std::abs(c.b - MidGlow[n - 1].b) <= 12) {
          midFound = true;
          break;
        }
      }
    }
    EXPECT_TRUE(midFound);
    // The glow beside the core keeps the hue's order of channels wherever the hue is clear.
    Rgb glow = d.At(6, 7);
    const int g[3] = {glow.r, glow.g, glow.b};
    const int m[3] = {MidGlow[n - 1].r, MidGlow[n - 1].g, MidGlow[n - 1].b};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        if (m[i] - m[j] > 20) {
          EXPECT_GT(g[i], g[j]) << "channels " << i << " and " << j;
        }
      }
    }
  }
}

TEST_F(EmbeddedTest, PreviewDecodesToAStillMostlyBlack) {
  int order = EmbeddedPreviewPicture;
  Decoded d = DecodeThroughRegistry(order, intptr_t(EmbeddedPictureSize(order)));
  ASSERT_EQ(d.probe, 1);
  ASSERT_EQ(d.decode, 1);
  ASSERT_EQ(d.width, 400u);
  ASSERT_EQ(d.height, 320u);
  size_t black = 0;
  long sumX = 0, sumY = 0, lit = 0;
  int left = 400, right = -1;
  std::vector<uint32_t> colours;
  for (int y = 0; y < 320; ++y) {
    for (int x = 0; x < 400; ++x) {
      Rgb c = d.At(x, y);
      if (Black(c)) {
        ++black;
        continue;
      }
      ++lit;
      sumX += x;
      sumY += y;
      left = std::min(left, x);
      right = std::max(right, x);
      colours.push_back(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b));
    }
  }
  double share = double(black) / (400 * 320);
  EXPECT_GT(share, 0.84);
  EXPECT_LT(share, 0.90);
  // The figure sits in the middle and is about 200 pixels across.
  EXPECT_NEAR(double(sumX) / lit, 200, 40);
  EXPECT_NEAR(double(sumY) / lit, 160, 40);
  EXPECT_GT(right - left, 150);
  EXPECT_LT(right - left, 300);
  // Many colours: most of the palette is in use.
  std::sort(colours.begin(), colours.end());
  colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
  EXPECT_GT(colours.size(), 200u);
}
