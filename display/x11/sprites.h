// The X11 sprite records: pixels in memory, copied into a GL texture when first drawn and again
// after they changed. Memory is never lost under OpenGL, so the backups are no-ops.
#pragma once
#include <GL/gl.h>

#include <cstdint>

#include "display/sprites.h"
#include "runtime/memory.h"

struct SpriteRecord {
  uint32_t serial;        // non-zero marks the record live; never reused, so a 3D sprite can tell
                          // its sprite from a later one of the same number
  int16_t width, height;
  int16_t depth;          // 32, or MemorySpriteDepth
  uint16_t flags;
  // 0xAARRGGBB words, width a row (alpha only with SpriteAlpha, else 0, as on a 32-bit
  // DirectDraw surface); a memory sprite's width x height bytes.
  uint8_t* pixels;
  GLuint texture;         // 0 until drawn on an open screen
  int32_t textureStale;   // the pixels changed since the texture was filled
};

struct SpriteEngineState {
  ObjectTable* table;
  int32_t initialised;
  uint32_t lastSerial;
  // The sprite whose pixels LockSpriteOutput hands out (SelectSpriteOutput).
  ObjectNumber output;
  uint32_t outputSerial;  // 0: none
};

extern SpriteEngineState SpriteEngine;

// Largest sprite: each side, and the pixels in all.
const int32_t SpriteMaxSide = 16384;
const int64_t SpriteMaxPixels = int64_t{1} << 25;

// The live sprite of that number, or none.
SpriteRecord* LookupSprite(ObjectNumber number);
// The sprite's texture, filled from its pixels when it has none or they changed; 0 without a
// screen, for memory sprites and for sprites larger than the GL's textures.
GLuint TextureOfSprite(SpriteRecord* sprite);
// Releases every sprite (the screen's close does, as on Windows).
void ReleaseAllSprites();

// Opens the sprite's pixels to LockSpriteOutput, until ReleaseSpriteOutput; 1 when it is a live
// sprite with pixels (not a memory sprite). The 2D drawing's sprite output on Windows.
int32_t SelectSpriteOutput(ObjectNumber number);
