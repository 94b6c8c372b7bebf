// 2D drawing on DIB-backed outputs, read back pixel by pixel.
#include "image/win/drawing.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A 32-bit top-down DIB section in a memory DC, handed out like a provider would: kind 2 gives the
// DC back through the release routine; kind 7 can also give it up for direct pixel access.
struct FakeProvider {
  HBITMAP bitmap = nullptr;
  uint32_t* bits = nullptr;
  int width = 0, height = 0;
  HDC dc = nullptr;
  HGDIOBJ previous = nullptr;
  bool locked = false;
  bool failReacquire = false;
  bool keepOnRelease = false;  // the DC outlives the drawing, to look at it afterwards
  int releases = 0, reacquires = 0, directAccesses = 0;
};
FakeProvider provider;

HDC OpenProviderDC() {
  provider.dc = CreateCompatibleDC(nullptr);
  provider.previous = SelectObject(provider.dc, provider.bitmap);
  return provider.dc;
}

void CloseProviderDC() {
  if (!provider.dc) return;
  SelectObject(provider.dc, provider.previous);
  DeleteDC(provider.dc);
  provider.dc = nullptr;
}

void ProviderRelease() {
  provider.releases++;
  if (!provider.keepOnRelease) CloseProviderDC();
  provider.locked = false;
}

HDC ProviderReacquire() {
  provider.reacquires++;
  if (provider.failReacquire) return nullptr;
  provider.locked = false;
  return provider.dc ? provider.dc : OpenProviderDC();
}

void* ProviderDirectAccess(int32_t* pitch) {
  provider.directAccesses++;
  CloseProviderDC();
  provider.locked = true;
  *pitch = provider.width * 4;
  return provider.bits;
}

// A top-down 32-bit DIB section of width x height.
HBITMAP TopDownDib(int width, int height, void** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

class Drawing : public ::testing::Test {
 protected:
  void SetUp() override {
    provider = FakeProvider();
    DrawingLibraryInit();
  }
  void TearDown() override {
    EndDrawing();
    CloseProviderDC();
    if (provider.bitmap) DeleteObject(provider.bitmap);
  }

  // A target of the given size filled with one colour (0xRRGGBB).
  DrawingOutput Target(int width, int height, int32_t kind, uint32_t fill = 0) {
    void* bits = nullptr;
    provider.bitmap = TopDownDib(width, height, &bits);
    provider.bits = static_cast<uint32_t*>(bits);
    provider.width = width;
    provider.height = height;
    for (int i = 0; i < width * height; i++) provider.bits[i] = fill;
    DrawingOutput output = {};
    output.kind = kind;
    output.deviceContext = OpenProviderDC();
    output.release = ProviderRelease;
    output.width = width;
    output.height = height;
    output.depth = 32;
    output.reacquire = ProviderReacquire;
    output.directAccess = ProviderDirectAccess;
    return output;
  }

  uint32_t Pixel(int x, int y) {
    GdiFlush();
    return provider.bits[y * provider.width + x] & 0xFFFFFF;
  }
  // The pixels of a width x height area at (x, y), row by row.
  std::vector<uint32_t> Area(int x, int y, int width, int height) {
    std::vector<uint32_t> pixels;
    for (int row = y; row < y + height; row++)
      for (int column = x; column < x + width; column++) pixels.push_back(Pixel(column, row));
    return pixels;
  }
};

// Bitmaps to draw: a top-down 32-bit DIB section with the given pixels (0xRRGGBB).
HBITMAP MakeBitmap(int width, int height, const std::vector<uint32_t>& pixels) {
  void* bits = nullptr;
  HBITMAP bitmap = TopDownDib(width, height, &bits);
  memcpy(bits, pixels.data(), pixels.size() * 4);
  return bitmap;
}

const uint32_t White = 0xFFFFFF;
const uint32_t Red = 0xFF0000, Green = 0x00FF00, Blue = 0x0000FF, Grey = 0x808080;  // as a DIB stores them
using Pixels = std::vector<uint32_t>;

TEST_F(Drawing, VerticalLineLeavesItsEndPointOut) {
  DrawingOutput output = Target(1, 3, DrawingOutputSurface);
  ASSERT_EQ(provider.dc, BeginDrawing(&output));
  DrawLine(0, 0, 0, 2, 0xFFFFFF);
  EndDrawing();
  EXPECT_EQ(White, Pixel(0, 0));
  EXPECT_EQ(White, Pixel(0, 1));
  EXPECT_EQ(0u, Pixel(0, 2));
  EXPECT_EQ(1, provider.releases);
}

TEST_F(Drawing, StarSpriteLineFillsBothPixels) {
  DrawingOutput output = Target(1, 2, DrawingOutputSurface);
  ASSERT_TRUE(BeginDrawing(&output));
  DrawLine(0, 0, 0, 2, 0xFFFFFF);
  EndDrawing();
  EXPECT_EQ(White, Pixel(0, 0));
  EXPECT_EQ(White, Pixel(0, 1));
}

TEST_F(Drawing, LineColourIsAColourValueAndThePenGoesBack) {
  DrawingOutput output = Target(4, 2, DrawingOutputProviderDC, White);
  HDC dc = BeginDrawing(&output);
  ASSERT_TRUE(dc);
  HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN);
  DrawLine(0, 0, 3, 0, 0x0000FF);  // a colour value: red in the low byte
  EXPECT_EQ(pen, GetCurrentObject(dc, OBJ_PEN));
  DrawLine(0, 1, 4, 0, 0);         // the front colour: drawn with the default pen, black
  EndDrawing();
  EXPECT_EQ(Red, Pixel(0, 0));
  EXPECT_EQ(Red, Pixel(2, 0));
  EXPECT_EQ(White, Pixel(3, 0));
  for (int x = 0; x < 4; x++) EXPECT_EQ(0u, Pixel(x, 1));
}

TEST_F(Drawing, LineKeepsTheCurrentPosition) {
  DrawingOutput output = Target(8, 8, DrawingOutputProviderDC);
  HDC dc = BeginDrawing(&output);
  ASSERT_TRUE(dc);
  MoveToEx(dc, 5, 6, nullptr);
  DrawLine(0, 0, 3, 3, 0xFFFFFF);
  POINT p = {};
  GetCurrentPositionEx(dc, &p);
  EXPECT_EQ(5, p.x);
  EXPECT_EQ(6, p.y);
}

TEST_F(Drawing, BeginSetsTheContextUpAndEndPutsItBack) {
  DrawingOutput output = Target(2, 2, DrawingOutputProviderDC);
  provider.keepOnRelease = true;
  HDC dc = provider.dc;
  HGDIOBJ brush = GetCurrentObject(dc, OBJ_BRUSH);
  HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN);
  SetTextColor(dc, 0x123456);
  ASSERT_EQ(dc, BeginDrawing(&output));
  EXPECT_EQ(static_cast<UINT>(TA_UPDATECP), GetTextAlign(dc) & TA_UPDATECP);
  EXPECT_EQ(0u, GetTextColor(dc));
  LOGBRUSH logBrush = {};
  ASSERT_TRUE(GetObjectA(GetCurrentObject(dc, OBJ_BRUSH), sizeof logBrush, &logBrush));
  EXPECT_EQ(static_cast<UINT>(BS_SOLID), logBrush.lbStyle);
  EXPECT_EQ(0u, logBrush.lbColor);
  LOGPEN logPen = {};
  ASSERT_TRUE(GetObjectA(GetCurrentObject(dc, OBJ_PEN), sizeof logPen, &logPen));
  EXPECT_EQ(static_cast<UINT>(PS_SOLID), logPen.lopnStyle);
  EXPECT_EQ(0, logPen.lopnWidth.x);
  EXPECT_EQ(0u, logPen.lopnColor);
  EXPECT_EQ(dc, CurrentDrawingContext());

  EndDrawing();
  EXPECT_EQ(brush, GetCurrentObject(dc, OBJ_BRUSH));
  EXPECT_EQ(pen, GetCurrentObject(dc, OBJ_PEN));
  EXPECT_EQ(1, provider.releases);
  EXPECT_EQ(nullptr, CurrentDrawingContext());
  EndDrawing();  // closed: nothing more
  EXPECT_EQ(1, provider.releases);
}

TEST_F(Drawing, SecondBeginClosesTheFirst) {
  DrawingOutput first = Target(2, 2, DrawingOutputProviderDC);
  ASSERT_TRUE(BeginDrawing(&first));
  // An output of another kind whose memory DC the drawing deletes at the end.
  DrawingOutput second = {};
  second.kind = 3;
  second.deviceContext = CreateCompatibleDC(nullptr);
  ASSERT_EQ(second.deviceContext, BeginDrawing(&second));
  EXPECT_EQ(1, provider.releases);
  EXPECT_EQ(nullptr, provider.dc);
  EXPECT_NE(0u, GetObjectType(second.deviceContext));
  EXPECT_EQ(nullptr, BeginDrawing(nullptr));  // closes the second too
  EXPECT_EQ(0u, GetObjectType(second.deviceContext));
}

TEST_F(Drawing, WithoutAContextNothingHappens) {
  DrawingOutput output = Target(2, 2, DrawingOutputSurface);
  DrawingOutput none = output;
  none.deviceContext = nullptr;
  EXPECT_EQ(nullptr, BeginDrawing(&none));
  DrawLine(0, 0, 2, 0, 0xFFFFFF);
  SetDrawingFlags(DrawInverted);
  HBITMAP bitmap = MakeBitmap(1, 1, {White});
  EXPECT_EQ(0, DrawImageAt(bitmap, 0, 0));
  int32_t pitch = 1;
  EXPECT_EQ(nullptr, DrawingPixels(&pitch));
  EndDrawing();
  EXPECT_EQ(0, provider.releases);
  EXPECT_EQ(0u, Pixel(0, 0));
  EXPECT_EQ(0u, Pixel(1, 0));
  EXPECT_EQ(0, GetROP2(provider.dc) == R2_NOT);
  DeleteObject(bitmap);
}

TEST_F(Drawing, WindowOutputTakesAndGivesBackTheWindowDC) {
  HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 40, 30, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ASSERT_TRUE(window);
  DrawingOutput output = {};
  output.kind = DrawingOutputWindow;
  output.window = window;
  HDC dc = BeginDrawing(&output);
  ASSERT_TRUE(dc);
  EXPECT_EQ(window, WindowFromDC(dc));
  DrawLine(0, 5, 20, 0, 0x00FF00);
  EXPECT_EQ(0x00FF00u, GetPixel(dc, 10, 5));
  EndDrawing();
  EXPECT_EQ(nullptr, CurrentDrawingContext());
  DestroyWindow(window);
}

TEST_F(Drawing, FlagsSetTheRasterOperationBrushAndBackground) {
  DrawingOutput output = Target(6, 6, DrawingOutputProviderDC, White);
  HDC dc = BeginDrawing(&output);
  ASSERT_TRUE(dc);
  HGDIOBJ defaultBrush = GetCurrentObject(dc, OBJ_BRUSH);

  SetDrawingFlags(DrawOutlinesOnly | DrawTransparentText);
  EXPECT_EQ(GetStockObject(NULL_BRUSH), GetCurrentObject(dc, OBJ_BRUSH));
  EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
  EXPECT_EQ(R2_COPYPEN, GetROP2(dc));
  Rectangle(dc, 0, 0, 5, 5);
  EXPECT_EQ(0u, Pixel(0, 0));
  EXPECT_EQ(White, Pixel(2, 2));  // outline only

  SetDrawingFlags(0);
  HGDIOBJ fill = GetCurrentObject(dc, OBJ_BRUSH);
  EXPECT_NE(defaultBrush, fill);  // the fill brush, solid black too
  EXPECT_EQ(OPAQUE, GetBkMode(dc));
  Rectangle(dc, 0, 0, 5, 5);
  EXPECT_EQ(0u, Pixel(2, 2));

  SetDrawingFlags(DrawInverted);
  EXPECT_EQ(R2_NOT, GetROP2(dc));
  DrawLine(0, 5, 6, 0, 0x0000FF);  // inverts whatever the colour
  EXPECT_EQ(0u, Pixel(5, 5));
  DrawLine(0, 2, 6, 0, 0x0000FF);
  EXPECT_EQ(White, Pixel(2, 2));
  EXPECT_EQ(0u, Pixel(5, 2));
}

TEST_F(Drawing, ImageAtItsOwnSize) {
  DrawingOutput output = Target(4, 4, DrawingOutputProviderDC, White);
  HBITMAP bitmap = MakeBitmap(2, 2, {Red, Green, Blue, Grey});
  ASSERT_TRUE(BeginDrawing(&output));
  EXPECT_NE(0, DrawImageAt(bitmap, 1, 1));
  EXPECT_EQ((Pixels{White, White, White, White, White, Red, Green, White, White, Blue, Grey, White, White, White,
                    White, White}),
            Area(0, 0, 4, 4));
  // Only one of width and height given: the bitmap's own size.
  EXPECT_NE(0, DrawImageScaled(bitmap, -1, 2, 3, 0));
  EXPECT_EQ((Pixels{Green, Blue, Grey, White, Grey, White, White, White}), Area(0, 2, 4, 2));
  EndDrawing();
  DeleteObject(bitmap);
}

TEST_F(Drawing, ImageScaledFillsTheTargetRectangle) {
  DrawingOutput output = Target(6, 6, DrawingOutputProviderDC, White);
  HBITMAP bitmap = MakeBitmap(2, 2, {Green, Green, Green, Green});
  ASSERT_TRUE(BeginDrawing(&output));
  EXPECT_NE(0, DrawImageScaled(bitmap, 1, 1, 4, 4));
  EndDrawing();
  for (int y = 0; y < 6; y++)
    for (int x = 0; x < 6; x++) {
      const bool inside = x >= 1 && x < 5 && y >= 1 && y < 5;
      EXPECT_EQ(inside ? Green : White, Pixel(x, y)) << x << "," << y;
    }
  DeleteObject(bitmap);
}

TEST_F(Drawing, InvertedFlagDrawsImagesWithNotSourceErase) {
  DrawingOutput output = Target(2, 1, DrawingOutputProviderDC, 0x000000);
  provider.bits[1] = 0x0000FF;
  HBITMAP bitmap = MakeBitmap(2, 1, {0x00FF00, 0x00FF00});
  ASSERT_TRUE(BeginDrawing(&output));
  SetDrawingFlags(DrawInverted);
  DrawImageAt(bitmap, 0, 0);
  EndDrawing();
  EXPECT_EQ(0xFF00FFu, Pixel(0, 0));  // NOT (source OR target)
  EXPECT_EQ(0xFF0000u, Pixel(1, 0));
  DeleteObject(bitmap);
}

TEST_F(Drawing, DibOutputsDrawThroughADibCopy) {
  DrawingOutput output = Target(4, 4, DrawingOutputDib, White);
  HBITMAP bitmap = MakeBitmap(2, 2, {Red, Green, Blue, Grey});
  ASSERT_TRUE(BeginDrawing(&output));
  EXPECT_NE(0, DrawImageAt(bitmap, 0, 0));
  EXPECT_EQ((Pixels{Red, Green, Blue, Grey}), Area(0, 0, 2, 2));
  // Stretched without smoothing: each pixel becomes a 2 x 2 block.
  EXPECT_NE(0, DrawImageScaled(bitmap, 0, 0, 4, 4));
  EndDrawing();
  EXPECT_EQ((Pixels{Red, Red, Green, Green, Red, Red, Green, Green, Blue, Blue, Grey, Grey, Blue, Blue, Grey, Grey}),
            Area(0, 0, 4, 4));
  EXPECT_EQ(1, provider.releases);
  DeleteObject(bitmap);
}

TEST_F(Drawing, IconsAreDrawnWithTheirMask) {
  // 2 x 1 icon: the left pixel opaque red, the right one transparent.
  HBITMAP colour = MakeBitmap(2, 1, {Red, 0});
  const uint16_t maskRow = 0x40;  // the second pixel's mask bit: left alone
  HBITMAP mask = CreateBitmap(2, 1, 1, 1, &maskRow);
  ICONINFO info = {TRUE, 0, 0, mask, colour};
  HICON icon = CreateIconIndirect(&info);
  ASSERT_TRUE(icon);
  DrawingOutput output = Target(3, 1, DrawingOutputProviderDC, White);
  ASSERT_TRUE(BeginDrawing(&output));
  EXPECT_NE(0, DrawImageAt(icon, 0, 0));
  EndDrawing();
  EXPECT_EQ(Red, Pixel(0, 0));
  EXPECT_EQ(White, Pixel(1, 0));
  EXPECT_EQ(White, Pixel(2, 0));
  DestroyIcon(icon);
  DeleteObject(colour);
  DeleteObject(mask);
}

TEST_F(Drawing, GivenUpContextIsFetchedAgainWithItsSettings) {
  DrawingOutput output = Target(4, 2, DrawingOutputSurface);
  ASSERT_TRUE(BeginDrawing(&output));
  SetDrawingFlags(DrawInverted | DrawTransparentText);

  int32_t pitch = 0;
  uint32_t* pixels = static_cast<uint32_t*>(DrawingPixels(&pitch));
  ASSERT_EQ(provider.bits, pixels);
  EXPECT_EQ(16, pitch);
  EXPECT_EQ(nullptr, provider.dc);  // given up
  EXPECT_TRUE(provider.locked);
  EXPECT_EQ(pixels, DrawingPixels(&pitch));  // still given up: the same pixels, no second lock
  EXPECT_EQ(1, provider.directAccesses);
  pixels[1] = 0xFFFFFF;

  DrawLine(0, 0, 4, 0, 0x00FF00);
  EXPECT_EQ(1, provider.reacquires);
  HDC dc = provider.dc;
  ASSERT_TRUE(dc);
  EXPECT_EQ(dc, CurrentDrawingContext());
  EXPECT_EQ(R2_NOT, GetROP2(dc));
  EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
  EXPECT_EQ(GetStockObject(NULL_BRUSH) == GetCurrentObject(dc, OBJ_BRUSH), false);
  EXPECT_EQ(0u, GetTextColor(dc));
  EXPECT_EQ(0xFFFFFFu, GetBkColor(dc));
  EXPECT_EQ(static_cast<UINT>(TA_UPDATECP), GetTextAlign(dc) & TA_UPDATECP);
  EXPECT_EQ(White, Pixel(0, 0));  // inverted from black
  EXPECT_EQ(0u, Pixel(1, 0));     // inverted from the white written directly
  DrawLine(0, 1, 1, 0, 0xFFFFFF);
  EXPECT_EQ(1, provider.reacquires);  // valid again: no second fetch
  EndDrawing();
  EXPECT_EQ(1, provider.releases);
}

TEST_F(Drawing, GivenUpContextWithoutFlagsGetsTheFillBrush) {
  DrawingOutput output = Target(5, 5, DrawingOutputSurface, White);
  ASSERT_TRUE(BeginDrawing(&output));
  int32_t pitch = 0;
  ASSERT_TRUE(DrawingPixels(&pitch));
  DrawLine(0, 0, 0, 0, 0);  // only fetches the context again
  HDC dc = provider.dc;
  ASSERT_TRUE(dc);
  LOGBRUSH brush = {};
  ASSERT_TRUE(GetObjectA(GetCurrentObject(dc, OBJ_BRUSH), sizeof brush, &brush));
  EXPECT_EQ(static_cast<UINT>(BS_SOLID), brush.lbStyle);
  EXPECT_EQ(OPAQUE, GetBkMode(dc));
  EXPECT_EQ(R2_COPYPEN, GetROP2(dc));
  Rectangle(dc, 0, 0, 4, 4);
  EXPECT_EQ(0u, Pixel(2, 2));
}

TEST_F(Drawing, EndWhileGivenUpLeavesTheDeadContextAlone) {
  DrawingOutput output = Target(2, 2, DrawingOutputSurface);
  ASSERT_TRUE(BeginDrawing(&output));
  int32_t pitch = 0;
  ASSERT_TRUE(DrawingPixels(&pitch));
  EndDrawing();
  EXPECT_EQ(1, provider.releases);
  EXPECT_FALSE(provider.locked);
  EXPECT_EQ(0, provider.reacquires);
  EXPECT_EQ(nullptr, CurrentDrawingContext());
}

TEST_F(Drawing, FailedReacquireClosesTheDrawing) {
  DrawingOutput output = Target(2, 2, DrawingOutputSurface);
  ASSERT_TRUE(BeginDrawing(&output));
  int32_t pitch = 0;
  ASSERT_TRUE(DrawingPixels(&pitch));
  provider.failReacquire = true;
  DrawLine(0, 0, 2, 0, 0xFFFFFF);
  EXPECT_EQ(1, provider.reacquires);
  EXPECT_EQ(1, provider.releases);
  EXPECT_EQ(nullptr, CurrentDrawingContext());
  EXPECT_EQ(0u, Pixel(0, 0));
  DrawLine(0, 0, 2, 0, 0xFFFFFF);
  EndDrawing();
  EXPECT_EQ(1, provider.reacquires);
  EXPECT_EQ(1, provider.releases);
}

TEST_F(Drawing, DirectPixelsOnlyForSurfaces) {
  DrawingOutput output = Target(2, 2, DrawingOutputProviderDC);
  ASSERT_TRUE(BeginDrawing(&output));
  int32_t pitch = 7;
  EXPECT_EQ(nullptr, DrawingPixels(&pitch));
  EXPECT_EQ(0, provider.directAccesses);
  EXPECT_TRUE(provider.dc);
}

TEST(DibCopy, HoldsBottomUpTwentyFourBitRows) {
  HBITMAP bitmap = MakeBitmap(3, 2, {Red, Green, Blue, 0x010203, 0x040506, 0x070809});
  HGLOBAL block = MakeDibCopy(bitmap, nullptr);
  ASSERT_TRUE(block);
  ASSERT_EQ(40u + 12u * 2u, GlobalSize(block));
  const BITMAPINFOHEADER* header = static_cast<const BITMAPINFOHEADER*>(GlobalLock(block));
  EXPECT_EQ(40u, header->biSize);
  EXPECT_EQ(3, header->biWidth);
  EXPECT_EQ(2, header->biHeight);
  EXPECT_EQ(1, header->biPlanes);
  EXPECT_EQ(24, header->biBitCount);
  EXPECT_EQ(static_cast<DWORD>(BI_RGB), header->biCompression);
  const uint8_t* rows = reinterpret_cast<const uint8_t*>(header + 1);
  // The first stored row is the bottom one.
  const uint8_t bottom[12] = {0x03, 0x02, 0x01, 0x06, 0x05, 0x04, 0x09, 0x08, 0x07, 0, 0, 0};
  const uint8_t top[12] = {0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0};
  EXPECT_EQ(0, memcmp(rows, bottom, 12));
  EXPECT_EQ(0, memcmp(rows + 12, top, 12));
  GlobalUnlock(block);
  GlobalFree(block);

  // With a palette selected for the copy the pixels of a true-colour bitmap are unchanged.
  struct {
    WORD version, entries;
    PALETTEENTRY colours[2];
  } palette = {0x300, 2, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
  HPALETTE hpal = CreatePalette(reinterpret_cast<LOGPALETTE*>(&palette));
  block = MakeDibCopy(bitmap, hpal);
  ASSERT_TRUE(block);
  EXPECT_EQ(0, memcmp(static_cast<uint8_t*>(block) + 40, bottom, 12));
  GlobalFree(block);
  DeleteObject(hpal);
  DeleteObject(bitmap);
}

TEST(DibCopy, RefusesWhatIsNoBitmap) {
  EXPECT_EQ(nullptr, MakeDibCopy(nullptr, nullptr));
  HBRUSH brush = CreateSolidBrush(0);
  EXPECT_EQ(nullptr, MakeDibCopy(reinterpret_cast<HBITMAP>(brush), nullptr));
  DeleteObject(brush);
}

}  // namespace
