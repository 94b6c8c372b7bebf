#include "display/pixels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/tests/image_data.h"

using namespace testdata;

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
  const std::vector<uint8_t> file = BuildBitmapFile({5, 3, 24, 0, {}, std::vector<uint8_t>(RowBytes(5, 24) * 3)});
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
  const auto changed = [&](auto change) {
    std::vector<uint8_t> bad = file;
    change(bad);
    return bad;
  };
  const auto takes = [&](auto change) { return SpriteTakes(changed(change), file.size(), &info); };
  // Rows inside, the information header past the end.
  EXPECT_FALSE(SpriteTakes(changed([](auto& f) { Put32(f, 10, 36); }), 50, &info));
  EXPECT_FALSE(takes([](auto& f) { f[1] = 'X'; }));
  EXPECT_FALSE(takes([](auto& f) { Put32(f, 22, static_cast<uint32_t>(-3)); }));   // top-down
  EXPECT_FALSE(takes([](auto& f) { Put32(f, 18, 0); }));
  EXPECT_FALSE(takes([](auto& f) { Put32(f, 18, 70000); }));
  EXPECT_FALSE(takes([](auto& f) { Put32(f, 22, BitmapMaxSide + 1); }));
  EXPECT_FALSE(takes([](auto& f) { Put32(f, 22, 0x80000000u); }));   // the most negative height
  EXPECT_FALSE(takes([](auto& f) { Put32(f, 14, 0xFFFFFFF0u); }));   // a header size that wraps an offset
  EXPECT_FALSE(takes([](auto& f) { Put32(f, 10, static_cast<uint32_t>(f.size() + 1)); }));
  // An OS/2 core header of a usable picture: its sizes are 16-bit.
  const std::vector<uint8_t> core = changed([](auto& f) {
    Put32(f, 14, 12);
    Put16(f, 18, 5), Put16(f, 20, 3), Put16(f, 22, 1), Put16(f, 24, 24);   // width, height, planes, bits
  });
  ASSERT_TRUE(ReadBitmapHeaders(core.data(), core.size(), &info));
  EXPECT_EQ(3, info.height);
  EXPECT_FALSE(SpriteBitmapUsable(info, core.size()));
  EXPECT_FALSE(ReadBitmapHeaders(nullptr, 100, &info));
}

namespace {

// One table of expansions: the pixels expected (0xRRGGBB, the file's bottom row first; a row may
// reach into the slack or the extra row), and every other byte of the destination left as it was.
struct ExpandCase {
  const char* name;
  BitmapLayout layout;
  std::vector<std::vector<uint32_t>> pixels;
  int32_t result = 1;
};

std::vector<uint32_t> Ramp(uint32_t step) {
  std::vector<uint32_t> table(16);
  for (uint32_t i = 0; i < 16; ++i) table[i] = i * step;
  return table;
}

// White, untouched (the destination's filling), red and grey.
const uint32_t W = 0xFFFFFF, U = 0xAAAAAA, R = 0x0000FF, G = 0x444444;

const ExpandCase ExpandCases[] = {
    // Bits past the width set; the table's colours are ignored.
    {"one bit is black and white", {10, 2, 1, 0, {0x123456, 0xFF0000}, {0xA0, 0xC0, 0, 0, 0x7F, 0x7F, 0, 0}},
     {{W, 0, W, 0, 0, 0, 0, 0, W, W}, {0, W, W, W, W, W, W, W, 0, W}}},
    // Pitch 12: the last byte's low nibble lands in the row's slack.
    {"four bits, high nibble first", {3, 2, 4, 0, Ramp(0x111111), {0x12, 0x3F, 0, 0, 0x45, 0x6E, 0, 0}},
     {{0x111111, 0x222222, 0x333333, 0xFFFFFF}, {0x444444, 0x555555, 0x666666, 0xEEEEEE}}},
    // Pitch 16: the top row's slack pixel reaches into the extra row, and no further.
    {"four bits into the extra row", {5, 1, 4, 0, Ramp(0x111111), {0x11, 0x11, 0x1C, 0}},
     {{0x111111, 0x111111, 0x111111, 0x111111, 0x111111, 0xCCCCCC}}},
    {"eight bits", {2, 2, 8, 0, {0x000000, 0x102030, 0xFFFFFF}, {1, 2, 0, 0, 2, 1, 0, 0}},
     {{0x102030, W}, {W, 0x102030}}},
    // Entry 255 lies past the end of the file: black, never read.
    {"index past the data", {2, 1, 8, 0, {0xABCDEF}, {0, 255, 0, 0}}, {{0xABCDEF, 0}}},
    // One full row and half of the next.
    {"short file", {4, 3, 8, 0, {0, R}, {1, 1, 1, 1, 1, 1}}, {{R, R, R, R}, {R, R, U, U}}},
    {"run length 8",
     {6, 4, 8, 1, {0x000000, 0x110000, 0x002200, 0x000033, G},
      {
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
      }},
     {{0x110000, 0x110000, 0x110000, 0x002200, 0x000033, G}, {}, {U, U, G, G, 0x000033, 0x000033}, {0x002200}}},
    {"run length outside the picture",
     {2, 2, 8, 1, {0, W},
      {
          0, 2, 250, 0,     // delta far to the right
          200, 1,           // a run wholly past the width
          0, 4, 1, 1, 1, 1, // a literal past the width
          0, 0, 0, 0,       // two line ends: past the last row
          2, 1,             // nothing left to write into
          0, 1,
      }},
     {}},
    // A literal of 6 with only 2 bytes present.
    {"run length data ending early", {4, 1, 8, 1, {0, R}, {2, 1, 0, 6, 1, 1}}, {{R, R, R, R}}},
    {"run length 4",
     {5, 2, 4, 2, Ramp(1),
      {
          5, 0x12,          // 1 2 1 2 1
          0, 0,
          0, 3, 0x34, 0x50, // literal 3 4 5 (two bytes, already even)
          2, 0xF0,          // F 0
          0, 1,
      }},
     {{1, 2, 1, 2, 1}, {3, 4, 5, 15, 0}}},
    {"two bits", {2, 1, 2, 0, {0, W, 0, 0}, {0xFF, 0, 0, 0}}, {}, 0},
    {"24 bits", {2, 1, 24, 0, {}, std::vector<uint8_t>(8, 0x11)}, {}, 0},
};

}  // namespace

TEST(ExpandPaletteBitmap, Layouts) {
  for (const ExpandCase& c : ExpandCases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> file = BuildBitmapFile(c.layout);
    const size_t pitch = Rgb24Pitch(c.layout.width);   // rows exactly as large as a loader allocates them
    std::vector<uint8_t> rows(pitch * (c.layout.height + 1), 0xAA), expected = rows;
    ASSERT_EQ(c.result, ExpandPaletteBitmap(file.data(), file.size(), rows.data(), static_cast<int32_t>(pitch)));
    for (size_t y = 0; y < c.pixels.size(); ++y)
      for (size_t x = 0; x < c.pixels[y].size(); ++x)
        for (int i = 0; i < 3; ++i) expected.at(y * pitch + 3 * x + i) = c.pixels[y][x] >> (8 * i) & 0xFF;
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(expected[i], rows[i]) << "byte " << i;
  }
  // The index-past-the-data case means something only while entry 255 lies past its file's end.
  EXPECT_GT(54 + 4 * 255 + 3u, BuildBitmapFile(ExpandCases[4].layout).size());
}

TEST(ExpandPaletteBitmap, NarrowPitchIsRefused) {
  BitmapLayout layout{2, 1, 8, 0, {0xFFFFFF}, {0, 0, 0, 0}};
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
