// The PNG decoder through the registry: exact rows for every colour type and depth, interlacing,
// pitches, and broken or truncated data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/decoders.h"
#include "image/tests/png_maker.h"

#ifndef _WIN32
#include <dirent.h>
#endif

namespace {

class PngDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetImageDecoders();
    RegisterPngDecoder();
  }
  void TearDown() override { ResetImageDecoders(); }
};

struct Decoded {
  int probe = 0;
  int decode = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // packed rows, width x bytes per pixel
};

// The data is copied into a block of exactly its size, so a read past it is caught.
Decoded DecodeMemory(const std::vector<unsigned char>& png, intptr_t limit = -1) {
  Decoded d;
  std::unique_ptr<unsigned char[]> exact(new unsigned char[png.size() ? png.size() : 1]);
  if (!png.empty()) memcpy(exact.get(), png.data(), png.size());
  d.probe = FindImageDecoder(limit < 0 ? static_cast<intptr_t>(png.size()) : limit, exact.get());
  if (!d.probe) return d;
  d.width = CurrentImageWidth();
  d.height = CurrentImageHeight();
  const size_t rowBytes = static_cast<size_t>(d.width) * (d.probe == 2 ? 4 : 3);
  d.pixels.assign(rowBytes * d.height, 0xAB);
  d.decode = DecodeCurrentImage(d.pixels.data(), static_cast<int32_t>(rowBytes), 0);
  return d;
}

void ExpectDecodesTo(const TestPicture& picture) {
  std::vector<unsigned char> png = EncodePng(picture);
  ASSERT_FALSE(png.empty());
  Decoded d = DecodeMemory(png);
  EXPECT_EQ(d.probe, ExpectedProbe(picture));
  EXPECT_EQ(d.decode, 1);
  EXPECT_EQ(d.width, picture.width);
  EXPECT_EQ(d.height, picture.height);
  EXPECT_EQ(d.pixels, ExpectedPixels(picture));
}

TEST_F(PngDecoderTest, GreyOfEveryDepthBecomesEqualBlueGreenRed) {
  for (int depth : {1, 2, 4, 8, 16}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    TestPicture p = MakePicture(13, 5, PNG_COLOR_TYPE_GRAY, depth);
    ExpectDecodesTo(p);
    // The widened samples span the whole range: black and white are both there.
    std::vector<uint8_t> px = ExpectedPixels(p);
    EXPECT_NE(std::find(px.begin(), px.end(), 0), px.end());
    EXPECT_NE(std::find(px.begin(), px.end(), 255), px.end());
  }
}

TEST_F(PngDecoderTest, PaletteOfEveryDepthWithAndWithoutTransparency) {
  for (int depth : {1, 2, 4, 8}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    TestPicture p = MakePicture(17, 6, PNG_COLOR_TYPE_PALETTE, depth);
    ExpectDecodesTo(p);
    // Transparency is dropped: still 24-bit and the same colours.
    for (size_t i = 0; i < p.palette.size(); i++)
      p.paletteAlpha.push_back(static_cast<png_byte>(i * 40));
    ExpectDecodesTo(p);
    p.paletteAlpha.resize(1);  // a tRNS shorter than the palette
    ExpectDecodesTo(p);
  }
}

TEST_F(PngDecoderTest, ColourAndAlphaTypesAt8And16Bits) {
  for (int depth : {8, 16}) {
    for (int type : {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA, PNG_COLOR_TYPE_GRAY_ALPHA}) {
      SCOPED_TRACE("type " + std::to_string(type) + " depth " + std::to_string(depth));
      ExpectDecodesTo(MakePicture(9, 7, type, depth, false, type * 31 + depth));
    }
  }
}

TEST_F(PngDecoderTest, GreyAlphaCarriesTheGreyThreeTimesThenAlpha) {
  TestPicture p = MakePicture(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8);
  p.samples = {10, 200, 250, 0};
  Decoded d = DecodeMemory(EncodePng(p));
  EXPECT_EQ(d.probe, 2);
  EXPECT_EQ(d.pixels, (std::vector<uint8_t>{10, 10, 10, 200, 250, 250, 250, 0}));
}

TEST_F(PngDecoderTest, SixteenBitRgbaKeepsTheHighBytesInBlueGreenRedAlphaOrder) {
  TestPicture p = MakePicture(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16);
  p.samples = {0x1234, 0x5678, 0x9ABC, 0xDEF0};
  Decoded d = DecodeMemory(EncodePng(p));
  EXPECT_EQ(d.probe, 2);
  EXPECT_EQ(d.pixels, (std::vector<uint8_t>{0x9A, 0x56, 0x12, 0xDE}));
}

TEST_F(PngDecoderTest, TransparencyKeyOnGreyOrRgbAddsNoAlpha) {
  for (int depth : {2, 8, 16}) {
    SCOPED_TRACE("grey depth " + std::to_string(depth));
    TestPicture p = MakePicture(11, 4, PNG_COLOR_TYPE_GRAY, depth);
    p.greyOrRgbKey = true;
    p.keyColour.gray = 1;
    ExpectDecodesTo(p);
  }
  TestPicture rgb = MakePicture(5, 5, PNG_COLOR_TYPE_RGB, 8);
  rgb.greyOrRgbKey = true;
  rgb.keyColour.red = rgb.samples[0];
  rgb.keyColour.green = rgb.samples[1];
  rgb.keyColour.blue = rgb.samples[2];
  ExpectDecodesTo(rgb);
}

TEST_F(PngDecoderTest, InterlacedImagesEqualTheirTwins) {
  struct Shape { uint32_t w, h; };
  // 1 x 1 and 3 x 2 leave most passes empty; 13 x 11 fills every pass unevenly.
  for (Shape s : {Shape{1, 1}, Shape{3, 2}, Shape{8, 8}, Shape{13, 11}, Shape{33, 17}}) {
    for (int type : {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_PALETTE, PNG_COLOR_TYPE_RGB,
                     PNG_COLOR_TYPE_RGB_ALPHA, PNG_COLOR_TYPE_GRAY_ALPHA}) {
      for (int depth : {1, 4, 8, 16}) {
        if ((type == PNG_COLOR_TYPE_PALETTE && depth == 16) ||
            (type != PNG_COLOR_TYPE_GRAY && type != PNG_COLOR_TYPE_PALETTE && depth < 8))
          continue;
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h) + " type " +
                     std::to_string(type) + " depth " + std::to_string(depth));
        TestPicture plain = MakePicture(s.w, s.h, type, depth, false, s.w + type + depth);
        TestPicture laced = plain;
        laced.interlaced = true;
        std::vector<unsigned char> a = EncodePng(plain), b = EncodePng(laced);
        ASSERT_NE(a, b);
        Decoded da = DecodeMemory(a), db = DecodeMemory(b);
        EXPECT_EQ(db.decode, 1);
        EXPECT_EQ(da.pixels, db.pixels);
        EXPECT_EQ(db.pixels, ExpectedPixels(plain));
      }
    }
  }
}

TEST_F(PngDecoderTest, WidePitchLeavesThePaddingAndTheSpareRowAlone) {
  for (bool interlaced : {false, true}) {
    for (int type : {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA}) {
      TestPicture p = MakePicture(7, 9, type, 8, interlaced);
      std::vector<unsigned char> png = EncodePng(p);
      ASSERT_EQ(FindImageDecoder(static_cast<intptr_t>(png.size()), png.data()), ExpectedProbe(p));
      const int bpp = ExpectedProbe(p) == 2 ? 4 : 3;
      const int32_t pitch = 7 * bpp + 5;
      std::vector<uint8_t> buffer(static_cast<size_t>(pitch) * (9 + 1), 0xCD);
      ASSERT_EQ(DecodeCurrentImage(buffer.data(), pitch, 0), 1);
      std::vector<uint8_t> expected = ExpectedPixels(p);
      for (int y = 0; y < 9; y++) {
        const uint8_t* row = &buffer[static_cast<size_t>(y) * pitch];
        EXPECT_TRUE(std::equal(row, row + 7 * bpp, &expected[static_cast<size_t>(y) * 7 * bpp])) << y;
        for (int x = 7 * bpp; x < pitch; x++) EXPECT_EQ(row[x], 0xCD) << y << "," << x;
      }
      for (size_t i = static_cast<size_t>(pitch) * 9; i < buffer.size(); i++) EXPECT_EQ(buffer[i], 0xCD);
    }
  }
}

TEST_F(PngDecoderTest, TheLoadersRoundedPitchForTwentyFourBits) {
  // The loaders' pitch: 3 x width + (width AND 3), into pitch x (height + 1) bytes.
  for (uint32_t w : {1u, 2u, 3u, 5u, 6u}) {
    TestPicture p = MakePicture(w, 3, PNG_COLOR_TYPE_PALETTE, 4, w % 2 == 1);
    std::vector<unsigned char> png = EncodePng(p);
    ASSERT_EQ(FindImageDecoder(10000000, png.data()), 1);
    const int32_t pitch = static_cast<int32_t>(3 * w + (w & 3));
    std::vector<uint8_t> buffer(static_cast<size_t>(pitch) * 4, 0x11);
    ASSERT_EQ(DecodeCurrentImage(buffer.data(), pitch, 0), 1);
    std::vector<uint8_t> expected = ExpectedPixels(p);
    for (uint32_t y = 0; y < 3; y++)
      EXPECT_TRUE(std::equal(expected.begin() + y * 3 * w, expected.begin() + (y + 1) * 3 * w,
                             buffer.begin() + static_cast<ptrdiff_t>(y) * pitch)) << w << " " << y;
  }
}

TEST_F(PngDecoderTest, PitchTooSmallOrNoBufferIsRefusedAndReleasesTheImage) {
  TestPicture p = MakePicture(6, 4, PNG_COLOR_TYPE_RGB, 8);
  std::vector<unsigned char> png = EncodePng(p);
  std::vector<uint8_t> buffer(18 * 4, 0xEE);
  for (int32_t pitch : {17, 0, -18}) {
    ASSERT_EQ(FindImageDecoder(static_cast<intptr_t>(png.size()), png.data()), 1);
    EXPECT_EQ(DecodeCurrentImage(buffer.data(), pitch, 0), 0) << pitch;
    EXPECT_EQ(buffer, std::vector<uint8_t>(18 * 4, 0xEE));
    // The image is closed: decoding again has nothing to decode.
    EXPECT_EQ(DecodeCurrentImage(buffer.data(), 18, 0), 0);
  }
  ASSERT_EQ(FindImageDecoder(static_cast<intptr_t>(png.size()), png.data()), 1);
  EXPECT_EQ(DecodeCurrentImage(nullptr, 18, 0), 0);
  EXPECT_EQ(DecodeCurrentImage(buffer.data(), 18, 0), 0);
}

TEST_F(PngDecoderTest, ABufferSizeGivenIsRespected) {
  TestPicture p = MakePicture(6, 4, PNG_COLOR_TYPE_RGB_ALPHA, 8);
  std::vector<unsigned char> png = EncodePng(p);
  const int32_t pitch = 30;
  const intptr_t needed = 3 * pitch + 24;  // the last row needs no padding
  std::vector<uint8_t> buffer(static_cast<size_t>(needed), 0);
  ASSERT_EQ(FindImageDecoder(static_cast<intptr_t>(png.size()), png.data()), 2);
  EXPECT_EQ(DecodeCurrentImage(buffer.data(), pitch, needed - 1), 0);
  ASSERT_EQ(FindImageDecoder(static_cast<intptr_t>(png.size()), png.data()), 2);
  EXPECT_EQ(DecodeCurrentImage(buffer.data(), pitch, needed), 1);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 24, ExpectedPixels(p).begin()));
}

// Truncations of a small file at every length: a clean failure, or (once every row's data is
// there) the complete picture. Nothing past the given length is read: the copy is exact.
// Returns how many of the failures came from the decode rather than the probe.
int TruncateEverywhere(const TestPicture& p) {
  std::vector<unsigned char> png = EncodePng(p);
  const size_t iend = FindChunk(png, "IEND");
  EXPECT_GT(iend, 0u);
  const std::vector<uint8_t> expected = ExpectedPixels(p);
  int decodeFailures = 0;
  for (size_t length = 0; length < png.size(); length++) {
    std::vector<unsigned char> cut(png.begin(), png.begin() + static_cast<ptrdiff_t>(length));
    Decoded d = DecodeMemory(cut);
    const bool complete = d.probe && d.decode;
    if (d.probe && !d.decode) decodeFailures++;
    if (length < iend) {
      EXPECT_FALSE(complete) << "length " << length;
    }
    if (complete) {
      EXPECT_EQ(d.pixels, expected) << "length " << length;
    }
  }
  // And the decoder is none the worse for it.
  EXPECT_EQ(DecodeMemory(png).pixels, expected);
  return decodeFailures;
}

TEST_F(PngDecoderTest, EveryTruncationFailsCleanly) {
  TruncateEverywhere(MakePicture(5, 4, PNG_COLOR_TYPE_PALETTE, 2));
  TruncateEverywhere(MakePicture(6, 5, PNG_COLOR_TYPE_RGB_ALPHA, 16, true));
  TestPicture withTrns = MakePicture(4, 4, PNG_COLOR_TYPE_PALETTE, 8);
  withTrns.paletteAlpha = {0, 128, 255};
  TruncateEverywhere(withTrns);
  // With the image data in many chunks, later chunks are met while the rows are read.
  TestPicture split = MakePicture(12, 10, PNG_COLOR_TYPE_RGB, 8, true);
  split.idatSize = 16;
  EXPECT_GT(TruncateEverywhere(split), 10);
}

TEST_F(PngDecoderTest, TheSizeLimitBoundsEveryRead) {
  TestPicture p = MakePicture(8, 8, PNG_COLOR_TYPE_RGB, 8);
  p.idatSize = 32;
  std::vector<unsigned char> png = EncodePng(p);
  const size_t idat = FindChunk(png, "IDAT");
  const size_t secondIdat = FindChunk(png, "IDAT", 1);
  const size_t iend = FindChunk(png, "IEND");
  ASSERT_GT(secondIdat, idat);
  // The data sits in a larger block, but the limit says where it ends.
  std::vector<unsigned char> roomy(png);
  roomy.resize(png.size() + 4096, 0);
  EXPECT_EQ(FindImageDecoder(0, roomy.data()), 0);
  EXPECT_EQ(FindImageDecoder(7, roomy.data()), 0);
  EXPECT_EQ(FindImageDecoder(-5, roomy.data()), 0);
  // A chunk that does not fit inside the limit is refused when its header is read.
  EXPECT_EQ(FindImageDecoder(static_cast<intptr_t>(idat + 8), roomy.data()), 0);
  EXPECT_EQ(FindImageDecoder(static_cast<intptr_t>(secondIdat - 1), roomy.data()), 0);
  // The header and the first image data chunk probe, but the rows cannot all be read.
  std::vector<uint8_t> out(8 * 8 * 3);
  for (size_t limit : {secondIdat, secondIdat + 8, iend - 1}) {
    ASSERT_EQ(FindImageDecoder(static_cast<intptr_t>(limit), roomy.data()), 1) << limit;
    EXPECT_EQ(DecodeCurrentImage(out.data(), 24, 0), 0) << limit;
  }
  // Exactly the file, or anything larger, is enough.
  for (size_t limit : {png.size(), roomy.size(), size_t(10000000)}) {
    ASSERT_EQ(FindImageDecoder(static_cast<intptr_t>(limit), roomy.data()), 1);
    EXPECT_EQ(DecodeCurrentImage(out.data(), 24, 0), 1);
    EXPECT_EQ(out, ExpectedPixels(p));
  }
}

void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes);
std::string TestFilePath(const char* name);

TEST_F(PngDecoderTest, AChunkLongerThanTheDataIsRefusedBeforeItIsRead) {
  TestPicture p = MakePicture(3, 3, PNG_COLOR_TYPE_GRAY, 8);
  std::vector<unsigned char> png = EncodePng(p);
  const size_t idat = FindChunk(png, "IDAT");
  // An honest text chunk is fine; one whose length claims 2 GB is not.
  std::vector<unsigned char> text = InsertChunk(png, idat, "tEXt", {'K', 0, 'v'});
  EXPECT_EQ(DecodeMemory(text).pixels, ExpectedPixels(p));
  for (uint32_t length : {0x7FFFFFF0u, 0x80000000u, 0xFFFFFFFFu, 0x00100000u}) {
    std::vector<unsigned char> lying = text;
    PutBigEndian(lying, idat, length);
    EXPECT_EQ(DecodeMemory(lying).probe, 0) << length;
  }
  // Under a generous limit the same holds for lengths beyond it.
  std::vector<unsigned char> lying = text;
  PutBigEndian(lying, idat, 0x7FFFFFF0u);
  EXPECT_EQ(FindImageDecoder(10000000, lying.data()), 0);
  // And from a file, whose size bounds it the same way.
  const std::string path = TestFilePath("lying.png");
  WriteFile(path, lying);
  EXPECT_EQ(FindImageDecoder(reinterpret_cast<intptr_t>(path.c_str()), nullptr), 0);
  WriteFile(path, text);
  EXPECT_EQ(FindImageDecoder(reinterpret_cast<intptr_t>(path.c_str()), nullptr), 1);
  std::vector<uint8_t> out(3 * 3 * 3);
  EXPECT_EQ(DecodeCurrentImage(out.data(), 9, 0), 1);
  EXPECT_EQ(out, ExpectedPixels(p));
  EXPECT_EQ(remove(path.c_str()), 0);
}

TEST_F(PngDecoderTest, CorruptDataFailsCleanly) {
  TestPicture p = MakePicture(8, 6, PNG_COLOR_TYPE_RGB, 8);
  const std::vector<unsigned char> good = EncodePng(p);
  const size_t ihdr = FindChunk(good, "IHDR");
  const size_t idat = FindChunk(good, "IDAT");
  std::vector<uint8_t> out(8 * 6 * 3);

  std::vector<unsigned char> bad = good;  // signature
  bad[1] = 'p';
  EXPECT_EQ(DecodeMemory(bad).probe, 0);

  bad = good;  // header CRC
  bad[ihdr + 8] ^= 1;
  EXPECT_EQ(DecodeMemory(bad).probe, 0);

  bad = good;  // colour type 5 does not exist
  bad[ihdr + 8 + 9] = 5;
  FixChunkCrc(bad, ihdr);
  EXPECT_EQ(DecodeMemory(bad).probe, 0);

  bad = good;  // bit depth 3 does not exist
  bad[ihdr + 8 + 8] = 3;
  FixChunkCrc(bad, ihdr);
  EXPECT_EQ(DecodeMemory(bad).probe, 0);

  bad = good;  // image data CRC
  bad[idat + 10] ^= 0x40;
  Decoded d = DecodeMemory(bad);
  EXPECT_EQ(d.probe, 1);
  EXPECT_EQ(d.decode, 0);

  bad = good;  // a broken deflate stream with a valid CRC
  for (size_t i = idat + 8 + 2; i < idat + 8 + 12; i++) bad[i] = 0xFF;
  FixChunkCrc(bad, idat);
  d = DecodeMemory(bad);
  EXPECT_EQ(d.probe, 1);
  EXPECT_EQ(d.decode, 0);

  // Every single-byte change is caught by a CRC or a check, up to the end chunk, which is never
  // read.
  const size_t iend = FindChunk(good, "IEND");
  for (size_t i = 0; i < good.size(); i++) {
    bad = good;
    bad[i] ^= 0x5A;
    d = DecodeMemory(bad);
    if (i < iend) {
      EXPECT_FALSE(d.probe && d.decode) << "byte " << i;
    } else {
      EXPECT_EQ(d.decode, 1) << "byte " << i;
      EXPECT_EQ(d.pixels, ExpectedPixels(p)) << "byte " << i;
    }
  }
  // And the decoder is still fine afterwards.
  EXPECT_EQ(DecodeMemory(good).pixels, ExpectedPixels(p));
}

TEST_F(PngDecoderTest, HugeDimensionsAreRefusedAtTheProbe) {
  const std::vector<unsigned char> good = EncodePng(MakePicture(1, 1, PNG_COLOR_TYPE_GRAY, 8));
  const size_t ihdr = FindChunk(good, "IHDR");
  struct Size { uint32_t w, h; bool accepted; };
  for (Size s : {Size{ImageDecoderMaxSide, 1, true}, Size{1, ImageDecoderMaxSide, true},
                 Size{ImageDecoderMaxSide + 1, 1, false}, Size{1, ImageDecoderMaxSide + 1, false},
                 Size{8192, 4096, true}, Size{8192, 4097, false}, Size{0x7FFFFFFF, 0x7FFFFFFF, false},
                 Size{0, 5, false}, Size{0x80000000u, 1, false}}) {
    std::vector<unsigned char> big = good;
    PutBigEndian(big, ihdr + 8, s.w);
    PutBigEndian(big, ihdr + 12, s.h);
    FixChunkCrc(big, ihdr);
    int probe = FindImageDecoder(static_cast<intptr_t>(big.size()), big.data());
    EXPECT_EQ(probe != 0, s.accepted) << s.w << "x" << s.h;
    if (probe) {
      EXPECT_EQ(CurrentImageWidth(), s.w);
      EXPECT_EQ(CurrentImageHeight(), s.h);
      // The data holds one pixel, not the rows the header claims.
      std::vector<uint8_t> out(static_cast<size_t>(s.w) * 3 * s.h);
      EXPECT_EQ(DecodeCurrentImage(out.data(), static_cast<int32_t>(s.w * 3), 0), 0);
    } else {
      EXPECT_EQ(CurrentImageWidth(), 0u);
    }
  }
}

TEST_F(PngDecoderTest, AProbeNeverDecodedIsReplacedByTheNext) {
  std::vector<unsigned char> first = EncodePng(MakePicture(3, 3, PNG_COLOR_TYPE_GRAY, 8));
  TestPicture second = MakePicture(4, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8);
  ASSERT_EQ(FindImageDecoder(static_cast<intptr_t>(first.size()), first.data()), 1);
  Decoded d = DecodeMemory(EncodePng(second));  // leaks nothing: LeakSanitizer watches
  EXPECT_EQ(d.pixels, ExpectedPixels(second));
  // A failed search after a successful one leaves nothing to decode.
  ASSERT_EQ(FindImageDecoder(static_cast<intptr_t>(first.size()), first.data()), 1);
  EXPECT_EQ(FindImageDecoder(4, "abcd"), 0);
  EXPECT_EQ(CurrentImageWidth(), 0u);
  std::vector<uint8_t> out(27);
  EXPECT_EQ(DecodeCurrentImage(out.data(), 9, 0), 0);
}

// ---- files -------------------------------------------------------------------------------

std::string TestFilePath(const char* name) { return std::string("vorlune_png_test_") + name; }

void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  if (!bytes.empty()) {
    ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  }
  fclose(f);
}

#ifndef _WIN32
int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) n++;
    closedir(d);
  }
  return n;
}
#else
int OpenDescriptors() { return 0; }
#endif

TEST_F(PngDecoderTest, DecodesFromAFile) {
  for (bool interlaced : {false, true}) {
    TestPicture p = MakePicture(10, 7, PNG_COLOR_TYPE_GRAY_ALPHA, 16, interlaced);
    const std::string path = TestFilePath("good.png");
    WriteFile(path, EncodePng(p));
    const int before = OpenDescriptors();
    ASSERT_EQ(FindImageDecoder(reinterpret_cast<intptr_t>(path.c_str()), nullptr), 2);
    EXPECT_EQ(CurrentImageWidth(), 10u);
    EXPECT_EQ(CurrentImageHeight(), 7u);
    std::vector<uint8_t> out(10 * 4 * 7);
    EXPECT_EQ(DecodeCurrentImage(out.data(), 40, 0), 1);
    EXPECT_EQ(out, ExpectedPixels(p));
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(remove(path.c_str()), 0) << "the file was left open";
  }
}

TEST_F(PngDecoderTest, FilesThatAreNotPngOrCannotBeOpenedOrAreCut) {
  const int before = OpenDescriptors();
  EXPECT_EQ(FindImageDecoder(reinterpret_cast<intptr_t>("vorlune_no_such_file.png"), nullptr), 0);
  EXPECT_EQ(FindImageDecoder(0, nullptr), 0);

  const std::string text = TestFilePath("text.png");
  WriteFile(text, {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', ' ', 'f', 'i', 'l', 'e'});
  EXPECT_EQ(FindImageDecoder(reinterpret_cast<intptr_t>(text.c_str()), nullptr), 0);
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(remove(text.c_str()), 0) << "the file was left open";

  const std::string shortFile = TestFilePath("short.png");
  WriteFile(shortFile, {0x89, 'P', 'N', 'G'});
  EXPECT_EQ(FindImageDecoder(reinterpret_cast<intptr_t>(shortFile.c_str()), nullptr), 0);
  EXPECT_EQ(remove(shortFile.c_str()), 0);

  // Cut inside the first image data chunk: refused at the probe; inside a later one: at the
  // decode.
  TestPicture p = MakePicture(9, 9, PNG_COLOR_TYPE_RGB, 8);
  p.idatSize = 32;
  const std::vector<unsigned char> png = EncodePng(p);
  const std::string cut = TestFilePath("cut.png");
  WriteFile(cut, std::vector<unsigned char>(png.begin(), png.begin() + FindChunk(png, "IDAT") + 20));
  EXPECT_EQ(FindImageDecoder(reinterpret_cast<intptr_t>(cut.c_str()), nullptr), 0);
  WriteFile(cut, std::vector<unsigned char>(png.begin(), png.begin() + FindChunk(png, "IDAT", 2) + 20));
  ASSERT_EQ(FindImageDecoder(reinterpret_cast<intptr_t>(cut.c_str()), nullptr), 1);
  std::vector<uint8_t> out(9 * 3 * 9);
  EXPECT_EQ(DecodeCurrentImage(out.data(), 27, 0), 0);
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(remove(cut.c_str()), 0);
}

TEST_F(PngDecoderTest, EveryTruncationOfAFileFailsCleanly) {
  TestPicture p = MakePicture(7, 6, PNG_COLOR_TYPE_GRAY_ALPHA, 8, true);
  p.idatSize = 24;
  const std::vector<unsigned char> png = EncodePng(p);
  const size_t iend = FindChunk(png, "IEND");
  const std::string path = TestFilePath("truncated.png");
  const int before = OpenDescriptors();
  for (size_t length = 0; length < png.size(); length++) {
    WriteFile(path, std::vector<unsigned char>(png.begin(), png.begin() + static_cast<ptrdiff_t>(length)));
    int probe = FindImageDecoder(reinterpret_cast<intptr_t>(path.c_str()), nullptr);
    if (!probe) continue;
    std::vector<uint8_t> out(7 * 4 * 6, 0);
    int decoded = DecodeCurrentImage(out.data(), 28, 0);
    if (length < iend) {
      EXPECT_EQ(decoded, 0) << length;
    } else if (decoded) {
      EXPECT_EQ(out, ExpectedPixels(p)) << length;
    }
  }
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(remove(path.c_str()), 0);
}

TEST_F(PngDecoderTest, AFileProbedAndNeverDecodedIsClosedByTheNextSearch) {
  const std::string path = TestFilePath("abandoned.png");
  std::vector<unsigned char> png = EncodePng(MakePicture(2, 2, PNG_COLOR_TYPE_RGB, 8));
  WriteFile(path, png);
  const int before = OpenDescriptors();
  ASSERT_EQ(FindImageDecoder(reinterpret_cast<intptr_t>(path.c_str()), nullptr), 1);
  ASSERT_EQ(FindImageDecoder(static_cast<intptr_t>(png.size()), png.data()), 1);
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(remove(path.c_str()), 0) << "the file was left open";
  std::vector<uint8_t> out(2 * 3 * 2);
  EXPECT_EQ(DecodeCurrentImage(out.data(), 6, 0), 1);
}

}  // namespace
