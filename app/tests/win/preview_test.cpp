// The preview against Wine: its callback, its set-up inside a host window made here (the
// picture read back from sprite 0 and from the desktop), and the end of its loop.
#include <windows.h>
#include <ddraw.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/embedded.h"
#include "app/win/startup.h"
#include "app/state.h"
#include "app/win/platform_calls.h"
#include "app/win/preview.h"
#include "display/tests/win/surface_pixels.h"
#include "display/tests/win/windowed_support.h"
#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "image/decoders.h"
#include "image/win/images.h"
#include "runtime/memory.h"
#include "window/win/window.h"

namespace {

int ExitCalls = 0;
HWND WindowAtExit = nullptr;
bool WindowAliveAtExit = true;
void RecordExit() {
  ++ExitCalls;
  WindowAliveAtExit = WindowAtExit && IsWindow(WindowAtExit);
}

// 8-bit red, green and blue planes of a picture, top row first.
struct Rgb {
  int32_t width = 0, height = 0;
  std::vector<double> r, g, b;
  void Resize(int32_t w, int32_t h) {
    width = w;
    height = h;
    r.assign(static_cast<size_t>(w) * h, 0);
    g = b = r;
  }
  size_t At(int32_t x, int32_t y) const { return static_cast<size_t>(y) * width + x; }
};

// The embedded preview picture through the PNG decoder, at its own size.
bool DecodedPreview(Rgb* out) {
  const unsigned char* data = EmbeddedPicture(EmbeddedPreviewPicture);
  const size_t size = EmbeddedPictureSize(EmbeddedPreviewPicture);
  if (!data) return false;
  const int found = FindImageDecoder(static_cast<intptr_t>(size), data);
  if (!found) return false;
  const int32_t w = static_cast<int32_t>(CurrentImageWidth()), h = static_cast<int32_t>(CurrentImageHeight());
  const int32_t bytes = found == 2 ? 4 : 3;
  const int32_t pitch = (w * bytes + 3) & ~3;
  std::vector<uint8_t> rows(static_cast<size_t>(pitch) * (h + 1));
  if (!DecodeCurrentImage(rows.data(), pitch, 0)) return false;
  out->Resize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* p = &rows[static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * bytes];
      out->b[out->At(x, y)] = p[0];
      out->g[out->At(x, y)] = p[1];
      out->r[out->At(x, y)] = p[2];
    }
  return true;
}

// Area-weighted scaling: every target pixel is the mean of the source area it covers.
Rgb ScaledArea(const Rgb& source, int32_t width, int32_t height) {
  Rgb out;
  out.Resize(width, height);
  const double sx = static_cast<double>(source.width) / width, sy = static_cast<double>(source.height) / height;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const double x0 = x * sx, x1 = (x + 1) * sx, y0 = y * sy, y1 = (y + 1) * sy;
      double r = 0, g = 0, b = 0, area = 0;
      for (int32_t v = static_cast<int32_t>(y0); v < y1 && v < source.height; ++v)
        for (int32_t u = static_cast<int32_t>(x0); u < x1 && u < source.width; ++u) {
          const double wx = std::fmin(x1, u + 1.0) - std::fmax(x0, static_cast<double>(u));
          const double wy = std::fmin(y1, v + 1.0) - std::fmax(y0, static_cast<double>(v));
          const double weight = wx * wy;
          if (weight <= 0) continue;
          r += weight * source.r[source.At(u, v)];
          g += weight * source.g[source.At(u, v)];
          b += weight * source.b[source.At(u, v)];
          area += weight;
        }
      out.r[out.At(x, y)] = r / area;
      out.g[out.At(x, y)] = g / area;
      out.b[out.At(x, y)] = b / area;
    }
  return out;
}

Rgb FromValues(int32_t width, int32_t height, const std::vector<uint32_t>& values) {
  Rgb out;
  out.Resize(width, height);
  for (size_t i = 0; i < values.size() && i < out.r.size(); ++i) {
    out.r[i] = (values[i] >> 16) & 0xFF;
    out.g[i] = (values[i] >> 8) & 0xFF;
    out.b[i] = values[i] & 0xFF;
  }
  return out;
}

// How two pictures of one size differ: the mean absolute difference per channel, and the mean
// brightness of each (so that an all-black picture cannot pass against a mostly black one).
struct Difference {
  double meanAbsolute = 1e9, brightnessA = 0, brightnessB = 0;
};

Difference Compare(const Rgb& a, const Rgb& b) {
  Difference d;
  if (a.width != b.width || a.height != b.height || a.r.empty()) return d;
  double sum = 0, sa = 0, sb = 0;
  for (size_t i = 0; i < a.r.size(); ++i) {
    sum += std::fabs(a.r[i] - b.r[i]) + std::fabs(a.g[i] - b.g[i]) + std::fabs(a.b[i] - b.b[i]);
    sa += a.r[i] + a.g[i] + a.b[i];
    sb += b.r[i] + b.g[i] + b.b[i];
  }
  const double n = 3.0 * a.r.size();
  d.meanAbsolute = sum / n;
  d.brightnessA = sa / n;
  d.brightnessB = sb / n;
  return d;
}

// The tolerance for the scaling filter: the picture's sharp, spiky edges differ by a few levels
// between filters; a missing or misplaced picture differs by about the picture's brightness.
void ExpectLooksLike(const Rgb& shown, const Rgb& expected, const char* what) {
  const Difference d = Compare(shown, expected);
  EXPECT_LT(d.meanAbsolute, 4.0) << what;
  EXPECT_NEAR(d.brightnessA, d.brightnessB, 0.1 * d.brightnessB + 0.5) << what;
  EXPECT_GT(d.brightnessB, 10.0) << what << ": the expected picture is not mostly black";
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// A host window like the screensaver host's: top-level, grey, a client area of width x height.
HWND CreateHost(int32_t width, int32_t height) {
  HWND host = CreateClientWindow("VorlunePreviewTestHost", HostProc, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)),
                                 WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, "preview host", 40, 40, width, height);
  if (!host) return nullptr;
  // Not activated: Wine waits for a window manager when an active window goes.
  ShowWindow(host, SW_SHOWNOACTIVATE);
  UpdateWindow(host);
  PumpFor(100);
  return host;
}

void SetModeArgument(const char* text) { AssignStringVariable(&App.ModeArgument, text); }

void SetModeArgumentTo(HWND window, bool hexadecimal) {
  char text[32];
  const unsigned long long value = static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window));
  if (hexadecimal)
    snprintf(text, sizeof(text), "$%llX", value);
  else
    snprintf(text, sizeof(text), "%llu", value);
  SetModeArgument(text);
}

}  // namespace

class Preview : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitialiseApplication();
    engineReady = InitSpriteEngine() != nullptr;
  }
  static void TearDownTestSuite() { ShutdownRuntime(); }

  void SetUp() override {
    ASSERT_TRUE(engineReady) << "sprite engine (DirectDraw 7, keyboard)";
    ExitCalls = 0;
    WindowAtExit = nullptr;
    WindowAliveAtExit = true;
    AppPlatform.exitProgram = RecordExit;
  }
  void TearDown() override {
    CloseAllWindows();
    InstallWindowCallback(nullptr);
    ReleaseSprite(0);
    EndScreen();
    if (host && IsWindow(host)) DestroyWindow(host);
    PumpWindowMessages();
    AppPlatform.exitProgram = ExitProgram;
  }

  // Runs a few frames of the loop, long enough for Wine to show the window; the last result.
  static int32_t RunFrames(int32_t frames) {
    int32_t shown = 1;
    for (int32_t i = 0; i < frames && shown; ++i) shown = ShowPreviewFrame();
    return shown;
  }

  // A host of width x height (its handle given in decimal or hexadecimal) with the preview set up
  // in it; the preview's window.
  HWND PreviewIn(int32_t width, int32_t height, bool hexadecimal) {
    host = CreateHost(width, height);
    if (!host) return nullptr;
    SetModeArgumentTo(host, hexadecimal);
    SetUpPreview();
    return WindowHandle(0);
  }

  static bool engineReady;
  HWND host = nullptr;
};

bool Preview::engineReady = false;

TEST_F(Preview, CloseDestroysTheWindowAndTakesTheExitPath) {
  host = CreateHost(120, 90);
  ASSERT_NE(nullptr, host);
  HWND window = CreateWindowA("STATIC", "closing", WS_CHILD | WS_VISIBLE, 0, 0, 50, 40, host, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, window);
  WindowAtExit = window;
  EXPECT_EQ(0, PreviewCallback(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(1, ExitCalls);
  EXPECT_FALSE(WindowAliveAtExit) << "destroyed before the exit path";
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(IsWindow(host));
}

TEST_F(Preview, OtherMessagesGetTheDefaultResult) {
  host = CreateHost(120, 90);
  ASSERT_NE(nullptr, host);
  char text[32] = {};
  EXPECT_EQ(DefWindowProcA(host, WM_GETTEXTLENGTH, 0, 0), PreviewCallback(host, WM_GETTEXTLENGTH, 0, 0));
  EXPECT_EQ(12, PreviewCallback(host, WM_GETTEXTLENGTH, 0, 0));   // "preview host"
  EXPECT_EQ(12, PreviewCallback(host, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text)));
  EXPECT_STREQ("preview host", text);
  // Hit-testing: the caption above the client area, the client area inside it.
  RECT frame;
  GetWindowRect(host, &frame);
  POINT inside = {0, 0};
  ClientToScreen(host, &inside);
  const LPARAM caption = MAKELPARAM(frame.left + 60, frame.top + 5);
  const LPARAM client = MAKELPARAM(inside.x + 30, inside.y + 30);
  EXPECT_EQ(DefWindowProcA(host, WM_NCHITTEST, 0, caption), PreviewCallback(host, WM_NCHITTEST, 0, caption));
  EXPECT_EQ(HTCLIENT, PreviewCallback(host, WM_NCHITTEST, 0, client));
  EXPECT_EQ(0, PreviewCallback(host, WM_APP + 3, 1, 2));
  // Keys and the mouse are not a way out.
  EXPECT_EQ(DefWindowProcA(host, WM_KEYDOWN, VK_ESCAPE, 0), PreviewCallback(host, WM_KEYDOWN, VK_ESCAPE, 0));
  PreviewCallback(host, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  PreviewCallback(host, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(0, ExitCalls);
  EXPECT_TRUE(IsWindow(host));
}

TEST_F(Preview, SetUpMakesAChildOverTheHostsClientAreaWithTheScaledPicture) {
  const struct {
    int32_t width, height;
    bool hexadecimal;
  } sizes[] = {{400, 300, false}, {152, 112, true}};
  Rgb decoded;
  ASSERT_TRUE(DecodedPreview(&decoded));
  ASSERT_EQ(400, decoded.width);
  ASSERT_EQ(320, decoded.height);
  for (const auto& size : sizes) {
    SCOPED_TRACE(testing::Message() << size.width << " x " << size.height);
    HWND window = PreviewIn(size.width, size.height, size.hexadecimal);
    ASSERT_NE(nullptr, host);
    EXPECT_EQ(host, static_cast<HWND>(App.HostWindow));
    EXPECT_EQ(0, App.hostLeft);
    EXPECT_EQ(0, App.hostTop);
    EXPECT_EQ(size.width, App.hostRight);
    EXPECT_EQ(size.height, App.hostBottom);

    ASSERT_NE(nullptr, window);
    EXPECT_EQ(host, GetParent(window));
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_EQ(0, style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME));
    char title[64] = {};
    GetWindowTextA(window, title, sizeof(title));
    EXPECT_STREQ("Vorlune Screensaver", title);
    // Exactly over the host's client area.
    RECT rect, client;
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&rect), 2);
    GetClientRect(host, &client);
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(0, rect.top);
    EXPECT_EQ(client.right, rect.right);
    EXPECT_EQ(client.bottom, rect.bottom);
    GetClientRect(window, &client);
    EXPECT_EQ(size.width, client.right);
    EXPECT_EQ(size.height, client.bottom);

    // The windowed screen lives in it, stretched, at the same size.
    EXPECT_TRUE(Screen.windowed);
    EXPECT_EQ(window, MultimediaWindow());
    EXPECT_TRUE(Screen.stretch);
    EXPECT_EQ(size.width, Screen.outputWidth);
    EXPECT_EQ(size.height, Screen.outputHeight);
    EXPECT_EQ(60, Screen.frameRate);

    // Image 0 was given back; sprite 0 holds the picture scaled to the client area.
    EXPECT_EQ(nullptr, ImageHandleOf(0));
    SpriteRecord* sprite = LookupSprite(0);
    ASSERT_NE(nullptr, sprite);
    EXPECT_EQ(size.width, sprite->width);
    EXPECT_EQ(size.height, sprite->height);
    LockedPixels pixels;
    ASSERT_TRUE(ReadPixels(sprite->surface, &pixels));
    ASSERT_EQ(4, pixels.bytes) << "the test display is 24-bit, which DirectDraw gives as 32";
    ASSERT_EQ(size.width, pixels.width);
    ASSERT_EQ(size.height, pixels.height);
    const Rgb expected = ScaledArea(decoded, size.width, size.height);
    ExpectLooksLike(FromValues(pixels.width, pixels.height, pixels.values), expected, "sprite 0");

    // And the loop puts it into the window: what the desktop shows there.
    EXPECT_EQ(1, RunFrames(20));
    ScreenPixels shown;
    ASSERT_TRUE(ReadClientArea(window, &shown));
    ExpectLooksLike(FromValues(shown.width, shown.height, shown.values), expected, "the window on the desktop");

    CloseAllWindows();
    ReleaseSprite(0);
    DestroyWindow(host);
    host = nullptr;
    PumpWindowMessages();
  }
  EXPECT_EQ(0, ExitCalls);
}

TEST_F(Preview, CloseRequestReachesTheCallbackThroughTheWindowLibrary) {
  HWND window = PreviewIn(160, 120, false);
  ASSERT_NE(nullptr, window);
  WindowAtExit = window;
  EXPECT_EQ(1, RunFrames(3));
  PostMessageA(window, WM_CLOSE, 0, 0);
  // The loop's event wait dispatches the request.
  for (int i = 0; i < 50 && ExitCalls == 0; ++i) ShowPreviewFrame();
  EXPECT_EQ(1, ExitCalls);
  EXPECT_FALSE(WindowAliveAtExit);
  EXPECT_FALSE(IsWindow(window));
  // With the window gone the loop has nothing left to show.
  EXPECT_EQ(0, ShowPreviewFrame());
}

TEST_F(Preview, LoopGoesOnUntilTheHostOrTheWindowIsGone) {
  // The host destroyed, taking the preview window with it: no close request ever comes.
  ASSERT_NE(nullptr, PreviewIn(160, 120, false));
  EXPECT_EQ(1, RunFrames(5));
  // Keys and mouse messages do not end it.
  PostMessageA(WindowHandle(0), WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(WindowHandle(0), WM_KEYUP, VK_ESCAPE, 0);
  PostMessageA(WindowHandle(0), WM_MOUSEMOVE, 0, MAKELPARAM(50, 50));
  PostMessageA(WindowHandle(0), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
  EXPECT_EQ(1, RunFrames(8));
  DestroyWindow(host);
  host = nullptr;
  EXPECT_EQ(0, ShowPreviewFrame());
  EXPECT_EQ(0, ExitCalls);
  CloseAllWindows();
  ReleaseSprite(0);

  // The preview window destroyed on its own, the host still there.
  ASSERT_NE(nullptr, PreviewIn(160, 120, true));
  EXPECT_EQ(1, RunFrames(3));
  DestroyWindow(WindowHandle(0));
  EXPECT_EQ(0, ShowPreviewFrame());
  EXPECT_TRUE(IsWindow(host));
}

TEST_F(Preview, AHandleNamingNoWindowEndsIt) {
  HWND gone = CreateHost(100, 80);
  ASSERT_NE(nullptr, gone);
  DestroyWindow(gone);
  PumpWindowMessages();
  ASSERT_FALSE(IsWindow(gone));
  const char* arguments[] = {nullptr, "not-a-handle", "0", "$"};
  for (const char* argument : arguments) {
    SCOPED_TRACE(argument ? argument : "the destroyed window");
    if (argument)
      SetModeArgument(argument);
    else
      SetModeArgumentTo(gone, false);
    SetUpPreview();
    EXPECT_EQ(0, App.hostRight);
    EXPECT_EQ(0, App.hostBottom);
    EXPECT_EQ(nullptr, WindowHandle(0));
    EXPECT_EQ(0, ShowPreviewFrame());
    EXPECT_EQ(0, ExitCalls);
    ReleaseSprite(0);
  }
}
