#include "image/formats.h"

#include <gtest/gtest.h>

#include "image/tests/image_data.h"

using namespace testdata;

namespace {

std::vector<uint8_t> Bmp8() {
  return BmpFile(5, 3, 8, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF}, [](int x, int y) { return (x + y) % 4; });
}

TEST(BitmapFileLayout, ReadsEveryDepth) {
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    std::vector<uint32_t> palette;
    if (bits <= 8) palette.assign(1u << bits, 0);
    auto file = BmpFile(7, 4, bits, palette, [](int, int) { return 1; });
    BitmapFileLayout layout;
    ASSERT_TRUE(ParseBitmapFile(file.data(), file.size(), &layout)) << bits;
    EXPECT_EQ(7, layout.width);
    EXPECT_EQ(4, layout.height);
    EXPECT_EQ(bits, layout.bitCount);
    EXPECT_EQ(RowBytes(7, bits) * 4u, layout.pixelBytes);
    EXPECT_EQ(file.size(), layout.pixelOffset + layout.pixelBytes);
  }
}

TEST(BitmapFileLayout, EveryTruncationIsRefused) {
  auto file = Bmp8();
  BitmapFileLayout layout;
  ASSERT_TRUE(ParseBitmapFile(file.data(), file.size(), &layout));
  for (size_t size = 0; size < file.size(); size++)
    EXPECT_FALSE(ParseBitmapFile(file.data(), size, &layout)) << size;
}

TEST(BitmapFileLayout, RefusesBrokenHeaders) {
  BitmapFileLayout layout;
  auto check = [&](auto change) {
    auto file = Bmp8();
    change(file);
    return ParseBitmapFile(file.data(), file.size(), &layout);
  };
  EXPECT_FALSE(check([](auto& f) { f[1] = 'X'; }));
  EXPECT_FALSE(check([](auto& f) { Put32(f, 10, 0xFFFFFFF0u); }));                 // pixels past the end
  EXPECT_FALSE(check([](auto& f) { Put32(f, 14, 0xFFFFFFFFu); }));                 // header past the end
  EXPECT_FALSE(check([](auto& f) { Put32(f, 14, 20); }));                          // no such header
  EXPECT_FALSE(check([](auto& f) { Put32(f, 18, 0); }));                           // width 0
  EXPECT_FALSE(check([](auto& f) { Put32(f, 18, 0x80000000u); }));                 // negative width
  EXPECT_FALSE(check([](auto& f) { Put32(f, 18, 0x7FFFFFFFu); }));                 // rows overflow the data
  EXPECT_FALSE(check([](auto& f) { Put32(f, 22, 0); }));                           // height 0
  EXPECT_FALSE(check([](auto& f) { Put32(f, 22, 0x80000000u); }));                 // INT32_MIN
  EXPECT_FALSE(check([](auto& f) { Put32(f, 22, 0x7FFFFFFFu); }));
  EXPECT_FALSE(check([](auto& f) { Put16(f, 26, 2); }));                           // planes
  EXPECT_FALSE(check([](auto& f) { Put16(f, 28, 7); }));                           // bit count
  EXPECT_FALSE(check([](auto& f) { Put32(f, 30, 4); }));                           // JPEG
  EXPECT_FALSE(check([](auto& f) { Put32(f, 30, 3); }));                           // bit fields on 8 bits
  EXPECT_FALSE(check([](auto& f) { Put32(f, 30, 1); Put32(f, 34, 0xFFFFFF); }));   // RLE past the end
  EXPECT_FALSE(check([](auto& f) { Put32(f, 30, 1); Put32(f, 34, 0); }));          // RLE without a size
  EXPECT_FALSE(check([](auto& f) { Put32(f, 46, 0xFFFFFFFFu); }));                // 256 colours past the end
  // A colour count beyond 2^bits means the 2^bits entries GDI reads.
  auto mono = BmpFile(3, 2, 1, {0, 0xFFFFFF}, [](int, int) { return 0; });
  Put32(mono, 46, 0xFFFFFFFFu);
  EXPECT_TRUE(ParseBitmapFile(mono.data(), mono.size(), &layout));
}

TEST(BitmapFileLayout, TopDownAndCoreHeaders) {
  auto file = BmpFile(4, 2, 24, {}, [](int, int) { return 0; });
  Put32(file, 22, (uint32_t)-2);
  BitmapFileLayout layout;
  ASSERT_TRUE(ParseBitmapFile(file.data(), file.size(), &layout));
  EXPECT_EQ(-2, layout.height);
  EXPECT_EQ(24u, layout.pixelBytes);

  // A 12-byte core header with a 2-entry table of 3-byte colours.
  std::vector<uint8_t> core(14 + 12 + 6 + 4 * 3);
  core[0] = 'B';
  core[1] = 'M';
  Put32(core, 10, 14 + 12 + 6);
  Put32(core, 14, 12);
  Put16(core, 18, 3);
  Put16(core, 20, 3);
  Put16(core, 22, 1);
  Put16(core, 24, 1);
  ASSERT_TRUE(ParseBitmapFile(core.data(), core.size(), &layout));
  EXPECT_EQ(3, layout.width);
  EXPECT_EQ(12u, layout.headerSize);
  EXPECT_FALSE(ParseBitmapFile(core.data(), core.size() - 1, &layout));
}

TEST(BitmapHeaders, ReadAsStoredAndOnlyWithinTheData) {
  auto file = Bmp8();
  Put16(file, 26, 2);              // planes the GDI check refuses; the reader still reads them
  Put32(file, 22, (uint32_t)-3);
  Put32(file, 34, 77);
  BitmapFileLayout layout;
  ASSERT_TRUE(ReadBitmapHeaders(file.data(), file.size(), &layout));
  EXPECT_EQ(5, layout.width);
  EXPECT_EQ(-3, layout.height);
  EXPECT_EQ(2, layout.planes);
  EXPECT_EQ(8, layout.bitCount);
  EXPECT_EQ(0u, layout.compression);
  EXPECT_EQ(77u, layout.imageSize);
  EXPECT_EQ(4u, layout.coloursUsed);
  EXPECT_EQ(14u + 40 + 16, layout.pixelOffset);
  EXPECT_FALSE(ParseBitmapFile(file.data(), file.size(), &layout));

  for (size_t size = 0; size < 14 + 40; size++)
    EXPECT_FALSE(ReadBitmapHeaders(file.data(), size, &layout)) << size;
  EXPECT_TRUE(ReadBitmapHeaders(file.data(), 14 + 40, &layout));
  for (uint32_t header : {0u, 11u, 13u, 39u, 0xFFFFFFFFu, 0xFFFFFFF2u}) {
    Put32(file, 14, header);
    EXPECT_FALSE(ReadBitmapHeaders(file.data(), file.size(), &layout)) << header;
  }
  EXPECT_FALSE(ReadBitmapHeaders(nullptr, 100, &layout));
}

TEST(BitmapRowBytes, RowsArePaddedToFourBytes) {
  struct Case { uint64_t width; uint32_t bits; uint64_t bytes; };
  for (const Case& c : {Case{1, 1, 4}, Case{32, 1, 4}, Case{33, 1, 8}, Case{7, 4, 4}, Case{9, 4, 8},
                        Case{3, 8, 4}, Case{5, 8, 8}, Case{3, 16, 8}, Case{1, 24, 4}, Case{4, 24, 12},
                        Case{5, 24, 16}, Case{3, 32, 12}, Case{0, 24, 0}}) {
    EXPECT_EQ(c.bytes, BitmapRowBytes(c.width, c.bits)) << c.width << " x " << c.bits;
    EXPECT_EQ(c.bytes, RowBytes((int32_t)c.width, (int)c.bits));
  }
  // The widest rows a header can state do not wrap.
  EXPECT_EQ(0xFFFFFFFFull * 4, BitmapRowBytes(0xFFFFFFFFu, 32));
  EXPECT_EQ(0xFFFEFFFE004ull, BitmapRowBytes(0x7FFFFFFFu, 65535));
}

TEST(IconLayout, FirstImageOfSeveral) {
  auto ico = IcoFile({IconImage(16, 0xFF0000), IconImage(32, 0x00FF00)}, {16, 32});
  IconImageLayout layout;
  ASSERT_TRUE(FindFirstIconImage(ico.data(), ico.size(), &layout));
  EXPECT_EQ(6u + 32u, layout.offset);
  EXPECT_EQ(IconImage(16, 0).size(), layout.size);
  EXPECT_EQ(16, layout.width);
  EXPECT_EQ(16, layout.height);
  EXPECT_EQ(32, layout.bitCount);
}

TEST(IconLayout, RefusesBrokenFiles) {
  IconImageLayout layout;
  auto check = [&](auto change) {
    auto ico = IcoFile({IconImage(16, 0xFF0000)}, {16});
    change(ico);
    return FindFirstIconImage(ico.data(), ico.size(), &layout);
  };
  EXPECT_TRUE(check([](auto&) {}));
  EXPECT_FALSE(check([](auto& f) { Put16(f, 0, 1); }));            // reserved
  EXPECT_FALSE(check([](auto& f) { Put16(f, 2, 2); }));            // a cursor
  EXPECT_FALSE(check([](auto& f) { Put16(f, 4, 0); }));            // no entries
  EXPECT_FALSE(check([](auto& f) { Put32(f, 14, 0); }));           // empty image
  EXPECT_FALSE(check([](auto& f) { Put32(f, 14, 0xFFFFFFFFu); })); // size past the end
  EXPECT_FALSE(check([](auto& f) { Put32(f, 18, 0xFFFFFFF0u); })); // offset past the end, wrapping
  EXPECT_FALSE(check([](auto& f) { Put32(f, 22 + 4, 0x7FFFFFFF); }));  // width beyond the image
  EXPECT_FALSE(check([](auto& f) { Put32(f, 22 + 8, 1); }));           // no mask rows
  EXPECT_FALSE(check([](auto& f) { Put32(f, 22, 12); }));              // not an info header
  auto ico = IcoFile({IconImage(16, 0xFF0000)}, {16});
  for (size_t size = 0; size < ico.size(); size++)
    EXPECT_FALSE(FindFirstIconImage(ico.data(), size, &layout)) << size;
  // An image of two bytes at the very end: too short to hold even its header's size.
  const auto built = IcoFile({std::vector<uint8_t>{40, 0}}, {16});
  const std::vector<uint8_t> tiny(built.begin(), built.end());   // no spare capacity to read into
  EXPECT_FALSE(FindFirstIconImage(tiny.data(), tiny.size(), &layout));
}

TEST(IconLayout, PngImagesAreLeftToThePlatform) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13};
  auto ico = IcoFile({png}, {0});
  IconImageLayout layout;
  ASSERT_TRUE(FindFirstIconImage(ico.data(), ico.size(), &layout));
  EXPECT_EQ(0, layout.width);
  EXPECT_EQ(0, layout.height);
}

}  // namespace
