// Sprites: numbered rectangles of pixels in DirectDraw 7 surfaces in the screen's pixel format,
// created empty or from a bitmap file or any picture a registered decoder reads, copied onto the
// draw target, drawn into by the 2D drawing, and kept across the loss of video memory.
// InitSpriteEngine is the start of the whole display engine. Windows only.
#pragma once
#include <cstddef>
#include <cstdint>

#include <windows.h>
#include <ddraw.h>

#include "display/screen.h"
#include "image/drawing.h"
#include "runtime/memory.h"

// Creation flags.
const int32_t SpriteSystemMemory = 1;   // system memory (only when the flags are exactly 1)
const int32_t SpriteMemoryOnly = 2;     // no surface: a block of width x height bytes, never shown
const int32_t SpriteTexture = 4;        // usable as a 3D sprite's texture
const int32_t SpriteAlpha = 8;          // 32-bit surface with alpha; no colour key

const int16_t MemorySpriteDepth = -2;

struct SpriteRecord {
  union {
    IDirectDrawSurface7* surface;   // non-null marks the record as live
    uint8_t* pixels;                // a memory sprite's block, width x height bytes
  };
  int16_t displayWidth;             // area that blits copy
  int16_t displayHeight;
  int16_t depth;                    // bits per pixel it was created from; -2: memory sprite
  uint16_t flags;
  uint8_t* backup;                  // 32-bit pitch, then pitch x height bytes, while backed up
  int16_t width;                    // the surface's size
  int16_t height;
  int16_t sourceX;                  // displayed area inside the surface
  int16_t sourceY;
};

struct SpriteEngineState {
  ObjectTable* table;
  BOOL initialised;
  DDCOLORKEY colourKey;                   // 0, 0: pure black is transparent
  DDSURFACEDESC2 targetLock;              // dwSize sizeof(DDSURFACEDESC2)
  DDSURFACEDESC2 spriteLock;
  IDirectDrawSurface7* outputSurface;     // of the sprite whose drawing output is open
  HDC outputDC;                           // non-null while a drawing output is open
  int32_t outputState;                    // 1: DC held; -1: surface locked for pixel access
  DrawingOutput output;
};

extern SpriteEngineState SpriteEngine;

// The picture size limit handed to the decoders when the caller gives no data size.
const size_t SpriteDataSizeLimit = 10000000;

// The sprite table on success, none when the multimedia window, the keyboard or DirectDraw
// cannot be had.
ObjectTable* InitSpriteEngine();
void ShutdownSpriteEngine();

// Under AutoNumber the record's address (the sprite's number from then on), otherwise the
// surface (or a memory sprite's block); none on failure.
void* NewSprite(ObjectNumber number, int32_t width, int32_t height, int32_t flags);
void* NewPlainSprite(ObjectNumber number, int32_t width, int32_t height);
// data: a Windows bitmap file or a picture a registered decoder recognises; size bounds every
// read of it (callers that know the size should give it).
void* LoadSpriteFromMemory(ObjectNumber number, const void* data, int32_t flags,
                           size_t size = SpriteDataSizeLimit);
void ReleaseSprite(ObjectNumber number);
// The live sprite of that number, or none.
SpriteRecord* LookupSprite(ObjectNumber number);
void* CreateSpriteSurface(SpriteRecord* record, int32_t width, int32_t height, int32_t depth,
                          int32_t flags);

// Opaque copy of the sprite's displayed area onto the draw target, clipped to the output size.
void BlitSprite(ObjectNumber number, int32_t x, int32_t y);

// The drawing output of a sprite (kind 7), or 0 when one is open already or there is no sprite.
DrawingOutput* SpriteDrawingOutput(ObjectNumber number);
void ReleaseSpriteOutput();
HDC SpriteOutputDC();
void* LockSpriteOutput(int32_t* pitch);

int32_t BackupSprite(ObjectNumber number);                          // always 1
int32_t RestoreSprite(ObjectNumber number, SpriteRecord* record);   // always 1
void BackupAllSprites();
void RestoreAllSprites();
