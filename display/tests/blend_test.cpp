// The blending arithmetic: intensity rules, clipping and the 16- and 32-bit rows.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "display/blend.h"
#include "display/pixels.h"

namespace {

class Blend : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { BuildBlendTable(); }
};

// A w x h picture of pixels of type P, each row padded by `slack` unused pixels.
template <class P> struct Pixels {
  int32_t width, height, stride;
  std::vector<P> values;
  Pixels(int32_t w, int32_t h, P fill, int32_t slack = 3) : width(w), height(h), stride(w + slack),
      values(static_cast<size_t>(stride) * h, fill) {}
  P& At(int32_t x, int32_t y) { return values[static_cast<size_t>(y) * stride + x]; }
  uint8_t* Bytes(int32_t x = 0, int32_t y = 0) { return reinterpret_cast<uint8_t*>(&At(x, y)); }
  int32_t Pitch() const { return stride * static_cast<int32_t>(sizeof(P)); }
};

template <class P> BlendRows RowsOver(Pixels<P>& sprite, Pixels<P>& target, int32_t x = 0, int32_t y = 0) {
  return {sprite.Bytes(), sprite.Pitch(), target.Bytes(x, y), target.Pitch(),
          target.Bytes(x, y), target.Pitch(), sprite.width, sprite.height};
}

uint32_t Grey(uint32_t v) { return v << 16 | v << 8 | v; }

}  // namespace

TEST_F(Blend, IntensityIsClampedAndMinusOneSelectsTheHalfMix) {
  struct Case { int32_t given, intensity; bool half; } cases[] = {
      {128, 128, false}, {1, 1, false}, {255, 255, false}, {0, 1, false}, {-2, 1, false},
      {INT_MIN, 1, false}, {256, 255, false}, {300, 255, false}, {INT_MAX, 255, false}, {-1, 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    const BlendMode mode = BlendModeFor(c.given);
    EXPECT_EQ(c.intensity, mode.intensity);
    EXPECT_EQ(256 - c.intensity, mode.inverse);
    EXPECT_EQ(c.half, mode.halfMix);
  }
}

TEST_F(Blend, WorkedValuesAt32BitsInEveryComponent) {
  struct Case { uint32_t s, d; int32_t intensity; uint32_t result; } cases[] = {
      {255, 255, 255, 255},   // 256 + 2, clamped
      {100, 200, 255, 101},
      {255, 0, 128, 129},
      {200, 100, 64, 125},
      {255, 255, 300, 255},   // 300 acts as 255
      {200, 100, 0, 101},     // 0 acts as 1: BlendTable(200, 1) + BlendTable(100, 255)
  };
  for (const Case& c : cases)
    for (int shift : {0, 8, 16}) {
      SCOPED_TRACE(testing::Message() << c.s << " over " << c.d << " at " << c.intensity << ", shift " << shift);
      EXPECT_EQ(c.result << shift, BlendPixel32(c.s << shift, c.d << shift, BlendModeFor(c.intensity)));
    }
  // All three at once, and the target's top byte does not come through.
  EXPECT_EQ(0x007DB041u, BlendPixel32(0x00C864FF, 0xFF64C800, BlendModeFor(64)));
  EXPECT_EQ(0x0u, BlendPixel32(0xFFFFFFFF, 0xFFFFFFFF, BlendModeFor(255)) >> 24);
}

TEST_F(Blend, HalfMixAt32Bits) {
  const BlendMode half = BlendModeFor(HalfMixIntensity);
  EXPECT_EQ(0x00FEFEFEu, BlendPixel32(0x00FFFFFF, 0x00FFFFFF, half));
  EXPECT_EQ(0x00FEFEFEu, BlendPixel32(0xFFFFFFFF, 0xFFFFFFFF, half));   // no alpha byte, no carry
  EXPECT_EQ(0x00327F00u, BlendPixel32(0x0064FF01, 0x00000001, half));
}

TEST_F(Blend, WorkedValuesAt16Bits) {
  // 5-6-5: fields are scaled by 4, 2 and 4 for the table and back again.
  EXPECT_EQ(0xFFFF, BlendPixel16(0xFFFF, 0xFFFF, BlendModeFor(255)));
  EXPECT_EQ(0x7BEF, BlendPixel16(0xFFFF, 0x0000, BlendModeFor(128)));   // 15, 31, 15
  EXPECT_EQ(0x0019, BlendPixel16(0x0019, 0x001F, BlendModeFor(255)));   // blue 25 over 31
  // r 25 g 50 b 25 over r 12 g 50 b 12 at 64: 61 >> 2, 100 >> 1, 61 >> 2.
  EXPECT_EQ(0x7E4F, BlendPixel16(0xCE59, 0x664C, BlendModeFor(64)));
  EXPECT_EQ(0xCE59, BlendPixel16(0xCE59, 0xFFFF, BlendModeFor(400)));
  EXPECT_EQ(0xF7DE, BlendPixel16(0xFFFF, 0xFFFF, BlendModeFor(HalfMixIntensity)));   // 30, 62, 30
  EXPECT_EQ(0x0000, BlendPixel16(0x0001, 0x0001, BlendModeFor(HalfMixIntensity)));
}

TEST_F(Blend, SixteenBitFieldsNeverSpillIntoTheirNeighbours) {
  for (int32_t intensity = 1; intensity <= 255; ++intensity) {
    const BlendMode mode = BlendModeFor(intensity);
    for (uint16_t s = 1; s < 32; ++s)
      for (uint16_t d = 0; d < 32; ++d) {
        ASSERT_EQ(0, BlendPixel16(s, d, mode) & ~0x1F) << s << " " << d << " " << intensity;
        ASSERT_EQ(0, BlendPixel16(static_cast<uint16_t>(s << 11), static_cast<uint16_t>(d << 11), mode) & 0x7FF);
      }
    for (uint16_t s = 1; s < 64; ++s)
      for (uint16_t d = 0; d < 64; ++d)
        ASSERT_EQ(0, BlendPixel16(static_cast<uint16_t>(s << 5), static_cast<uint16_t>(d << 5), mode) & ~0x7E0);
  }
}

namespace {

// A 2 x 2 sprite, black but for pixel (x, y), blended into a 4 x 4 target at (at, at): only the
// lit pixel's place changes.
template <class P, class Rows, class Pixel>
void ExpectOnlyTheLitPixelBlended(P lit, P background, int32_t x, int32_t y, int32_t at, Rows blendRows,
                                  Pixel blendPixel, const BlendMode& mode) {
  Pixels<P> sprite(2, 2, 0), target(4, 4, background);
  sprite.At(x, y) = lit;
  blendRows(RowsOver(sprite, target, at, at), mode);
  for (int32_t ty = 0; ty < 4; ++ty)
    for (int32_t tx = 0; tx < 4; ++tx) {
      const P expected = tx == at + x && ty == at + y ? blendPixel(lit, background, mode) : background;
      EXPECT_EQ(expected, target.At(tx, ty)) << tx << "," << ty;
    }
}

}  // namespace

TEST_F(Blend, BlackSpritePixelsAreSkippedAtEveryIntensity) {
  for (int32_t intensity : {255, 128, 1, HalfMixIntensity}) {
    SCOPED_TRACE(intensity);
    const BlendMode mode = BlendModeFor(intensity);
    ExpectOnlyTheLitPixelBlended<uint32_t>(0x00FFFFFF, 0x00123456, 1, 0, 1, BlendRows32, BlendPixel32, mode);
    ExpectOnlyTheLitPixelBlended<uint16_t>(0xFFFF, 0x1234, 0, 1, 2, BlendRows16, BlendPixel16, mode);
  }
}

TEST_F(Blend, RowsFollowTheirOwnPitchesAndMayWriteElsewhere) {
  // Sprite rows 5 pixels apart, target rows 12, output rows 7: the blend of a 3 x 2 sprite.
  Pixels<uint32_t> sprite(3, 2, 0, 2), target(8, 4, Grey(100), 4), output(5, 3, 0xAAAAAAAA, 2);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) sprite.At(x, y) = Grey(static_cast<uint32_t>(50 * (x + 1) + y));
  sprite.At(1, 1) = 0;
  BlendRows rows = {sprite.Bytes(), sprite.Pitch(), target.Bytes(4, 1), target.Pitch(),
                    output.Bytes(1, 1), output.Pitch(), 3, 2};
  BlendRows32(rows, BlendModeFor(255));
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) {
      const bool inside = x >= 1 && x < 4 && y >= 1 && y < 3 && !(x == 2 && y == 2);
      const uint32_t s = inside ? sprite.At(x - 1, y - 1) & 0xFF : 0;
      // At 255 the target adds BlendTable(100, 1) = 0.
      EXPECT_EQ(inside ? Grey(BlendTable[s * 256 + 255]) : 0xAAAAAAAAu, output.At(x, y)) << x << "," << y;
    }
  for (uint32_t v : target.values) EXPECT_EQ(Grey(100), v);   // read, never written

  // The blended pixels go to the target where the sprite was not black.
  CopyBlendedPixels(rows, 4);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x) {
      const bool copied = x >= 4 && x < 7 && y >= 1 && y < 3 && !(x == 5 && y == 2);
      EXPECT_EQ(copied ? output.At(x - 3, y) : Grey(100), target.At(x, y)) << x << "," << y;
    }
}

TEST_F(Blend, CopyAt16BitsSkipsBlackSpritePixels) {
  Pixels<uint16_t> sprite(2, 1, 0), target(2, 1, 0x1111), output(2, 1, 0x2222);
  sprite.At(1, 0) = 0x0800;
  BlendRows rows = {sprite.Bytes(), sprite.Pitch(), target.Bytes(), target.Pitch(), output.Bytes(), output.Pitch(), 2, 1};
  CopyBlendedPixels(rows, 2);
  EXPECT_EQ(0x1111, target.At(0, 0));
  EXPECT_EQ(0x2222, target.At(1, 0));
}

TEST_F(Blend, ClippingAtEveryEdge) {
  struct Case {
    int32_t x, y, w, h;
    int32_t visible, ax, ay, skipX, skipY, width, height;
  } cases[] = {
      {5, 6, 10, 4, 1, 5, 6, 0, 0, 10, 4},          // inside
      {-3, 6, 10, 4, 1, 0, 6, 3, 0, 7, 4},          // left
      {95, 6, 10, 4, 1, 95, 6, 0, 0, 5, 4},         // right (100 wide)
      {5, -2, 10, 4, 1, 5, 0, 0, 2, 10, 2},         // top
      {5, 48, 10, 4, 1, 5, 48, 0, 0, 10, 2},        // bottom (50 high)
      {-9, -3, 10, 4, 1, 0, 0, 9, 3, 1, 1},         // top left corner, one pixel left
      {99, 49, 10, 4, 1, 99, 49, 0, 0, 1, 1},       // bottom right corner
      {-5, -5, 200, 100, 1, 0, 0, 5, 5, 100, 50},   // larger than the output on all sides
      {-10, 6, 10, 4, 0, 0, 0, 0, 0, 0, 0},         // just off the left
      {100, 6, 10, 4, 0, 0, 0, 0, 0, 0, 0},         // just off the right
      {5, -4, 10, 4, 0, 0, 0, 0, 0, 0, 0},          // just off the top
      {5, 50, 10, 4, 0, 0, 0, 0, 0, 0, 0},          // just off the bottom
      {INT_MIN, INT_MIN, 10, 4, 0, 0, 0, 0, 0, 0, 0},
      {INT_MAX, INT_MAX, 32767, 32767, 0, 0, 0, 0, 0, 0, 0},
      {-32766, -32766, 32767, 32767, 1, 0, 0, 32766, 32766, 1, 1},
      {5, 6, 0, 4, 0, 0, 0, 0, 0, 0, 0},            // empty sprites
      {5, 6, -4, 4, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.w << "x" << c.h);
    BlendArea area = {-1, -1, -1, -1, -1, -1};
    ASSERT_EQ(c.visible, ClipBlendArea(c.x, c.y, c.w, c.h, 100, 50, &area));
    if (!c.visible) continue;
    EXPECT_EQ(c.ax, area.x);
    EXPECT_EQ(c.ay, area.y);
    EXPECT_EQ(c.skipX, area.skipX);
    EXPECT_EQ(c.skipY, area.skipY);
    EXPECT_EQ(c.width, area.width);
    EXPECT_EQ(c.height, area.height);
  }
  BlendArea area;
  EXPECT_EQ(0, ClipBlendArea(0, 0, 4, 4, 0, 0, &area));   // no output
}

TEST_F(Blend, ASpritePartlyOffTheLeftBlendsItsColumnsFromThreeOn) {
  // The whole path on memory: clip, then blend the visible part of a 10-wide sprite at x = -3.
  Pixels<uint32_t> sprite(10, 1, 0), target(8, 1, 0);
  for (int32_t x = 0; x < 10; ++x) sprite.At(x, 0) = Grey(static_cast<uint32_t>(10 * x + 5));
  BlendArea area;
  ASSERT_EQ(1, ClipBlendArea(-3, 0, 10, 1, 8, 1, &area));
  BlendRows rows = {sprite.Bytes(area.skipX, area.skipY), sprite.Pitch(), target.Bytes(area.x, area.y), target.Pitch(),
                    target.Bytes(area.x, area.y), target.Pitch(), area.width, area.height};
  BlendRows32(rows, BlendModeFor(255));
  for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(Grey(BlendTable[(10 * (x + 3) + 5) * 256 + 255]), target.At(x, 0)) << x;
  EXPECT_EQ(0u, target.At(7, 0));
}
