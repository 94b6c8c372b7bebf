// Sprites: numbered rectangles of pixels (DirectDraw 7 surfaces in the screen's pixel format on
// Windows, textures in display/x11/),
// created empty or from a bitmap file or any picture a registered decoder reads, copied onto the
// draw target, drawn into by the 2D drawing, and kept across the loss of video memory.
// InitSpriteEngine is the start of the whole display engine. The records and what hands out
// surfaces or device contexts are in display/win/sprites.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/memory.h"

// Creation flags.
const int32_t SpriteSystemMemory = 1;   // system memory (only when the flags are exactly 1)
const int32_t SpriteMemoryOnly = 2;     // no surface: a block of width x height bytes, never shown
const int32_t SpriteTexture = 4;        // usable as a 3D sprite's texture
const int32_t SpriteAlpha = 8;          // 32-bit surface with alpha; no colour key

const int16_t MemorySpriteDepth = -2;

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
// A line from (x, y) to (x + width, y + height), the end left out, in colour (a COLORREF:
// 0x00BBGGRR) on the sprite, drawn as the 2D drawing's DrawLine; nothing when there is no sprite.
void DrawSpriteLine(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour);

// Opaque copy of the sprite's displayed area onto the draw target, clipped to the output size.
void BlitSprite(ObjectNumber number, int32_t x, int32_t y);

void ReleaseSpriteOutput();
void* LockSpriteOutput(int32_t* pitch);

int32_t BackupSprite(ObjectNumber number);                          // always 1
void BackupAllSprites();
void RestoreAllSprites();
