// Sprites in DirectDraw 7 surfaces: creation, loading from bitmap files and decoded pictures,
// blits, the drawing output, and the backup of their pixels while video memory is away.
#include <windows.h>
#include <ddraw.h>

#include <cstring>

#include "display/blend.h"
#include "display/blending.h"
#include "display/pixels.h"
#include "display/sprite_source.h"
#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "image/decoders.h"
#include "image/formats.h"
#include "input/keyboard.h"
#include "input/mouse.h"
#include "window/win/multimedia.h"

SpriteEngineState SpriteEngine;

namespace {

DDSURFACEDESC2 outputLock;   // the drawing output's surface while its pixels are handed out

void ZeroDescription(DDSURFACEDESC2& description) {
  memset(&description, 0, sizeof(description));
  description.dwSize = sizeof(description);
}

void* SpriteResult(ObjectNumber number, SpriteRecord* record) {
  return number == AutoNumber ? static_cast<void*>(record) : static_cast<void*>(record->surface);
}

// A failed creation under AutoNumber: nobody can name the record again, so it goes.
void* DiscardUnnamed(ObjectNumber number, SpriteRecord* record) {
  if (number == AutoNumber) {
    const ObjectNumber address = reinterpret_cast<ObjectNumber>(record);
    if (record->surface) ReleaseSprite(address);
    else ReleaseObject(SpriteEngine.table, address);
  }
  return nullptr;
}

}  // namespace

ObjectTable* InitSpriteEngine() {
  SpriteEngine.colourKey.dwColorSpaceLowValue = 0;
  SpriteEngine.colourKey.dwColorSpaceHighValue = 0;
  memset(&Screen.fillEffects, 0, sizeof(Screen.fillEffects));
  Screen.fillEffects.dwSize = sizeof(Screen.fillEffects);
  ZeroDescription(Screen.primaryDescription);
  ZeroDescription(SpriteEngine.targetLock);
  ZeroDescription(SpriteEngine.spriteLock);
  BuildBlendTable();
  Screen.frameRate = 0;
  Screen.frameRateDefaulted = FALSE;
  Screen.softwareFrame = FALSE;
  SpriteEngine.table = CreateObjectTable(sizeof(SpriteRecord), 64, ReleaseSprite);
  if (!SpriteEngine.table) return nullptr;
  // The screen answers the multimedia window's focus messages and tells the mouse what it is.
  SetMultimediaFocusRoutine(ScreenFocusMessage);
  SetMouseScreenQuery(DescribeScreenForMouse);
  if (!CreateMultimediaWindow()) return nullptr;
  if (!OpenKeyboardDevice()) return nullptr;
  SpriteEngine.initialised = TRUE;
  if (!ObtainDirectDraw()) return nullptr;
  Screen.baseWindow = MultimediaWindow();
  return SpriteEngine.table;
}

void ShutdownSpriteEngine() {
  if (!SpriteEngine.initialised) return;
  ReleaseScreen();
  ReleaseDirectDraw();
  SpriteEngine.initialised = FALSE;   // a second shutdown must not drop another DirectDraw user
}

SpriteRecord* LookupSprite(ObjectNumber number) {
  if (!SpriteEngine.table) return nullptr;
  SpriteRecord* record = static_cast<SpriteRecord*>(LookupObject(SpriteEngine.table, number));
  return record && record->surface ? record : nullptr;
}

void* CreateSpriteSurface(SpriteRecord* record, int32_t width, int32_t height, int32_t depth, int32_t flags) {
  record->surface = nullptr;
  record->displayWidth = record->width = static_cast<int16_t>(width);
  record->displayHeight = record->height = static_cast<int16_t>(height);
  record->depth = static_cast<int16_t>(depth);
  record->flags = static_cast<uint16_t>(flags);
  record->backup = nullptr;
  record->sourceX = record->sourceY = 0;
  if (record->width <= 0 || record->height <= 0) return nullptr;
  if (flags & SpriteMemoryOnly) {
    void* block = HeapAlloc(MainHeap, 0, static_cast<SIZE_T>(record->width) * record->height);
    record->pixels = static_cast<uint8_t*>(block);
    record->depth = MemorySpriteDepth;
    return block;
  }
  // A palette sprite only on a palette screen of the same depth; 16, 24 and 32 bits mix.
  if (depth != 0 && depth != Screen.screenDepth && (depth < 16 || Screen.screenDepth < 16)) return nullptr;
  if (!Screen.directDraw) return nullptr;
  DDSURFACEDESC2 description;
  ZeroDescription(description);
  description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
  description.dwWidth = static_cast<DWORD>(record->width);
  description.dwHeight = static_cast<DWORD>(record->height);
  if (flags & SpriteTexture) description.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
  else if (flags == SpriteSystemMemory) description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  else description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  if (flags & SpriteAlpha) {
    description.dwFlags |= DDSD_PIXELFORMAT;
    DDPIXELFORMAT& format = description.ddpfPixelFormat;
    format.dwSize = sizeof(format);
    format.dwFlags = DDPF_ALPHAPIXELS | DDPF_RGB;
    format.dwRGBBitCount = 32;
    format.dwRBitMask = 0x00FF0000;
    format.dwGBitMask = 0x0000FF00;
    format.dwBBitMask = 0x000000FF;
    format.dwRGBAlphaBitMask = 0xFF000000;
  }
  IDirectDrawSurface7* surface = nullptr;
  if (Screen.directDraw->CreateSurface(&description, &surface, nullptr) != 0) return nullptr;
  record->surface = surface;
  return surface;
}

void* NewSprite(ObjectNumber number, int32_t width, int32_t height, int32_t flags) {
  if (!SpriteEngine.table) return nullptr;
  SpriteRecord* record = static_cast<SpriteRecord*>(AllocateObject(SpriteEngine.table, number));
  if (!record) return nullptr;
  if (!CreateSpriteSurface(record, width, height, Screen.screenDepth, flags)) return DiscardUnnamed(number, record);
  if (!(flags & SpriteMemoryOnly)) {
    DDBLTFX fill = {};
    fill.dwSize = sizeof(fill);
    fill.dwFillColor = 0;
    record->surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fill);
    record->surface->SetColorKey(DDCKEY_SRCBLT, &SpriteEngine.colourKey);
  }
  return SpriteResult(number, record);
}

void* NewPlainSprite(ObjectNumber number, int32_t width, int32_t height) {
  return NewSprite(number, width, height, 0);
}

namespace {

void* FillSprite(ObjectNumber number, SpriteRecord* record, const SpriteSource& source, const uint8_t* data,
                 int32_t flags) {
  const PixelSource& pixels = source.pixels;
  if (!CreateSpriteSurface(record, pixels.width, pixels.height, pixels.bitsPerPixel, flags)) return nullptr;
  if (flags & SpriteMemoryOnly) {
    const size_t stride = static_cast<size_t>(BitmapRowBytes(static_cast<uint64_t>(pixels.width), 8));
    const uint8_t* rows = data + source.bitmap.pixelOffset;
    for (int32_t row = 0; row < pixels.height; ++row)
      memcpy(record->pixels + static_cast<size_t>(pixels.height - 1 - row) * pixels.width,
             rows + static_cast<size_t>(row) * stride, static_cast<size_t>(pixels.width));
    return SpriteResult(number, record);
  }
  const bool alpha = (flags & SpriteAlpha) && pixels.bitsPerPixel == 32;
  // An alpha sprite's surface is 32-bit whatever the screen.
  const int32_t targetDepth = (flags & SpriteAlpha) ? 32 : Screen.screenDepth;
  void* result = nullptr;
  DDSURFACEDESC2& lock = SpriteEngine.spriteLock;
  ZeroDescription(lock);
  if (record->surface->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr) == 0) {
    // A surface narrower than expected is left alone rather than overrun.
    if (lock.lPitch >= pixels.width * ((targetDepth + 7) / 8) && static_cast<int32_t>(lock.dwHeight) >= pixels.height)
      ConvertSpritePixels(pixels, static_cast<uint8_t*>(lock.lpSurface), lock.lPitch, targetDepth,
                          Screen.pixelFormatCode, alpha);
    result = SpriteResult(number, record);
    record->surface->Unlock(nullptr);
  }
  if (!alpha) record->surface->SetColorKey(DDCKEY_SRCBLT, &SpriteEngine.colourKey);
  return result;
}

}  // namespace

void* LoadSpriteFromMemory(ObjectNumber number, const void* data, int32_t flags, size_t size) {
  // The load locks a surface with the engine's sprite lock description, which a blend's held
  // locks still use.
  ReleaseBlendLocks();
  if (!SpriteEngine.table || !data) return nullptr;
  SpriteRecord* record = static_cast<SpriteRecord*>(AllocateObject(SpriteEngine.table, number));
  if (!record) return nullptr;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  SpriteSource source;
  const int32_t ready = PrepareSpriteSource(data, size, flags, Screen.screenDepth != 8, &source);
  void* result = ready ? FillSprite(number, record, source, bytes, flags) : nullptr;
  FreeSpriteSource(&source);
  return result ? result : DiscardUnnamed(number, record);
}

void ReleaseSprite(ObjectNumber number) {
  ReleaseBlendLocks();
  if (!SpriteEngine.table) return;
  SpriteRecord* record = static_cast<SpriteRecord*>(LookupObject(SpriteEngine.table, number));
  if (!record) return;
  if (record->depth == MemorySpriteDepth) {
    if (record->pixels) HeapFree(MainHeap, 0, record->pixels);
  } else if (record->surface) {
    if (SpriteEngine.outputDC && SpriteEngine.outputSurface == record->surface) ReleaseSpriteOutput();
    if (Screen.drawTarget == record->surface) SelectDrawTarget(-1);
    if (Screen.savedDrawTarget == record->surface) Screen.savedDrawTarget = Screen.backBuffer;
    record->surface->Release();
  }
  if (record->backup) HeapFree(MainHeap, 0, record->backup);
  record->surface = nullptr;
  record->backup = nullptr;
  ReleaseObject(SpriteEngine.table, number);
}

void BlitSprite(ObjectNumber number, int32_t x, int32_t y) {
  ReleaseBlendLocks();
  SpriteRecord* sprite = LookupSprite(number);
  // Only a full screen that lost the focus has nothing to draw into; a windowed screen's back
  // buffer stays usable whichever window is in the foreground (a preview's never is).
  if (!sprite || (!Screen.windowed && !ScreenIsActive()) || sprite->depth == MemorySpriteDepth ||
      !Screen.drawTarget)
    return;
  BlendArea area;
  if (!ClipBlendArea(x, y, sprite->displayWidth, sprite->displayHeight, Screen.outputWidth, Screen.outputHeight,
                     &area))
    return;
  const LONG left = sprite->sourceX + area.skipX, top = sprite->sourceY + area.skipY;
  RECT source = {left, top, left + area.width, top + area.height};
  Screen.drawTarget->BltFast(static_cast<DWORD>(area.x), static_cast<DWORD>(area.y), sprite->surface, &source,
                             DDBLTFAST_WAIT);
}

DrawingOutput* SpriteDrawingOutput(ObjectNumber number) {
  ReleaseBlendLocks();
  if (SpriteEngine.outputDC) return nullptr;
  SpriteRecord* sprite = LookupSprite(number);
  if (!sprite || sprite->depth == MemorySpriteDepth || !sprite->surface) return nullptr;
  SpriteEngine.outputSurface = sprite->surface;
  HDC context;
  if (sprite->surface->GetDC(&context) != 0) return nullptr;
  SpriteEngine.outputDC = context;
  DrawingOutput& output = SpriteEngine.output;
  output.kind = DrawingOutputSurface;
  output.window = nullptr;
  output.deviceContext = context;
  output.release = ReleaseSpriteOutput;
  output.reserved1 = 0;
  output.reserved2 = 0;
  output.width = sprite->width;
  output.height = sprite->height;
  output.depth = Screen.screenDepth;
  output.pixelFormat = Screen.pixelFormatCode;
  output.reacquire = SpriteOutputDC;
  output.directAccess = LockSpriteOutput;
  SpriteEngine.outputState = 1;
  return &output;
}

void ReleaseSpriteOutput() {
  if (!SpriteEngine.outputDC) return;
  if (SpriteEngine.outputState == 1) SpriteEngine.outputSurface->ReleaseDC(SpriteEngine.outputDC);
  else SpriteEngine.outputSurface->Unlock(nullptr);
  SpriteEngine.outputDC = nullptr;
}

HDC SpriteOutputDC() {
  if (SpriteEngine.outputDC && SpriteEngine.outputState == -1) {
    SpriteEngine.outputSurface->Unlock(nullptr);
    HDC context;
    SpriteEngine.outputDC = SpriteEngine.outputSurface->GetDC(&context) == 0 ? context : nullptr;
    SpriteEngine.outputState = 1;
  }
  return SpriteEngine.outputDC;
}

void* LockSpriteOutput(int32_t* pitch) {
  ReleaseBlendLocks();
  if (!SpriteEngine.outputDC) return nullptr;
  if (SpriteEngine.outputState == -1) {   // handed out already
    if (pitch) *pitch = outputLock.lPitch;
    return outputLock.lpSurface;
  }
  SpriteEngine.outputSurface->ReleaseDC(SpriteEngine.outputDC);
  SpriteEngine.outputState = -1;
  ZeroDescription(outputLock);
  if (SpriteEngine.outputSurface->Lock(nullptr, &outputLock, DDLOCK_WAIT, nullptr) != 0) {
    outputLock.lpSurface = nullptr;
    return nullptr;
  }
  if (pitch) *pitch = outputLock.lPitch;
  return outputLock.lpSurface;
}

int32_t BackupSprite(ObjectNumber number) {
  ReleaseBlendLocks();
  SpriteRecord* sprite = LookupSprite(number);
  if (!sprite || sprite->backup || sprite->depth == MemorySpriteDepth || !Screen.directDraw) return 1;
  DDSURFACEDESC2 description;
  ZeroDescription(description);
  description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
  description.dwWidth = static_cast<DWORD>(sprite->width);
  description.dwHeight = static_cast<DWORD>(sprite->height);
  description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  IDirectDrawSurface7* copy = nullptr;
  if (Screen.directDraw->CreateSurface(&description, &copy, nullptr) != 0 || !copy) return 1;
  uint8_t* block = nullptr;
  if (copy->Blt(nullptr, sprite->surface, nullptr, DDBLT_WAIT, nullptr) == 0) {
    DDSURFACEDESC2 lock;
    ZeroDescription(lock);
    if (copy->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr) == 0) {
      const size_t bytes = static_cast<size_t>(lock.lPitch) * lock.dwHeight;
      block = lock.lPitch > 0 ? static_cast<uint8_t*>(HeapAlloc(MainHeap, 0, 4 + bytes)) : nullptr;
      if (block) {
        const int32_t pitch = lock.lPitch;
        memcpy(block, &pitch, 4);
        memcpy(block + 4, lock.lpSurface, bytes);
      }
      copy->Unlock(nullptr);
    }
  }
  sprite->backup = block;
  copy->Release();
  return 1;
}

int32_t RestoreSprite(ObjectNumber number, SpriteRecord* sprite) {
  ReleaseBlendLocks();
  if (!sprite || !sprite->surface || sprite->depth == MemorySpriteDepth) return 1;
  if (sprite->surface->IsLost() == DDERR_SURFACELOST) sprite->surface->Restore();
  if (!sprite->backup) return 1;
  DDSURFACEDESC2& lock = SpriteEngine.spriteLock;
  ZeroDescription(lock);
  if (sprite->surface->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr) != 0) return 1;
  int32_t storedPitch;
  memcpy(&storedPitch, sprite->backup, 4);
  const int32_t bytes = storedPitch < lock.lPitch ? storedPitch : lock.lPitch;
  const int32_t rows = static_cast<int32_t>(lock.dwHeight) < sprite->height ? static_cast<int32_t>(lock.dwHeight)
                                                                            : sprite->height;
  uint8_t* target = static_cast<uint8_t*>(lock.lpSurface);
  for (int32_t row = 0; row < rows && bytes > 0; ++row)
    memcpy(target + static_cast<ptrdiff_t>(row) * lock.lPitch,
           sprite->backup + 4 + static_cast<size_t>(row) * storedPitch, static_cast<size_t>(bytes));
  sprite->surface->Unlock(nullptr);
  HeapFree(MainHeap, 0, sprite->backup);
  sprite->backup = nullptr;
  return 1;
}

namespace {

int BackupVisitor(ObjectNumber number, void*, intptr_t) { return BackupSprite(number); }
int RestoreVisitor(ObjectNumber number, void* record, intptr_t) {
  return RestoreSprite(number, static_cast<SpriteRecord*>(record));
}

}  // namespace

void BackupAllSprites() {
  if (SpriteEngine.table) ForEachObject(SpriteEngine.table, BackupVisitor, 0);
}

void RestoreAllSprites() {
  if (SpriteEngine.table) ForEachObject(SpriteEngine.table, RestoreVisitor, 0);
}

void DrawSpriteLine(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour) {
  BeginDrawing(SpriteDrawingOutput(number));
  DrawLine(x, y, width, height, colour);
  EndDrawing();
}
