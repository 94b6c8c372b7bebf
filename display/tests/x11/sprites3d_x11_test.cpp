// X11 3D sprites: faded quads under the blend factors, the colour key, texel alpha, numbers that
// name nothing, and the batching.
#include "display/tests/x11/x11_screen_support.h"
#include "display/x11/quads.h"

namespace {

const int32_t Side = 16;

// Component by component: a weighted by w plus b weighted by k, or, with k < 0, a times b.
uint32_t Mix(uint32_t a, double w, uint32_t b, double k) {
  uint32_t result = 0;
  for (int shift : {0, 8, 16}) {
    const double v = k < 0 ? Component(a, shift) * Component(b, shift) / 255.0
                           : Component(a, shift) * w + Component(b, shift) * k;
    result |= static_cast<uint32_t>(v > 255 ? 255 : v + 0.5) << shift;
  }
  return result;
}

}  // namespace

class X11Sprites3DTest : public X11ScreenTest {
 protected:
  // Sprite and 3D sprite n from GradientBytes: the texels as 0x00RRGGBB, with alpha above.
  std::vector<uint32_t> Load(ObjectNumber n, int channels, int32_t flags) {
    const std::vector<uint8_t> bytes = GradientBytes(Side, Side, channels, static_cast<int>(n));
    const std::vector<uint8_t> png = Png(Side, Side, channels, bytes);
    EXPECT_NE(nullptr, LoadSpriteFromMemory(n, png.data(), flags | SpriteTexture, png.size()));
    EXPECT_NE(nullptr, MakeSprite3D(n, n));
    std::vector<uint32_t> texels;
    for (size_t i = 0; i < bytes.size(); i += channels)
      texels.push_back((channels == 4 ? bytes[i + 3] : 255u) << 24 | FramePixel(bytes[i], bytes[i + 1], bytes[i + 2]));
    return texels;
  }

  // Pixels of the quad at (x, y) that are not expected(texel) within 2; the first one reported.
  template <class Expected>
  int Misses(const std::vector<uint32_t>& pixels, int32_t width, int32_t x, int32_t y,
             const std::vector<uint32_t>& texels, Expected expected) {
    int misses = 0;
    for (int v = 0; v < Side; ++v)
      for (int u = 0; u < Side; ++u) {
        const uint32_t got = pixels[(y + v) * width + x + u], want = expected(texels[v * Side + u]);
        if (!Near(got, want, 2) && !misses++)
          ADD_FAILURE() << "texel " << u << "," << v << ": " << std::hex << got << " not " << want;
      }
    return misses;
  }
};

TEST_F(X11Sprites3DTest, AdditiveQuadsAddTheirColoursScaledByTheLowByteOfAlpha) {
  Open(160, 40);
  const std::vector<uint32_t> texels = Load(1, 3, 0);
  ClearOutput(0x202020);
  SetSprite3DFiltering(0);
  ASSERT_EQ(1, BeginSprite3DScene());
  SetSprite3DBlendFactors(5, 2);
  const int32_t alphas[] = {255, 128, 0, 511, 256, -128};
  for (int i = 0; i < 6; ++i) DrawSprite3DFaded(1, 4 + 26 * i, 10, alphas[i]);
  EndSprite3DScene();
  const std::vector<uint32_t> pixels = Pixels(160, 40);
  for (int i = 0; i < 6; ++i) {
    const double a = (alphas[i] & 0xFF) / 255.0;
    EXPECT_EQ(0, Misses(pixels, 160, 4 + 26 * i, 10, texels, [&](uint32_t t) { return Mix(t, a, 0x202020, 1); }));
    EXPECT_EQ(0x202020u, pixels[9 * 160 + 4 + 26 * i]);
    EXPECT_EQ(0x202020u, pixels[26 * 160 + 4 + 26 * i]);
  }
}

TEST_F(X11Sprites3DTest, TheSceneStartsAlphaBlendedWithBlackKeyedOutAndTexelAlphaForAlphaSprites) {
  Open();
  const std::vector<uint32_t> keyed = Load(1, 3, 0), alpha = Load(2, 4, SpriteAlpha);
  ClearOutput(0x804020);
  ASSERT_EQ(1, BeginSprite3DScene());
  DrawSprite3DFaded(1, 0, 0, 255);
  DrawSprite3DFaded(1, 20, 0, 100);
  DrawSprite3DFaded(2, 40, 0, 200);
  EndSprite3DScene();
  const std::vector<uint32_t> pixels = Pixels();
  for (int i = 0; i < 2; ++i) {
    const double a = i ? 100 / 255.0 : 1.0;
    EXPECT_EQ(0, Misses(pixels, Width, 20 * i, 0, keyed, [&](uint32_t t) {
      return t & 0xFFFFFF ? Mix(t, a, 0x204080, 1 - a) : 0x204080;
    }));
  }
  EXPECT_EQ(0, Misses(pixels, Width, 40, 0, alpha, [&](uint32_t t) {
    const double a = (t >> 24) / 255.0 * 200 / 255.0;
    return Mix(t, a, 0x204080, 1 - a);
  }));
}

TEST_F(X11Sprites3DTest, BlendFactorsMapToGLAndDestinationAlphaReadsOne) {
  const GLenum expected[] = {GL_ZERO,      GL_ONE,       GL_SRC_COLOR,           GL_ONE_MINUS_SRC_COLOR,
                             GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
                             GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR, NoBlendFactor, NoBlendFactor};
  for (int32_t d3d = 0; d3d < 12; ++d3d) EXPECT_EQ(expected[(d3d + 11) % 12], GLBlendFactor(d3d, false)) << d3d;
  Open();
  const std::vector<uint32_t> texels = Load(1, 3, 0);
  ClearOutput(0x3080C0);
  ASSERT_EQ(1, BeginSprite3DScene());
  SetSprite3DBlendFactors(5, 2);
  DrawSprite3DFaded(1, 0, 0, 255);    // alpha stays 1 under the additive quad
  SetSprite3DBlendFactors(8, 7);      // none of the source, all of the destination
  DrawSprite3DFaded(1, 0, 0, 255);
  SetSprite3DBlendFactors(9, 1);      // the destination's colour times the source's; keyed
  SetSprite3DBlendFactors(0, 99);     // refused: unchanged
  DrawSprite3DFaded(1, 20, 0, 255);
  EndSprite3DScene();
  const std::vector<uint32_t> pixels = Pixels();
  EXPECT_EQ(0, Misses(pixels, Width, 0, 0, texels, [](uint32_t t) { return Mix(t, 1, 0xC08030, 1); }));
  EXPECT_EQ(0, Misses(pixels, Width, 20, 0, texels, [](uint32_t t) {
    return t & 0xFFFFFF ? Mix(t, 0, 0xC08030, -1) : 0xC08030u;
  }));
}

TEST_F(X11Sprites3DTest, NumbersThatNameNothingDrawNothing) {
  Open();
  Load(1, 3, 0);
  ASSERT_NE(nullptr, NewSprite(3, 4, 4, 0));
  ASSERT_NE(nullptr, NewSprite(4, 4, 4, SpriteTexture | SpriteMemoryOnly));
  EXPECT_EQ(nullptr, MakeSprite3D(2, 77));
  EXPECT_EQ(nullptr, MakeSprite3D(AutoNumber, 77));
  EXPECT_EQ(nullptr, MakeSprite3D(3, 3)) << "no texture flag";
  EXPECT_EQ(nullptr, MakeSprite3D(4, 4)) << "a memory sprite";
  ClearOutput(0x102030);
  DrawSprite3DFaded(1, 0, 0, 255);   // outside a scene
  ASSERT_EQ(1, BeginSprite3DScene());
  DrawSprite3DFaded(999, 0, 0, 255);
  DrawSprite3DFadedObject(-5, 0, 0, 255);
  Load(5, 3, 0);
  ReleaseSprite(5);
  DrawSprite3DFaded(5, 20, 0, 255);   // its sprite is gone
  ASSERT_NE(nullptr, NewSprite(1, 16, 16, SpriteTexture));
  DrawSprite3DFaded(1, 40, 0, 255);   // its sprite was replaced
  EndSprite3DScene();
  for (uint32_t pixel : Pixels()) ASSERT_EQ(0x302010u, pixel);
}

TEST_F(X11Sprites3DTest, QuadsOfOneTextureShareADrawUntilTheBatchIsFull) {
  Open();
  Load(1, 3, 0);
  Load(2, 3, 0);
  ClearOutput(0);
  ASSERT_EQ(1, BeginSprite3DScene());
  SetSprite3DBlendFactors(5, 2);
  const uint32_t before = Quads.draws;
  for (int i = 0; i < 2000; ++i) DrawSprite3DFaded(1, i % 50 - 100, 0, 255);
  for (int i = 0; i < 1000; ++i) DrawSprite3DFaded(2, -100, 0, 255);
  EXPECT_EQ(before + 1, Quads.draws) << "the change of texture";
  for (int i = 0; i < QuadBatchCapacity; ++i) DrawSprite3DFaded(1, -100, 0, 255);
  DrawSprite3DFaded(1, 0, 0, 255);   // the first of a new batch
  EndSprite3DScene();
  EXPECT_EQ(before + 4, Quads.draws);
  EXPECT_NE(0u, Pixels()[Width + 1]);
}
