// The screen and the sprites against Wine's real DirectDraw 7 on the test display, read back
// through surface locks.
#include <windows.h>
#include <ddraw.h>
#include <dinput.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/tests/win/display_support.h"
#include "display/tests/win/png_builder.h"
#include "display/tests/win/surface_pixels.h"
#include "image/decoders.h"
#include "image/tests/decoded_picture.h"
#include "image/tests/image_data.h"
#include "input/mouse.h"
#include "input/win/directinput.h"

using namespace testdata;

namespace {

// What the sprite engine must have written for source B, G, R (and A).
uint32_t ExpectedPixel(const uint8_t* bgr, int32_t depth, int32_t code, bool alpha) {
  const uint32_t b = bgr[0], g = bgr[1], r = bgr[2];
  if (depth == 16)
    return code == PixelFormat555 ? (r & 0xF8) << 7 | (g & 0xF8) << 2 | b >> 3 : (r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3;
  return (alpha ? static_cast<uint32_t>(bgr[3]) << 24 : 0) | r << 16 | g << 8 | b;
}

struct Picture {
  std::string name;
  std::vector<uint8_t> data;
};

std::vector<Picture> SpritePictures() {
  // The program's own sprites are checked the same way by app/tests/win/embedded_sprites_test.cpp.
  std::vector<Picture> pictures;
  pictures.push_back({"rgb 16x16", BuildPng(16, 16, 3, TestPicture(16, 16, 3, 1))});
  pictures.push_back({"rgba 16x16", BuildPng(16, 16, 4, TestPicture(16, 16, 4, 2))});
  pictures.push_back({"rgb 5x3", BuildPng(5, 3, 3, TestPicture(5, 3, 3, 3))});
  pictures.push_back({"rgba 5x7", BuildPng(5, 7, 4, TestPicture(5, 7, 4, 4))});
  return pictures;
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Pumps messages until done() or the time is up.
template <class Done> bool PumpUntil(Done done, DWORD milliseconds = 3000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > milliseconds) return false;
    PumpMessages();
    Sleep(10);
  }
  return true;
}

// Makes the window the foreground one until it stays so for a while: without a window manager,
// focus events of windows earlier tests hid can still arrive and hand the foreground to the desktop.
bool HoldForeground(HWND window) {
  int steady = 0;
  for (int tries = 0; tries < 100 && steady < 10; ++tries) {
    if (GetForegroundWindow() != window) {
      steady = 0;
      SetForegroundWindow(window);
    } else {
      ++steady;
    }
    PumpMessages();
    Sleep(10);
  }
  return steady >= 10;
}

}  // namespace

class WineScreen : public RealDisplayTest {
 protected:

  void Open(int32_t depth) {
    ASSERT_EQ(1, OpenFullScreen(1024, 768, depth, "Vorlune test"));
    ASSERT_NE(nullptr, Screen.backBuffer);
    ASSERT_EQ(depth, Screen.screenDepth);
  }

  // Every pixel of the sprite against the decoded picture.
  void ExpectSpriteMatches(ObjectNumber number, const Decoded& picture, bool alpha) {
    SpriteRecord* sprite = LookupSprite(number);
    ASSERT_NE(nullptr, sprite);
    LockedPixels pixels;
    ASSERT_TRUE(ReadPixels(sprite->surface, &pixels));
    ASSERT_EQ(picture.width, pixels.width);
    ASSERT_EQ(picture.height, pixels.height);
    const int32_t depth = alpha ? 32 : Screen.screenDepth;
    int mismatches = 0;
    for (int32_t y = 0; y < picture.height; ++y)
      for (int32_t x = 0; x < picture.width; ++x) {
        const uint32_t expected = ExpectedPixel(picture.At(x, y), depth, Screen.pixelFormatCode,
                                                alpha && picture.channels == 4);
        if (pixels.At(x, y) != expected && ++mismatches <= 5)
          ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << pixels.At(x, y) << " != " << expected;
      }
    EXPECT_EQ(0, mismatches);
  }
};

TEST_F(WineScreen, ClearOutputFillsTheBackBufferAtBothDepths) {
  for (int32_t depth : {32, 16}) {
    SCOPED_TRACE(depth);
    Open(depth);
    EXPECT_EQ(depth == 32 ? PixelFormat32Bgr : PixelFormat565, Screen.pixelFormatCode);
    EXPECT_TRUE(IsWindowVisible(MultimediaWindow()));
    ClearOutput(0x4080FF);
    const uint32_t expected = RGBToPixel(255, 128, 64);
    EXPECT_EQ(depth == 32 ? 0xFF8040u : 0xFC08u, expected);
    LockedPixels back;
    ASSERT_TRUE(ReadPixels(Screen.backBuffer, &back));
    ASSERT_EQ(1024, back.width);
    ASSERT_EQ(768, back.height);
    int wrong = 0;
    for (uint32_t v : back.values) wrong += v != expected;
    EXPECT_EQ(0, wrong);
    // The flip shows it; the back buffer is the target again.
    EXPECT_EQ(Screen.backBuffer, FlipScreen());
    EXPECT_EQ(Screen.backBuffer, Screen.drawTarget);
  }
}

TEST_F(WineScreen, PicturesAreConvertedPixelForPixelAtBothDepths) {
  const std::vector<Picture> pictures = SpritePictures();
  for (int32_t depth : {32, 16}) {
    Open(depth);
    for (const Picture& picture : pictures) {
      for (int32_t flags : {0, SpriteTexture}) {
        SCOPED_TRACE(picture.name + ", depth " + std::to_string(depth) + ", flags " + std::to_string(flags));
        ASSERT_FALSE(picture.data.empty());
        Decoded decoded;
        ASSERT_TRUE(Decode(picture.data.data(), picture.data.size(), &decoded));
        ASSERT_NE(nullptr, LoadSpriteFromMemory(1, picture.data.data(), flags, picture.data.size()));
        ExpectSpriteMatches(1, decoded, false);
        DDCOLORKEY key;
        EXPECT_EQ(DD_OK, LookupSprite(1)->surface->GetColorKey(DDCKEY_SRCBLT, &key));
        EXPECT_EQ(0u, key.dwColorSpaceLowValue);
      }
    }
  }
}

TEST_F(WineScreen, AlphaSpritesKeepTheirAlphaWhateverTheScreen) {
  for (int32_t depth : {32, 16}) {
    SCOPED_TRACE(depth);
    Open(depth);
    const std::vector<uint8_t> rgba = BuildPng(6, 4, 4, TestPicture(6, 4, 4, 9));
    const std::vector<uint8_t> rgb = BuildPng(6, 4, 3, TestPicture(6, 4, 3, 9));
    Decoded decoded;
    ASSERT_TRUE(Decode(rgba.data(), rgba.size(), &decoded));
    ASSERT_NE(nullptr, LoadSpriteFromMemory(2, rgba.data(), SpriteAlpha | SpriteTexture, rgba.size()));
    ExpectSpriteMatches(2, decoded, true);
    DDCOLORKEY key;
    EXPECT_NE(DD_OK, LookupSprite(2)->surface->GetColorKey(DDCKEY_SRCBLT, &key));   // no colour key
    // Without alpha in the source: fourth bytes 0, black is transparent, the flag stays.
    ASSERT_TRUE(Decode(rgb.data(), rgb.size(), &decoded));
    ASSERT_NE(nullptr, LoadSpriteFromMemory(3, rgb.data(), SpriteAlpha, rgb.size()));
    ExpectSpriteMatches(3, decoded, true);
    EXPECT_EQ(DD_OK, LookupSprite(3)->surface->GetColorKey(DDCKEY_SRCBLT, &key));
    EXPECT_EQ(SpriteAlpha, LookupSprite(3)->flags);
  }
}

TEST_F(WineScreen, BitmapFilesOfEveryDepth) {
  // A 3 x 2 picture: bottom row first in the files.
  const uint32_t colours[2][3] = {{0x0000FF, 0x00FF00, 0xFF0000}, {0xFFFFFF, 0x808080, 0x000000}};   // top, bottom
  BitmapLayout b24;
  b24.width = 3;
  b24.height = 2;
  b24.bitsPerPixel = 24;
  BitmapLayout b8 = b24, b1 = b24, b16 = b24, rle = b24;
  for (int fileRow = 0; fileRow < 2; ++fileRow) {
    for (int x = 0; x < 3; ++x) {
      const uint32_t c = colours[1 - fileRow][x];
      b24.pixels.push_back(static_cast<uint8_t>(c));
      b24.pixels.push_back(static_cast<uint8_t>(c >> 8));
      b24.pixels.push_back(static_cast<uint8_t>(c >> 16));
      const uint32_t v555 = ((c >> 19) & 0x1F) << 10 | ((c >> 11) & 0x1F) << 5 | ((c >> 3) & 0x1F);
      b16.pixels.push_back(static_cast<uint8_t>(v555));
      b16.pixels.push_back(static_cast<uint8_t>(v555 >> 8));
    }
    b24.pixels.push_back(0xEE);   // padding: 9 bytes, then 3
    b24.pixels.push_back(0xEE);
    b24.pixels.push_back(0xEE);
    b16.pixels.push_back(0);
    b16.pixels.push_back(0);
  }
  b16.bitsPerPixel = 16;
  b8.bitsPerPixel = 8;
  b8.palette = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x808080, 0x000000};
  b8.pixels = {3, 4, 5, 0, 0, 1, 2, 0};
  rle.bitsPerPixel = 8;
  rle.compression = 1;
  rle.palette = b8.palette;
  rle.pixels = {0, 3, 3, 4, 5, 0, 0, 0, 1, 0, 1, 1, 1, 2, 0, 1};
  b1.bitsPerPixel = 1;
  b1.palette = {0x00FF00, 0xFF00FF};   // ignored: black and white
  b1.pixels = {0x40, 0, 0, 0, 0xA0, 0, 0, 0};

  for (int32_t depth : {32, 16}) {
    Open(depth);
    auto expect = [&](const char* name, const BitmapLayout& layout, const uint32_t (&rgb)[2][3]) {
      SCOPED_TRACE(std::string(name) + " at " + std::to_string(depth));
      const std::vector<uint8_t> file = BuildBitmapFile(layout);
      ASSERT_NE(nullptr, LoadSpriteFromMemory(4, file.data(), 0, file.size()));
      LockedPixels pixels;
      ASSERT_TRUE(ReadPixels(LookupSprite(4)->surface, &pixels));
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
          // A 5-5-5 source keeps 5 bits of each component.
          const uint8_t keep = layout.bitsPerPixel == 16 ? 0xF8 : 0xFF;
          const uint8_t bgr[3] = {static_cast<uint8_t>(rgb[y][x] & keep), static_cast<uint8_t>((rgb[y][x] >> 8) & keep),
                                  static_cast<uint8_t>((rgb[y][x] >> 16) & keep)};
          EXPECT_EQ(ExpectedPixel(bgr, depth, Screen.pixelFormatCode, false), pixels.At(x, y)) << x << "," << y;
        }
    };
    expect("24-bit", b24, colours);
    expect("8-bit", b8, colours);
    expect("RLE8", rle, colours);
    expect("16-bit", b16, colours);
    const uint32_t mono[2][3] = {{0xFFFFFF, 0x000000, 0xFFFFFF}, {0x000000, 0xFFFFFF, 0x000000}};
    expect("1-bit", b1, mono);
  }
}

TEST_F(WineScreen, MemorySpritesFromBitmapFilesOnly) {
  Open(32);
  const std::vector<uint8_t> file = BuildBitmapFile({3, 2, 8, 0, {0, 0xFFFFFF}, {1, 2, 3, 0, 4, 5, 6, 0}});
  uint8_t* block = static_cast<uint8_t*>(LoadSpriteFromMemory(5, file.data(), SpriteMemoryOnly, file.size()));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(0, memcmp(block, "\x04\x05\x06\x01\x02\x03", 6));   // top row first
  EXPECT_EQ(MemorySpriteDepth, LookupSprite(5)->depth);
  const std::vector<uint8_t> png = BuildPng(3, 2, 3, TestPicture(3, 2, 3, 0));
  EXPECT_EQ(nullptr, LoadSpriteFromMemory(5, png.data(), SpriteMemoryOnly, png.size()));
  EXPECT_EQ(nullptr, LookupSprite(5));
}

TEST_F(WineScreen, UnreadableDataFailsAndLeavesTheNumberFree) {
  Open(32);
  const char text[] = "not a picture at all";
  EXPECT_EQ(nullptr, LoadSpriteFromMemory(6, text, 0, sizeof(text)));
  EXPECT_EQ(nullptr, LookupSprite(6));
  // A bitmap whose rows run past the end of the data.
  BitmapLayout layout{40, 40, 24, 0, {}, std::vector<uint8_t>(100, 0x55)};
  std::vector<uint8_t> file = BuildBitmapFile(layout);
  EXPECT_EQ(nullptr, LoadSpriteFromMemory(6, file.data(), 0, file.size()));
  EXPECT_EQ(nullptr, LookupSprite(6));
  // A truncated PNG.
  std::vector<uint8_t> png = BuildPng(16, 16, 3, TestPicture(16, 16, 3, 5));
  png.resize(40);
  EXPECT_EQ(nullptr, LoadSpriteFromMemory(6, png.data(), 0, png.size()));
  // A palette bitmap on a deeper screen without its rows still loads, black where rows are missing.
  layout.bitsPerPixel = 8;
  layout.palette = {0, 0x00FF00};
  layout.pixels.assign(44, 1);   // one row of 40 (padded) and 4 bytes of the next
  file = BuildBitmapFile(layout);
  ASSERT_NE(nullptr, LoadSpriteFromMemory(6, file.data(), 0, file.size()));
  LockedPixels pixels;
  ASSERT_TRUE(ReadPixels(LookupSprite(6)->surface, &pixels));
  EXPECT_EQ(0x00FF00u, pixels.At(0, 39));   // the file's first row is the bottom one
  EXPECT_EQ(0x00FF00u, pixels.At(3, 38));
  EXPECT_EQ(0u, pixels.At(4, 38));
  EXPECT_EQ(0u, pixels.At(0, 0));
}

TEST_F(WineScreen, BlitSpriteLeftOfTheEdgeCopiesTheRightColumns) {
  Open(32);
  // Ten columns of different colours, four rows.
  std::vector<uint8_t> rgb;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 10; ++x) {
      rgb.push_back(static_cast<uint8_t>(20 + x * 20));
      rgb.push_back(static_cast<uint8_t>(10 + y * 40));
      rgb.push_back(static_cast<uint8_t>(200 - x * 10));
    }
  const std::vector<uint8_t> png = BuildPng(10, 4, 3, rgb);
  ASSERT_NE(nullptr, LoadSpriteFromMemory(7, png.data(), 0, png.size()));
  LockedPixels sprite;
  ASSERT_TRUE(ReadPixels(LookupSprite(7)->surface, &sprite));
  ClearOutput(0x302010);
  const uint32_t background = RGBToPixel(0x10, 0x20, 0x30);
  BlitSprite(7, -3, 5);
  LockedPixels back;
  ASSERT_TRUE(ReadPixels(Screen.backBuffer, &back));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x <= 6; ++x) EXPECT_EQ(sprite.At(x + 3, y), back.At(x, 5 + y)) << x << "," << y;
    EXPECT_EQ(background, back.At(7, 5 + y));
  }
  EXPECT_EQ(background, back.At(0, 4));
  EXPECT_EQ(background, back.At(0, 9));
  // At the bottom right corner only the top left part shows.
  BlitSprite(7, 1020, 766);
  ASSERT_TRUE(ReadPixels(Screen.backBuffer, &back));
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(sprite.At(x, 0), back.At(1020 + x, 766));
    EXPECT_EQ(sprite.At(x, 1), back.At(1020 + x, 767));
  }
}

TEST_F(WineScreen, FocusLossAndReturnKeepTheSpritesPixels) {
  Open(32);
  const std::vector<uint8_t> png = BuildPng(16, 16, 3, TestPicture(16, 16, 3, 6));
  ASSERT_NE(nullptr, LoadSpriteFromMemory(8, png.data(), SpriteTexture, png.size()));
  LockedPixels before;
  ASSERT_TRUE(ReadPixels(LookupSprite(8)->surface, &before));
  PumpUntil([] { return GetForegroundWindow() == MultimediaWindow(); }, 1000);

  // Another window takes the focus.
  HWND other = CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, other);
  SetForegroundWindow(other);
  EXPECT_TRUE(PumpUntil([] { return !Screen.active; })) << "no deactivation reached the multimedia window";
  EXPECT_EQ(0, ScreenIsActive());
  EXPECT_TRUE(Screen.spritesBackedUp);
  ASSERT_NE(nullptr, LookupSprite(8)->backup);
  FlipScreen();   // shows nothing while inactive

  // And gives it back.
  SetForegroundWindow(MultimediaWindow());
  EXPECT_TRUE(PumpUntil([] { return Screen.active != FALSE; })) << "no activation reached the multimedia window";
  DestroyWindow(other);
  for (int i = 0; i < 3; ++i) FlipScreen();
  LockedPixels after;
  ASSERT_TRUE(ReadPixels(LookupSprite(8)->surface, &after));
  EXPECT_EQ(before.values, after.values);
  // The backup goes once a flip met the lost surface and restored it.
  printf("[ note     ] after the focus came back the flip %s\n",
         LookupSprite(8)->backup ? "found no lost surface (backup kept)" : "restored the sprites from their backup");
  // A sprite can still be drawn and shown.
  ClearOutput(0);
  BlitSprite(8, 100, 100);
  LockedPixels back;
  ASSERT_TRUE(ReadPixels(Screen.backBuffer, &back));
  EXPECT_EQ(before.At(5, 5), back.At(105, 105));
}

TEST_F(WineScreen, DrawingOutputHandsOutTheSpritesPixels) {
  Open(32);
  ASSERT_NE(nullptr, NewSprite(9, 4, 3, SpriteSystemMemory));
  DrawingOutput* output = SpriteDrawingOutput(9);
  ASSERT_NE(nullptr, output);
  ASSERT_NE(nullptr, output->deviceContext);
  EXPECT_EQ(nullptr, SpriteDrawingOutput(9));
  // GDI draws into the surface through the device context.
  RECT area = {1, 1, 3, 2};
  FillRect(output->deviceContext, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  int32_t pitch = 0;
  uint8_t* pixels = static_cast<uint8_t*>(output->directAccess(&pitch));
  ASSERT_NE(nullptr, pixels);
  EXPECT_GE(pitch, 16);
  uint32_t v;
  memcpy(&v, pixels + pitch + 4, 4);
  EXPECT_EQ(0xFFFFFFu, v & 0xFFFFFF);
  memcpy(&v, pixels, 4);
  EXPECT_EQ(0u, v);
  v = 0x123456;
  memcpy(pixels + 2 * pitch, &v, 4);
  ASSERT_NE(nullptr, output->reacquire());
  output->release();
  LockedPixels read;
  ASSERT_TRUE(ReadPixels(LookupSprite(9)->surface, &read));
  EXPECT_EQ(0x123456u, read.At(0, 2));
  EXPECT_NE(nullptr, SpriteDrawingOutput(9));
  SpriteEngine.output.release();
}

TEST_F(WineScreen, SecondOpenFreesTheSpritesAndEndScreenHidesTheWindow) {
  Open(32);
  const std::vector<uint8_t> png = BuildPng(4, 4, 3, TestPicture(4, 4, 3, 7));
  ASSERT_NE(nullptr, LoadSpriteFromMemory(10, png.data(), 0, png.size()));
  Open(16);
  EXPECT_EQ(nullptr, LookupSprite(10));
  EndScreen();
  EXPECT_EQ(0, Screen.screenWidth);
  EXPECT_EQ(nullptr, Screen.primary);
  EXPECT_FALSE(IsWindowVisible(MultimediaWindow()));
  FlipScreen();
  ClearOutput(0);
  BlitSprite(10, 0, 0);
}

TEST_F(WineScreen, DeactivationUnacquiresTheMouse) {
  Open(32);
  ASSERT_TRUE(HoldForeground(MultimediaWindow())) << "exclusive acquisition needs the foreground";
  ASSERT_EQ(1, OpenMouseDevice());
  IDirectInputDevice7A* mouse = MouseDevice();
  ASSERT_NE(nullptr, mouse);
  ReadMouse();   // cooperative level, buffer size and acquisition
  DIDEVICEOBJECTDATA records[4];
  DWORD count = 4;
  if (mouse->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), records, &count, 0) == DIERR_NOTACQUIRED) mouse->Acquire();
  count = 4;
  ASSERT_EQ(DI_OK, mouse->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), records, &count, 0));
  SendMessageA(MultimediaWindow(), WM_ACTIVATE, WA_INACTIVE, 0);
  count = 4;
  EXPECT_EQ(DIERR_NOTACQUIRED, mouse->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), records, &count, 0));
  SendMessageA(MultimediaWindow(), WM_ACTIVATE, WA_ACTIVE, 0);
  mouse->Unacquire();
  CloseMouseDevice();
}
