// The sprite records and the sprite routines that hand out surfaces, records or device contexts.
#pragma once
#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "display/sprites.h"
#include "display/win/screen.h"
#include "image/win/drawing.h"
#include "runtime/memory.h"

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

// The live sprite of that number, or none.
SpriteRecord* LookupSprite(ObjectNumber number);
void* CreateSpriteSurface(SpriteRecord* record, int32_t width, int32_t height, int32_t depth,
                          int32_t flags);

// The drawing output of a sprite (kind 7), or 0 when one is open already or there is no sprite.
DrawingOutput* SpriteDrawingOutput(ObjectNumber number);
HDC SpriteOutputDC();

int32_t RestoreSprite(ObjectNumber number, SpriteRecord* record);   // always 1
