// The X11 3D sprite records and the scene state: quads of the sprites' textures through the quad
// batch (display/x11/quads.h).
#pragma once
#include <GL/gl.h>

#include <cstdint>

#include "display/sprites3d.h"
#include "runtime/memory.h"

struct Sprite3DRecord {
  uint32_t spriteSerial;   // of the source sprite when made; non-zero marks the record live
  int16_t width;
  int16_t height;
  uint16_t flags;          // the source sprite's creation flags
  ObjectNumber sprite;     // the source sprite: a quad whose sprite is gone or replaced is not drawn
};

struct Sprite3DState {
  ObjectTable* table;
  int32_t sceneOpen;
  int32_t filtering;          // 0 nearest, anything else linear
  GLenum sourceBlend;         // GL factors, from the D3DBLEND values
  GLenum destinationBlend;
};

extern Sprite3DState Sprites3D;

// What GLBlendFactor gives for a value with no factor on that side (GL_ZERO is 0).
const GLenum NoBlendFactor = GL_INVALID_ENUM;
// The GL factor of a D3DBLEND value for that side, or NoBlendFactor.
GLenum GLBlendFactor(int32_t d3dBlend, bool source);
