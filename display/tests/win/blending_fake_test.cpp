// The software frame and BlendSprite against the recording DirectDraw fake: the scratch
// surface's creation and reuse, the locks and their order, failures, and depths without blending.
#include <windows.h>
#include <ddraw.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/blend.h"
#include "display/blending.h"
#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/tests/win/display_support.h"
#include "display/tests/win/fake_ddraw.h"
#include "image/tests/image_data.h"

using namespace testdata;

using Calls = std::vector<std::string>;

class FakeBlending : public FakeDisplayTest {
 protected:
  void Open(int32_t depth, int32_t width = 64, int32_t height = 48) {
    ASSERT_EQ(1, OpenFullScreen(width, height, depth, "Fake blending"));
    Log().Clear();
  }

  // A sprite of w x h pixels with the given values, row by row.
  FakeSurface* MakeSprite(ObjectNumber number, int32_t w, int32_t h, const std::vector<uint32_t>& values,
                          int32_t flags = SpriteSystemMemory) {
    if (!NewSprite(number, w, h, flags)) return nullptr;
    FakeSurface* surface = static_cast<FakeSurface*>(LookupSprite(number)->surface);
    for (int32_t i = 0; i < w * h && i < static_cast<int32_t>(values.size()); ++i) surface->SetPixel(i % w, i / w, values[i]);
    Log().Clear();
    return surface;
  }

  FakeSurface* Scratch() { return static_cast<FakeSurface*>(Screen.scratchSurface); }
};

TEST_F(FakeBlending, TheSoftwareFrameStandsInForTheDrawTarget) {
  Open(32);
  ASSERT_EQ(1, BeginSoftwareFrame());
  ASSERT_NE(nullptr, Scratch());
  const std::string scratch = Scratch()->name;
  EXPECT_EQ(Calls{"dd.CreateSurface(size=ok,flags=0x7,caps=0x840,w=64,h=48)"}, Log().calls);
  EXPECT_EQ(Screen.scratchSurface, Screen.drawTarget);
  EXPECT_EQ(dd->back, Screen.savedDrawTarget);
  EXPECT_EQ(64, Screen.outputWidth);
  EXPECT_EQ(48, Screen.outputHeight);
  Scratch()->Fill(0x123456);
  Log().Clear();
  EndSoftwareFrame();
  EXPECT_EQ(Calls{"back.Blt(0," + scratch + ",0,0x1000000)"}, Log().calls);
  EXPECT_EQ(dd->back, Screen.drawTarget);
  EXPECT_EQ(0x123456u, dd->back->Pixel(63, 47));
  EXPECT_TRUE(Screen.softwareFrame);   // stays set after the end
  // A second end copies again.
  dd->back->Fill(0);
  EndSoftwareFrame();
  EXPECT_EQ(2, Log().Count("back.Blt"));
  EXPECT_EQ(0x123456u, dd->back->Pixel(0, 0));

  // The next frame reuses the scratch surface.
  Log().Clear();
  ASSERT_EQ(1, BeginSoftwareFrame());
  EXPECT_EQ(0, Log().Count("dd.CreateSurface"));
  EXPECT_EQ(scratch, Scratch()->name);
}

TEST_F(FakeBlending, ASecondStartWithoutAnEndStillEndsOnTheBackBuffer) {
  Open(32);
  ASSERT_EQ(1, BeginSoftwareFrame());
  ASSERT_EQ(1, BeginSoftwareFrame());
  EXPECT_EQ(dd->back, Screen.savedDrawTarget);
  Log().Clear();
  EndSoftwareFrame();
  EXPECT_EQ(Calls{"back.Blt(0," + Scratch()->name + ",0,0x1000000)"}, Log().calls);
  EXPECT_EQ(dd->back, Screen.drawTarget);
}

TEST_F(FakeBlending, TheScratchSurfaceFollowsTheOutputSize) {
  Open(32);
  ASSERT_EQ(1, BeginSoftwareFrame());
  EndSoftwareFrame();
  const std::string first = Scratch()->name;
  MakeSprite(5, 20, 10, {});
  SelectDrawTarget(5);
  Log().Clear();
  ASSERT_EQ(1, BeginSoftwareFrame());
  EXPECT_EQ(Calls({first + ".Release", "dd.CreateSurface(size=ok,flags=0x7,caps=0x840,w=20,h=10)"}), Log().calls);
  EXPECT_EQ(20, Screen.scratchWidth);
  EXPECT_EQ(10, Screen.scratchHeight);
  EndSoftwareFrame();
  EXPECT_EQ(LookupSprite(5)->surface, Screen.drawTarget);
  // Closing the screen releases it.
  SelectDrawTarget(-1);
  const std::string second = Scratch()->name;
  Log().Clear();
  EndScreen();
  EXPECT_EQ(1, Log().Count(second + ".Release"));
  EXPECT_EQ(nullptr, Screen.scratchSurface);
}

TEST_F(FakeBlending, AFailedScratchSurfaceLeavesEverythingAsItWas) {
  Open(32);
  MakeSprite(1, 2, 1, {0xFFFFFF, 0xFFFFFF});
  dd->createSurfaceResult = DDERR_OUTOFMEMORY;
  EXPECT_EQ(0, BeginSoftwareFrame());
  EXPECT_FALSE(Screen.softwareFrame);
  EXPECT_EQ(dd->back, Screen.drawTarget);
  Log().Clear();
  EndSoftwareFrame();
  BlendSprite(1, 0, 0, 255);   // no frame and no scratch: skipped
  EXPECT_EQ(Calls{"dd.CreateSurface(size=ok,flags=0x7,caps=0x840,w=64,h=48)"}, Log().calls);
  // Once a scratch surface can be had, blending works again.
  dd->createSurfaceResult = DD_OK;
  dd->back->Fill(0);
  BlendSprite(1, 0, 0, 255);
  EXPECT_EQ(0xFFFFFFu, dd->back->Pixel(0, 0));
}

TEST_F(FakeBlending, BlendingInsideAFrameLocksSpriteThenTarget) {
  Open(32);
  FakeSurface* sprite = MakeSprite(1, 2, 1, {0, 0x00C8C8C8});
  ASSERT_EQ(1, BeginSoftwareFrame());
  ClearOutput(0x646464);
  Log().Clear();
  BlendSprite(1, 10, 20, 64);
  const std::string s = sprite->name, t = Scratch()->name;
  // Inside the frame both locks are kept for the next blend and ended with the frame.
  EXPECT_EQ(Calls({s + ".Lock(0,0x1)", t + ".Lock(0,0x1)"}), Log().calls);
  EndSoftwareFrame();
  EXPECT_EQ(Calls({s + ".Lock(0,0x1)", t + ".Lock(0,0x1)", t + ".Unlock", s + ".Unlock", "back.Blt(0," + t + ",0,0x1000000)"}),
            Log().calls);
  EXPECT_EQ(0x646464u, Scratch()->Pixel(10, 20));   // black sprite pixel
  EXPECT_EQ(0x7D7D7Du, Scratch()->Pixel(11, 20));   // 200 over 100 at 64
  EXPECT_EQ(0x646464u, Scratch()->Pixel(12, 20));
  EXPECT_EQ(0x646464u, Scratch()->Pixel(11, 21));
}

TEST_F(FakeBlending, BlendsOfOneFrameShareTheirLocksUntilSomethingElseUsesTheSurfaces) {
  Open(32);
  FakeSurface* star = MakeSprite(1, 1, 2, {0x00FFFFFF, 0x00FFFFFF});
  FakeSurface* other = MakeSprite(2, 1, 1, {0x00808080});
  ASSERT_EQ(1, BeginSoftwareFrame());
  ClearOutput(0);
  const std::string s = star->name, o = other->name, t = Scratch()->name;
  Log().Clear();
  for (int i = 0; i < 100; ++i) BlendSprite(1, i % 64, i % 40, 255);
  EXPECT_EQ(Calls({s + ".Lock(0,0x1)", t + ".Lock(0,0x1)"}), Log().calls);
  EXPECT_EQ(0x00FFFFFFu, Scratch()->Pixel(5, 6));
  // Another sprite ends the first one's locks; a clear ends them before its fill.
  BlendSprite(2, 0, 0, 255);
  ClearOutput(0x010101);
  EXPECT_EQ(Calls({s + ".Lock(0,0x1)", t + ".Lock(0,0x1)", t + ".Unlock", s + ".Unlock", o + ".Lock(0,0x1)", t + ".Lock(0,0x1)",
                   t + ".Unlock", o + ".Unlock"}),
            std::vector<std::string>(Log().calls.begin(), Log().calls.begin() + 8));
  EXPECT_EQ(0x010101u, Scratch()->Pixel(5, 6));
  // A blend after the clear locks again; the end of the frame unlocks before its blit.
  Log().Clear();
  BlendSprite(1, 3, 3, 255);
  EndSoftwareFrame();
  EXPECT_EQ(Calls({s + ".Lock(0,0x1)", t + ".Lock(0,0x1)", t + ".Unlock", s + ".Unlock", "back.Blt(0," + t + ",0,0x1000000)"}),
            Log().calls);
  // Blends after the end go to the back buffer and unlock at once.
  Log().Clear();
  BlendSprite(1, 3, 3, 255);
  EXPECT_EQ(Calls({s + ".Lock(0,0x1)", "back.Lock(0,0x1)", "back.Unlock", s + ".Unlock"}), Log().calls);
}

TEST_F(FakeBlending, OutsideAFrameTheBlendGoesThroughTheScratchSurface) {
  Open(32);
  FakeSurface* sprite = MakeSprite(1, 2, 2, {0x00FFFFFF, 0, 0, 0x00FFFFFF});
  ClearOutput(0);
  ASSERT_FALSE(Screen.softwareFrame);
  Log().Clear();
  BlendSprite(1, 62, 46, 128);
  ASSERT_NE(nullptr, Scratch());
  const std::string s = sprite->name, t = Scratch()->name;
  EXPECT_EQ(Calls({"dd.CreateSurface(size=ok,flags=0x7,caps=0x840,w=64,h=48)", s + ".Lock(0,0x1)", "back.Lock(0,0x1)",
                   t + ".Lock(0,0x1)", t + ".Unlock", "back.Unlock", s + ".Unlock"}),
            Log().calls);
  EXPECT_EQ(0x818181u, dd->back->Pixel(62, 46));
  EXPECT_EQ(0x818181u, dd->back->Pixel(63, 47));
  EXPECT_EQ(0u, dd->back->Pixel(63, 46));            // black sprite pixel: untouched
  EXPECT_EQ(0x818181u, Scratch()->Pixel(62, 46));   // made there
  EXPECT_EQ(0xCDCDCDCDu, Scratch()->Pixel(63, 46)); // and nothing else of it written
}

TEST_F(FakeBlending, FailedLocksSkipTheBlend) {
  Open(32);
  FakeSurface* sprite = MakeSprite(1, 1, 1, {0xFFFFFF});
  ASSERT_EQ(1, BeginSoftwareFrame());
  ClearOutput(0);
  sprite->lockResult = DDERR_SURFACEBUSY;
  Log().Clear();
  BlendSprite(1, 0, 0, 255);
  EXPECT_EQ(Calls{sprite->name + ".Lock(0,0x1)"}, Log().calls);
  sprite->lockResult = DD_OK;
  Scratch()->lockResult = DDERR_SURFACELOST;
  Log().Clear();
  BlendSprite(1, 0, 0, 255);
  EXPECT_EQ(Calls({sprite->name + ".Lock(0,0x1)", Scratch()->name + ".Lock(0,0x1)", sprite->name + ".Unlock"}),
            Log().calls);
  EXPECT_FALSE(sprite->locked);
  EXPECT_EQ(0u, Scratch()->Pixel(0, 0));
}

TEST_F(FakeBlending, OnlySixteenAndThirtyTwoBitScreensAreBlended) {
  for (int32_t depth : {8, 24}) {
    SCOPED_TRACE(depth);
    Open(depth);
    FakeSurface* sprite = MakeSprite(1, 2, 2, {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF});
    ASSERT_NE(nullptr, sprite);
    ASSERT_EQ(1, BeginSoftwareFrame());
    ClearOutput(depth == 8 ? 7 : 0x102030);
    const std::vector<uint8_t> before = Scratch()->pixels;
    Log().Clear();
    BlendSprite(1, 1, 1, 255);
    BlendSprite(1, 1, 1, HalfMixIntensity);
    EXPECT_EQ(before, Scratch()->pixels);
    EXPECT_EQ(0, Log().Count(Scratch()->name + ".Lock"));
    EndSoftwareFrame();
    EndScreen();
  }
}

TEST_F(FakeBlending, SixteenBitsOnA555ScreenStillUse565Fields) {
  dd->fiveFiveFive = true;
  Open(16);
  EXPECT_EQ(PixelFormat555, Screen.pixelFormatCode);
  MakeSprite(1, 1, 1, {0xFFFF});
  ASSERT_EQ(1, BeginSoftwareFrame());
  ClearOutput(0);
  Scratch()->Fill(0);
  BlendSprite(1, 3, 3, 128);
  EXPECT_EQ(0x7BEFu, Scratch()->Pixel(3, 3));
}

TEST_F(FakeBlending, SpritesOfAnotherDepthOrWithoutSurfaceAreNotBlended) {
  Open(16);
  // An alpha sprite is 32-bit whatever the screen: its rows cannot be read as 16-bit pixels.
  FakeSurface* alpha = MakeSprite(2, 4, 4, std::vector<uint32_t>(16, 0xFFFFFFFF), SpriteTexture | SpriteAlpha);
  ASSERT_NE(nullptr, alpha);
  ASSERT_EQ(32u, alpha->format.bits);
  ASSERT_EQ(1, BeginSoftwareFrame());
  ClearOutput(0);
  const std::vector<uint8_t> before = Scratch()->pixels;
  BlendSprite(2, 0, 0, 255);
  BlendSprite(99, 0, 0, 255);   // no such sprite
  EXPECT_EQ(before, Scratch()->pixels);
  EXPECT_FALSE(alpha->locked);
}

TEST_F(FakeBlending, ClippedAtTheRightAndBottomWithoutWrappingIntoTheNextRow) {
  Open(32, 8, 4);
  MakeSprite(1, 3, 3, std::vector<uint32_t>(9, 0x00FFFFFF));
  ASSERT_EQ(1, BeginSoftwareFrame());
  ClearOutput(0);
  BlendSprite(1, 6, 2, 255);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x)
      EXPECT_EQ(x >= 6 && y >= 2 ? 0xFFFFFFu : 0u, Scratch()->Pixel(x, y)) << x << "," << y;
  // Entirely outside: nothing is even locked.
  Log().Clear();
  for (int32_t x : {8, -3}) BlendSprite(1, x, 0, 255);
  for (int32_t y : {4, -3}) BlendSprite(1, 0, y, 255);
  EXPECT_EQ(Calls{}, Log().calls);
}

TEST_F(FakeBlending, LoadingANewSpriteEndsTheHeldLocksFirst) {
  Open(32);
  FakeSurface* star = MakeSprite(1, 1, 1, {0x00FFFFFF});
  ASSERT_EQ(1, BeginSoftwareFrame());
  ClearOutput(0);
  BlendSprite(1, 0, 0, 255);
  // An automatic number: no sprite is released first, yet the load locks a surface of its own.
  BitmapLayout green;
  green.bitsPerPixel = 24;
  green.pixels = {0, 0xFF, 0, 0};
  const std::vector<uint8_t> file = BuildBitmapFile(green);
  Log().Clear();
  void* loaded = LoadSpriteFromMemory(AutoNumber, file.data(), SpriteSystemMemory, file.size());
  ASSERT_NE(nullptr, loaded);
  ASSERT_FALSE(Log().calls.empty());
  EXPECT_EQ(Scratch()->name + ".Unlock", Log().calls[0]);
  EXPECT_EQ(star->name + ".Unlock", Log().calls[1]);
  // The star's next blend locks it again and reads the star, not the new sprite.
  BlendSprite(1, 5, 5, 255);
  EXPECT_EQ(0x00FFFFFFu, Scratch()->Pixel(5, 5));
  EndSoftwareFrame();
  ReleaseSprite(reinterpret_cast<ObjectNumber>(loaded));
}
