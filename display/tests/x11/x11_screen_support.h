// The fixture of the X11 display tests: a fresh X connection, sprite engine and 3D sprite library
// per test on the test display, a small screen, and its pixels read back.
#pragma once
#include <dlfcn.h>
#include <link.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "display/sprites.h"
#include "display/sprites3d.h"
#include "display/x11/screen.h"
#include "display/x11/sprites.h"
#include "display/x11/sprites3d.h"
#include "image/decoders.h"
#include "image/tests/png_maker.h"
#include "runtime/memory.h"
#include "window/tests/x11/test_display.h"
#include "window/x11/x11.h"

// Mesa unloads its DRI driver with the last context; what the driver still holds then looks
// leaked to LeakSanitizer, which no longer sees the driver's globals. Kept loaded, it is not.
inline void KeepGLDriverLoaded() {
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void*) {
        if (info->dlpi_name && std::strstr(info->dlpi_name, "_dri.so"))
          dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        return 0;
      },
      nullptr);
}

class X11ScreenTest : public ::testing::Test {
 protected:
  static const int32_t Width = 64, Height = 48;

  void SetUp() override {
    if (!MainHeap) MainHeap = HeapCreate(0, 0, 0);
    InitListedObjectHeap();
    ResetImageDecoders();
    RegisterPngDecoder();
    // Xvfb resets when its last client leaves, refusing connections meanwhile: one idle
    // connection for the program's life keeps it from resetting between the tests.
    static Display* keeper = XOpenDisplay(TestDisplayName().c_str());
    ASSERT_NE(nullptr, keeper) << "no X display: run under Xvfb";
    ASSERT_EQ(1, OpenX11Display(TestDisplayName().c_str()));
    ASSERT_NE(nullptr, InitSpriteEngine());
    ASSERT_EQ(1, Sprite3DLibraryInit());
    X11ScreenOptions options = {};
    options.pacing = 1;
    SetX11ScreenOptions(options);
  }

  void TearDown() override {
    CloseSprite3DLibrary();
    ShutdownSpriteEngine();
    CloseX11();
  }

  void Open(int32_t width = Width, int32_t height = Height) {
    ASSERT_EQ(1, OpenFullScreen(width, height, 32, "Vorlune X11 test")) << X11ScreenError();
    KeepGLDriverLoaded();
  }

  // A mapped window of the display's default visual, lent to the screen.
  Window LendWindow(int32_t width, int32_t height) {
    const Window window = XCreateSimpleWindow(X11.display, DefaultRootWindow(X11.display), 0, 0, width, height, 0, 0, 0);
    XMapWindow(X11.display, window);
    EXPECT_EQ(1, AdoptX11Window(window));
    return window;
  }

  std::vector<uint32_t> Pixels(int32_t width = Width, int32_t height = Height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xDEADBEEF);
    EXPECT_EQ(1, ReadScreenPixels(pixels.data(), width, height));
    return pixels;
  }
};

inline int Component(uint32_t pixel, int shift) { return static_cast<int>(pixel >> shift & 0xFF); }

// Each of red, green and blue within tolerance.
inline bool Near(uint32_t got, uint32_t want, int tolerance) {
  return std::abs(Component(got, 0) - Component(want, 0)) <= tolerance &&
         std::abs(Component(got, 8) - Component(want, 8)) <= tolerance &&
         std::abs(Component(got, 16) - Component(want, 16)) <= tolerance;
}

// An 8-bit PNG of width x height pixels given as R, G, B (channels 3) or R, G, B, A bytes.
inline std::vector<uint8_t> Png(uint32_t width, uint32_t height, int channels, const std::vector<uint8_t>& bytes) {
  TestPicture picture;
  picture.width = width;
  picture.height = height;
  picture.colourType = channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
  picture.samples.assign(bytes.begin(), bytes.end());
  return EncodePng(picture);
}

// Gradients in every component, black (the colour key) on a diagonal pattern, alpha varied.
inline std::vector<uint8_t> GradientBytes(int width, int height, int channels, int seed) {
  std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * channels);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &bytes[(static_cast<size_t>(y) * width + x) * channels];
      const bool black = (x + y + seed) % 7 == 0;
      p[0] = black ? 0 : static_cast<uint8_t>(20 + x * 13 + seed * 17);
      p[1] = black ? 0 : static_cast<uint8_t>(10 + y * 11 + seed * 5);
      p[2] = black ? 0 : static_cast<uint8_t>(30 + (x * 7 + y * 13 + seed * 29) % 200);
      if (channels == 4) p[3] = static_cast<uint8_t>((x * 31 + y * 11 + seed) & 0xFF);
    }
  return bytes;
}
