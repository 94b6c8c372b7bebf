// X11 sprites: pictures loaded and blitted, refused when corrupt, lines drawn into them, and the
// texture following their pixels.
#include "display/blending.h"
#include "display/tests/x11/x11_screen_support.h"

namespace {

// R, G, B bytes of a 3 x 2 picture: distinct colours, black in the middle of the top row.
const std::vector<uint8_t> Rgb3x2 = {200, 10, 20, 0, 0, 0, 30, 40, 250, 1, 2, 3, 90, 180, 60, 255, 255, 255};

uint32_t Expected3x2(int x, int y) {
  const uint8_t* p = &Rgb3x2[3 * (3 * y + x)];
  return FramePixel(p[0], p[1], p[2]);
}

// A 24-bit bitmap file of 2 x 1 pixels: red and blue, stored blue, green, red.
const std::vector<uint8_t> Bitmap2x1 = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0,
                                        1,   0,   0,  0, 1, 0, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0,
                                        0,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0};

}  // namespace

TEST_F(X11ScreenTest, PicturesBlitOpaquelyAndClippedOnTheBackBufferAndInTheSoftwareFrame) {
  Open();
  const std::vector<uint8_t> png = Png(3, 2, 3, Rgb3x2);
  ASSERT_NE(nullptr, LoadSpriteFromMemory(1, png.data(), 0, png.size()));
  ASSERT_NE(nullptr, LoadSpriteFromMemory(2, Bitmap2x1.data(), 0, Bitmap2x1.size()));
  for (int software = 0; software < 2; ++software) {
    SCOPED_TRACE(software);
    if (software) {
      ASSERT_EQ(1, BeginSoftwareFrame());
    }
    ClearOutput(0x808080);
    BlitSprite(1, 10, 5);
    BlitSprite(2, 20, 5);
    BlitSprite(1, -2, -1);
    BlitSprite(1, Width - 1, Height - 1);
    BlitSprite(1, -100000, 2000000000);
    BlitSprite(99, 5, 5);
    EndSoftwareFrame();
    const std::vector<uint32_t> pixels = Pixels();
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) EXPECT_EQ(Expected3x2(x, y), pixels[(5 + y) * Width + 10 + x]) << x << y;
    const uint32_t bitmap[3] = {0xFF0000, 0x0000FF, 0x808080};
    for (int x = 0; x < 3; ++x) EXPECT_EQ(bitmap[x], pixels[5 * Width + 20 + x]);
    EXPECT_EQ(Expected3x2(2, 1), pixels[0]);
    EXPECT_EQ(Expected3x2(0, 0), pixels[(Height - 1) * Width + Width - 1]);
    EXPECT_EQ(0x808080u, pixels[1]);
    EXPECT_EQ(0x808080u, pixels[Width]);
  }
}

TEST_F(X11ScreenTest, CorruptPicturesBadSizesAndUnknownNumbersLeaveNothing) {
  const std::vector<uint8_t> png = Png(3, 2, 3, Rgb3x2);
  std::vector<uint8_t> badCrc = png, hugeBitmap = Bitmap2x1, shortBitmap = Bitmap2x1, noise(100, 0x5A);
  badCrc[30] ^= 0xFF;
  hugeBitmap[21] = 0x7F;   // width 0x7F000002
  shortBitmap.resize(60);
  const long before = ShimLiveBlocks(MainHeap);
  for (const std::vector<uint8_t>* picture : {&badCrc, &hugeBitmap, &shortBitmap, &noise}) {
    EXPECT_EQ(nullptr, LoadSpriteFromMemory(1, picture->data(), 0, picture->size()));
    EXPECT_EQ(nullptr, LookupSprite(1));
    EXPECT_EQ(nullptr, LoadSpriteFromMemory(AutoNumber, picture->data(), 0, picture->size()));
  }
  EXPECT_EQ(nullptr, LoadSpriteFromMemory(1, png.data(), 0, 20)) << "cut short";
  EXPECT_EQ(nullptr, LoadSpriteFromMemory(1, nullptr, 0, 100));
  EXPECT_EQ(nullptr, LoadSpriteFromMemory(1, png.data(), SpriteMemoryOnly, png.size()));
  for (int32_t side : {0, -3, 16385}) EXPECT_EQ(nullptr, NewSprite(3, side, 4, SpriteTexture));
  EXPECT_EQ(nullptr, NewSprite(AutoNumber, 8192, 8192, 0)) << "more pixels than a sprite may have";
  EXPECT_EQ(before, ShimLiveBlocks(MainHeap));
  ReleaseSprite(12345);
  DrawSpriteLine(12345, 0, 0, 5, 5, 0);
  EXPECT_EQ(0, SelectSpriteOutput(12345));
  EXPECT_EQ(nullptr, LockSpriteOutput(nullptr));
}

TEST_F(X11ScreenTest, LinesLeaveOutTheirEndAndStayOnTheSprite) {
  const ObjectNumber sprite = reinterpret_cast<ObjectNumber>(NewSprite(AutoNumber, 5, 4, 0));
  ASSERT_NE(0, sprite);
  DrawSpriteLine(sprite, 0, 0, 4, 0, 0x0000FF);                       // row 0, columns 0-3
  DrawSpriteLine(sprite, 4, 3, 0, -3, 0x00FF00);                      // column 4, rows 3 to 1
  DrawSpriteLine(sprite, 0, 1, 3, 2, 0xFF0000);                       // (0,1) (1,2) (2,2)
  DrawSpriteLine(sprite, -1000000000, 3, 2000000000, 0, 0x010101);    // all of row 3
  ASSERT_EQ(1, SelectSpriteOutput(sprite));
  int32_t pitch = 0;
  const uint32_t* p = static_cast<const uint32_t*>(LockSpriteOutput(&pitch));
  ASSERT_NE(nullptr, p);
  ASSERT_EQ(20, pitch);
  const uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, D = 0x010101;
  const uint32_t want[4][5] = {{R, R, R, R, 0}, {B, 0, 0, 0, G}, {0, B, B, 0, G}, {D, D, D, D, D}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(want[y][x], p[y * 5 + x]) << x << "," << y;
  ReleaseSpriteOutput();
}

TEST_F(X11ScreenTest, TheTextureFollowsThePixelsAndAReleasedSpriteStillShowsItsQueuedBlit) {
  Open();
  ASSERT_NE(nullptr, NewSprite(1, 2, 1, SpriteSystemMemory));
  ClearOutput(0);
  BlitSprite(1, 0, 0);
  DrawSpriteLine(1, 0, 0, 2, 0, 0xFFFFFF);
  BlitSprite(1, 4, 0);
  ASSERT_EQ(1, SelectSpriteOutput(1));
  uint32_t* words = static_cast<uint32_t*>(LockSpriteOutput(nullptr));
  ASSERT_NE(nullptr, words);
  words[1] = 0x123456;
  ReleaseSpriteOutput();
  BlitSprite(1, 8, 0);
  ReleaseSprite(1);
  const std::vector<uint32_t> pixels = Pixels();
  const uint32_t want[] = {0, 0, 0, 0, 0xFFFFFF, 0xFFFFFF, 0, 0, 0xFFFFFF, 0x123456};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(want[x], pixels[x]) << x;
}
