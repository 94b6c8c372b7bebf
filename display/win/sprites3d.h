// The 3D sprite records and the Direct3D state.
#pragma once
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <cstdint>

#include "display/sprites3d.h"
#include "runtime/memory.h"

struct Sprite3DRecord {
  IDirectDrawSurface7* texture;   // the source sprite's surface, not owned; non-null marks it live
  D3DTLVERTEX vertices[4];        // quad at the origin in triangle-strip order; never changed
  int16_t width;
  int16_t height;
  uint16_t flags;                 // the source sprite's creation flags
  ObjectNumber sprite;            // the source sprite: a texture whose sprite is gone is not drawn
};

// Tests put a recording IDirect3D7 into direct3D after Sprite3DLibraryInit.
struct Sprite3DState {
  ObjectTable* table;
  IDirect3D7* direct3D;           // from the screen's DirectDraw object, kept for the program's life
  GUID deviceGuid;                // the device type the device is created with
  BOOL sceneOpen;
  BOOL colourKeyEnabled;          // the last value given to D3DRENDERSTATE_COLORKEYENABLE
  int32_t filtering;              // 0 point sampling, anything else bilinear
};

extern Sprite3DState Sprites3D;
