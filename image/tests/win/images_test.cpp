// Images from BMP, ICO and PNG data, scaled, looked up and released, read back pixel by pixel.
#include "image/win/images.h"

#include <gtest/gtest.h>
#include <png.h>

#include <vector>

#include "image/decoders.h"
#include "image/win/drawing.h"
#include "image/tests/image_data.h"

using namespace testdata;

namespace {

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// A PNG of 8-bit RGB or RGBA samples; pixel(x, y) gives 0xAARRGGBB.
template <class Pixel>
std::vector<uint8_t> PngFile(int width, int height, bool alpha, Pixel pixel) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendBytes, nullptr);
  png_set_IHDR(png, info, width, height, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const int channels = alpha ? 4 : 3;
  std::vector<uint8_t> row(width * channels);
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      const uint32_t p = pixel(x, y);
      row[x * channels] = (p >> 16) & 0xFF;
      row[x * channels + 1] = (p >> 8) & 0xFF;
      row[x * channels + 2] = p & 0xFF;
      if (alpha) row[x * channels + 3] = p >> 24;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// The bitmap's pixels as 0xAARRGGBB, top row first, whatever kind of bitmap it is.
std::vector<uint32_t> ReadPixels(HBITMAP bitmap, int* width = nullptr, int* height = nullptr) {
  BITMAP bm = {};
  if (GetObjectA(bitmap, sizeof bm, &bm) != sizeof bm) return {};
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = bm.bmWidth;
  info.bmiHeader.biHeight = -bm.bmHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  std::vector<uint32_t> pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
  HDC screen = GetDC(nullptr);
  const int lines = GetDIBits(screen, bitmap, 0, bm.bmHeight, pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (lines != bm.bmHeight) return {};
  if (width) *width = bm.bmWidth;
  if (height) *height = bm.bmHeight;
  return pixels;
}

bool IsDibSection(HANDLE handle, DIBSECTION* section) {
  return GetObjectA(handle, sizeof *section, section) == sizeof *section;
}

// A bitmap is a GDI object; an icon is not, but has its icon information while it lives.
bool Exists(HANDLE handle) {
  if (GetObjectType(handle) != 0) return true;
  ICONINFO info = {};
  if (!GetIconInfo(static_cast<HICON>(handle), &info)) return false;
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return true;
}

const ImageRecord* Record(ObjectNumber number) {
  return static_cast<const ImageRecord*>(LookupObject(ImageTable(), number));
}

class Images : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
    InitListedObjectHeap();
    ImageLibraryInit();
    ResetImageDecoders();
    RegisterPngDecoder();
  }
  void TearDown() override { ReleaseAllImages(); }
};

uint32_t Rgb(uint32_t value) { return value & 0xFFFFFF; }

TEST_F(Images, BmpOfEveryDepthBecomesA32BitSection) {
  const std::vector<uint32_t> colours = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF,
                                         0xFF00FF, 0x808080, 0x123456, 0x654321, 0xABCDEF, 0xFEDCBA,
                                         0x111111, 0x222222, 0x333333, 0x444444};
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    std::vector<uint32_t> palette;
    if (bits <= 8) palette.assign(colours.begin(), colours.begin() + (bits == 1 ? 2 : 16));
    auto index = [&](int x, int y) { return (x + 2 * y) % (bits == 1 ? 2 : 16); };
    // 16 bits: 5-5-5 values whose components are exact in 8 bits.
    auto value = [&](int x, int y) -> uint32_t {
      const uint32_t c = colours[index(x, y)];
      if (bits <= 8) return index(x, y);
      if (bits == 16) return ((c >> 19) & 0x1F) << 10 | ((c >> 11) & 0x1F) << 5 | ((c >> 3) & 0x1F);
      return c;
    };
    auto expected = [&](int x, int y) -> uint32_t {
      const uint32_t c = colours[index(x, y)];
      // 5-bit components widen by repeating their top bits.
      return bits == 16 ? (c & 0xF8F8F8) | (c & 0xE0E0E0) >> 5 : c;
    };
    auto file = BmpFile(5, 3, bits, palette, value);
    const intptr_t handle = ImageFromMemory(bits, file.data(), file.size());
    ASSERT_NE(0, handle);
    EXPECT_EQ(reinterpret_cast<HANDLE>(handle), ImageHandleOf(bits));
    DIBSECTION section = {};
    ASSERT_TRUE(IsDibSection(ImageHandleOf(bits), &section));
    EXPECT_EQ(32, section.dsBmih.biBitCount);
    EXPECT_EQ(5, section.dsBmih.biWidth);
    EXPECT_EQ(3, section.dsBmih.biHeight);
    const ImageRecord* record = Record(bits);
    ASSERT_TRUE(record);
    EXPECT_EQ(5, record->width);
    EXPECT_EQ(3, record->height);
    EXPECT_EQ(32, record->depth);
    EXPECT_EQ(0, record->flags);
    auto pixels = ReadPixels(static_cast<HBITMAP>(ImageHandleOf(bits)));
    ASSERT_EQ(15u, pixels.size());
    for (int y = 0; y < 3; y++)
      for (int x = 0; x < 5; x++) EXPECT_EQ(expected(x, y), Rgb(pixels[y * 5 + x])) << x << "," << y;
  }
}

TEST_F(Images, TopDownBmpKeepsItsOrientation) {
  auto file = BmpFile(2, 2, 24, {}, [](int x, int y) { return y == 0 ? 0xFF0000u : 0x0000FFu; });
  // Turn the file top-down: negative height and the rows swapped.
  Put32(file, 22, static_cast<uint32_t>(-2));
  std::vector<uint8_t> rows(file.begin() + 54, file.end());
  std::copy(rows.begin() + 8, rows.end(), file.begin() + 54);
  std::copy(rows.begin(), rows.begin() + 8, file.begin() + 62);
  ASSERT_NE(0, ImageFromMemory(0, file.data(), file.size()));
  EXPECT_EQ(2, Record(0)->height);
  auto pixels = ReadPixels(static_cast<HBITMAP>(ImageHandleOf(0)));
  ASSERT_EQ(4u, pixels.size());
  EXPECT_EQ(0xFF0000u, Rgb(pixels[0]));
  EXPECT_EQ(0x0000FFu, Rgb(pixels[2]));
}

TEST_F(Images, BrokenBmpFailsAndFreesTheNumber) {
  auto file = BmpFile(4, 4, 8, std::vector<uint32_t>(256, 0x808080), [](int, int) { return 1; });
  for (size_t size = 1; size < file.size(); size += (size < 60 ? 1 : 97)) {
    ASSERT_NE(0, ImageFromMemory(2, file.data(), file.size()));
    HANDLE old = ImageHandleOf(2);
    EXPECT_EQ(0, ImageFromMemory(2, file.data(), size)) << size;
    EXPECT_EQ(nullptr, ImageHandleOf(2));
    EXPECT_FALSE(Exists(old));  // the number's old image went first
  }
  auto broken = [&](auto change) {
    auto copy = file;
    change(copy);
    return ImageFromMemory(1, copy.data(), copy.size());
  };
  EXPECT_EQ(0, broken([](auto& f) { Put32(f, 10, 0xFFFFFFF0u); }));  // rows past the end
  EXPECT_EQ(0, broken([](auto& f) { Put32(f, 18, 0x40000001u); }));  // width whose rows overflow
  EXPECT_EQ(0, broken([](auto& f) { Put32(f, 22, 0x7FFFFFFFu); }));
  EXPECT_EQ(0, broken([](auto& f) { Put32(f, 14, 0xFFFFFFFFu); }));  // header size
  EXPECT_EQ(0, broken([](auto& f) { Put16(f, 28, 0); }));
  EXPECT_EQ(nullptr, ImageHandleOf(1));
}

TEST_F(Images, BmpWiderThanAnImageCanHoldIsRefused) {
  std::vector<uint8_t> file = BmpFile(40000, 1, 1, {0, 0xFFFFFF}, [](int, int) { return 0; });
  EXPECT_EQ(0, ImageFromMemory(0, file.data(), file.size()));
}

TEST_F(Images, IcoWithSeveralImagesUsesTheFirst) {
  auto ico = IcoFile({IconImage(16, 0xFF0000), IconImage(32, 0x00FF00)}, {16, 32});
  const intptr_t handle = ImageFromMemory(4, ico.data(), ico.size());
  ASSERT_NE(0, handle);
  EXPECT_NE(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(reinterpret_cast<HANDLE>(handle)));
  const ImageRecord* record = Record(4);
  EXPECT_EQ(16, record->width);
  EXPECT_EQ(16, record->height);
  EXPECT_EQ(32, record->depth);
  ICONINFO info = {};
  ASSERT_TRUE(GetIconInfo(static_cast<HICON>(ImageHandleOf(4)), &info));
  int width = 0;
  auto pixels = ReadPixels(info.hbmColor, &width);
  EXPECT_EQ(16, width);
  ASSERT_FALSE(pixels.empty());
  EXPECT_EQ(0xFF0000u, Rgb(pixels[0]));
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);

  // And it draws as itself.
  BITMAPINFO bi = {};
  bi.bmiHeader = {sizeof bi.bmiHeader, 20, -20, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP target = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  DrawingOutput output = {};
  output.kind = 3;
  output.deviceContext = CreateCompatibleDC(nullptr);
  SelectObject(output.deviceContext, target);
  DrawingLibraryInit();
  ASSERT_TRUE(BeginDrawing(&output));
  EXPECT_NE(0, DrawImageAt(ImageHandleOf(4), 2, 2));
  EndDrawing();
  const uint32_t* p = static_cast<uint32_t*>(bits);
  EXPECT_EQ(0xFF0000u, Rgb(p[2 * 20 + 2]));
  EXPECT_EQ(0xFF0000u, Rgb(p[17 * 20 + 17]));
  EXPECT_EQ(0u, Rgb(p[18 * 20 + 18]));
  DeleteObject(target);
}

TEST_F(Images, BrokenIcoFails) {
  auto ico = IcoFile({IconImage(16, 0xFF0000)}, {16});
  for (size_t size = 1; size < ico.size(); size += (size < 80 ? 1 : 61))
    EXPECT_EQ(0, ImageFromMemory(5, ico.data(), size)) << size;
  auto copy = ico;
  Put32(copy, 18, 0xFFFFFFF0u);  // image offset past the end
  EXPECT_EQ(0, ImageFromMemory(5, copy.data(), copy.size()));
  copy = ico;
  Put16(copy, 4, 0);  // no entry
  EXPECT_EQ(0, ImageFromMemory(5, copy.data(), copy.size()));
  EXPECT_EQ(nullptr, ImageHandleOf(5));
  EXPECT_EQ(nullptr, IconFromIcoData(nullptr, 100));
}

TEST_F(Images, PngWithAlphaBecomesATopDown32BitSection) {
  auto png = PngFile(3, 2, true, [](int x, int y) { return (0x40u + x) << 24 | (y ? 0x0000FFu : 0xFF0000u); });
  ASSERT_NE(0, ImageFromMemory(6, png.data(), png.size()));
  DIBSECTION section = {};
  ASSERT_TRUE(IsDibSection(ImageHandleOf(6), &section));
  EXPECT_EQ(32, section.dsBmih.biBitCount);
  EXPECT_EQ(3, section.dsBmih.biWidth);
  EXPECT_EQ(2, abs(section.dsBmih.biHeight));
  EXPECT_EQ(32, Record(6)->depth);
  // Top-down: the picture's first row comes first in memory.
  const uint32_t* rows = static_cast<const uint32_t*>(section.dsBm.bmBits);
  EXPECT_EQ(0x40FF0000u, rows[0]);
  EXPECT_EQ(0x42FF0000u, rows[2]);
  EXPECT_EQ(0x400000FFu, rows[3]);
}

TEST_F(Images, PngWithoutAlphaBecomesA24BitSectionWithPaddedRows) {
  auto png = PngFile(5, 2, false, [](int x, int y) { return x == 4 ? 0x123456u : (y ? 0x00FF00u : 0xFF0000u); });
  ASSERT_NE(0, ImageFromMemory(7, png.data(), png.size()));
  DIBSECTION section = {};
  ASSERT_TRUE(IsDibSection(ImageHandleOf(7), &section));
  EXPECT_EQ(24, section.dsBmih.biBitCount);
  EXPECT_EQ(2, abs(section.dsBmih.biHeight));
  EXPECT_EQ(16, section.dsBm.bmWidthBytes);
  EXPECT_EQ(24, Record(7)->depth);
  const uint8_t* rows = static_cast<const uint8_t*>(section.dsBm.bmBits);
  const uint8_t first[15] = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0x56, 0x34, 0x12};
  const uint8_t second[3] = {0, 0xFF, 0};
  EXPECT_EQ(0, memcmp(rows, first, 15));
  EXPECT_EQ(0, memcmp(rows + 16, second, 3));
}

TEST_F(Images, CompatibleBitmapFromDecodedData) {
  auto png = PngFile(4, 3, false, [](int x, int y) { return x == y ? 0xFFFFFFu : 0x0000FFu; });
  const int found = FindImageDecoder(static_cast<intptr_t>(png.size()), png.data());
  ASSERT_EQ(1, found);
  HBITMAP bitmap = DecodeToBitmap(found, ImageCompatibleBitmap);
  ASSERT_TRUE(bitmap);
  DIBSECTION section = {};
  EXPECT_FALSE(IsDibSection(bitmap, &section));
  int width = 0, height = 0;
  auto pixels = ReadPixels(bitmap, &width, &height);
  EXPECT_EQ(4, width);
  EXPECT_EQ(3, height);
  ASSERT_EQ(12u, pixels.size());
  EXPECT_EQ(0xFFFFFFu, Rgb(pixels[0]));
  EXPECT_EQ(0x0000FFu, Rgb(pixels[1]));
  EXPECT_EQ(0xFFFFFFu, Rgb(pixels[2 * 4 + 2]));
  DeleteObject(bitmap);
}

TEST_F(Images, BrokenPngFailsCleanly) {
  auto png = PngFile(8, 8, true, [](int x, int y) { return 0xFF000000u | (x * 30) << 8 | y * 30; });
  ASSERT_GT(png.size(), 33u);
  // Cut inside the signature or the header: nothing; cut inside the pixel data: the rows that
  // could not be read stay black.
  for (size_t size = 1; size < png.size(); size++) {
    const intptr_t made = ImageFromMemory(8, png.data(), size);
    if (size < 33) {
      EXPECT_EQ(0, made) << size;
    }
    ReleaseImage(8);
  }
  auto copy = png;
  Put32(copy, 16, 0x7FFFFFFFu);  // width in the header; its CRC no longer matches either
  EXPECT_EQ(0, ImageFromMemory(8, copy.data(), copy.size()));
  const char garbage[] = "neither a bitmap nor an icon nor a picture";
  EXPECT_EQ(0, ImageFromMemory(8, garbage, sizeof garbage));
  EXPECT_EQ(0, ImageFromMemory(8, nullptr, 100));
  EXPECT_EQ(nullptr, ImageHandleOf(8));
  // The decoder is idle again: a good picture still loads.
  EXPECT_NE(0, ImageFromMemory(8, png.data(), png.size()));
}

TEST_F(Images, CreateImageBitmapChoices) {
  HBITMAP grey = CreateImageBitmap(3, 2, 0, 8);
  ASSERT_TRUE(grey);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, grey);
  RGBQUAD table[256] = {};
  EXPECT_EQ(256u, GetDIBColorTable(dc, 0, 256, table));
  EXPECT_EQ(0, table[0].rgbRed);
  EXPECT_EQ(255, table[255].rgbGreen);
  EXPECT_EQ(128, table[128].rgbBlue);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(grey);

  HBITMAP compatible = CreateImageBitmap(3, 2, ImageCompatibleBitmap, 8);
  ASSERT_TRUE(compatible);
  DIBSECTION section = {};
  EXPECT_FALSE(IsDibSection(compatible, &section));
  DeleteObject(compatible);

  EXPECT_EQ(nullptr, CreateImageBitmap(3, 2, 0, 7));
  EXPECT_EQ(nullptr, CreateImageBitmap(0, 2, 0, 32));
  EXPECT_EQ(nullptr, CreateImageBitmap(3, -2, ImageCompatibleBitmap, 32));
}

TEST_F(Images, ScaleToTheSameSizeChangesNothing) {
  auto png = PngFile(400, 320, false, [](int, int) { return 0x336699u; });
  const intptr_t handle = ImageFromMemory(0, png.data(), png.size());
  ASSERT_NE(0, handle);
  EXPECT_EQ(reinterpret_cast<HANDLE>(handle), ScaleImage(0, 400, 320));
  EXPECT_EQ(reinterpret_cast<HANDLE>(handle), ImageHandleOf(0));
  EXPECT_TRUE(Exists(reinterpret_cast<HANDLE>(handle)));
}

TEST_F(Images, ScaleKeepsTheDepth) {
  auto png = PngFile(400, 320, false, [](int, int) { return 0x336699u; });
  auto bmp = BmpFile(400, 320, 24, {}, [](int, int) { return 0x336699u; });
  for (int source = 0; source < 2; source++) {
    SCOPED_TRACE(source);
    const auto& data = source ? bmp : png;
    ASSERT_NE(0, ImageFromMemory(0, data.data(), data.size()));
    HANDLE old = ImageHandleOf(0);
    const int depth = Record(0)->depth;
    EXPECT_EQ(source ? 32 : 24, depth);
    HANDLE scaled = ScaleImage(0, 200, 150);
    ASSERT_TRUE(scaled);
    EXPECT_NE(old, scaled);
    EXPECT_FALSE(Exists(old));
    EXPECT_EQ(scaled, ImageHandleOf(0));
    EXPECT_EQ(200, Record(0)->width);
    EXPECT_EQ(150, Record(0)->height);
    EXPECT_EQ(depth, Record(0)->depth);
    BITMAP bm = {};
    ASSERT_EQ(static_cast<int>(sizeof bm), GetObjectA(scaled, sizeof bm, &bm));
    EXPECT_EQ(200, bm.bmWidth);
    EXPECT_EQ(150, bm.bmHeight);
    EXPECT_EQ(depth, bm.bmBitsPixel);
    auto pixels = ReadPixels(static_cast<HBITMAP>(scaled));
    ASSERT_EQ(200u * 150u, pixels.size());
    EXPECT_EQ(0x336699u, Rgb(pixels[0]));
    EXPECT_EQ(0x336699u, Rgb(pixels[75 * 200 + 100]));
    EXPECT_EQ(0x336699u, Rgb(pixels.back()));
  }
}

TEST_F(Images, FastScaleRepeatsPixels) {
  auto bmp = BmpFile(2, 2, 24, {}, [](int x, int y) { return (x ^ y) ? 0xFFFFFFu : 0x000080u; });
  ASSERT_NE(0, ImageFromMemory(1, bmp.data(), bmp.size()));
  ASSERT_TRUE(ScaleImageWithMode(1, 4, 4, 1));
  auto pixels = ReadPixels(static_cast<HBITMAP>(ImageHandleOf(1)));
  ASSERT_EQ(16u, pixels.size());
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++)
      EXPECT_EQ(((x / 2) ^ (y / 2)) ? 0xFFFFFFu : 0x000080u, Rgb(pixels[y * 4 + x])) << x << "," << y;
}

TEST_F(Images, ScaleAnIconMakesAnIconOfTheNewSize) {
  auto ico = IcoFile({IconImage(16, 0x00FF00)}, {16});
  ASSERT_NE(0, ImageFromMemory(3, ico.data(), ico.size()));
  HANDLE old = ImageHandleOf(3);
  HANDLE scaled = ScaleImage(3, 32, 24);
  ASSERT_TRUE(scaled);
  EXPECT_NE(old, scaled);
  EXPECT_FALSE(Exists(old));
  ICONINFO info = {};
  ASSERT_TRUE(GetIconInfo(static_cast<HICON>(scaled), &info));
  BITMAP bm = {};
  GetObjectA(info.hbmColor, sizeof bm, &bm);
  EXPECT_EQ(32, bm.bmWidth);
  EXPECT_EQ(24, bm.bmHeight);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  EXPECT_EQ(32, Record(3)->width);
  EXPECT_EQ(24, Record(3)->height);
}

TEST_F(Images, ScaleRefusals) {
  EXPECT_EQ(nullptr, ScaleImage(9, 10, 10));  // no image there
  auto bmp = BmpFile(2, 2, 24, {}, [](int, int) { return 0xFFFFFFu; });
  ASSERT_NE(0, ImageFromMemory(9, bmp.data(), bmp.size()));
  HANDLE handle = ImageHandleOf(9);
  EXPECT_EQ(nullptr, ScaleImage(9, 0, 10));
  EXPECT_EQ(nullptr, ScaleImage(9, 10, -1));
  EXPECT_EQ(nullptr, ScaleImage(9, 40000, 10));
  EXPECT_EQ(handle, ImageHandleOf(9));
  EXPECT_TRUE(Exists(handle));
  EXPECT_EQ(nullptr, ScaleImage(AutoNumber, 4, 4));
}

TEST_F(Images, AutoNumberedImages) {
  auto bmp = BmpFile(2, 2, 24, {}, [](int, int) { return 0xFFFFFFu; });
  ListedNode* head = ImageTable()->listedHead;
  const intptr_t id = ImageFromMemory(AutoNumber, bmp.data(), bmp.size());
  ASSERT_NE(0, id);
  const ImageRecord* record = Record(id);
  ASSERT_EQ(reinterpret_cast<const ImageRecord*>(id), record);
  HANDLE handle = ImageHandleOf(id);
  EXPECT_EQ(record->handle, handle);
  EXPECT_TRUE(ScaleImage(id, 3, 3));
  // A failed creation gives its listed record back at once.
  ListedNode* withOne = ImageTable()->listedHead;
  EXPECT_EQ(0, ImageFromMemory(AutoNumber, bmp.data(), 20));
  EXPECT_EQ(withOne, ImageTable()->listedHead);
  HANDLE scaled = ImageHandleOf(id);
  ReleaseImage(id);
  EXPECT_FALSE(Exists(scaled));
  EXPECT_EQ(head, ImageTable()->listedHead);
}

TEST_F(Images, ReleaseAndReleaseAll) {
  ReleaseImage(12);          // nothing there
  ReleaseImage(AutoNumber);  // ignored
  auto bmp = BmpFile(2, 2, 24, {}, [](int, int) { return 0xFFFFFFu; });
  auto ico = IcoFile({IconImage(16, 0xFF0000)}, {16});
  auto png = PngFile(2, 2, true, [](int, int) { return 0xFFFFFFFFu; });
  std::vector<HANDLE> handles;
  ASSERT_NE(0, ImageFromMemory(0, bmp.data(), bmp.size()));
  ASSERT_NE(0, ImageFromMemory(20, ico.data(), ico.size()));  // grows the table
  ASSERT_NE(0, ImageFromMemory(3, png.data(), png.size()));
  const intptr_t listed = ImageFromMemory(AutoNumber, png.data(), png.size());
  ASSERT_NE(0, listed);
  for (ObjectNumber n : {ObjectNumber(0), ObjectNumber(20), ObjectNumber(3), listed}) handles.push_back(ImageHandleOf(n));
  for (HANDLE h : handles) EXPECT_TRUE(Exists(h));

  ReleaseImage(3);
  EXPECT_FALSE(Exists(handles[2]));
  EXPECT_EQ(nullptr, ImageHandleOf(3));
  ReleaseImage(3);

  ReleaseAllImages();
  for (HANDLE h : handles) EXPECT_FALSE(Exists(h));
  EXPECT_EQ(nullptr, ImageHandleOf(0));
  EXPECT_EQ(nullptr, ImageHandleOf(20));
  EXPECT_EQ(nullptr, ImageTable()->listedHead);
  ObjectNumber number;
  ResetObjectIteration(ImageTable());
  EXPECT_EQ(nullptr, NextObject(ImageTable(), &number));
}

}  // namespace
