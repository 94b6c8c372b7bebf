// The X11 screen: the open and its failures, the clear, the frame stretched over the window, the
// frame limit, the pacing, the end signals, and what the close gives back. The report of -fps is
// tested on the whole program (tests/e2e/x11_window.py).
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "display/blending.h"
#include "display/tests/x11/x11_screen_support.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Sprite 1 drawn both ways a frame draws it: blitted, then as a 3D sprite.
void DrawSpriteBothWays() {
  BeginSoftwareFrame();
  BlitSprite(1, 0, 0);
  EndSoftwareFrame();
  BeginSprite3DScene();
  DrawSprite3DFaded(1, 0, 0, 255);
  EndSprite3DScene();
}

}  // namespace

TEST_F(X11ScreenTest, ClearOutputFillsTheFrameBadRequestsAreRefusedAndTheCloseGivesAllBack) {
  const long before = ShimLiveBlocks(MainHeap);
  EXPECT_EQ(0, OpenFullScreen(0x10000, 48, 32, "t")) << "sizes are 16-bit";
  EXPECT_NE(std::string(), X11ScreenError());
  EXPECT_EQ(nullptr, FlipScreen());
  EXPECT_EQ(1, ScreenClosed()) << "no screen to draw on";
  Open();
  ClearOutput(0x336699);   // a COLORREF: red 0x99
  for (uint32_t pixel : Pixels()) ASSERT_EQ(0x996633u, pixel);
  std::vector<uint32_t> pixels(65 * 48, 7);
  EXPECT_EQ(0, ReadScreenPixels(pixels.data(), Width + 1, Height));
  EXPECT_EQ(0, ReadScreenPixels(nullptr, 1, 1));
  EXPECT_EQ(7u, pixels[0]);
  ASSERT_NE(nullptr, NewSprite(1, 4, 4, SpriteTexture));
  ASSERT_NE(nullptr, NewSprite(AutoNumber, 2, 2, 0));
  ASSERT_NE(nullptr, MakeSprite3D(1, 1));
  DrawSpriteBothWays();
  EXPECT_NE(nullptr, FlipScreen());
  EXPECT_EQ(0, ScreenClosed());
  // Opened again at the same size: the same context, no sprites, a black frame.
  const GLXContext context = GLScreen.context;
  ASSERT_EQ(1, OpenFullScreen(Width, Height, 32, "t"));
  EXPECT_EQ(context, GLScreen.context);
  EXPECT_EQ(nullptr, LookupSprite(1));
  for (uint32_t pixel : Pixels()) ASSERT_EQ(0u, pixel);
  ASSERT_NE(nullptr, NewSprite(1, 4, 4, SpriteTexture));
  EndScreen();
  EXPECT_EQ(nullptr, LookupSprite(1));
  EXPECT_EQ(before, ShimLiveBlocks(MainHeap));
  CloseX11();
  EXPECT_EQ(0, OpenFullScreen(64, 48, 32, "t"));
  EXPECT_NE(std::string::npos, std::string(X11ScreenError()).find("no X display"));
}

// A frame half the window's size fills all of it, after a resize too; linear filtering then mixes
// neighbouring texels where nearest repeats them.
TEST_F(X11ScreenTest, TheFrameIsStretchedOverALentWindowAndFollowsItsSize) {
  const Window window = LendWindow(64, 48);
  Open(32, 24);
  const std::vector<uint8_t> png = Png(2, 1, 3, {255, 0, 0, 0, 0, 255});
  ASSERT_NE(nullptr, LoadSpriteFromMemory(1, png.data(), SpriteTexture, png.size()));
  ASSERT_NE(nullptr, MakeSprite3D(1, 1));
  for (int32_t scale : {2, 4}) {
    SCOPED_TRACE(scale);
    const int32_t w = 32 * scale;
    ASSERT_EQ(1, BeginSoftwareFrame());
    ClearOutput(0xFF0000);
    BlitSprite(1, 30, 23);
    EndSoftwareFrame();
    BeginSprite3DScene();
    SetSprite3DFiltering(0);
    DrawSprite3DFaded(1, 0, 0, 255);
    SetSprite3DFiltering(1);
    DrawSprite3DFaded(1, 0, 4, 255);
    EndSprite3DScene();
    const std::vector<uint32_t> pixels = Pixels(w, 24 * scale);
    EXPECT_EQ(0xFF0000u, pixels[scale - 1]);
    EXPECT_EQ(0x0000FFu, pixels[scale]);
    const double blue = 0.5 / scale;   // where the window's pixel scale / 2 samples between the texels
    const uint32_t mixed = static_cast<uint32_t>(255 * (1 - blue) + 0.5) << 16 | static_cast<uint32_t>(255 * blue + 0.5);
    EXPECT_TRUE(Near(pixels[4 * scale * w + scale / 2], mixed, 8)) << std::hex << pixels[4 * scale * w + scale / 2];
    EXPECT_EQ(0xFF0000u, pixels[23 * scale * w + 31 * scale - 1]);
    EXPECT_EQ(0xFF0000u, pixels[(24 * scale - 1) * w + 30 * scale]);
    EXPECT_EQ(0x0000FFu, pixels[(23 * scale - 1) * w + 31 * scale - 1]);
    XResizeWindow(X11.display, window, 128, 96);
    XSync(X11.display, False);
    for (int i = 0; i < 100 && X11.width != 128; ++i) {
      FlipScreen();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  EndScreen();
  XDestroyWindow(X11.display, window);
}

TEST_F(X11ScreenTest, ALentWindowThatGoesClosesTheScreenQuietlyAndFailsTheNextOpen) {
  const Window window = LendWindow(64, 48);
  Open();
  ASSERT_NE(nullptr, NewSprite(1, 4, 4, SpriteTexture));
  ASSERT_NE(nullptr, MakeSprite3D(1, 1));
  XDestroyWindow(X11.display, window);
  XSync(X11.display, False);
  for (int frame = 0; frame < 2; ++frame) {
    DrawSpriteBothWays();
    FlipScreen();
  }
  EXPECT_EQ(0, BeginSprite3DScene());
  EXPECT_EQ(0, ScreenIsActive());
  EXPECT_EQ(1, ScreenClosed());
  EXPECT_EQ(0, OpenFullScreen(64, 48, 32, "t"));
  EXPECT_NE(std::string::npos, std::string(X11ScreenError()).find("gone")) << X11ScreenError();
}

TEST_F(X11ScreenTest, FlipsKeepTheRateUnlessPacingIsOffAndStopAtTheLimit) {
  Open();
  LimitFrameRate(99);   // a 10 ms period: ten intervals after the first flip
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 11; ++i) FlipScreen();
  EXPECT_GE(SecondsSince(start), 0.095);
  EXPECT_LT(SecondsSince(start), 0.5);
  X11ScreenOptions options = {};
  options.frameLimit = 15;
  SetX11ScreenOptions(options);
  LimitFrameRate(2);
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < 3; ++i) FlipScreen();
  EXPECT_LT(SecondsSince(start), 0.3);
  EXPECT_EQ(0, ScreenClosed());
  FlipScreen();
  EXPECT_EQ(1, ScreenClosed());
}

TEST_F(X11ScreenTest, AnEndSignalCutsTheFrameSleepShort) {
  Open();
  LimitFrameRate(1);   // half a second a frame
  FlipScreen();
  struct sigaction previous[3];
  const int signals[3] = {SIGTERM, SIGINT, SIGHUP};
  for (int i = 0; i < 3; ++i) sigaction(signals[i], nullptr, &previous[i]);
  CatchEndSignals();
  const pthread_t flipping = pthread_self();
  std::thread sender([flipping] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pthread_kill(flipping, SIGTERM);
  });
  const auto start = std::chrono::steady_clock::now();
  FlipScreen();
  EXPECT_LT(SecondsSince(start), 0.4);
  sender.join();
  for (int i = 0; i < 3; ++i) sigaction(signals[i], &previous[i], nullptr);
  EXPECT_EQ(1, ScreenClosed());
  X11.endSignal = 0;
}
