#include "display/pixels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/tests/image_data.h"

using namespace testdata;

namespace {

// The expanded rows of a bitmap, exactly as large as a loader allocates them.
struct Expanded {
  int32_t pitch;
  std::vector<uint8_t> rows;
  int32_t result;
  uint32_t At(int x, int y) const {   // 0xRRGGBB of pixel x in file row y (bottom row is 0)
    const uint8_t* p = &rows[static_cast<size_t>(y) * pitch + 3 * x];
    return static_cast<uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
  }
};

Expanded Expand(const std::vector<uint8_t>& file, int32_t width, int32_t height, uint8_t fill = 0xAA) {
  Expanded e;
  e.pitch = Rgb24Pitch(width);
  e.rows.assign(static_cast<size_t>(e.pitch) * (height + 1), fill);
  e.result = ExpandPaletteBitmap(file.data(), file.size(), e.rows.data(), e.pitch);
  return e;
}

const uint32_t Untouched = 0xAAAAAA;

}  // namespace

TEST(PixelFormat, CodesFollowDepthAndMasks) {
  EXPECT_EQ(PixelFormatPalette, PixelFormatCodeFor(8, 0, 0));
  EXPECT_EQ(PixelFormatPalette, PixelFormatCodeFor(12, 0xF00, 0xF0));
  EXPECT_EQ(PixelFormat555, PixelFormatCodeFor(16, 0x7C00, 0x3E0));
  EXPECT_EQ(PixelFormat565, PixelFormatCodeFor(16, 0xF800, 0x7E0));
  EXPECT_EQ(PixelFormat24Rgb, PixelFormatCodeFor(24, 0xFF, 0xFF00));
  EXPECT_EQ(PixelFormat24Bgr, PixelFormatCodeFor(24, 0xFF0000, 0xFF00));
  EXPECT_EQ(PixelFormat32Rgb, PixelFormatCodeFor(32, 0xFF, 0xFF00));
  EXPECT_EQ(PixelFormat32Bgr, PixelFormatCodeFor(32, 0xFF0000, 0xFF00));
}

TEST(PixelFormat, RgbToPixelByDepth) {
  EXPECT_EQ(0xFC08u, RGBToPixelFor(16, PixelFormat565, 255, 128, 64));
  EXPECT_EQ(0xFC08u, RGBToPixelFor(16, PixelFormat555, 255, 128, 64));   // always 5-6-5
  EXPECT_EQ(0x7E08u, RGBToPixelFor(15, PixelFormat555, 255, 128, 64));
  EXPECT_EQ(0xFF8040u, RGBToPixelFor(32, PixelFormat32Bgr, 255, 128, 64));
  EXPECT_EQ(0x4080FFu, RGBToPixelFor(32, PixelFormat32Rgb, 255, 128, 64));
  EXPECT_EQ(0x4080FFu, RGBToPixelFor(24, PixelFormat24Rgb, 255, 128, 64));
  EXPECT_EQ(0xFF8040u, RGBToPixelFor(24, PixelFormat24Bgr, 255, 128, 64));
  EXPECT_EQ(0u, RGBToPixelFor(8, PixelFormatPalette, 255, 128, 64));
  EXPECT_EQ(0u, RGBToPixelFor(0, 0, 255, 255, 255));
  // Divisions truncate: 7 / 8 and 3 / 4 are 0.
  EXPECT_EQ(0u, RGBToPixelFor(16, PixelFormat565, 7, 3, 7));
}

TEST(BlendTable, Entries) {
  BuildBlendTable();
  EXPECT_EQ(256, BlendTable[255 * 256 + 255]);
  EXPECT_EQ(1, BlendTable[255 * 256 + 0]);
  EXPECT_EQ(64, BlendTable[128 * 256 + 127]);
  EXPECT_EQ(39, BlendTable[100 * 256 + 100]);
  EXPECT_EQ(129, BlendTable[255 * 256 + 128]);
  EXPECT_EQ(2, BlendTable[255 * 256 + 1]);
  EXPECT_EQ(0, BlendTable[0 * 256 + 200]);
}

// What the sprites take: the headers as the image library reads them, judged for a sprite.
bool SpriteTakes(const std::vector<uint8_t>& file, size_t size, BitmapFileLayout* info) {
  return ReadBitmapHeaders(file.data(), size, info) && SpriteBitmapUsable(*info, size);
}

TEST(BitmapFile, HeaderIsReadAndChecked) {
  BitmapLayout layout;
  layout.width = 5;
  layout.height = 3;
  layout.bitsPerPixel = 24;
  layout.pixels.assign(RowBytes(5, 24) * 3, 0);
  std::vector<uint8_t> file = BuildBitmapFile(layout);
  BitmapFileLayout info;
  ASSERT_TRUE(SpriteTakes(file, file.size(), &info));
  EXPECT_EQ(5, info.width);
  EXPECT_EQ(3, info.height);
  EXPECT_EQ(24u, info.bitCount);
  EXPECT_EQ(54u, info.pixelOffset);
  EXPECT_EQ(40u, info.headerSize);
  EXPECT_EQ(16u, BitmapRowBytes(5, 24));
  EXPECT_EQ(16, Rgb24Pitch(5));   // a 5-pixel row: 15 bytes and 1 of padding

  EXPECT_FALSE(SpriteTakes(file, 33, &info));   // header cut short
  std::vector<uint8_t> bad = file;
  Put32(bad, 10, 36);
  EXPECT_FALSE(SpriteTakes(bad, 50, &info));   // rows inside, the information header past the end
  bad = file;
  bad[1] = 'X';
  EXPECT_FALSE(SpriteTakes(bad, bad.size(), &info));
  bad = file;
  Put32(bad, 22, static_cast<uint32_t>(-3));   // top-down
  EXPECT_FALSE(SpriteTakes(bad, bad.size(), &info));
  bad = file;
  Put32(bad, 18, 0);
  EXPECT_FALSE(SpriteTakes(bad, bad.size(), &info));
  bad = file;
  Put32(bad, 18, 70000);
  EXPECT_FALSE(SpriteTakes(bad, bad.size(), &info));
  bad = file;
  Put32(bad, 22, BitmapMaxSide + 1);
  EXPECT_FALSE(SpriteTakes(bad, bad.size(), &info));
  bad = file;
  Put32(bad, 22, 0x80000000u);   // the most negative height
  EXPECT_FALSE(SpriteTakes(bad, bad.size(), &info));
  bad = file;
  Put32(bad, 14, 12);   // an OS/2 core header of a usable picture: its sizes are 16-bit
  Put16(bad, 18, 5);
  Put16(bad, 20, 3);
  Put16(bad, 22, 1);
  Put16(bad, 24, 24);
  ASSERT_TRUE(ReadBitmapHeaders(bad.data(), bad.size(), &info));
  EXPECT_EQ(3, info.height);
  EXPECT_FALSE(SpriteBitmapUsable(info, bad.size()));
  bad = file;
  Put32(bad, 14, 0xFFFFFFF0u);   // a header size that wraps an offset
  EXPECT_FALSE(SpriteTakes(bad, bad.size(), &info));
  bad = file;
  Put32(bad, 10, static_cast<uint32_t>(bad.size() + 1));
  EXPECT_FALSE(SpriteTakes(bad, bad.size(), &info));
  EXPECT_FALSE(ReadBitmapHeaders(nullptr, 100, &info));
}

TEST(ExpandPaletteBitmap, OneBitIsBlackAndWhiteWhateverTheTable) {
  BitmapLayout layout;
  layout.width = 10;
  layout.height = 2;
  layout.bitsPerPixel = 1;
  layout.palette = {0x123456, 0xFF0000};
  // Bottom row: 1010 0000 11|xx xxxx; top row: 0111 1111 01|11 1111 (bits past the width set).
  layout.pixels = {0xA0, 0xC0, 0, 0, 0x7F, 0x7F, 0, 0};
  const Expanded e = Expand(BuildBitmapFile(layout), 10, 2);
  ASSERT_EQ(1, e.result);
  const uint32_t expect[2][10] = {{1, 0, 1, 0, 0, 0, 0, 0, 1, 1}, {0, 1, 1, 1, 1, 1, 1, 1, 0, 1}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(expect[y][x] ? 0xFFFFFFu : 0u, e.At(x, y)) << x << "," << y;
  // The row's slack (pitch 32 for 30 bytes of pixels) is not written.
  EXPECT_EQ(0xAA, e.rows[30]);
  EXPECT_EQ(0xAA, e.rows[31]);
}

TEST(ExpandPaletteBitmap, FourBitsHighNibbleFirstWithOddWidthSlack) {
  BitmapLayout layout;
  layout.width = 3;
  layout.height = 2;
  layout.bitsPerPixel = 4;
  layout.palette.resize(16);
  for (uint32_t i = 0; i < 16; ++i) layout.palette[i] = i * 0x111111;
  layout.pixels = {0x12, 0x3F, 0, 0, 0x45, 0x6E, 0, 0};
  const Expanded e = Expand(BuildBitmapFile(layout), 3, 2);
  ASSERT_EQ(1, e.result);
  EXPECT_EQ(0x111111u, e.At(0, 0));
  EXPECT_EQ(0x222222u, e.At(1, 0));
  EXPECT_EQ(0x333333u, e.At(2, 0));
  EXPECT_EQ(0x444444u, e.At(0, 1));
  EXPECT_EQ(0x555555u, e.At(1, 1));
  EXPECT_EQ(0x666666u, e.At(2, 1));
  // Pitch 12: the last byte's low nibble lands in the row's slack.
  EXPECT_EQ(0xFFFFFFu, e.At(3, 0));
  EXPECT_EQ(0xEEEEEEu, e.At(3, 1));

  // Width 5, pitch 16: the top row's slack pixel reaches into the extra row, and no further.
  layout.width = 5;
  layout.height = 1;
  layout.pixels = {0x11, 0x11, 0x1C, 0};
  const Expanded wide = Expand(BuildBitmapFile(layout), 5, 1);
  ASSERT_EQ(static_cast<size_t>(32), wide.rows.size());
  EXPECT_EQ(0x111111u, wide.At(4, 0));
  EXPECT_EQ(0xCC, wide.rows[15]);
  EXPECT_EQ(0xCC, wide.rows[16]);
  EXPECT_EQ(0xCC, wide.rows[17]);
  EXPECT_EQ(0xAA, wide.rows[18]);
}

TEST(ExpandPaletteBitmap, EightBitsUncompressed) {
  BitmapLayout layout;
  layout.width = 2;
  layout.height = 2;
  layout.bitsPerPixel = 8;
  layout.palette = {0x000000, 0x102030, 0xFFFFFF};
  layout.pixels = {1, 2, 0, 0, 2, 1, 0, 0};
  const Expanded e = Expand(BuildBitmapFile(layout), 2, 2);
  ASSERT_EQ(1, e.result);
  EXPECT_EQ(0x102030u, e.At(0, 0));
  EXPECT_EQ(0xFFFFFFu, e.At(1, 0));
  EXPECT_EQ(0xFFFFFFu, e.At(0, 1));
  EXPECT_EQ(0x102030u, e.At(1, 1));
  EXPECT_EQ(0xAA, e.rows[6]);   // slack bytes stay
}

TEST(ExpandPaletteBitmap, IndicesPastTheEndOfTheDataAreBlack) {
  BitmapLayout layout;
  layout.width = 2;
  layout.height = 1;
  layout.bitsPerPixel = 8;
  layout.palette = {0xABCDEF};
  layout.pixels = {0, 255, 0, 0};
  std::vector<uint8_t> file = BuildBitmapFile(layout);
  const Expanded e = Expand(file, 2, 1);
  EXPECT_EQ(0xABCDEFu, e.At(0, 0));
  // Entry 255 lies inside the file (the pixel rows follow the table) or is black: never past it.
  const size_t entry = 54 + 4 * 255;
  EXPECT_GT(entry + 3, file.size());
  EXPECT_EQ(0u, e.At(1, 0));
}

TEST(ExpandPaletteBitmap, ShortFileLeavesMissingRowsAlone) {
  BitmapLayout layout;
  layout.width = 4;
  layout.height = 3;
  layout.bitsPerPixel = 8;
  layout.palette = {0, 0x0000FF};
  layout.pixels = {1, 1, 1, 1, 1, 1};   // one full row and half of the next
  const Expanded e = Expand(BuildBitmapFile(layout), 4, 3);
  ASSERT_EQ(1, e.result);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(0x0000FFu, e.At(x, 0));
  EXPECT_EQ(0x0000FFu, e.At(1, 1));
  EXPECT_EQ(Untouched, e.At(2, 1));
  EXPECT_EQ(Untouched, e.At(0, 2));
}

TEST(ExpandPaletteBitmap, RunLength8) {
  BitmapLayout layout;
  layout.width = 6;
  layout.height = 4;
  layout.bitsPerPixel = 8;
  layout.compression = 1;
  layout.palette = {0x000000, 0x110000, 0x002200, 0x000033, 0x444444};
  layout.pixels = {
      3, 1,             // row 0: three of index 1
      0, 3, 2, 3, 4, 0, // literal 2, 3, 4 padded to 4 bytes
      0, 0,             // end of line
      0, 2, 2, 1,       // delta: right 2, down 1 (row 2, column 2)
      2, 4,             // two of index 4
      9, 3,             // a run past the width: only columns 4 and 5 are written
      0, 0,             // end of line: row 3
      1, 2,             // one of index 2
      0, 1,             // end of bitmap
      5, 4,             // never read
  };
  const Expanded e = Expand(BuildBitmapFile(layout), 6, 4);
  ASSERT_EQ(1, e.result);
  EXPECT_EQ(0x110000u, e.At(0, 0));
  EXPECT_EQ(0x110000u, e.At(2, 0));
  EXPECT_EQ(0x002200u, e.At(3, 0));
  EXPECT_EQ(0x000033u, e.At(4, 0));
  EXPECT_EQ(0x444444u, e.At(5, 0));
  for (int x = 0; x < 6; ++x) EXPECT_EQ(Untouched, e.At(x, 1)) << x;
  EXPECT_EQ(Untouched, e.At(1, 2));
  EXPECT_EQ(0x444444u, e.At(2, 2));
  EXPECT_EQ(0x444444u, e.At(3, 2));
  EXPECT_EQ(0x000033u, e.At(4, 2));
  EXPECT_EQ(0x000033u, e.At(5, 2));
  EXPECT_EQ(0x002200u, e.At(0, 3));
  EXPECT_EQ(Untouched, e.At(1, 3));
  // The run past the width did not reach the slack or the extra row.
  EXPECT_EQ(0xAA, e.rows[2 * e.pitch + 18]);
  for (int i = 0; i < e.pitch; ++i) EXPECT_EQ(0xAA, e.rows[4 * e.pitch + i]);
}

TEST(ExpandPaletteBitmap, RunLengthOutsideThePictureIsDropped) {
  BitmapLayout layout;
  layout.width = 2;
  layout.height = 2;
  layout.bitsPerPixel = 8;
  layout.compression = 1;
  layout.palette = {0, 0xFFFFFF};
  layout.pixels = {
      0, 2, 250, 0,     // delta far to the right
      200, 1,           // a run wholly past the width
      0, 4, 1, 1, 1, 1, // a literal past the width
      0, 0, 0, 0,       // two line ends: past the last row
      2, 1,             // nothing left to write into
      0, 1,
  };
  const Expanded e = Expand(BuildBitmapFile(layout), 2, 2, 0x55);
  ASSERT_EQ(1, e.result);
  for (uint8_t b : e.rows) EXPECT_EQ(0x55, b);
}

TEST(ExpandPaletteBitmap, RunLengthDataEndingEarlyStops) {
  BitmapLayout layout;
  layout.width = 4;
  layout.height = 1;
  layout.bitsPerPixel = 8;
  layout.compression = 1;
  layout.palette = {0, 0x0000FF};
  layout.pixels = {2, 1, 0, 6, 1, 1};   // a literal of 6 with only 2 bytes present
  const Expanded e = Expand(BuildBitmapFile(layout), 4, 1);
  ASSERT_EQ(1, e.result);
  EXPECT_EQ(0x0000FFu, e.At(0, 0));
  EXPECT_EQ(0x0000FFu, e.At(1, 0));
  EXPECT_EQ(0x0000FFu, e.At(2, 0));
  EXPECT_EQ(0x0000FFu, e.At(3, 0));
  EXPECT_EQ(0xAA, e.rows[12]);
}

TEST(ExpandPaletteBitmap, RunLength4IsDecodedLikeRunLength8) {
  BitmapLayout layout;
  layout.width = 5;
  layout.height = 2;
  layout.bitsPerPixel = 4;
  layout.compression = 2;
  layout.palette.resize(16);
  for (uint32_t i = 0; i < 16; ++i) layout.palette[i] = i;
  layout.pixels = {
      5, 0x12,          // 1 2 1 2 1
      0, 0,
      0, 3, 0x34, 0x50, // literal 3 4 5 (two bytes, already even)
      2, 0xF0,          // F 0
      0, 1,
  };
  const Expanded e = Expand(BuildBitmapFile(layout), 5, 2);
  ASSERT_EQ(1, e.result);
  const uint32_t row0[5] = {1, 2, 1, 2, 1}, row1[5] = {3, 4, 5, 15, 0};
  for (int x = 0; x < 5; ++x) {
    EXPECT_EQ(row0[x], e.At(x, 0)) << x;
    EXPECT_EQ(row1[x], e.At(x, 1)) << x;
  }
}

TEST(ExpandPaletteBitmap, UnsupportedLayoutsWriteNothing) {
  BitmapLayout layout;
  layout.width = 2;
  layout.height = 1;
  layout.bitsPerPixel = 2;
  layout.palette = {0, 0xFFFFFF, 0, 0};
  layout.pixels = {0xFF, 0, 0, 0};
  Expanded e = Expand(BuildBitmapFile(layout), 2, 1);
  EXPECT_EQ(0, e.result);
  for (uint8_t b : e.rows) EXPECT_EQ(0xAA, b);
  layout.bitsPerPixel = 24;
  layout.palette.clear();
  layout.pixels.assign(8, 0x11);
  e = Expand(BuildBitmapFile(layout), 2, 1);
  EXPECT_EQ(0, e.result);
  for (uint8_t b : e.rows) EXPECT_EQ(0xAA, b);
  // A pitch too small for the rows is refused.
  layout.bitsPerPixel = 8;
  layout.palette = {0xFFFFFF};
  layout.pixels.assign(4, 0);
  std::vector<uint8_t> file = BuildBitmapFile(layout);
  std::vector<uint8_t> small(20, 0xAA);
  EXPECT_EQ(0, ExpandPaletteBitmap(file.data(), file.size(), small.data(), 5));
}

namespace {

std::vector<uint8_t> Convert(const PixelSource& source, int32_t depth, int32_t code, bool alpha, int32_t pitch) {
  std::vector<uint8_t> out(static_cast<size_t>(pitch) * source.height, 0xCC);
  ConvertSpritePixels(source, out.data(), pitch, depth, code, alpha);
  return out;
}

uint16_t Pixel16(const std::vector<uint8_t>& out, size_t at) { return static_cast<uint16_t>(out[at] | out[at + 1] << 8); }

}  // namespace

TEST(ConvertSpritePixels, RgbToSixteenBits) {
  // One row of two 24-bit pixels: (B, G, R) = (64, 128, 255) and (7, 3, 8), then padding.
  const uint8_t rows[8] = {64, 128, 255, 7, 3, 8, 0xEE, 0xEE};
  PixelSource source{rows, 8, 24, 2, 1, false};
  std::vector<uint8_t> out = Convert(source, 16, PixelFormat565, false, 6);
  EXPECT_EQ(0xFC08, Pixel16(out, 0));
  EXPECT_EQ(0x0800, Pixel16(out, 2));
  EXPECT_EQ(0xCC, out[4]);
  out = Convert(source, 16, PixelFormat555, false, 6);
  EXPECT_EQ(((255 & 0xF8) << 7) | ((128 & 0xF8) << 2) | (64 >> 3), Pixel16(out, 0));
}

TEST(ConvertSpritePixels, FiveFiveFiveBitmapRows) {
  // Bitmap rows bottom-up: the first stored row becomes the last surface row.
  const uint8_t rows[8] = {0x1F, 0x7C, 0, 0, 0xE0, 0x03, 0, 0};   // 0x7C1F, then 0x03E0
  PixelSource source{rows, 4, 16, 1, 2, true};
  std::vector<uint8_t> out = Convert(source, 16, PixelFormat555, false, 2);
  EXPECT_EQ(0x03E0, Pixel16(out, 0));
  EXPECT_EQ(0x7C1F, Pixel16(out, 2));
  out = Convert(source, 16, PixelFormat565, false, 2);
  EXPECT_EQ(0x07C0, Pixel16(out, 0));   // green 31 of 5 bits moved up one
  EXPECT_EQ(0xF81F, Pixel16(out, 2));
  out = Convert(source, 32, PixelFormat32Bgr, false, 4);
  EXPECT_EQ((std::vector<uint8_t>{0, 0xF8, 0, 0, 0xF8, 0, 0xF8, 0}), out);
  out = Convert(source, 24, PixelFormat24Bgr, false, 3);
  EXPECT_EQ((std::vector<uint8_t>{0, 0xF8, 0, 0xF8, 0, 0xF8}), out);
}

TEST(ConvertSpritePixels, WideTargetsCopyBytesAndAlpha) {
  const uint8_t rows[8] = {1, 2, 3, 200, 4, 5, 6, 100};
  PixelSource source{rows, 8, 32, 2, 1, false};
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 200, 4, 5, 6, 100}), Convert(source, 32, PixelFormat32Bgr, true, 8));
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}), Convert(source, 32, PixelFormat32Bgr, false, 8));
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 5, 6}), Convert(source, 24, PixelFormat24Bgr, true, 6));
  // 24-bit sources have no alpha to keep.
  const uint8_t rgb[8] = {1, 2, 3, 4, 5, 6, 0, 0};
  PixelSource source24{rgb, 8, 24, 2, 1, false};
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}), Convert(source24, 32, PixelFormat32Bgr, true, 8));
}

TEST(ConvertSpritePixels, TopDownAndBottomUpRows) {
  const uint8_t rows[8] = {10, 10, 10, 0, 20, 20, 20, 0};
  PixelSource source{rows, 4, 24, 1, 2, false};
  std::vector<uint8_t> out = Convert(source, 32, PixelFormat32Bgr, false, 4);
  EXPECT_EQ(10, out[0]);
  EXPECT_EQ(20, out[4]);
  source.bottomUp = true;
  out = Convert(source, 32, PixelFormat32Bgr, false, 4);
  EXPECT_EQ(20, out[0]);
  EXPECT_EQ(10, out[4]);
}

TEST(ConvertSpritePixels, PaletteIndicesAndUnsupportedCombinations) {
  const uint8_t rows[8] = {1, 2, 3, 0, 4, 5, 6, 0};
  PixelSource source{rows, 4, 8, 3, 2, true};
  EXPECT_EQ((std::vector<uint8_t>{4, 5, 6, 0xCC, 1, 2, 3, 0xCC}), Convert(source, 8, PixelFormatPalette, false, 4));
  std::vector<uint8_t> untouched(8, 0xCC);
  EXPECT_EQ(untouched, Convert(source, 32, PixelFormat32Bgr, false, 4));   // palette rows on a wide screen
  source.bitsPerPixel = 24;
  source.width = 1;
  EXPECT_EQ(untouched, Convert(source, 8, PixelFormatPalette, false, 4));
  EXPECT_EQ(untouched, Convert(source, 12, PixelFormatPalette, false, 4));
}
