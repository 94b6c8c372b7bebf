// Translucent sprites drawn in software onto the draw target, and the software frame: a
// system-memory scratch surface that stands in for the draw target and is copied onto it in one
// blit. Windows only; the pixel arithmetic is in display/blend.h.
#pragma once
#include <cstdint>

#include "runtime/memory.h"

// 1 when the scratch surface exists at the output size (made afresh when the size changed).
int32_t EnsureScratchSurface();

// 1 when the scratch surface is now the draw target, else 0 (the draw target is then unchanged).
int32_t BeginSoftwareFrame();
// Gives the draw target back and copies the whole scratch surface onto it.
void EndSoftwareFrame();

// Inside a software frame the scratch surface and the last blended sprite stay locked between
// blends; this unlocks them. Every display routine that uses a surface calls it first.
void ReleaseBlendLocks();

// Mixes the sprite's non-black pixels into the draw target at (x, y), weighted by intensity
// (clamped to 1..255), or half and half for intensity -1. 16-bit (5-6-5) and 32-bit screens only.
void BlendSprite(ObjectNumber number, int32_t x, int32_t y, int32_t intensity);
