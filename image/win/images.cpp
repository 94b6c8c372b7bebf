// Images as GDI bitmaps and icons under object numbers.
#include "image/win/images.h"

#include <cstring>

#include "image/decoders.h"
#include "image/formats.h"

namespace {

ObjectTable* imageTable;

// Image sides are kept in 16-bit fields.
const int32_t ImageMaxSide = 32767;

bool SideFits(int64_t side) { return side > 0 && side <= ImageMaxSide; }

// Width, height and depth of a bitmap.
bool BitmapMetrics(HBITMAP bitmap, int32_t* width, int32_t* height, int32_t* depth) {
  BITMAP info = {};
  if (GetObjectA(bitmap, sizeof info, &info) != static_cast<int>(sizeof info)) return false;
  *width = info.bmWidth;
  *height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  *depth = info.bmBitsPixel;
  return true;
}

bool IsBitmap(HANDLE handle) { return GetObjectType(handle) == OBJ_BITMAP; }

void DeleteImageHandle(HANDLE handle) {
  if (IsBitmap(handle))
    DeleteObject(handle);
  else
    DestroyIcon(static_cast<HICON>(handle));
}

// Size and depth of an icon's picture; a monochrome icon has only a mask of twice its height.
bool IconMetrics(HICON icon, int32_t* width, int32_t* height, int32_t* depth) {
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return false;
  bool known;
  if (info.hbmColor) {
    known = BitmapMetrics(info.hbmColor, width, height, depth);
  } else {
    known = BitmapMetrics(info.hbmMask, width, height, depth);
    *height /= 2;
  }
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return known;
}

HBITMAP BitmapFromBmpData(const unsigned char* data, size_t size, uint32_t flags) {
  BitmapFileLayout layout;
  if (!ParseBitmapFile(data, size, &layout)) return nullptr;
  const int32_t height = layout.height < 0 ? -layout.height : layout.height;
  if (!SideFits(layout.width) || !SideFits(height)) return nullptr;
  HBITMAP bitmap = CreateImageBitmap(layout.width, height, flags, 32);
  if (!bitmap) return nullptr;
  int lines = 0;
  HDC memory = CreateCompatibleDC(nullptr);
  if (memory) {
    lines = SetDIBits(memory, bitmap, 0, static_cast<UINT>(height), data + layout.pixelOffset,
                      reinterpret_cast<const BITMAPINFO*>(data + 14), DIB_RGB_COLORS);
    DeleteDC(memory);
  }
  if (!lines) {
    DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

// A display-format bitmap (flag 0x80) is scaled through a new one; an icon is copied at the new size.
HANDLE ScaledCopy(const ImageRecord* image, int32_t width, int32_t height, int32_t mode, bool* copied) {
  *copied = false;
  if (!IsBitmap(image->handle)) {
    HANDLE icon = CopyImage(image->handle, IMAGE_ICON, width, height, 0);
    *copied = icon != nullptr;
    return icon;
  }
  HBITMAP scaled = CreateImageBitmap(width, height, image->flags, image->depth);
  if (!scaled) return nullptr;
  HDC target = CreateCompatibleDC(nullptr);
  HDC source = CreateCompatibleDC(nullptr);
  if (target && source) {
    HGDIOBJ previousTarget = SelectObject(target, scaled);
    HGDIOBJ previousSource = SelectObject(source, image->handle);
    if (mode == 0) {
      SetStretchBltMode(target, HALFTONE);
      SetBrushOrgEx(target, 0, 0, nullptr);
    } else {
      SetStretchBltMode(target, COLORONCOLOR);
    }
    *copied = previousTarget && previousSource &&
              StretchBlt(target, 0, 0, width, height, source, 0, 0, image->width, image->height, SRCCOPY);
    if (previousTarget) SelectObject(target, previousTarget);
    if (previousSource) SelectObject(source, previousSource);
  }
  if (target) DeleteDC(target);
  if (source) DeleteDC(source);
  return scaled;
}

}  // namespace

void ImageLibraryInit() {
  if (imageTable) {
    ReleaseAllImages();
    return;
  }
  imageTable = CreateObjectTable(sizeof(ImageRecord), 16, ReleaseImage);
}

ObjectTable* ImageTable() { return imageTable; }

HBITMAP CreateImageBitmap(int32_t width, int32_t height, uint32_t flags, int32_t depth) {
  if (width <= 0 || height <= 0) return nullptr;
  HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  if (!display) return nullptr;
  HBITMAP bitmap = nullptr;
  if (flags & ImageCompatibleBitmap) {
    bitmap = CreateCompatibleBitmap(display, width, height);
  } else if (depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32) {
    // Palette depths read a colour table after the header: a grey ramp rather than stray memory.
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[256];
    } info = {};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(depth);
    info.header.biCompression = BI_RGB;
    if (depth <= 8) {
      const int entries = 1 << depth;
      for (int i = 0; i < entries; i++) {
        const BYTE grey = static_cast<BYTE>(i * 255 / (entries - 1));
        info.colours[i] = RGBQUAD{grey, grey, grey, 0};
      }
    }
    void* bits = nullptr;
    bitmap = CreateDIBSection(display, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  }
  DeleteDC(display);
  return bitmap;
}

HBITMAP DecodeToBitmap(int32_t probeResult, uint32_t flags) {
  const uint32_t width = CurrentImageWidth();
  const uint32_t height = CurrentImageHeight();
  const bool alpha = probeResult == 2;
  const uint64_t pitch64 = alpha ? 4ull * width : 3ull * width + (width & 3);
  // The image stays open until a decode ends it, even one that is refused.
  if (!SideFits(width) || !SideFits(height) || pitch64 * (height + 1ull) > 0x7FFFFFFF) {
    DecodeCurrentImage(nullptr, 0, 0);
    return nullptr;
  }
  const int32_t pitch = static_cast<int32_t>(pitch64);
  const intptr_t bufferSize = static_cast<intptr_t>(pitch64 * height);

  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = static_cast<LONG>(width);
  header.biHeight = -static_cast<LONG>(height);
  header.biPlanes = 1;
  header.biBitCount = alpha ? 32 : 24;
  header.biCompression = BI_RGB;

  HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  if (!display) {
    DecodeCurrentImage(nullptr, 0, 0);
    return nullptr;
  }
  HBITMAP bitmap = nullptr;
  if (flags & ImageCompatibleBitmap) {
    void* buffer = HeapAlloc(MainHeap, 0, static_cast<SIZE_T>(pitch64 * (height + 1ull)));
    if (buffer) {
      DecodeCurrentImage(buffer, pitch, bufferSize);
      bitmap = CreateCompatibleBitmap(display, static_cast<int>(width), static_cast<int>(height));
      if (bitmap) {
        HDC memory = CreateCompatibleDC(nullptr);
        int lines = 0;
        if (memory) {
          lines = SetDIBits(memory, bitmap, 0, height, buffer, reinterpret_cast<BITMAPINFO*>(&header),
                            DIB_RGB_COLORS);
          DeleteDC(memory);
        }
        if (!lines) {
          DeleteObject(bitmap);
          bitmap = nullptr;
        }
      }
      HeapFree(MainHeap, 0, buffer);
    } else {
      DecodeCurrentImage(nullptr, 0, 0);
    }
  } else {
    void* bits = nullptr;
    bitmap = CreateDIBSection(display, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    // The decode result is not tested: rows it could not write stay as the section began, black.
    DecodeCurrentImage(bitmap ? bits : nullptr, pitch, bufferSize);
  }
  DeleteDC(display);
  return bitmap;
}

HICON IconFromIcoData(const void* data, size_t size) {
  IconImageLayout layout;
  if (!FindFirstIconImage(data, size, &layout)) return nullptr;
  HGLOBAL copy = GlobalAlloc(GMEM_FIXED, layout.size);
  if (!copy) return nullptr;
  memcpy(copy, static_cast<const unsigned char*>(data) + layout.offset, layout.size);
  PBYTE image = static_cast<PBYTE>(copy);
  HICON icon = CreateIconFromResourceEx(image, layout.size, TRUE, 0x00030000, layout.width, layout.height,
                                        LR_DEFAULTCOLOR);
  if (!icon && layout.bitCount != 16) icon = CreateIconFromResource(image, layout.size, TRUE, 0x00030000);
  GlobalFree(copy);
  return icon;
}

intptr_t ImageFromMemory(ObjectNumber number, const void* data, size_t size) {
  if (!imageTable || !data || size == 0) return 0;
  ImageRecord* image = static_cast<ImageRecord*>(AllocateObject(imageTable, number));
  if (!image) return 0;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  const uint32_t flags = 0;

  HANDLE handle = nullptr;
  int32_t width = 0, height = 0, depth = 0;
  bool described = false;
  if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
    HBITMAP bitmap = BitmapFromBmpData(bytes, size, flags);
    handle = bitmap;
    described = bitmap && BitmapMetrics(bitmap, &width, &height, &depth);
  } else if (HICON icon = IconFromIcoData(data, size)) {
    handle = icon;
    described = IconMetrics(icon, &width, &height, &depth);
  } else if (int found = FindImageDecoder(static_cast<intptr_t>(size > INTPTR_MAX ? INTPTR_MAX : size), data)) {
    HBITMAP bitmap = DecodeToBitmap(found, flags);
    handle = bitmap;
    described = bitmap && BitmapMetrics(bitmap, &width, &height, &depth);
  }

  if (!described || !SideFits(width) || !SideFits(height)) {
    if (handle) DeleteImageHandle(handle);
    // The number stays free; a listed record is given back at once.
    memset(image, 0, sizeof *image);
    if (number == AutoNumber) ReleaseObject(imageTable, reinterpret_cast<ObjectNumber>(image));
    return 0;
  }
  image->handle = handle;
  image->width = static_cast<int16_t>(width);
  image->height = static_cast<int16_t>(height);
  image->depth = static_cast<uint8_t>(depth);
  image->flags = static_cast<uint8_t>(flags);
  return number == AutoNumber ? reinterpret_cast<intptr_t>(image) : reinterpret_cast<intptr_t>(handle);
}

void ReleaseImage(ObjectNumber number) {
  if (number == AutoNumber || !imageTable) return;
  ImageRecord* image = static_cast<ImageRecord*>(LookupObject(imageTable, number));
  if (!image) return;
  DeleteImageHandle(image->handle);
  ReleaseObject(imageTable, number);
}

void ReleaseAllImages() {
  if (!imageTable) return;
  ResetObjectIteration(imageTable);
  ObjectNumber number;
  while (NextObject(imageTable, &number)) ReleaseImage(number);
}

HANDLE ImageHandleOf(ObjectNumber number) {
  if (!imageTable || number == AutoNumber) return nullptr;
  ImageRecord* image = static_cast<ImageRecord*>(LookupObject(imageTable, number));
  return image ? image->handle : nullptr;
}

HANDLE ScaleImage(ObjectNumber number, int32_t width, int32_t height) {
  return ScaleImageWithMode(number, width, height, 0);
}

HANDLE ScaleImageWithMode(ObjectNumber number, int32_t width, int32_t height, int32_t mode) {
  if (!imageTable || number == AutoNumber) return nullptr;
  ImageRecord* image = static_cast<ImageRecord*>(LookupObject(imageTable, number));
  if (!image) return nullptr;
  if (width == image->width && height == image->height) return image->handle;
  if (!SideFits(width) || !SideFits(height)) return nullptr;

  bool copied = false;
  HANDLE scaled = ScaledCopy(image, width, height, mode, &copied);
  if (!scaled) return nullptr;  // nothing could be made: the image is unchanged
  DeleteImageHandle(image->handle);
  if (!copied) {
    // The copy failed after the old picture was given up: the image is gone.
    DeleteImageHandle(scaled);
    ReleaseObject(imageTable, number);
    return nullptr;
  }
  image->handle = scaled;
  image->width = static_cast<int16_t>(width);
  image->height = static_cast<int16_t>(height);
  return scaled;
}
