// 3D sprites on Wine's real Direct3D 7: the back buffer after a scene, read back through a lock.
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/win/sprites3d.h"
#include "display/tests/win/display_support.h"
#include "display/tests/win/png_builder.h"
#include "display/tests/win/surface_pixels.h"

namespace {

struct Rgb {
  int r, g, b;
};

// The colour bits of a back-buffer pixel: Direct3D fills the unused top byte of 32-bit pixels.
uint32_t Colour(uint32_t pixel) { return pixel & 0xFFFFFF; }

// A pixel of the screen's format as 8-bit components.
Rgb Components(uint32_t pixel, int32_t depth) {
  if (depth == 16) {
    const int r = pixel >> 11 & 0x1F, g = pixel >> 5 & 0x3F, b = pixel & 0x1F;
    return {r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2};
  }
  return {static_cast<int>(pixel >> 16 & 0xFF), static_cast<int>(pixel >> 8 & 0xFF), static_cast<int>(pixel & 0xFF)};
}

// 16 x 16 RGB rows (R, G, B bytes): distinct colours, black (transparent) on a diagonal pattern.
std::vector<uint8_t> SparkleRows() {
  std::vector<uint8_t> rgb;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool black = (3 * x + y) % 7 == 0;
      rgb.push_back(black ? 0 : static_cast<uint8_t>(60 + 12 * x));
      rgb.push_back(black ? 0 : static_cast<uint8_t>(60 + 12 * y));
      rgb.push_back(black ? 0 : static_cast<uint8_t>(240 - 6 * x - 4 * y));
    }
  return rgb;
}

std::vector<uint8_t> SparklePng() { return BuildPng(16, 16, 3, SparkleRows()); }

// RGBA rows: the sparkle's colours with alpha rising to the right (black pixels get full alpha).
std::vector<uint8_t> SparkleRgbaPng() {
  const std::vector<uint8_t> rgb = SparkleRows();
  std::vector<uint8_t> rgba;
  for (int i = 0; i < 256; ++i) {
    rgba.insert(rgba.end(), rgb.begin() + 3 * i, rgb.begin() + 3 * i + 3);
    const bool black = rgb[3 * i] == 0;
    rgba.push_back(black ? 255 : static_cast<uint8_t>(15 + 16 * (i % 16)));
  }
  return BuildPng(16, 16, 4, rgba);
}

struct DeviceList {
  std::vector<GUID> ids;
  std::string names;
};

HRESULT CALLBACK CollectDevice(char*, char* name, D3DDEVICEDESC7* device, void* context) {
  DeviceList* list = static_cast<DeviceList*>(context);
  list->ids.push_back(device->deviceGUID);
  list->names += std::string(list->names.empty() ? "" : ", ") + name;
  return D3DENUMRET_OK;
}

}  // namespace

class WineSprites3D : public RealDisplayTest {
 protected:
  static void SetUpTestSuite() {
    memset(&Sprites3D, 0, sizeof(Sprites3D));
    RealDisplayTest::SetUpTestSuite();
    initResult = Sprite3DLibraryInit();
  }
  static void TearDownTestSuite() {
    EndScreen();
    CloseSprite3DLibrary();
    RealDisplayTest::TearDownTestSuite();
  }
  static int32_t initResult;

  void SetUp() override {
    RealDisplayTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(1, initResult) << "IDirect3D7 from the DirectDraw object";
    ASSERT_NE(nullptr, Sprites3D.direct3D);
  }

  void Open(int32_t depth) {
    ASSERT_EQ(1, OpenFullScreen(1024, 768, depth, "Vorlune 3D test"));
    ASSERT_EQ(depth, Screen.screenDepth);
  }

  // Sprite n from the PNG data with the flags, made 3D sprite n; its texels as the screen has them.
  void Load(ObjectNumber n, const std::vector<uint8_t>& png, int32_t flags, LockedPixels* texels) {
    ASSERT_NE(nullptr, LoadSpriteFromMemory(n, png.data(), flags, png.size()));
    ASSERT_NE(nullptr, MakeSprite3D(n, n));
    ASSERT_TRUE(ReadPixels(LookupSprite(n)->surface, texels));
  }

  LockedPixels Back() {
    LockedPixels back;
    EXPECT_TRUE(ReadPixels(Screen.backBuffer, &back));
    return back;
  }

  // Every pixel of the 16 x 16 quad at (x, y) against expected(texel u, texel v), component by
  // component, within tolerance; returns the number of pixels outside it (the first few reported).
  // Pixel centres fall on texel edges (the quad is not offset by half a pixel), so a pixel may
  // show the texel above or to the left instead: those are accepted too, and counted.
  template <class Expected>
  int CompareQuad(const LockedPixels& back, int32_t x, int32_t y, int32_t depth, int tolerance, Expected expected) {
    int wrong = 0, shifted = 0;
    for (int32_t v = 0; v < 16; ++v)
      for (int32_t u = 0; u < 16; ++u) {
        const Rgb got = Components(back.At(x + u, y + v), depth);
        auto close = [&](const Rgb& want) {
          return abs(want.r - got.r) <= tolerance && abs(want.g - got.g) <= tolerance && abs(want.b - got.b) <= tolerance;
        };
        if (close(expected(u, v))) continue;
        if ((u > 0 && close(expected(u - 1, v))) || (v > 0 && close(expected(u, v - 1))) ||
            (u > 0 && v > 0 && close(expected(u - 1, v - 1)))) {
          ++shifted;
          continue;
        }
        if (++wrong <= 4) {
          const Rgb want = expected(u, v);
          ADD_FAILURE() << "texel " << u << "," << v << ": got " << got.r << "," << got.g << "," << got.b
                        << " expected " << want.r << "," << want.g << "," << want.b;
        }
      }
    if (shifted) printf("[ note     ] quad at %d,%d: %d pixels showed a neighbouring texel\n", x, y, shifted);
    EXPECT_LE(shifted, 64) << "more than a few rows or columns sampled off by one";
    return wrong;
  }
};

int32_t WineSprites3D::initResult = 0;

TEST_F(WineSprites3D, TheLastEnumeratedDeviceIsTheOneCreated) {
  Open(32);
  DeviceList seen;
  ASSERT_EQ(D3D_OK, Sprites3D.direct3D->EnumDevices(CollectDevice, &seen));
  ASSERT_FALSE(seen.ids.empty());
  printf("[ note     ] Direct3D devices: %s\n", seen.names.c_str());
  ASSERT_EQ(1, BeginSprite3DScene());
  EndSprite3DScene();
  EXPECT_TRUE(IsEqualGUID(seen.ids.back(), Sprites3D.deviceGuid));
  EXPECT_NE(nullptr, Screen.device3D);
}

TEST_F(WineSprites3D, FadedSpritesAddTheirColoursScaledByAlpha) {
  for (int32_t depth : {32, 16}) {
    SCOPED_TRACE(depth);
    Open(depth);
    LockedPixels texels;
    Load(1, SparklePng(), SpriteTexture, &texels);
    ClearOutput(0);
    SetSprite3DFiltering(0);
    ASSERT_EQ(1, BeginSprite3DScene());
    SetSprite3DBlendFactors(D3DBLEND_SRCALPHA, D3DBLEND_ONE);
    const int32_t alphas[] = {255, 128, 64, 0, 256, 511};
    for (int i = 0; i < 6; ++i) DrawSprite3DFaded(1, 100 + 40 * i, 200, alphas[i]);
    EndSprite3DScene();
    const LockedPixels back = Back();
    // 16-bit screens round each stage to 5 or 6 bits.
    const int tolerance = depth == 32 ? 2 : 10;
    for (int i = 0; i < 6; ++i) {
      SCOPED_TRACE(alphas[i]);
      const int alpha = alphas[i] & 0xFF;
      EXPECT_EQ(0, CompareQuad(back, 100 + 40 * i, 200, depth, tolerance, [&](int u, int v) {
        const Rgb t = Components(texels.At(u, v), depth);
        return Rgb{t.r * alpha / 255, t.g * alpha / 255, t.b * alpha / 255};
      }));
      // Nothing around the quad.
      for (int32_t k = -1; k <= 16; ++k) {
        EXPECT_EQ(0u, Colour(back.At(100 + 40 * i + k, 199)));
        EXPECT_EQ(0u, Colour(back.At(100 + 40 * i + k, 216)));
        EXPECT_EQ(0u, Colour(back.At(99 + 40 * i, 200 + (k & 15))));
        EXPECT_EQ(0u, Colour(back.At(116 + 40 * i, 200 + (k & 15))));
      }
    }
  }
}

TEST_F(WineSprites3D, TheColourKeyCutsOutBlackAndOverlapsAddUp) {
  Open(32);
  LockedPixels texels;
  Load(1, SparklePng(), SpriteTexture, &texels);
  ClearOutput(0x808080);
  ASSERT_EQ(1, BeginSprite3DScene());   // source alpha over inverse source alpha: a plain copy at 255
  DrawSprite3DFaded(1, 50, 60, 255);
  EndSprite3DScene();
  LockedPixels back = Back();
  EXPECT_EQ(0, CompareQuad(back, 50, 60, 32, 1, [&](int u, int v) {
    const uint32_t t = texels.At(u, v);
    return t == 0 ? Rgb{128, 128, 128} : Components(t, 32);
  }));

  // Additive: three draws of 100 on black, two of them on the same spot, the third 8 to the right.
  ClearOutput(0);
  ASSERT_EQ(1, BeginSprite3DScene());
  SetSprite3DBlendFactors(D3DBLEND_SRCALPHA, D3DBLEND_ONE);
  DrawSprite3DFaded(1, 300, 300, 100);
  DrawSprite3DFaded(1, 300, 300, 100);
  DrawSprite3DFaded(1, 308, 300, 100);
  EndSprite3DScene();
  back = Back();
  auto faded = [&](int u, int v, int times) {
    if (u < 0 || u >= 16) return Rgb{0, 0, 0};
    const Rgb t = Components(texels.At(u, v), 32);
    return Rgb{times * (t.r * 100 / 255), times * (t.g * 100 / 255), times * (t.b * 100 / 255)};
  };
  EXPECT_EQ(0, CompareQuad(back, 300, 300, 32, 3, [&](int u, int v) {
    const Rgb twice = faded(u, v, 2), shifted = faded(u - 8, v, 1);
    return Rgb{std::min(255, twice.r + shifted.r), std::min(255, twice.g + shifted.g), std::min(255, twice.b + shifted.b)};
  }));
  EXPECT_EQ(0, CompareQuad(back, 308, 300, 32, 3, [&](int u, int v) {
    const Rgb twice = faded(u + 8, v, 2), own = faded(u, v, 1);
    return Rgb{std::min(255, twice.r + own.r), std::min(255, twice.g + own.g), std::min(255, twice.b + own.b)};
  }));
}

TEST_F(WineSprites3D, AlphaSpritesUseTheirTexelAlphaWithoutTheColourKey) {
  Open(32);
  LockedPixels alphaTexels, keyedTexels;
  Load(2, SparkleRgbaPng(), SpriteTexture | SpriteAlpha, &alphaTexels);
  Load(1, SparklePng(), SpriteTexture, &keyedTexels);
  ClearOutput(0x808080);
  ASSERT_EQ(1, BeginSprite3DScene());
  DrawSprite3DFaded(2, 100, 100, 255);   // over grey: texel alpha blends, black texels (alpha 255) are drawn
  DrawSprite3DFaded(1, 200, 100, 255);   // and the key is back for the next sprite
  DrawSprite3DFaded(2, 300, 100, 128);
  EndSprite3DScene();
  const LockedPixels back = Back();
  auto over = [&](int u, int v, int vertexAlpha) {
    const uint32_t t = alphaTexels.At(u, v);
    const Rgb c = Components(t, 32);
    const int a = static_cast<int>(t >> 24) * vertexAlpha / 255;
    return Rgb{(c.r * a + 128 * (255 - a)) / 255, (c.g * a + 128 * (255 - a)) / 255, (c.b * a + 128 * (255 - a)) / 255};
  };
  EXPECT_EQ(0, CompareQuad(back, 100, 100, 32, 3, [&](int u, int v) { return over(u, v, 255); }));
  EXPECT_EQ(0, CompareQuad(back, 300, 100, 32, 3, [&](int u, int v) { return over(u, v, 128); }));
  EXPECT_EQ(0, CompareQuad(back, 200, 100, 32, 1, [&](int u, int v) {
    const uint32_t t = keyedTexels.At(u, v);
    return t == 0 ? Rgb{128, 128, 128} : Components(t, 32);
  }));
}

TEST_F(WineSprites3D, AnAlphaSpriteWithoutAlphaBytesLeavesTheScreenAlone) {
  Open(32);
  LockedPixels texels;
  Load(3, SparklePng(), SpriteTexture | SpriteAlpha, &texels);   // 24-bit source: alpha bytes 0
  for (int32_t destination : {D3DBLEND_INVSRCALPHA, D3DBLEND_ONE}) {
    SCOPED_TRACE(destination);
    ClearOutput(0x406080);
    ASSERT_EQ(1, BeginSprite3DScene());
    SetSprite3DBlendFactors(D3DBLEND_SRCALPHA, destination);
    DrawSprite3DFaded(3, 10, 10, 255);
    EndSprite3DScene();
    int changed = 0;
    for (uint32_t v : Back().values) changed += Colour(v) != 0x806040;
    EXPECT_EQ(0, changed);
  }
}

TEST_F(WineSprites3D, PointSamplingCopiesTexelsAndBilinearMixesThem) {
  Open(32);
  // A checkerboard of single texels in two colours (neither black).
  std::vector<uint8_t> rgb;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      for (int c = 0; c < 3; ++c) rgb.push_back((x + y) % 2 ? 240 : 40);
  LockedPixels texels;
  Load(4, BuildPng(16, 16, 3, rgb), SpriteTexture, &texels);
  ClearOutput(0);
  SetSprite3DFiltering(0);
  ASSERT_EQ(1, BeginSprite3DScene());
  DrawSprite3DFaded(4, 100, 100, 255);
  SetSprite3DFiltering(1);
  DrawSprite3DFaded(4, 200, 100, 255);
  EndSprite3DScene();
  SetSprite3DFiltering(0);
  const LockedPixels back = Back();
  // Point sampling shows only texel colours (which texel a pixel on an edge shows is Direct3D's).
  int other = 0;
  for (int32_t v = 0; v < 16; ++v)
    for (int32_t u = 0; u < 16; ++u) {
      const uint32_t c = Colour(back.At(100 + u, 100 + v));
      other += c != Colour(texels.At(0, 0)) && c != Colour(texels.At(1, 0));
    }
  EXPECT_EQ(0, other);
  int mixed = 0;
  for (int32_t v = 1; v < 15; ++v)
    for (int32_t u = 1; u < 15; ++u) {
      const int g = Components(back.At(200 + u, 100 + v), 32).g;
      mixed += g > 50 && g < 230;
    }
  printf("[ note     ] bilinear: %d of 196 inner pixels between the two texel colours\n", mixed);
  EXPECT_GT(mixed, 98);
}

TEST_F(WineSprites3D, AFreshDeviceAfterTheScreenReopens) {
  Open(32);
  LockedPixels texels;
  Load(1, SparklePng(), SpriteTexture, &texels);
  ASSERT_EQ(1, BeginSprite3DScene());
  EndSprite3DScene();
  ASSERT_NE(nullptr, Screen.device3D);
  EndScreen();
  EXPECT_EQ(nullptr, Screen.device3D);
  Open(32);
  // The sprites went with the old screen: the 3D sprite draws nothing until it is made again.
  ClearOutput(0);
  ASSERT_EQ(1, BeginSprite3DScene());
  ASSERT_NE(nullptr, Screen.device3D);
  SetSprite3DBlendFactors(D3DBLEND_SRCALPHA, D3DBLEND_ONE);
  DrawSprite3DFaded(1, 10, 10, 255);
  EndSprite3DScene();
  LockedPixels back = Back();
  int lit = 0;
  for (uint32_t v : back.values) lit += Colour(v) != 0;
  EXPECT_EQ(0, lit);
  Load(1, SparklePng(), SpriteTexture, &texels);
  ASSERT_EQ(1, BeginSprite3DScene());
  SetSprite3DBlendFactors(D3DBLEND_SRCALPHA, D3DBLEND_ONE);
  DrawSprite3DFaded(1, 10, 10, 255);
  EndSprite3DScene();
  back = Back();
  EXPECT_EQ(0, CompareQuad(back, 10, 10, 32, 2, [&](int u, int v) { return Components(texels.At(u, v), 32); }));
  // And the frame can be shown.
  EXPECT_EQ(Screen.backBuffer, FlipScreen());
}
