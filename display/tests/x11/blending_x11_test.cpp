// The X11 software frame: cleared and blended in memory with the portable arithmetic, shown as
// one quad under the 3D scene, and the blend on the back buffer outside it.
#include "display/blend.h"
#include "display/blending.h"
#include "display/tests/x11/x11_screen_support.h"

class X11BlendingTest : public X11ScreenTest {
 protected:
  // The saver's star: a white 1 x 2 sprite.
  void MakeStar() {
    ASSERT_NE(nullptr, NewSprite(10, 1, 2, SpriteSystemMemory));
    DrawSpriteLine(10, 0, 0, 0, 2, 0xFFFFFF);
  }
};

// Two frames: each is uploaded afresh, and the scene adds onto it.
TEST_F(X11BlendingTest, TheSoftwareFrameShowsTheTableBlendExactlyClippedUnderTheScene) {
  EXPECT_EQ(0, BeginSoftwareFrame()) << "no screen yet";
  Open();
  MakeStar();
  ASSERT_NE(nullptr, NewSprite(11, 1, 1, SpriteTexture));
  DrawSpriteLine(11, 0, 0, 1, 0, 0x000040);
  ASSERT_NE(nullptr, MakeSprite3D(11, 11));
  for (uint32_t red : {0x80u, 0x40u}) {
    ASSERT_EQ(1, BeginSoftwareFrame());
    ClearOutput(red);
    BlendSprite(10, 3, 4, 100);
    BlendSprite(10, 5, 4, HalfMixIntensity);
    BlendSprite(10, 7, 4, 1000);          // clamped to 255
    BlendSprite(10, -1, 0, 100);          // off the left edge
    BlendSprite(10, 9, Height - 1, 100);  // half off the bottom
    BlendSprite(99, 0, 0, 100);
    EndSoftwareFrame();
    BeginSprite3DScene();
    SetSprite3DBlendFactors(5, 2);
    DrawSprite3DFaded(11, 20, 20, 255);
    EndSprite3DScene();
    const std::vector<uint32_t> pixels = Pixels();
    const uint32_t background = red << 16;
    const int32_t intensities[3] = {100, HalfMixIntensity, 255};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(BlendPixel32(0xFFFFFF, background, BlendModeFor(intensities[i])), pixels[4 * Width + 3 + 2 * i]);
      EXPECT_EQ(pixels[4 * Width + 3 + 2 * i], pixels[5 * Width + 3 + 2 * i]);
    }
    EXPECT_NE(background, pixels[(Height - 1) * Width + 9]);
    EXPECT_EQ((red + 0x40) << 16, pixels[20 * Width + 20]);
    size_t touched = 0;
    for (uint32_t pixel : pixels) touched += pixel != background;
    EXPECT_EQ(8u, touched);
    FlipScreen();
  }
}

TEST_F(X11BlendingTest, OnTheBackBufferTheBlendIsGLsAndSkipsBlack) {
  Open();
  MakeStar();
  ASSERT_NE(nullptr, NewSprite(12, 2, 1, SpriteAlpha));
  ClearOutput(0x000080);
  BlendSprite(10, 2, 2, 128);
  BlendSprite(12, 6, 2, 128);   // an alpha sprite: not drawn here
  BlendSprite(10, -1, -1, 128);
  const std::vector<uint32_t> pixels = Pixels();
  EXPECT_TRUE(Near(pixels[2 * Width + 2], 0xC08080, 2)) << std::hex << pixels[2 * Width + 2];
  EXPECT_EQ(0x800000u, pixels[2 * Width + 6]);
  EXPECT_EQ(0x800000u, pixels[1 * Width + 2]);
}
