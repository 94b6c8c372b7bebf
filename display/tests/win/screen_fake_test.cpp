// The screen against a recording fake of DirectDraw 7: call order, flags and arguments that the
// real platform does not show.
#include <windows.h>
#include <ddraw.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/tests/win/display_support.h"
#include "display/tests/win/fake_ddraw.h"
#include "display/tests/win/png_builder.h"
#include "image/tests/image_data.h"

using namespace testdata;

using Calls = std::vector<std::string>;

class FakeScreen : public FakeDisplayTest {
 protected:
  std::vector<std::string> initCalls;   // what InitSpriteEngine did

  void SetUp() override {
    scriptedCounter = true;
    StartFakeDisplay();
    initCalls = Log().calls;
    Log().Clear();
  }

  void Open(int32_t width = 640, int32_t height = 480, int32_t depth = 32) {
    ASSERT_EQ(1, OpenFullScreen(width, height, depth, "Fake screen"));
    Log().Clear();
  }

  FakeSurface* SurfaceOf(ObjectNumber number) {
    SpriteRecord* sprite = LookupSprite(number);
    return sprite ? static_cast<FakeSurface*>(sprite->surface) : nullptr;
  }

  static LRESULT Send(UINT message, WPARAM wParam) { return SendMessageA(MultimediaWindow(), message, wParam, 0); }
};

TEST_F(FakeScreen, DirectDrawIsCreatedOnceAndCountedByUsers) {
  EXPECT_EQ(Calls{"DirectDrawCreateEx(0,IID_IDirectDraw7,0)"}, initCalls);
  EXPECT_EQ(dd, Screen.directDraw);
  EXPECT_NE(nullptr, Screen.directDrawLibrary);
  EXPECT_EQ(1, Screen.directDrawUsers);
  EXPECT_EQ(dd, ObtainDirectDraw());
  EXPECT_EQ(0, Log().Count("DirectDrawCreateEx"));
  EXPECT_EQ(2, Screen.directDrawUsers);
  ReleaseDirectDraw();
  EXPECT_EQ(0, Log().Count("dd.Release"));
  ReleaseDirectDraw();
  EXPECT_EQ(1, Log().Count("dd.Release"));
  EXPECT_EQ(nullptr, Screen.directDraw);
  EXPECT_EQ(nullptr, Screen.directDrawLibrary);
  // A refused creation still counts a user and frees the library again.
  CurrentFakeDirectDraw() = nullptr;
  EXPECT_EQ(nullptr, ObtainDirectDraw());
  EXPECT_EQ(1, Screen.directDrawUsers);
  EXPECT_EQ(nullptr, Screen.directDrawLibrary);
  ReleaseDirectDraw();
  EXPECT_EQ(0, Screen.directDrawUsers);
  Screen.directDrawUsers = 1;   // the fixture's shutdown releases once more
}

TEST_F(FakeScreen, InitFailsWithoutDirectDrawAfterTheKeyboardOpened) {
  ShutdownSpriteEngine();
  ResetDisplayState();
  CurrentFakeDirectDraw() = nullptr;
  EXPECT_EQ(nullptr, InitSpriteEngine());
  EXPECT_TRUE(SpriteEngine.initialised);
  EXPECT_NE(nullptr, SpriteEngine.table);
  EXPECT_EQ(1, Screen.directDrawUsers);
  EXPECT_EQ(0, Screen.frameRate);
  EXPECT_EQ(256, BlendTable[255 * 256 + 255]);
  EXPECT_EQ(sizeof(DDBLTFX), Screen.fillEffects.dwSize);
  EXPECT_EQ(sizeof(DDSURFACEDESC2), SpriteEngine.spriteLock.dwSize);
  CurrentFakeDirectDraw() = dd;
}

TEST_F(FakeScreen, OpenFullScreenCallsInOrder) {
  ASSERT_EQ(1, OpenFullScreen(1024, 768, 32, "Vorlune"));
  const Calls expected = {
      "dd.SetCooperativeLevel(mm,0x11)",
      "dd.SetDisplayMode(1024,768,32,0,0x0)",
      "dd.CreateSurface(size=ok,flags=0x21,caps=0x2218,back=1)",
      "primary.GetAttachedSurface(0x2004)",
      "back.GetDC",
      "back.ReleaseDC",
      "primary.GetDC",
      "primary.ReleaseDC",
      "dd.GetMonitorFrequency",
      "primary.Lock(0,0x1)",
      "primary.Unlock",
  };
  EXPECT_EQ(expected, Log().calls);
  EXPECT_EQ(dd->back, Screen.drawTarget);
  EXPECT_EQ(dd->back, Screen.backBuffer);
  EXPECT_EQ(dd->primary, Screen.primary);
  EXPECT_EQ(1024, Screen.outputWidth);
  EXPECT_EQ(768, Screen.screenHeight);
  EXPECT_EQ(32, Screen.screenDepth);
  EXPECT_EQ(PixelFormat32Bgr, Screen.pixelFormatCode);
  EXPECT_TRUE(Screen.active);
  EXPECT_EQ(FullScreenFlip, Screen.flip);
  EXPECT_EQ(BackupAllSprites, Screen.focusLoss);
  char title[32] = {};
  GetWindowTextA(MultimediaWindow(), title, sizeof(title));
  EXPECT_STREQ("Vorlune", title);
  EXPECT_TRUE(IsWindowVisible(MultimediaWindow()));
}

TEST_F(FakeScreen, PixelFormatCodeComesFromThePrimarysMasks) {
  Open(640, 480, 16);
  EXPECT_EQ(PixelFormat565, Screen.pixelFormatCode);
  EXPECT_EQ(0xFC08u, RGBToPixel(255, 128, 64));
  dd->fiveFiveFive = true;
  Open(640, 480, 16);
  EXPECT_EQ(PixelFormat555, Screen.pixelFormatCode);
  EXPECT_EQ(0xFC08u, RGBToPixel(255, 128, 64));   // 5-6-5 whatever the layout
  Open(640, 480, 8);
  EXPECT_EQ(PixelFormatPalette, Screen.pixelFormatCode);
  // A failed lock leaves the code alone.
  Screen.pixelFormatCode = 99;
  dd->primary->lockResult = DDERR_SURFACEBUSY;
  DetectPixelFormat();
  EXPECT_EQ(99, Screen.pixelFormatCode);
}

TEST_F(FakeScreen, OpenTakesEachSizeAsSixteenBits) {
  ASSERT_EQ(1, OpenFullScreen(70000, 768 + 65536, 32 + 65536, "Wide"));
  EXPECT_EQ(1, Log().Find("dd.SetDisplayMode(4464,768,32,0,0x0)"));
  EXPECT_EQ(0, Log().Find("dd.SetCooperativeLevel(mm,0x11)"));
  EXPECT_EQ(4464, Screen.screenWidth);
  EXPECT_EQ(768, Screen.outputHeight);
}

TEST_F(FakeScreen, FailedOpensReleaseEverythingAndLeaveNoScreen) {
  struct Case {
    const char* name;
    void (*arrange)(FakeDirectDraw*);
    const char* lastCall;
  };
  const Case cases[] = {
      {"cooperative level", [](FakeDirectDraw* d) { d->cooperativeResult = DDERR_EXCLUSIVEMODEALREADYSET; },
       "dd.SetCooperativeLevel(mm,0x11)"},
      {"display mode", [](FakeDirectDraw* d) { d->displayModeResult = DDERR_INVALIDMODE; }, "dd.SetDisplayMode(640,480,32,0,0x0)"},
      {"flip chain", [](FakeDirectDraw* d) { d->createSurfaceResult = DDERR_OUTOFVIDEOMEMORY; },
       "dd.CreateSurface(size=ok,flags=0x21,caps=0x2218,back=1)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange(dd);
    Log().Clear();
    EXPECT_EQ(0, OpenFullScreen(640, 480, 32, "Refused"));
    const int failed = Log().Find(c.lastCall);
    ASSERT_GE(failed, 0);
    EXPECT_EQ(failed + 1, Log().Find("dd.SetCooperativeLevel(0,0x8)"));
    EXPECT_EQ(0, Log().Count("primary.GetDC"));
    EXPECT_EQ(nullptr, Screen.primary);
    EXPECT_EQ(nullptr, Screen.drawTarget);
    EXPECT_EQ(0, Screen.screenWidth);
    EXPECT_FALSE(IsWindowVisible(MultimediaWindow()));
    // Nothing is flipped or cleared without a screen.
    Log().Clear();
    FlipScreen();
    ClearOutput(0xFFFFFF);
    EXPECT_EQ(0, Log().Count("primary.Flip"));
    EXPECT_EQ(0, Log().Count("back.Blt"));
    dd->cooperativeResult = dd->displayModeResult = dd->createSurfaceResult = DD_OK;
  }
}

TEST_F(FakeScreen, OpeningAgainClosesTheFirstScreenAndItsSprites) {
  Open();
  ASSERT_NE(nullptr, NewSprite(1, 8, 8, 0));
  FakeSurface* sprite = SurfaceOf(1);
  FakeSurface* firstBack = dd->back;
  Log().Clear();
  ASSERT_EQ(1, OpenFullScreen(800, 600, 32, "Second"));
  const int released = Log().Find(sprite->name + ".Release");
  const int normal = Log().Find("dd.SetCooperativeLevel(0,0x8)");
  const int exclusive = Log().Find("dd.SetCooperativeLevel(mm,0x11)");
  ASSERT_GE(released, 0);
  EXPECT_LT(released, normal);
  EXPECT_LT(normal, Log().Find("back.Release"));
  EXPECT_LT(Log().Find("back.Release"), Log().Find("primary.Release"));
  EXPECT_LT(Log().Find("primary.Release"), exclusive);
  EXPECT_EQ(nullptr, LookupSprite(1));
  EXPECT_NE(firstBack, Screen.backBuffer);
  EXPECT_EQ(800, Screen.outputWidth);
}

TEST_F(FakeScreen, FlipFlagsFollowTheMode) {
  Open();
  FlipScreen();
  FlipScreenMode(0);
  FlipScreenMode(FlipWaitVerticalSync | FlipWaitScanLine);
  EXPECT_EQ((Calls{"primary.Flip(0,0x1)", "primary.Flip(0,0x9)", "primary.Flip(0,0x1)"}), Log().With("primary.Flip"));
  EXPECT_EQ(1, Log().Count("dd.GetScanLine"));   // the empty script fails at once (vertical blank)
}

TEST_F(FakeScreen, FlipGivesTheBackBufferBackAsTarget) {
  Open();
  ASSERT_NE(nullptr, NewSprite(3, 16, 8, 0));
  EXPECT_EQ(SurfaceOf(3), SelectDrawTarget(3));
  EXPECT_EQ(16, Screen.outputWidth);
  EXPECT_EQ(dd->back, FlipScreen());
  EXPECT_EQ(dd->back, Screen.drawTarget);
  EXPECT_EQ(640, Screen.outputWidth);
  EXPECT_EQ(480, Screen.outputHeight);
  // Unknown sprites and memory sprites do not become the target.
  ASSERT_NE(nullptr, NewSprite(4, 4, 4, SpriteMemoryOnly));
  EXPECT_EQ(dd->back, SelectDrawTarget(4));
  EXPECT_EQ(dd->back, SelectDrawTarget(77));
  EXPECT_EQ(640, Screen.outputWidth);
}

TEST_F(FakeScreen, ScanLineWaitPollsUntilNearTheBottom) {
  Open(640, 480, 32);   // threshold 480 - 150 = 330
  dd->scanLines = {{DD_OK, 10}, {DD_OK, 200}, {DD_OK, 329}, {DD_OK, 330}, {DD_OK, 5}};
  const int priority = GetThreadPriority(GetCurrentThread());
  FlipScreenMode(FlipWaitScanLine);
  EXPECT_EQ(4, Log().Count("dd.GetScanLine"));
  EXPECT_EQ(1u, dd->scanLines.size());
  EXPECT_EQ(priority, GetThreadPriority(GetCurrentThread()));
  EXPECT_LT(Log().Find("dd.GetScanLine"), Log().Find("primary.Flip(0,0x9)"));
  // A failing call (vertical blank) ends the wait at once.
  Log().Clear();
  dd->scanLines = {{DDERR_VERTICALBLANKINPROGRESS, 0}, {DD_OK, 400}};
  FlipScreenMode(FlipWaitScanLine);
  EXPECT_EQ(1, Log().Count("dd.GetScanLine"));
}

TEST_F(FakeScreen, ShortScreensWaitForTheVerticalBlankOnly) {
  Open(320, 100, 32);   // 100 - 150 compared unsigned: no line is ever far enough
  dd->scanLines = {{DD_OK, 99}, {DD_OK, 0}, {DD_OK, 4000}};
  FlipScreenMode(FlipWaitScanLine);
  EXPECT_EQ(4, Log().Count("dd.GetScanLine"));
}

TEST_F(FakeScreen, LostSurfaceRecoveryRestoresModeSurfacesAndSprites) {
  Open(640, 480, 32);
  ASSERT_NE(nullptr, NewSprite(1, 4, 2, 0));
  FakeSurface* sprite = SurfaceOf(1);
  for (int x = 0; x < 4; ++x) sprite->SetPixel(x, 1, 0x00102030u + x);
  BackupAllSprites();
  ASSERT_NE(nullptr, LookupSprite(1)->backup);
  sprite->Fill(0);   // video memory gone
  sprite->isLostResult = DDERR_SURFACELOST;
  dd->primary->flipResults = {DDERR_SURFACELOST};
  Log().Clear();
  FlipScreen();
  const Calls expected = {
      "primary.Flip(0,0x1)",
      "dd.SetCooperativeLevel(mm,0x11)",
      "dd.SetDisplayMode(640,480,32,0,0x0)",
      "dd.RestoreAllSurfaces",
      sprite->name + ".IsLost",
      sprite->name + ".Restore",
      sprite->name + ".Lock(0,0x1)",
      sprite->name + ".Unlock",
  };
  EXPECT_EQ(expected, Log().calls);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(0x00102030u + x, sprite->Pixel(x, 1));
  EXPECT_EQ(nullptr, LookupSprite(1)->backup);
  EXPECT_TRUE(IsWindowVisible(MultimediaWindow()));
  // Other flip failures are ignored.
  Log().Clear();
  dd->primary->flipResults = {DDERR_GENERIC};
  FlipScreen();
  EXPECT_EQ(Calls{"primary.Flip(0,0x1)"}, Log().calls);
}

TEST_F(FakeScreen, LostSurfaceOnAPaletteScreenSetsThePaletteAgain) {
  Open(640, 480, 8);
  FakePalette palette;
  dd->primary->palette = &palette;
  dd->primary->flipResults = {DDERR_SURFACELOST};
  FlipScreen();
  const int restored = Log().Find("dd.RestoreAllSurfaces");
  ASSERT_GE(restored, 0);
  EXPECT_EQ(restored + 1, Log().Find("primary.GetPalette"));
  EXPECT_EQ(restored + 2, Log().Find("primary.SetPalette(palette)"));
  EXPECT_EQ(restored + 3, Log().Find("palette.Release"));
  EXPECT_EQ(1, palette.references);
}

TEST_F(FakeScreen, FocusLossBacksUpOnceAndDeactivates) {
  Open();
  ASSERT_NE(nullptr, NewSprite(1, 4, 4, 0));
  ASSERT_NE(nullptr, NewSprite(2, 4, 4, SpriteMemoryOnly));
  Log().Clear();
  EXPECT_EQ(0, Send(WM_ACTIVATE, WA_INACTIVE));
  EXPECT_FALSE(Screen.active);
  EXPECT_EQ(0, ScreenIsActive());
  EXPECT_TRUE(Screen.spritesBackedUp);
  EXPECT_EQ(1, Log().Count("dd.CreateSurface(size=ok,flags=0x7,caps=0x840,w=4,h=4)"));
  EXPECT_NE(nullptr, LookupSprite(1)->backup);
  EXPECT_EQ(nullptr, LookupSprite(2)->backup);
  // While inactive: no backup again, nothing drawn, nothing shown.
  Log().Clear();
  Send(WM_ACTIVATE, WA_INACTIVE);
  Send(WM_KEYUP, VK_TAB);
  Send(WM_SYSKEYUP, VK_MENU);
  BlitSprite(1, 0, 0);
  FlipScreen();
  EXPECT_EQ(0, Log().Count("dd.CreateSurface"));
  EXPECT_EQ(0, Log().Count("back.BltFast"));
  EXPECT_EQ(0, Log().Count("primary.Flip"));
  // Activation clears the mark; the next Tab key-up runs the routine again.
  EXPECT_EQ(0, Send(WM_ACTIVATE, WA_ACTIVE));
  EXPECT_TRUE(Screen.active);
  EXPECT_FALSE(Screen.spritesBackedUp);
  RestoreAllSprites();
  Log().Clear();
  EXPECT_EQ(0, Send(WM_KEYUP, 'A'));
  EXPECT_FALSE(Screen.spritesBackedUp);
  EXPECT_EQ(0, Send(WM_SYSKEYUP, VK_MENU));
  EXPECT_TRUE(Screen.spritesBackedUp);
  EXPECT_EQ(1, Log().Count("dd.CreateSurface(size=ok,flags=0x7,caps=0x840,w=4,h=4)"));
  Send(WM_KEYUP, VK_TAB);
  EXPECT_EQ(1, Log().Count("dd.CreateSurface"));
}

TEST_F(FakeScreen, WindowedScreensIgnoreActivation) {
  Open();
  Screen.windowed = TRUE;
  Send(WM_ACTIVATE, WA_INACTIVE);
  EXPECT_TRUE(Screen.active);
  EXPECT_FALSE(Screen.spritesBackedUp);
  Screen.windowed = FALSE;
}

TEST_F(FakeScreen, MultimediaWindowMessages) {
  EXPECT_EQ(0, Send(WM_CLOSE, 0));
  EXPECT_TRUE(IsWindow(MultimediaWindow()));
  EXPECT_EQ(1, Send(WM_ERASEBKGND, 0));
  EXPECT_EQ(0, Send(WM_LBUTTONDOWN, 0));
  EXPECT_EQ(0, Send(WM_RBUTTONUP, 0));
  char name[64] = {};
  GetClassNameA(MultimediaWindow(), name, sizeof(name));
  EXPECT_STREQ("MultimediaBase Class", name);
  EXPECT_EQ(WS_POPUP, GetWindowLongA(MultimediaWindow(), GWL_STYLE) & (WS_POPUP | WS_CAPTION));
  EXPECT_EQ(1, CreateMultimediaWindow());   // made once only
}

TEST_F(FakeScreen, LimitFrameRateDividesByOneMore) {
  EXPECT_EQ(1, LimitFrameRate(30));
  EXPECT_EQ(115469, Screen.ticksPerFrame);
  EXPECT_EQ(30, Screen.frameRate);
  EXPECT_EQ(0, Screen.lastFrameStamp);
  Screen.frameRateDefaulted = TRUE;
  EXPECT_EQ(1, LimitFrameRate(0));
  EXPECT_EQ(3579545, Screen.ticksPerFrame);
  EXPECT_FALSE(Screen.frameRateDefaulted);
  EXPECT_EQ(1, LimitFrameRate(-1));   // no division by zero
  EXPECT_EQ(0, Screen.frameRate);
  Counter().frequencyWorks = false;
  Screen.lastFrameStamp = 5;
  EXPECT_EQ(0, LimitFrameRate(60));
  EXPECT_EQ(0, Screen.frameRate);
  EXPECT_EQ(5, Screen.lastFrameStamp);
}

TEST_F(FakeScreen, WaitFrameIntervalBusyWaitsOneFullInterval) {
  ASSERT_EQ(1, LimitFrameRate(30));   // 115,469 ticks; the counter moves 1,000 a read
  WaitFrameInterval();
  EXPECT_EQ(117, Counter().reads);   // 116 x 1,000 is the first reading past the interval
  EXPECT_EQ(1000000 + 116 * 1000, Screen.lastFrameStamp);
  WaitFrameInterval();
  EXPECT_EQ(117 + 116, Counter().reads);
  // Failed reads are repeated.
  Counter().failures = 3;
  const int calls = Counter().calls;
  WaitFrameInterval();
  EXPECT_EQ(calls + 3 + 116, Counter().calls);
  // A counter that never answers does not hang.
  Counter().failures = 1 << 30;
  WaitFrameInterval();
}

TEST_F(FakeScreen, FullScreenPacesOnlyWithAMonitorFrequency) {
  Open();
  ASSERT_EQ(1, LimitFrameRate(30));
  FlipScreen();
  EXPECT_EQ(0, Counter().calls);   // GetMonitorFrequency reported 0
  Screen.monitorFrequency = 60;
  FlipScreen();
  EXPECT_EQ(117, Counter().reads);
  Screen.frameRate = 0;
  FlipScreen();
  EXPECT_EQ(117, Counter().reads);
}

TEST_F(FakeScreen, ClearOutputFillsTheDrawTarget) {
  Open(640, 480, 32);
  ClearOutput(0x4080FF);   // red 255, green 128, blue 64
  EXPECT_EQ(Calls{"back.Blt(0,0,0,0x400,fx=0xFF8040)"}, Log().calls);
  EXPECT_EQ(0xFF8040u, dd->back->Pixel(639, 479));
  Open(640, 480, 16);
  ClearOutput(0x4080FF);
  EXPECT_EQ(Calls{"back.Blt(0,0,0,0x400,fx=0xFC08)"}, Log().calls);
  Open(640, 480, 8);
  ClearOutput(0x12);
  EXPECT_EQ(Calls{"back.Blt(0,0,0,0x400,fx=0x12)"}, Log().calls);
  ASSERT_NE(nullptr, NewSprite(5, 2, 2, 0));
  SelectDrawTarget(5);
  Log().Clear();
  ClearOutput(7);
  EXPECT_EQ(Calls{SurfaceOf(5)->name + ".Blt(0,0,0,0x400,fx=0x7)"}, Log().calls);
}

TEST_F(FakeScreen, ReleaseScreenOrder) {
  Open();
  ASSERT_NE(nullptr, NewSprite(1, 4, 4, 0));
  const std::string sprite = SurfaceOf(1)->name;
  IDirectDrawSurface7* scratch = nullptr;
  DDSURFACEDESC2 d = {};
  d.dwSize = sizeof(d);
  d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  d.dwWidth = d.dwHeight = 4;
  ASSERT_EQ(DD_OK, dd->CreateSurface(&d, &scratch, nullptr));
  Screen.scratchSurface = scratch;
  const std::string scratchName = static_cast<FakeSurface*>(scratch)->name;
  Log().Clear();
  EndScreen();
  const Calls expected = {sprite + ".Release", "dd.SetCooperativeLevel(0,0x8)", "back.Release", "primary.Release",
                          scratchName + ".Release"};
  EXPECT_EQ(expected, Log().calls);
  EXPECT_EQ(nullptr, Screen.scratchSurface);
  EXPECT_EQ(nullptr, Screen.backBuffer);
  EXPECT_EQ(nullptr, Screen.drawTarget);
  EXPECT_EQ(0, Screen.screenWidth);
  EXPECT_EQ(Screen.baseWindow, MultimediaWindow());
  EXPECT_FALSE(IsWindowVisible(MultimediaWindow()));
  EXPECT_EQ(1, dd->back->references);   // the flip chain's own reference
  EXPECT_EQ(0, dd->primary->references);
}

TEST_F(FakeScreen, NewSpriteCapsFollowTheFlags) {
  Open();
  struct Case {
    int32_t flags;
    const char* create;
  };
  const Case cases[] = {
      {0, "dd.CreateSurface(size=ok,flags=0x7,caps=0x40,w=10,h=6)"},
      {SpriteSystemMemory, "dd.CreateSurface(size=ok,flags=0x7,caps=0x840,w=10,h=6)"},
      {SpriteTexture, "dd.CreateSurface(size=ok,flags=0x7,caps=0x1000,w=10,h=6)"},
      {SpriteTexture | SpriteSystemMemory, "dd.CreateSurface(size=ok,flags=0x7,caps=0x1000,w=10,h=6)"},
      {SpriteSystemMemory | SpriteAlpha,
       "dd.CreateSurface(size=ok,flags=0x1007,caps=0x40,w=10,h=6,pf=0x41/32/0xFF0000/0xFF00/0xFF/0xFF000000)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    Log().Clear();
    void* surface = NewSprite(7, 10, 6, c.flags);
    ASSERT_NE(nullptr, surface);
    FakeSurface* fake = SurfaceOf(7);
    EXPECT_EQ(static_cast<void*>(fake), surface);
    EXPECT_EQ(Calls{c.create}, Log().With("dd."));
    EXPECT_EQ((Calls{fake->name + ".Blt(0,0,0,0x400,fx=0x0)", fake->name + ".SetColorKey(0x8,0x0,0x0)"}),
              Log().With(fake->name + "."));
    EXPECT_EQ(c.flags, LookupSprite(7)->flags);
  }
}

TEST_F(FakeScreen, SpriteNumbersAndMemorySprites) {
  Open();
  void* record = NewSprite(AutoNumber, 3, 3, 0);
  ASSERT_NE(nullptr, record);
  SpriteRecord* sprite = LookupSprite(reinterpret_cast<ObjectNumber>(record));
  EXPECT_EQ(record, sprite);
  EXPECT_EQ(3, sprite->displayWidth);
  ReleaseSprite(reinterpret_cast<ObjectNumber>(record));
  EXPECT_EQ(nullptr, LookupSprite(reinterpret_cast<ObjectNumber>(record)));

  Log().Clear();
  void* block = NewSprite(9, 5, 4, SpriteMemoryOnly);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(0, Log().Count("dd.CreateSurface"));
  EXPECT_EQ(MemorySpriteDepth, LookupSprite(9)->depth);
  EXPECT_EQ(block, LookupSprite(9)->pixels);
  BlitSprite(9, 0, 0);
  EXPECT_EQ(nullptr, SpriteDrawingOutput(9));
  EXPECT_TRUE(Log().calls.empty());

  // A refused surface leaves the number free.
  dd->createSurfaceResult = DDERR_OUTOFVIDEOMEMORY;
  EXPECT_EQ(nullptr, NewSprite(8, 5, 5, 0));
  EXPECT_EQ(nullptr, LookupSprite(8));
  ListedNode* newest = SpriteEngine.table->listedHead;
  EXPECT_EQ(nullptr, NewSprite(AutoNumber, 5, 5, 0));
  EXPECT_EQ(newest, SpriteEngine.table->listedHead);   // the unnamed record is given back
  dd->createSurfaceResult = DD_OK;
  // Non-positive sizes are refused before DirectDraw sees them.
  Log().Clear();
  EXPECT_EQ(nullptr, NewSprite(8, 0, 5, 0));
  EXPECT_EQ(nullptr, NewSprite(8, 5, -1, SpriteMemoryOnly));
  EXPECT_EQ(0, Log().Count("dd.CreateSurface"));
  // Sizes are kept as 16-bit values.
  ASSERT_NE(nullptr, NewSprite(8, 65536 + 12, 7, 0));
  EXPECT_EQ(12, LookupSprite(8)->width);
}

TEST_F(FakeScreen, BlitSpriteClipsToTheOutput) {
  Open(640, 480, 32);
  ASSERT_NE(nullptr, NewSprite(1, 10, 8, 0));
  const std::string s = SurfaceOf(1)->name;
  struct Case {
    int32_t x, y;
    std::string call;   // empty: nothing drawn
  };
  const Case cases[] = {
      {5, 6, "back.BltFast(5,6," + s + ",{0,0,10,8},0x10)"},
      {-3, 0, "back.BltFast(0,0," + s + ",{3,0,10,8},0x10)"},
      {0, -2, "back.BltFast(0,0," + s + ",{0,2,10,8},0x10)"},
      {635, 476, "back.BltFast(635,476," + s + ",{0,0,5,4},0x10)"},
      {-9, -7, "back.BltFast(0,0," + s + ",{9,7,10,8},0x10)"},
      {640, 0, ""},
      {0, 480, ""},
      {-10, 0, ""},
      {0, -8, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    Log().Clear();
    BlitSprite(1, c.x, c.y);
    EXPECT_EQ(c.call.empty() ? Calls{} : Calls{c.call}, Log().calls);
  }
  BlitSprite(2, 0, 0);   // no such sprite
  EXPECT_TRUE(Log().calls.empty());
}

TEST_F(FakeScreen, DrawingOutputOfASprite) {
  Open(640, 480, 16);
  ASSERT_NE(nullptr, NewSprite(1, 6, 3, 0));
  FakeSurface* s = SurfaceOf(1);
  Log().Clear();
  DrawingOutput* output = SpriteDrawingOutput(1);
  ASSERT_EQ(&SpriteEngine.output, output);
  EXPECT_EQ(DrawingOutputSurface, output->kind);
  EXPECT_EQ(nullptr, output->window);
  EXPECT_EQ(s->heldDC, output->deviceContext);
  EXPECT_EQ(6, output->width);
  EXPECT_EQ(3, output->height);
  EXPECT_EQ(16, output->depth);
  EXPECT_EQ(PixelFormat565, output->pixelFormat);
  EXPECT_EQ(0, output->reserved1);
  EXPECT_EQ(0, output->reserved2);
  EXPECT_EQ(nullptr, SpriteDrawingOutput(1));   // one output at a time
  EXPECT_EQ(1, Log().Count(s->name + ".GetDC"));

  int32_t pitch = 0;
  void* pixels = output->directAccess(&pitch);
  EXPECT_EQ(s->pixels.data(), pixels);
  EXPECT_EQ(s->pitch, pitch);
  EXPECT_EQ(-1, SpriteEngine.outputState);
  EXPECT_EQ(pixels, output->directAccess(&pitch));   // handed out already: same pixels
  HDC again = output->reacquire();
  EXPECT_NE(nullptr, again);
  EXPECT_EQ(1, SpriteEngine.outputState);
  EXPECT_EQ(again, output->reacquire());   // held: no new context
  output->release();
  output->release();   // closed already: nothing
  const Calls expected = {s->name + ".GetDC", s->name + ".ReleaseDC", s->name + ".Lock(0,0x1)", s->name + ".Unlock",
                          s->name + ".GetDC", s->name + ".ReleaseDC"};
  EXPECT_EQ(expected, Log().With(s->name));
  EXPECT_EQ(nullptr, s->heldDC);
  EXPECT_FALSE(s->locked);

  // Released while locked: unlocked.
  ASSERT_NE(nullptr, SpriteDrawingOutput(1));
  ASSERT_NE(nullptr, SpriteEngine.output.directAccess(&pitch));
  SpriteEngine.output.release();
  EXPECT_FALSE(s->locked);
  // A refused device context opens nothing.
  s->getDCResult = DDERR_CANTCREATEDC;
  EXPECT_EQ(nullptr, SpriteDrawingOutput(1));
  EXPECT_EQ(nullptr, SpriteEngine.outputDC);
  s->getDCResult = DD_OK;
  EXPECT_EQ(nullptr, SpriteDrawingOutput(2));
}

TEST_F(FakeScreen, ReleasingASpriteClosesItsOutputAndDrawTarget) {
  Open();
  ASSERT_NE(nullptr, NewSprite(1, 6, 3, 0));
  FakeSurface* s = SurfaceOf(1);
  ASSERT_NE(nullptr, SpriteDrawingOutput(1));
  SelectDrawTarget(1);
  ReleaseSprite(1);
  EXPECT_EQ(nullptr, s->heldDC);
  EXPECT_EQ(nullptr, SpriteEngine.outputDC);
  EXPECT_EQ(dd->back, Screen.drawTarget);
  EXPECT_EQ(640, Screen.outputWidth);
}

TEST_F(FakeScreen, BackupCopiesEachSpriteOnceAndRestoreCopiesItBack) {
  Open();
  ASSERT_NE(nullptr, NewSprite(1, 3, 2, 0));
  FakeSurface* s = SurfaceOf(1);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) s->SetPixel(x, y, 0x010101u * (1 + x + 3 * y));
  Log().Clear();
  BackupAllSprites();
  BackupAllSprites();
  EXPECT_EQ(1, Log().Count("dd.CreateSurface(size=ok,flags=0x7,caps=0x840,w=3,h=2)"));
  FakeSurface* copy = dd->lastSurface();
  EXPECT_EQ((Calls{copy->name + ".Blt(0," + s->name + ",0,0x1000000)", copy->name + ".Lock(0,0x1)",
                   copy->name + ".Unlock", copy->name + ".Release"}),
            Log().With(copy->name));
  const uint8_t* backup = LookupSprite(1)->backup;
  ASSERT_NE(nullptr, backup);
  int32_t pitch;
  memcpy(&pitch, backup, 4);
  EXPECT_EQ(copy->pitch, pitch);
  EXPECT_EQ(0, memcmp(backup + 4, copy->pixels.data(), copy->pixels.size()));

  // A failed lock keeps the backup for the next try.
  s->Fill(0);
  s->lockResult = DDERR_SURFACEBUSY;
  RestoreAllSprites();
  EXPECT_NE(nullptr, LookupSprite(1)->backup);
  s->lockResult = DD_OK;
  Log().Clear();
  RestoreAllSprites();
  EXPECT_EQ(0, Log().Count(s->name + ".Restore"));   // not lost: not restored
  EXPECT_EQ(nullptr, LookupSprite(1)->backup);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(0x010101u * (1 + x + 3 * y), s->Pixel(x, y));
}

TEST_F(FakeScreen, FailedBackupLeavesNoBlock) {
  Open();
  ASSERT_NE(nullptr, NewSprite(1, 3, 2, 0));
  dd->createSurfaceResult = DDERR_OUTOFMEMORY;
  BackupAllSprites();
  EXPECT_EQ(nullptr, LookupSprite(1)->backup);
  dd->createSurfaceResult = DD_OK;
  for (int failing = 0; failing < 2; ++failing) {
    SCOPED_TRACE(failing ? "lock" : "blt");
    dd->newBltResult = failing == 0 ? DDERR_GENERIC : DD_OK;
    dd->newLockResult = failing == 1 ? DDERR_SURFACEBUSY : DD_OK;
    Log().Clear();
    BackupAllSprites();
    EXPECT_EQ(nullptr, LookupSprite(1)->backup);
    EXPECT_EQ(1, Log().Count(dd->lastSurface()->name + ".Release"));
  }
}

TEST_F(FakeScreen, PaletteScreensTakePaletteBitmapsOnly) {
  Open(640, 480, 8);
  const std::vector<uint8_t> file = BuildBitmapFile({3, 2, 8, 0, {0, 0xFFFFFF}, {1, 2, 3, 0, 4, 5, 6, 0}});
  ASSERT_NE(nullptr, LoadSpriteFromMemory(1, file.data(), 0, file.size()));
  FakeSurface* s = SurfaceOf(1);
  EXPECT_EQ(8u, s->format.bits);
  const uint8_t top[3] = {4, 5, 6}, bottom[3] = {1, 2, 3};   // indices copied, bottom row last
  EXPECT_EQ(0, memcmp(top, s->At(0, 0), 3));
  EXPECT_EQ(0, memcmp(bottom, s->At(0, 1), 3));
  EXPECT_EQ(1, Log().Count(s->name + ".SetColorKey(0x8,0x0,0x0)"));
  // Deeper pictures do not mix with a palette screen.
  const std::vector<uint8_t> png = BuildPng(2, 2, 3, TestPicture(2, 2, 3, 0));
  Log().Clear();
  EXPECT_EQ(nullptr, LoadSpriteFromMemory(2, png.data(), 0, png.size()));
  EXPECT_EQ(0, Log().Count("dd.CreateSurface"));
  EXPECT_EQ(nullptr, LookupSprite(2));
}

TEST_F(FakeScreen, FailedLockWhileLoadingKeepsTheSprite) {
  Open();
  dd->newLockResult = DDERR_SURFACEBUSY;
  const std::vector<uint8_t> png = BuildPng(4, 4, 4, TestPicture(4, 4, 4, 0));
  EXPECT_EQ(nullptr, LoadSpriteFromMemory(3, png.data(), SpriteTexture, png.size()));
  ASSERT_NE(nullptr, LookupSprite(3));
  EXPECT_EQ(1, Log().Count(SurfaceOf(3)->name + ".SetColorKey"));
  // Unnamed, such a sprite could never be freed by its number: it goes at once.
  ListedNode* newest = SpriteEngine.table->listedHead;
  EXPECT_EQ(nullptr, LoadSpriteFromMemory(AutoNumber, png.data(), SpriteTexture, png.size()));
  EXPECT_EQ(newest, SpriteEngine.table->listedHead);
  EXPECT_EQ(1, Log().Count(dd->lastSurface()->name + ".Release"));
}
