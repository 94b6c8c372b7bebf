// The program's own nine sprites loaded into sprite surfaces by Wine's real DirectDraw 7, pixel for
// pixel against their decoded pictures, on a 32-bit and a 16-bit full screen.
#include <windows.h>
#include <ddraw.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/embedded.h"
#include "display/tests/win/display_support.h"
#include "display/tests/win/surface_pixels.h"
#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "image/decoders.h"
#include "image/tests/decoded_picture.h"

namespace {

using testdata::Decode;
using testdata::Decoded;

uint32_t ExpectedPixel(const uint8_t* bgr, int32_t depth, int32_t code) {
  const uint32_t b = bgr[0], g = bgr[1], r = bgr[2];
  if (depth == 16)
    return code == PixelFormat555 ? (r & 0xF8) << 7 | (g & 0xF8) << 2 | b >> 3 : (r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3;
  return r << 16 | g << 8 | b;
}

class EmbeddedSprites : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    EnsureDisplayTestHeaps();
    ResetDisplayState();
    UseSystemDisplayCalls();
    InitSpriteEngine();
  }
  static void TearDownTestSuite() {
    EndScreen();
    ShutdownSpriteEngine();
    ResetDisplayState();
  }
  void SetUp() override { ASSERT_NE(nullptr, Screen.directDraw) << "DirectDraw 7 from DDRAW.DLL"; }
};

TEST_F(EmbeddedSprites, LoadPixelForPixelAtBothDepths) {
  for (int32_t depth : {32, 16}) {
    ASSERT_EQ(1, OpenFullScreen(1024, 768, depth, "Vorlune test"));
    for (int n = 1; n <= 9; ++n) {
      for (int32_t flags : {0, SpriteTexture}) {
        SCOPED_TRACE("sprite " + std::to_string(n) + ", depth " + std::to_string(depth) + ", flags " +
                     std::to_string(flags));
        const unsigned char* data = EmbeddedPicture(n);
        ASSERT_NE(nullptr, data);
        Decoded picture;
        ASSERT_TRUE(Decode(data, EmbeddedPictureSize(n), &picture));
        ASSERT_NE(nullptr, LoadSpriteFromMemory(1, data, flags, EmbeddedPictureSize(n)));
        SpriteRecord* sprite = LookupSprite(1);
        ASSERT_NE(nullptr, sprite);
        LockedPixels pixels;
        ASSERT_TRUE(ReadPixels(sprite->surface, &pixels));
        ASSERT_EQ(picture.width, pixels.width);
        ASSERT_EQ(picture.height, pixels.height);
        int mismatches = 0;
        for (int32_t y = 0; y < picture.height; ++y)
          for (int32_t x = 0; x < picture.width; ++x)
            mismatches += pixels.At(x, y) != ExpectedPixel(picture.At(x, y), depth, Screen.pixelFormatCode);
        EXPECT_EQ(0, mismatches);
        DDCOLORKEY key;
        EXPECT_EQ(DD_OK, sprite->surface->GetColorKey(DDCKEY_SRCBLT, &key));
        EXPECT_EQ(0u, key.dwColorSpaceLowValue);
      }
    }
  }
}

}  // namespace
