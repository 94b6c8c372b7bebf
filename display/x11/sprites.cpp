// Sprites for the X11 screen: pixels in memory (from bitmap files and decoded pictures, or drawn
// into), shown through GL textures made from them on demand.
#include <cstring>

#include "display/blend.h"
#include "display/blending.h"
#include "display/pixels.h"
#include "display/sprite_source.h"
#include "display/x11/gl.h"
#include "display/x11/quads.h"
#include "display/x11/screen.h"
#include "display/x11/sprites.h"
#include "image/decoders.h"
#include "image/formats.h"
#include "input/mouse.h"
#include "window/x11/x11.h"

SpriteEngineState SpriteEngine;

namespace {

void* SpriteResult(ObjectNumber number, SpriteRecord* record) {
  return number == AutoNumber ? static_cast<void*>(record) : static_cast<void*>(record->pixels);
}

// A failed creation under AutoNumber: nobody can name the record again, so it goes.
void* DiscardUnnamed(ObjectNumber number, SpriteRecord* record) {
  if (number == AutoNumber) ReleaseSprite(reinterpret_cast<ObjectNumber>(record));
  return nullptr;
}

uint32_t NextSerial() {
  if (++SpriteEngine.lastSerial == 0) ++SpriteEngine.lastSerial;
  return SpriteEngine.lastSerial;
}

// Fills the record; no pixels (and a dead record) when the size is unusable or memory short.
int32_t CreateSpritePixels(SpriteRecord* record, int32_t width, int32_t height, int32_t flags) {
  std::memset(record, 0, sizeof *record);
  if (width <= 0 || height <= 0 || width > SpriteMaxSide || height > SpriteMaxSide ||
      static_cast<int64_t>(width) * height > SpriteMaxPixels)
    return 0;
  const bool memory = (flags & SpriteMemoryOnly) != 0;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * (memory ? 1 : 4);
  record->pixels = static_cast<uint8_t*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, bytes));
  if (!record->pixels) return 0;
  record->width = static_cast<int16_t>(width);
  record->height = static_cast<int16_t>(height);
  record->depth = memory ? MemorySpriteDepth : 32;
  record->flags = static_cast<uint16_t>(flags);
  record->serial = NextSerial();
  return 1;
}

uint32_t* Words(SpriteRecord* sprite) { return reinterpret_cast<uint32_t*>(sprite->pixels); }

// Its quads may still wait in the batch: they show the pixels as they were.
void PixelsWillChange(SpriteRecord* sprite) {
  if (sprite->texture) FlushQuads();
  sprite->textureStale = 1;
}

bool CanUseGL() { return GLScreen.context && X11.display; }

void DescribeScreenForMouse(MouseScreen* screen) {
  screen->active = ScreenIsActive();
  screen->windowed = 0;
  screen->width = GLScreen.frameWidth;
  screen->height = GLScreen.frameHeight;
}

}  // namespace

ObjectTable* InitSpriteEngine() {
  BuildBlendTable();
  GLScreen.frameRate = 0;
  GLScreen.softwareFrame = 0;
  if (!SpriteEngine.table) SpriteEngine.table = CreateObjectTable(sizeof(SpriteRecord), 64, ReleaseSprite);
  if (!SpriteEngine.table) return nullptr;
  SetMouseScreenQuery(DescribeScreenForMouse);
  SpriteEngine.initialised = 1;
  return SpriteEngine.table;
}

void ShutdownSpriteEngine() {
  if (!SpriteEngine.initialised) return;
  ReleaseScreen();
  SetMouseScreenQuery(nullptr);
  SpriteEngine.initialised = 0;
}

SpriteRecord* LookupSprite(ObjectNumber number) {
  if (!SpriteEngine.table) return nullptr;
  SpriteRecord* record = static_cast<SpriteRecord*>(LookupObject(SpriteEngine.table, number));
  return record && record->serial ? record : nullptr;
}

void ReleaseAllSprites() {
  if (!SpriteEngine.table) return;
  ResetObjectIteration(SpriteEngine.table);
  ObjectNumber number;
  while (NextObject(SpriteEngine.table, &number)) ReleaseSprite(number);
}

void* NewSprite(ObjectNumber number, int32_t width, int32_t height, int32_t flags) {
  if (!SpriteEngine.table) return nullptr;
  SpriteRecord* record = static_cast<SpriteRecord*>(AllocateObject(SpriteEngine.table, number));
  if (!record) return nullptr;
  if (!CreateSpritePixels(record, width, height, flags)) return DiscardUnnamed(number, record);
  return SpriteResult(number, record);
}

void* NewPlainSprite(ObjectNumber number, int32_t width, int32_t height) {
  return NewSprite(number, width, height, 0);
}

namespace {

int32_t FillSprite(SpriteRecord* record, const SpriteSource& source, const uint8_t* data, int32_t flags) {
  const PixelSource& pixels = source.pixels;
  if (!CreateSpritePixels(record, pixels.width, pixels.height, flags)) return 0;
  if (flags & SpriteMemoryOnly) {
    const size_t stride = static_cast<size_t>(BitmapRowBytes(static_cast<uint64_t>(pixels.width), 8));
    const uint8_t* rows = data + source.bitmap.pixelOffset;
    for (int32_t row = 0; row < pixels.height; ++row)
      std::memcpy(record->pixels + static_cast<size_t>(pixels.height - 1 - row) * pixels.width,
                  rows + static_cast<size_t>(row) * stride, static_cast<size_t>(pixels.width));
    return 1;
  }
  const bool alpha = (flags & SpriteAlpha) && pixels.bitsPerPixel == 32;
  ConvertSpritePixels(pixels, record->pixels, 4 * pixels.width, 32, PixelFormat32Bgr, alpha);
  return 1;
}

}  // namespace

void* LoadSpriteFromMemory(ObjectNumber number, const void* data, int32_t flags, size_t size) {
  if (!SpriteEngine.table || !data) return nullptr;
  SpriteRecord* record = static_cast<SpriteRecord*>(AllocateObject(SpriteEngine.table, number));
  if (!record) return nullptr;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  SpriteSource source;
  const int32_t ready = PrepareSpriteSource(data, size, flags, true, &source);
  const bool filled = ready && FillSprite(record, source, bytes, flags);
  FreeSpriteSource(&source);
  return filled ? SpriteResult(number, record) : DiscardUnnamed(number, record);
}

void ReleaseSprite(ObjectNumber number) {
  if (!SpriteEngine.table) return;
  SpriteRecord* record = static_cast<SpriteRecord*>(LookupObject(SpriteEngine.table, number));
  if (!record) return;
  if (record->texture && CanUseGL()) {
    // Quads of it may still wait for the batch's draw.
    FlushQuads();
    Gl.DeleteTextures(1, &record->texture);
  }
  if (record->pixels) HeapFree(MainHeap, 0, record->pixels);
  if (SpriteEngine.outputSerial == record->serial) SpriteEngine.outputSerial = 0;
  std::memset(record, 0, sizeof *record);
  ReleaseObject(SpriteEngine.table, number);
}

GLuint TextureOfSprite(SpriteRecord* sprite) {
  if (sprite->texture && !sprite->textureStale) return sprite->texture;
  if (!CanUseGL() || sprite->depth == MemorySpriteDepth || sprite->width > GLScreen.maxTextureSize ||
      sprite->height > GLScreen.maxTextureSize)
    return 0;
  const size_t count = static_cast<size_t>(sprite->width) * static_cast<size_t>(sprite->height);
  uint8_t* rgba = static_cast<uint8_t*>(HeapAlloc(MainHeap, 0, 4 * count));
  if (!rgba) return 0;
  // R, G, B, A bytes, the form both GL and GL ES take. The colour key becomes alpha 0: the keyed
  // program discards it, and under most blends it adds nothing anyway.
  const bool keyed = !(sprite->flags & SpriteAlpha);
  const uint32_t* words = Words(sprite);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t p = words[i];
    uint8_t* t = rgba + 4 * i;
    t[0] = static_cast<uint8_t>(p >> 16);
    t[1] = static_cast<uint8_t>(p >> 8);
    t[2] = static_cast<uint8_t>(p);
    t[3] = keyed ? ((p & 0xFFFFFF) ? 255 : 0) : static_cast<uint8_t>(p >> 24);
  }
  Gl.PixelStorei(GL_UNPACK_ALIGNMENT, 4);
  if (sprite->texture) {
    Gl.BindTexture(GL_TEXTURE_2D, sprite->texture);
    Gl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, sprite->width, sprite->height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  } else {
    Gl.GenTextures(1, &sprite->texture);
    Gl.BindTexture(GL_TEXTURE_2D, sprite->texture);
    // Clamped and without mipmaps: what GL ES 2.0 allows for any size.
    Gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    Gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    Gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    Gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    Gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, sprite->width, sprite->height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    if (Gl.GetError() == GL_OUT_OF_MEMORY) {
      Gl.DeleteTextures(1, &sprite->texture);
      sprite->texture = 0;
    }
  }
  HeapFree(MainHeap, 0, rgba);
  sprite->textureStale = 0;
  return sprite->texture;
}

void DrawSpriteLine(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour) {
  SpriteRecord* sprite = LookupSprite(number);
  if (!sprite || sprite->depth == MemorySpriteDepth) return;
  const uint32_t c = static_cast<uint32_t>(colour);
  const uint32_t pixel = FramePixel(c, c >> 8, c >> 16);
  // Stepped along the longer axis over the columns or rows that lie on the sprite only, so a line
  // of any length costs at most a sprite side. The other coordinate is rounded to the nearest.
  const int64_t dx = width, dy = height;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const bool alongX = adx >= ady;
  const int64_t steps = alongX ? adx : ady;   // the end point is left out
  if (steps == 0) return;
  const int64_t major0 = alongX ? x : y, minor0 = alongX ? y : x;
  const int64_t majorStep = (alongX ? dx : dy) < 0 ? -1 : 1;
  const int64_t minorDelta = alongX ? dy : dx;
  const int64_t majorSize = alongX ? sprite->width : sprite->height;
  const int64_t minorSize = alongX ? sprite->height : sprite->width;
  // The steps t with 0 <= major0 + t * majorStep < majorSize.
  int64_t first, last;
  if (majorStep > 0) {
    first = -major0;
    last = majorSize - 1 - major0;
  } else {
    first = major0 - (majorSize - 1);
    last = major0;
  }
  if (first < 0) first = 0;
  if (last > steps - 1) last = steps - 1;
  if (first > last) return;
  PixelsWillChange(sprite);
  uint32_t* words = Words(sprite);
  for (int64_t t = first; t <= last; ++t) {
    const int64_t scaled = 2 * t * minorDelta;
    const int64_t offset = scaled >= 0 ? (scaled + steps) / (2 * steps) : -((-scaled + steps) / (2 * steps));
    const int64_t major = major0 + t * majorStep, minor = minor0 + offset;
    if (minor < 0 || minor >= minorSize) continue;
    const int64_t px = alongX ? major : minor, py = alongX ? minor : major;
    words[py * sprite->width + px] = pixel;
  }
}

void BlitSprite(ObjectNumber number, int32_t x, int32_t y) {
  SpriteRecord* sprite = LookupSprite(number);
  if (!sprite || sprite->depth == MemorySpriteDepth) return;
  if (GLScreen.softwareFrame && GLScreen.scratch) {
    BlendArea area;
    if (!ClipBlendArea(x, y, sprite->width, sprite->height, GLScreen.scratchWidth, GLScreen.scratchHeight, &area))
      return;
    const uint32_t* words = Words(sprite);
    for (int32_t row = 0; row < area.height; ++row) {
      const uint32_t* from = words + static_cast<size_t>(area.skipY + row) * sprite->width + area.skipX;
      uint32_t* to = GLScreen.scratch + static_cast<size_t>(area.y + row) * GLScreen.scratchWidth + area.x;
      for (int32_t column = 0; column < area.width; ++column) to[column] = from[column] & 0xFFFFFF;
    }
    return;
  }
  if (!ScreenIsActive()) return;
  const GLuint texture = TextureOfSprite(sprite);
  if (!texture) return;
  // Opaque: the colour key does not apply, as with DirectDraw's BltFast without a key. GL clips.
  const QuadState state = {SpriteProgram, texture, 0, GL_ONE, GL_ZERO, 0};
  QueueQuad(state, x, y, sprite->width, sprite->height, 255);
}

int32_t SelectSpriteOutput(ObjectNumber number) {
  SpriteRecord* sprite = LookupSprite(number);
  if (!sprite || sprite->depth == MemorySpriteDepth) {
    SpriteEngine.outputSerial = 0;
    return 0;
  }
  SpriteEngine.output = number;
  SpriteEngine.outputSerial = sprite->serial;
  return 1;
}

namespace {

SpriteRecord* OutputSprite() {
  if (!SpriteEngine.outputSerial) return nullptr;
  SpriteRecord* sprite = LookupSprite(SpriteEngine.output);
  return sprite && sprite->serial == SpriteEngine.outputSerial ? sprite : nullptr;
}

}  // namespace

void ReleaseSpriteOutput() {
  // Whatever was written into the pixels reaches the texture at the sprite's next draw.
  if (SpriteRecord* sprite = OutputSprite()) PixelsWillChange(sprite);
  SpriteEngine.outputSerial = 0;
}

void* LockSpriteOutput(int32_t* pitch) {
  SpriteRecord* sprite = OutputSprite();
  if (!sprite) return nullptr;
  PixelsWillChange(sprite);
  if (pitch) *pitch = 4 * sprite->width;
  return sprite->pixels;
}

int32_t BackupSprite(ObjectNumber) { return 1; }
void BackupAllSprites() {}
void RestoreAllSprites() {}
