// The windowed screen against Wine's DirectDraw 7 and USER32: the picture read back from the
// desktop through GDI, the subclassing, the session notifications and the frame pacing.
#include <windows.h>
#include <ddraw.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/tests/win/display_support.h"
#include "display/tests/win/png_builder.h"
#include "display/tests/win/windowed_support.h"
#include "display/win/windowed_screen.h"

namespace {

const int32_t PictureWidth = 320, PictureHeight = 200, Square = 8;
const uint32_t Magenta = 0xFF00FF;

// Colour (0x00RRGGBB) of the 8 x 8 square that holds picture pixel (x, y): every square differs.
uint32_t PatternColour(int32_t x, int32_t y) {
  const uint32_t i = static_cast<uint32_t>(x / Square), j = static_cast<uint32_t>(y / Square);
  return (i * 6 + 3) << 16 | (j * 10 + 5) << 8 | (((i + j) & 1) ? 0xF0 : 0x30);
}

bool IsBackground(uint32_t rgb) { return rgb == Magenta || rgb == 0; }

std::string Rgb(uint32_t v) {
  char text[16];
  snprintf(text, sizeof(text), "%06X", v);
  return text;
}

// Squares (step Square) or pixels (step 1) of the picture that the window does not show in their
// colour where place(x, y) puts them; the first few are reported.
template <class Place> int Misplaced(const ScreenPixels& shown, int32_t step, Place place, bool report = true) {
  int wrong = 0;
  for (int32_t y = 0; y < PictureHeight; y += step)
    for (int32_t x = 0; x < PictureWidth; x += step) {
      const POINT at = place(x, y);
      const uint32_t got = shown.At(at.x, at.y), expected = PatternColour(x, y);
      if (got == expected) continue;
      if (report && wrong < 5)
        ADD_FAILURE() << "picture " << x << "," << y << " at " << at.x << "," << at.y << ": " << Rgb(got)
                      << " != " << Rgb(expected);
      ++wrong;
    }
  return wrong;
}

int SessionRegistrations = 0;
HWND LastRegistered = nullptr;
DWORD LastRegistrationFlags = 0xFFFF;
BOOL WINAPI CountRegistration(HWND window, DWORD flags) {
  ++SessionRegistrations;
  LastRegistered = window;
  LastRegistrationFlags = flags;
  return TRUE;
}

}  // namespace

class WindowedScreen : public RealDisplayTest {
 protected:
  void SetUp() override {
    RealDisplayTest::SetUp();
    FakeSessionRegistration() = CountRegistration;
    SessionRegistrations = 0;
    LimitFrameRate(0);
  }
  void TearDown() override {
    EndScreen();
    FakeSessionRegistration() = nullptr;
    for (HWND w : windows)
      if (IsWindow(w)) DestroyWindow(w);
    PumpWindowMessages();
  }

  HWND Window(int32_t x, int32_t y, int32_t width, int32_t height, bool framed, TestWindowCounts* counts) {
    HWND w = CreateTestWindow(x, y, width, height, framed, counts);
    windows.push_back(w);
    return w;
  }

  // A window (window, counting into counts) with the picture's screen open in it; false when either
  // failed.
  bool Open(int32_t x, int32_t y, int32_t width, int32_t height, bool framed, int32_t xOffset = 0,
            int32_t yOffset = 0, int32_t stretch = 1, int32_t right = 0, int32_t bottom = 0) {
    window = Window(x, y, width, height, framed, &counts);
    return window &&
           OpenScreenInWindow(window, xOffset, yOffset, PictureWidth, PictureHeight, stretch, right, bottom) == 1;
  }

  // The test picture, in 8 x 8 squares of their own colours, drawn and shown, then read back.
  bool ShowPattern(ScreenPixels* shown) {
    for (int32_t y = 0; y < PictureHeight; y += Square)
      for (int32_t x = 0; x < PictureWidth; x += Square) {
        RECT square = {x, y, x + Square, y + Square};
        FillArea(Screen.backBuffer, &square, PatternColour(x, y));
      }
    Show();
    return ReadClientArea(window, shown);
  }

  // Repaints (no flip) until the check accepts what the window shows, for up to two seconds:
  // under Wine a resized window's picture is only reliably visible some time after the change.
  template <class Check> static bool RepaintedShows(HWND window, Check check, ScreenPixels* shown) {
    const DWORD start = GetTickCount();
    do {
      InvalidateRect(window, nullptr, TRUE);
      UpdateWindow(window);
      PumpFor(60);
      if (ReadClientArea(window, shown) && check(*shown)) return true;
    } while (GetTickCount() - start < 2000);
    return false;
  }

  std::vector<HWND> windows;
  TestWindowCounts counts;
  HWND window = nullptr;
};

TEST_F(WindowedScreen, StretchedPictureFillsTheClientArea) {
  ASSERT_TRUE(Open(60, 80, 640, 400, true));
  EXPECT_TRUE(Screen.windowed);
  EXPECT_EQ(window, MultimediaWindow());
  EXPECT_EQ(Screen.backBuffer, Screen.drawTarget);
  EXPECT_EQ(PictureWidth, Screen.outputWidth);
  EXPECT_EQ(PictureHeight, Screen.screenHeight);
  HDC context = GetDC(window);
  EXPECT_EQ(GetDeviceCaps(context, BITSPIXEL), Screen.screenDepth);
  ReleaseDC(window, context);
  EXPECT_EQ(reinterpret_cast<void*>(WindowedFlip), reinterpret_cast<void*>(Screen.flip));
  EXPECT_NE(nullptr, Screen.clipper);
  // The insets are the window's frame: what the mouse confines the cursor with.
  RECT frame, client;
  GetWindowRect(window, &frame);
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  EXPECT_EQ(origin.x - frame.left, Screen.leftInset);
  EXPECT_EQ(origin.y - frame.top, Screen.topInset);
  EXPECT_EQ(frame.right - (origin.x + client.right), Screen.rightInset);
  EXPECT_EQ(frame.bottom - (origin.y + client.bottom), Screen.bottomInset);
  EXPECT_GT(Screen.topInset, Screen.bottomInset);   // the caption

  ScreenPixels shown;
  ASSERT_TRUE(ShowPattern(&shown));
  ASSERT_EQ(640, shown.width);
  ASSERT_EQ(400, shown.height);
  // Each 8 x 8 square became 16 x 16; the middle of every one has the square's colour.
  EXPECT_EQ(0, Misplaced(shown, Square, [](int32_t x, int32_t y) { return POINT{2 * x + Square, 2 * y + Square}; }));
  // Out to the corners: nothing of the window's magenta background is left.
  EXPECT_EQ(PatternColour(0, 0), shown.At(0, 0));
  EXPECT_EQ(PatternColour(PictureWidth - 1, 0), shown.At(639, 0));
  EXPECT_EQ(PatternColour(0, PictureHeight - 1), shown.At(0, 399));
  EXPECT_EQ(PatternColour(PictureWidth - 1, PictureHeight - 1), shown.At(639, 399));
}

TEST_F(WindowedScreen, UnstretchedPictureSitsAtTheTopLeftPlusTheOffsets) {
  ASSERT_TRUE(Open(100, 90, 640, 400, true, 13, 7, 0, 50, 60));
  ScreenPixels shown;
  ASSERT_TRUE(ShowPattern(&shown));
  ASSERT_EQ(640, shown.width);
  // Pixel for pixel at (13, 7).
  EXPECT_EQ(0, Misplaced(shown, 1, [](int32_t x, int32_t y) { return POINT{13 + x, 7 + y}; }));
  // Nothing of it around: the window's background (Wine presents the rest of the window black).
  for (int32_t y : {0, 6, 100, 206, 207, 399}) EXPECT_TRUE(IsBackground(shown.At(12, y))) << y;
  for (int32_t y : {7, 100, 206, 300}) EXPECT_TRUE(IsBackground(shown.At(13 + PictureWidth, y))) << y;
  for (int32_t x : {13, 200, 332, 500}) {
    EXPECT_TRUE(IsBackground(shown.At(x, 6))) << x;
    EXPECT_TRUE(IsBackground(shown.At(x, 7 + PictureHeight))) << x;
  }
  EXPECT_TRUE(IsBackground(shown.At(639, 399)));
}

TEST_F(WindowedScreen, StretchedWithOffsetsLeavesThemOut) {
  ASSERT_TRUE(Open(40, 60, 640, 400, false, 5, 6, 1, 7, 8));
  ScreenPixels shown;
  ASSERT_TRUE(ShowPattern(&shown));
  // The picture covers (5, 6) to (633, 392): 628 x 386.
  EXPECT_EQ(0, Misplaced(shown, Square, [](int32_t x, int32_t y) {
              return POINT{5 + (2 * x + Square) * 628 / (2 * PictureWidth),
                           6 + (2 * y + Square) * 386 / (2 * PictureHeight)};
            }));
  for (int32_t y : {6, 200, 391}) {
    EXPECT_TRUE(IsBackground(shown.At(4, y))) << y;
    EXPECT_TRUE(IsBackground(shown.At(633, y))) << y;
    EXPECT_FALSE(IsBackground(shown.At(5, y))) << y;
    EXPECT_FALSE(IsBackground(shown.At(632, y))) << y;
  }
  for (int32_t x : {5, 300, 632}) {
    EXPECT_TRUE(IsBackground(shown.At(x, 5))) << x;
    EXPECT_TRUE(IsBackground(shown.At(x, 392))) << x;
  }
}

TEST_F(WindowedScreen, ResizingTheWindowMeasuresAndRepaintsWithoutAFlip) {
  ASSERT_TRUE(Open(80, 70, 640, 400, true));
  ScreenPixels shown;
  ASSERT_TRUE(ShowPattern(&shown));
  // A client area of 480 x 300.
  RECT frame = {0, 0, 480, 300};
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER);
  // Every square where the client area's size puts it.
  auto fills = [](const ScreenPixels& shown) {
    auto place = [&](int32_t x, int32_t y) {
      return POINT{(2 * x + Square) * shown.width / (2 * PictureWidth),
                   (2 * y + Square) * shown.height / (2 * PictureHeight)};
    };
    return Misplaced(shown, Square, place, false) == 0;
  };
  EXPECT_TRUE(RepaintedShows(window, fills, &shown));
  EXPECT_EQ(480, shown.width);
  EXPECT_EQ(300, shown.height);

  // Without caption and frame the client area grows: the insets follow.
  const int32_t framedTop = Screen.topInset;
  SetWindowLongPtrA(window, GWL_STYLE, WS_POPUP | WS_VISIBLE);
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  PumpWindowMessages();
  EXPECT_EQ(0, Screen.topInset);
  EXPECT_EQ(0, Screen.leftInset);
  EXPECT_EQ(0, Screen.rightInset);
  EXPECT_EQ(0, Screen.bottomInset);
  EXPECT_GT(framedTop, 0);
  EXPECT_TRUE(RepaintedShows(window, fills, &shown));
  EXPECT_GT(shown.height, 300);
}

TEST_F(WindowedScreen, PaintShowsTheBackBufferAgain) {
  ASSERT_TRUE(Open(120, 100, 320, 200, false));
  ScreenPixels shown;
  ASSERT_TRUE(ShowPattern(&shown));
  // A new picture in the back buffer, not flipped: only a repaint can bring it to the window.
  ClearOutput(0x00C000);
  const int paints = counts.paints;
  EXPECT_TRUE(RepaintedShows(
      window,
      [](const ScreenPixels& p) {
        return p.At(0, 0) == 0x00C000u && p.At(160, 100) == 0x00C000u && p.At(319, 199) == 0x00C000u;
      },
      &shown))
      << Rgb(shown.At(160, 100));
  EXPECT_GT(counts.paints, paints) << "the window's own procedure painted first";
}

TEST_F(WindowedScreen, SubclassedAndRegisteredOncePerWindow) {
  HWND first = Window(30, 30, 200, 150, false, &counts);
  // Another window class, with a procedure of its own.
  HWND second = CreateWindowA("STATIC", "second", WS_POPUP | WS_VISIBLE, 300, 30, 200, 150, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  windows.push_back(second);
  ASSERT_NE(nullptr, first);
  ASSERT_NE(nullptr, second);
  const WNDPROC staticProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(second, GWLP_WNDPROC));

  ASSERT_EQ(1, OpenScreenInWindow(first, 0, 0, 200, 150, 1, 0, 0));
  EXPECT_EQ(1, SessionRegistrations);
  EXPECT_EQ(first, LastRegistered);
  EXPECT_EQ(0u, LastRegistrationFlags);   // this session
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(ScreenWindowProc), GetWindowLongPtrA(first, GWLP_WNDPROC));
  EXPECT_EQ(reinterpret_cast<HANDLE>(1), GetPropA(first, "zr_dxpaint"));
  EXPECT_EQ(reinterpret_cast<WNDPROC>(TestWindowProc), ScreenPreviousWindowProc(first));
  EXPECT_EQ(reinterpret_cast<WNDPROC>(TestWindowProc), Screen.previousWindowProc);

  // Again in the same window: neither subclassed nor registered a second time.
  ASSERT_EQ(1, OpenScreenInWindow(first, 0, 0, 200, 150, 0, 0, 0));
  EXPECT_EQ(1, SessionRegistrations);
  ASSERT_EQ(reinterpret_cast<WNDPROC>(TestWindowProc), ScreenPreviousWindowProc(first));
  EXPECT_EQ(0x5A, SendMessageA(first, TestProbeMessage, 0, 0));
  EXPECT_EQ(1, counts.probes);

  // Another window gets its own, and each keeps sending to its own procedure.
  ASSERT_EQ(1, OpenScreenInWindow(second, 0, 0, 200, 150, 1, 0, 0));
  EXPECT_EQ(2, SessionRegistrations);
  EXPECT_EQ(second, LastRegistered);
  EXPECT_EQ(staticProc, ScreenPreviousWindowProc(second));
  EXPECT_EQ(staticProc, Screen.previousWindowProc);
  EXPECT_EQ(0x5A, SendMessageA(first, TestProbeMessage, 0, 0));
  EXPECT_EQ(2, counts.probes);
  SetWindowTextA(second, "renamed");
  char text[32] = {};
  GetWindowTextA(second, text, sizeof(text));
  EXPECT_STREQ("renamed", text);

  // The mark outlives the screen.
  EndScreen();
  EXPECT_EQ(reinterpret_cast<HANDLE>(1), GetPropA(first, "zr_dxpaint"));
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(ScreenWindowProc), GetWindowLongPtrA(first, GWLP_WNDPROC));
  ASSERT_EQ(1, OpenScreenInWindow(first, 0, 0, 200, 150, 1, 0, 0));
  EXPECT_EQ(2, SessionRegistrations);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(TestWindowProc), Screen.previousWindowProc);
}

TEST_F(WindowedScreen, TheRealSessionServiceIsAskedWithoutHarm) {
  FakeSessionRegistration() = nullptr;
  window = Window(30, 30, 200, 150, false, &counts);
  ASSERT_EQ(1, OpenScreenInWindow(window, 0, 0, 200, 150, 1, 0, 0));
  EXPECT_EQ(reinterpret_cast<HANDLE>(1), GetPropA(window, "zr_dxpaint"));
  EXPECT_EQ(0, SessionRegistrations);
  // Wtsapi32 was freed again; the program never links it.
  EXPECT_EQ(nullptr, GetModuleHandleA("Wtsapi32.dll"));
}

TEST_F(WindowedScreen, SessionLockAndUnlockKeepTheSpritesPixels) {
  ASSERT_TRUE(Open(30, 30, 320, 200, false));
  const std::vector<uint8_t> png = BuildPng(16, 16, 3, TestPicture(16, 16, 3, 4));
  ASSERT_NE(nullptr, LoadSpriteFromMemory(3, png.data(), SpriteTexture, png.size()));
  auto read = [](ObjectNumber number, std::vector<uint32_t>* out) {
    IDirectDrawSurface7* surface = LookupSprite(number)->surface;
    DDSURFACEDESC2 d = {};
    d.dwSize = sizeof(d);
    ASSERT_EQ(DD_OK, surface->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr));
    out->clear();
    for (DWORD y = 0; y < d.dwHeight; ++y)
      for (DWORD x = 0; x < d.dwWidth; ++x)
        out->push_back(reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(d.lpSurface) + y * d.lPitch)[x]);
    surface->Unlock(nullptr);
  };
  std::vector<uint32_t> before, spoilt, after;
  read(3, &before);
  ASSERT_EQ(256u, before.size());

  EXPECT_EQ(0, SendMessageA(window, 0x2B1, 7, 0));
  EXPECT_NE(nullptr, LookupSprite(3)->backup);
  FillArea(LookupSprite(3)->surface, nullptr, 0x123456);   // video memory taken away
  read(3, &spoilt);
  ASSERT_NE(before, spoilt);
  EXPECT_EQ(0, SendMessageA(window, 0x2B1, 8, 0));
  EXPECT_EQ(nullptr, LookupSprite(3)->backup);
  read(3, &after);
  EXPECT_EQ(before, after);
  EXPECT_EQ(0, counts.sessionChanges) << "session changes stop at the screen";
  // The screen stayed open and still shows frames.
  EXPECT_TRUE(Screen.windowed);
  ClearOutput(0);
  BlitSprite(3, 0, 0);
  Show();
  ScreenPixels shown;
  ASSERT_TRUE(ReadClientArea(window, &shown));
  EXPECT_EQ(before[17] & 0xFFFFFF, shown.At(1, 1));
}

TEST_F(WindowedScreen, SpritesAreDrawnWhicheverWindowIsInTheForeground) {
  TestWindowCounts otherCounts;
  ASSERT_TRUE(Open(30, 30, 320, 200, false));
  const std::vector<uint8_t> png = BuildPng(16, 16, 3, TestPicture(16, 16, 3, 5));
  ASSERT_NE(nullptr, LoadSpriteFromMemory(4, png.data(), 0, png.size()));
  Window(500, 400, 100, 100, true, &otherCounts);   // takes the foreground
  ASSERT_NE(window, GetForegroundWindow());
  EXPECT_EQ(0, ScreenIsActive());   // for input: the mouse is left alone
  ClearOutput(0);
  BlitSprite(4, 10, 20);
  DDSURFACEDESC2 d = {};
  d.dwSize = sizeof(d);
  ASSERT_EQ(DD_OK, Screen.backBuffer->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr));
  const uint32_t drawn = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(d.lpSurface) + 25 * d.lPitch)[15];
  Screen.backBuffer->Unlock(nullptr);
  DDSURFACEDESC2 s = {};
  s.dwSize = sizeof(s);
  ASSERT_EQ(DD_OK, LookupSprite(4)->surface->Lock(nullptr, &s, DDLOCK_WAIT | DDLOCK_READONLY, nullptr));
  const uint32_t source = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(s.lpSurface) + 5 * s.lPitch)[5];
  LookupSprite(4)->surface->Unlock(nullptr);
  EXPECT_NE(0u, source & 0xFFFFFF);
  EXPECT_EQ(source & 0xFFFFFF, drawn & 0xFFFFFF);
}

TEST_F(WindowedScreen, DefaultsToSixtyFramesASecondAndGivesTheRateBack) {
  ASSERT_TRUE(Open(30, 30, 320, 200, false));
  EXPECT_EQ(60, Screen.frameRate);
  EXPECT_TRUE(Screen.frameRateDefaulted);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  FlipScreen();   // the first wait starts the interval
  QueryPerformanceCounter(&start);
  for (int i = 0; i < 30; ++i) FlipScreen();
  QueryPerformanceCounter(&end);
  const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
  printf("[ note     ] 30 windowed flips at the default rate: %.3f s (%.1f frames a second)\n", seconds,
         30 / seconds);
  // The first interval started before the reading (the presentation of the warm-up frame).
  EXPECT_GE(seconds, 29.0 / 61);
  EndScreen();
  EXPECT_EQ(0, Screen.frameRate);
  EXPECT_FALSE(Screen.frameRateDefaulted);

  // A rate the program chose stays, before and after.
  ASSERT_EQ(1, LimitFrameRate(20));
  ASSERT_EQ(1, OpenScreenInWindow(window, 0, 0, PictureWidth, PictureHeight, 1, 0, 0));
  EXPECT_EQ(20, Screen.frameRate);
  EXPECT_FALSE(Screen.frameRateDefaulted);
  FlipScreen();
  QueryPerformanceCounter(&start);
  for (int i = 0; i < 6; ++i) FlipScreen();
  QueryPerformanceCounter(&end);
  EXPECT_GE(static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart, 5.0 / 21);
  EndScreen();
  EXPECT_EQ(20, Screen.frameRate);
}

TEST_F(WindowedScreen, FailedOpensLeaveNoScreenAndTheRateAlone) {
  window = Window(30, 30, 320, 200, false, &counts);
  const HWND base = Screen.baseWindow;
  auto expectNoScreen = [&] {
    EXPECT_EQ(0, Screen.screenWidth);
    EXPECT_FALSE(Screen.windowed);
    EXPECT_EQ(base, MultimediaWindow());
    EXPECT_EQ(nullptr, Screen.primary);
    EXPECT_EQ(nullptr, Screen.backBuffer);
    EXPECT_EQ(nullptr, Screen.clipper);
    EXPECT_EQ(0, Screen.frameRate);
    FlipScreen();   // nothing to flip, nothing to repaint
    RepaintWindowedScreen();
    ClearOutput(0);
  };
  EXPECT_EQ(0, OpenScreenInWindow(nullptr, 0, 0, PictureWidth, PictureHeight, 1, 0, 0));
  expectNoScreen();
  // A picture of no size: no back buffer can be made.
  EXPECT_EQ(0, OpenScreenInWindow(window, 0, 0, 0, 0, 1, 0, 0));
  expectNoScreen();
  EXPECT_EQ(0, OpenScreenInWindow(window, 0, 0, -5, 100, 1, 0, 0));
  expectNoScreen();
  // A handle that names no window any more.
  HWND gone = CreateWindowA("STATIC", "gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, GetModuleHandleA(nullptr),
                            nullptr);
  DestroyWindow(gone);
  EXPECT_EQ(0, OpenScreenInWindow(gone, 0, 0, PictureWidth, PictureHeight, 1, 0, 0));
  expectNoScreen();
  // And the window can still be used.
  EXPECT_EQ(1, OpenScreenInWindow(window, 0, 0, PictureWidth, PictureHeight, 1, 0, 0));
}
