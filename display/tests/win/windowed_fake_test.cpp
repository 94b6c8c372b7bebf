// The windowed screen against the recording DirectDraw fake: call order, arguments, every failed
// step, the scan-line wait and the session handling's order.
#include <windows.h>
#include <ddraw.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/tests/win/display_support.h"
#include "display/tests/win/fake_ddraw.h"
#include "display/tests/win/png_builder.h"
#include "display/tests/win/windowed_support.h"
#include "display/win/windowed_screen.h"
#include "input/mouse.h"

namespace {

using Calls = std::vector<std::string>;

int Registrations = 0;
BOOL WINAPI CountRegistration(HWND, DWORD) {
  ++Registrations;
  return TRUE;
}

}  // namespace

class FakeWindowedScreen : public FakeDisplayTest {
 protected:
  FakeClipper clipper;
  TestWindowCounts counts;
  HWND window = nullptr;

  void SetUp() override {
    scriptedCounter = true;
    StartFakeDisplay(&clipper);
    if (HasFatalFailure()) return;
    FakeSessionRegistration() = CountRegistration;
    Registrations = 0;
    // A frameless window whose client area starts at (50, 40).
    window = CreateTestWindow(50, 40, 320, 200, false, &counts);
    ASSERT_NE(nullptr, window);
    Log().Clear();
  }

  void TearDown() override {
    StopEngine();
    if (window) DestroyWindow(window);
    PumpWindowMessages();
    ForgetFakeDisplay();
  }

  void Open() {
    ASSERT_EQ(1, OpenScreenInWindow(window, 0, 0, 320, 200, 1, 0, 0));
    Log().Clear();
  }

  // An open in the given window that fails: nothing left, the base window back, the default frame
  // rate undone.
  void ExpectOpenFails(HWND in) {
    Log().Clear();
    EXPECT_EQ(0, OpenScreenInWindow(in, 0, 0, 320, 200, 1, 0, 0));
    EXPECT_EQ(0, Screen.screenWidth);
    EXPECT_FALSE(Screen.windowed);
    EXPECT_EQ(Screen.baseWindow, MultimediaWindow());
    EXPECT_EQ(nullptr, Screen.primary);
    EXPECT_EQ(nullptr, Screen.backBuffer);
    EXPECT_EQ(nullptr, Screen.clipper);
    EXPECT_EQ(nullptr, Screen.drawTarget);
    EXPECT_EQ(0, Screen.frameRate);
    EXPECT_FALSE(Screen.frameRateDefaulted);
  }
};

// An open in a top-level window of 320 x 200.
const Calls TopLevelOpen = {
    "dd.SetCooperativeLevel(hwnd,0x8)",
    "dd.CreateSurface(size=ok,flags=0x1,caps=0x2200)",
    "dd.CreateClipper(0x0)",
    "clipper.SetHWnd(0x0,hwnd)",
    "primary.SetClipper(clipper)",
    "dd.CreateSurface(size=ok,flags=0x7,caps=0x2040,w=320,h=200)",
    "surface1.GetDC",   // blackened
    "surface1.ReleaseDC",
    "primary.Lock(0,0x1)",   // the pixel format
    "primary.Unlock",
};

TEST_F(FakeWindowedScreen, OpenCallsInOrder) {
  ASSERT_EQ(1, OpenScreenInWindow(window, 0, 0, 320, 200, 1, 0, 0));
  EXPECT_EQ(TopLevelOpen, Log().calls);
  EXPECT_EQ(PixelFormat32Bgr, Screen.pixelFormatCode);
  EXPECT_EQ(60, Screen.frameRate);
  EXPECT_TRUE(Screen.frameRateDefaulted);
  EXPECT_EQ(3579545 / 61, Screen.ticksPerFrame);
  EXPECT_EQ(1, Registrations);
  EXPECT_TRUE(Screen.active);
  EXPECT_EQ(GetForegroundWindow() == window ? 1 : 0, ScreenIsActive());   // only in the foreground
}

// In a child window (the preview's case) the primary is made before the clipper is attached and
// the clipper is given the window after: DirectDraw then writes the primary itself.
TEST_F(FakeWindowedScreen, InAChildWindowCooperatesWithNoWindowAndNamesTheClippersWindowAfterAttachingIt) {
  HWND child = CreateChild(window, 0, 0, 320, 200);
  ASSERT_NE(nullptr, child);
  Log().Clear();
  ASSERT_EQ(1, OpenScreenInWindow(child, 0, 0, 320, 200, 1, 0, 0));
  Calls expected = TopLevelOpen;
  expected[0] = "dd.SetCooperativeLevel(0,0x8)";
  std::swap(expected[3], expected[4]);
  EXPECT_EQ(expected, Log().calls);
  EXPECT_EQ(child, MultimediaWindow());

  // A top-level window after it keeps the usual order.
  EndScreen();
  Log().Clear();
  ASSERT_EQ(1, OpenScreenInWindow(window, 0, 0, 320, 200, 1, 0, 0));
  ASSERT_GE(Log().calls.size(), 6u);   // up to the back buffer, whose name differs
  EXPECT_EQ(Calls(TopLevelOpen.begin(), TopLevelOpen.begin() + 6), Calls(Log().calls.begin(), Log().calls.begin() + 6));
}

// The mouse learns the picture's place from the query InitSpriteEngine registered.
TEST_F(FakeWindowedScreen, TheMouseIsToldWhereThePictureLies) {
  ASSERT_EQ(1, OpenScreenInWindow(window, 7, 5, 200, 150, 0, 0, 0));
  RECT area = WindowedPictureArea();
  EXPECT_EQ(57, area.left);
  EXPECT_EQ(45, area.top);
  EXPECT_EQ(257, area.right);   // the picture's own size
  EXPECT_EQ(195, area.bottom);
  const MouseScreen seen = QueryMouseScreen();
  EXPECT_EQ(1, seen.windowed);
  EXPECT_EQ(200, seen.width);
  EXPECT_EQ(150, seen.height);
  EXPECT_EQ(ScreenIsActive(), seen.active);
  if (seen.active) {
    EXPECT_EQ(57, seen.left);
    EXPECT_EQ(195, seen.bottom);
  }

  // Stretched: the window less the offsets on every side.
  ASSERT_EQ(1, OpenScreenInWindow(window, 7, 5, 200, 150, 1, 9, 11));
  area = WindowedPictureArea();
  EXPECT_EQ(57, area.left);
  EXPECT_EQ(45, area.top);
  EXPECT_EQ(370 - 9, area.right);
  EXPECT_EQ(240 - 11, area.bottom);

  EndScreen();
  EXPECT_EQ(0, QueryMouseScreen().windowed);
  EXPECT_EQ(0, QueryMouseScreen().width);
}

TEST_F(FakeWindowedScreen, EveryFailedStepReleasesEverythingAndUndoesTheDefaultRate) {
  // No window: nothing is asked of DirectDraw.
  ExpectOpenFails(nullptr);
  EXPECT_EQ(0, Log().Count("dd.CreateSurface"));
  EXPECT_EQ(0, Log().Count("dd.SetCooperativeLevel(hwnd"));

  dd->cooperativeResult = DDERR_INVALIDPARAMS;
  ExpectOpenFails(window);
  EXPECT_EQ(0, Log().Count("dd.CreateSurface"));
  dd->cooperativeResult = DD_OK;

  dd->createSurfaceResult = DDERR_OUTOFVIDEOMEMORY;
  ExpectOpenFails(window);
  EXPECT_EQ(0, Log().Count("dd.CreateClipper"));
  dd->createSurfaceResult = DD_OK;

  dd->clipper = nullptr;
  ExpectOpenFails(window);
  EXPECT_EQ(1, Log().Count("primary.Release"));
  EXPECT_EQ(0, Log().Count("dd.CreateSurface(size=ok,flags=0x7"));
  dd->clipper = &clipper;

  clipper.setWindowResult = DDERR_INVALIDPARAMS;
  ExpectOpenFails(window);
  EXPECT_EQ(0, Log().Count("primary.SetClipper"));
  EXPECT_EQ(1, Log().Count("clipper.Release"));
  clipper.setWindowResult = DD_OK;

  dd->newSetClipperResult = DDERR_INVALIDOBJECT;
  ExpectOpenFails(window);
  EXPECT_EQ(1, Log().Count("primary.SetClipper(clipper)"));
  EXPECT_EQ(0, Log().Count("dd.CreateSurface(size=ok,flags=0x7"));
  EXPECT_EQ(1, Log().Count("clipper.Release"));
  EXPECT_EQ(1, Log().Count("primary.Release"));
  EXPECT_EQ(1, clipper.references) << "every clipper reference handed out was released";
  EXPECT_EQ(0, Registrations) << "a window is only subclassed by a successful open";
}

TEST_F(FakeWindowedScreen, ARateSetByTheProgramIsKeptThroughOpenFailureAndClose) {
  ASSERT_EQ(1, LimitFrameRate(25));
  dd->cooperativeResult = DDERR_INVALIDPARAMS;
  EXPECT_EQ(0, OpenScreenInWindow(window, 0, 0, 320, 200, 1, 0, 0));
  EXPECT_EQ(25, Screen.frameRate);
  dd->cooperativeResult = DD_OK;
  ASSERT_EQ(1, OpenScreenInWindow(window, 0, 0, 320, 200, 1, 0, 0));
  EXPECT_EQ(25, Screen.frameRate);
  EXPECT_FALSE(Screen.frameRateDefaulted);
  EndScreen();
  EXPECT_EQ(25, Screen.frameRate);
  // The default goes with the screen it came with.
  LimitFrameRate(0);
  ASSERT_EQ(1, OpenScreenInWindow(window, 0, 0, 320, 200, 1, 0, 0));
  EXPECT_EQ(60, Screen.frameRate);
  EndScreen();
  EXPECT_EQ(0, Screen.frameRate);
  EXPECT_EQ(3579545, Screen.ticksPerFrame);   // rate 0: a whole second
}

TEST_F(FakeWindowedScreen, FlipWaitsForTheBeamBelowThePictureThenBlitsOnce) {
  Open();
  // Client area (50, 40)-(370, 240): lines above 240 keep the wait going.
  dd->scanLines = {{DD_OK, 10}, {DD_OK, 120}, {DD_OK, 239}, {DD_OK, 240}, {DD_OK, 5}};
  EXPECT_EQ(Screen.backBuffer, FlipScreen());
  EXPECT_EQ(4, Log().Count("dd.GetScanLine"));
  EXPECT_EQ((Calls{"primary.Blt(rect,surface1,rect,0x1000000)"}), Log().With("primary."));
  EXPECT_EQ(1u, dd->scanLines.size());
  EXPECT_GT(Counter().reads, 0) << "the frame interval was waited for";
  // A failing read (vertical blank) ends the wait at once.
  dd->scanLines.clear();
  Log().Clear();
  FlipScreen();
  EXPECT_EQ(1, Log().Count("dd.GetScanLine"));
  EXPECT_EQ(1, Log().Count("primary.Blt"));
  // Mode 0: no scan-line wait, but still the frame wait.
  Log().Clear();
  const int reads = Counter().reads;
  FlipScreenMode(0);
  EXPECT_EQ(0, Log().Count("dd.GetScanLine"));
  EXPECT_EQ(1, Log().Count("primary.Blt"));
  EXPECT_GT(Counter().reads, reads);
}

TEST_F(FakeWindowedScreen, ScanLineWaitEndsAtTheDisplayHeightAndNeverHangs) {
  // A picture reaching below the display: the display's last line ends the wait.
  const int32_t displayHeight = GetSystemMetrics(SM_CYSCREEN);
  SetWindowPos(window, nullptr, 0, displayHeight - 100, 320, 300, SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_EQ(1, OpenScreenInWindow(window, 0, 0, 320, 200, 1, 0, 0));
  Log().Clear();
  dd->scanLines = {{DD_OK, static_cast<DWORD>(displayHeight - 1)}, {DD_OK, static_cast<DWORD>(displayHeight)},
                   {DD_OK, 0}};
  FlipScreen();
  EXPECT_EQ(2, Log().Count("dd.GetScanLine"));
  // A counter stuck above the picture: the wait gives up instead of holding the program.
  dd->scanLines.assign(2000000, {DD_OK, 1});
  Log().Clear();
  const DWORD start = GetTickCount();
  FlipScreen();
  EXPECT_LT(GetTickCount() - start, 2000u);
  EXPECT_EQ(1, Log().Count("primary.Blt"));
}

TEST_F(FakeWindowedScreen, SessionLockBacksUpAndUnlockRestoresSurfacesThenSprites) {
  Open();
  const std::vector<uint8_t> png = BuildPng(4, 4, 3, TestPicture(4, 4, 3, 3));
  ASSERT_NE(nullptr, LoadSpriteFromMemory(2, png.data(), 0, png.size()));
  Log().Clear();
  EXPECT_EQ(0, SendMessageA(window, 0x2B1, 7, 0));
  EXPECT_NE(nullptr, LookupSprite(2)->backup);
  EXPECT_EQ(1, Log().Count("dd.CreateSurface(size=ok,flags=0x7,caps=0x840,w=4,h=4)"));
  Log().Clear();
  EXPECT_EQ(0, SendMessageA(window, 0x2B1, 8, 0));
  EXPECT_EQ(nullptr, LookupSprite(2)->backup);
  const int primary = Log().Find("primary.Restore"), back = Log().Find("surface1.Restore");
  ASSERT_GE(primary, 0);
  ASSERT_GT(back, primary);
  const std::string sprite = static_cast<FakeSurface*>(LookupSprite(2)->surface)->name;
  EXPECT_GT(Log().Find(sprite + ".Lock(0,0x1)"), back) << "the sprites after the surfaces";
  // Other session changes do nothing; none reaches the window's own procedure.
  Log().Clear();
  EXPECT_EQ(0, SendMessageA(window, 0x2B1, 5, 0));
  EXPECT_TRUE(Log().calls.empty());
  EXPECT_EQ(0, counts.sessionChanges);
}

TEST_F(FakeWindowedScreen, AfterTheScreenClosedTheWindowMessagesFindNothing) {
  Open();
  EndScreen();
  Log().Clear();
  RepaintWindowedScreen();
  SendMessageA(window, WM_SIZE, 0, MAKELPARAM(320, 200));
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
  EXPECT_EQ(0, SendMessageA(window, 0x2B1, 7, 0));
  EXPECT_EQ(0, SendMessageA(window, 0x2B1, 8, 0));
  EXPECT_TRUE(Log().calls.empty()) << Log().calls.front();
  // Still subclassed, and the window's own procedure still answers.
  EXPECT_EQ(0x5A, SendMessageA(window, TestProbeMessage, 0, 0));
  EXPECT_GT(counts.paints, 0);
}
