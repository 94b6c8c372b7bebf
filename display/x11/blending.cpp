// The software frame on the X11 screen: 0x00RRGGBB words in memory that ClearOutput, BlitSprite
// and BlendSprite write, shown at the frame's end as one opaque quad of a texture kept for it.
#include <cstring>

#include "display/blend.h"
#include "display/blending.h"
#include "display/x11/gl.h"
#include "display/x11/quads.h"
#include "display/x11/screen.h"
#include "display/x11/sprites.h"

namespace {

// Filled by glTexSubImage2D every frame; made afresh only when the frame's size changed.
GLuint ScratchTexture() {
  if (GLScreen.scratchTexture && GLScreen.scratchTextureWidth == GLScreen.scratchWidth &&
      GLScreen.scratchTextureHeight == GLScreen.scratchHeight)
    return GLScreen.scratchTexture;
  if (GLScreen.scratchWidth > GLScreen.maxTextureSize || GLScreen.scratchHeight > GLScreen.maxTextureSize) return 0;
  if (!GLScreen.scratchTexture) Gl.GenTextures(1, &GLScreen.scratchTexture);
  Gl.BindTexture(GL_TEXTURE_2D, GLScreen.scratchTexture);
  Gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  Gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  Gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, GLScreen.scratchWidth, GLScreen.scratchHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                nullptr);
  if (Gl.GetError() == GL_OUT_OF_MEMORY) {
    Gl.DeleteTextures(1, &GLScreen.scratchTexture);
    GLScreen.scratchTexture = 0;
    return 0;
  }
  GLScreen.scratchTextureWidth = GLScreen.scratchWidth;
  GLScreen.scratchTextureHeight = GLScreen.scratchHeight;
  return GLScreen.scratchTexture;
}

}  // namespace

// Nothing is ever locked: the frame lies in ordinary memory.
void ReleaseBlendLocks() {}

int32_t EnsureScratchSurface() {
  if (GLScreen.scratch && GLScreen.scratchWidth == GLScreen.frameWidth && GLScreen.scratchHeight == GLScreen.frameHeight)
    return 1;
  if (GLScreen.scratch) HeapFree(MainHeap, 0, GLScreen.scratch);
  GLScreen.scratch = nullptr;
  GLScreen.softwareFrame = 0;
  GLScreen.scratchWidth = GLScreen.frameWidth;
  GLScreen.scratchHeight = GLScreen.frameHeight;
  if (GLScreen.scratchWidth <= 0 || GLScreen.scratchHeight <= 0) return 0;
  const size_t bytes = 4 * static_cast<size_t>(GLScreen.scratchWidth) * static_cast<size_t>(GLScreen.scratchHeight);
  GLScreen.scratch = static_cast<uint32_t*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, bytes));
  return GLScreen.scratch ? 1 : 0;
}

int32_t BeginSoftwareFrame() {
  GLScreen.softwareFrame = EnsureScratchSurface();
  return GLScreen.softwareFrame;
}

void EndSoftwareFrame() {
  if (!GLScreen.softwareFrame) return;
  GLScreen.softwareFrame = 0;
  if (!ScreenIsActive() || !GLScreen.scratch || !ConfirmWindow()) return;
  // The scratch texture may be waiting in the batch from an earlier frame's end.
  FlushQuads();
  const GLuint texture = ScratchTexture();
  if (!texture) return;
  Gl.BindTexture(GL_TEXTURE_2D, texture);
  Gl.PixelStorei(GL_UNPACK_ALIGNMENT, 4);
  Gl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GLScreen.scratchWidth, GLScreen.scratchHeight, GL_RGBA, GL_UNSIGNED_BYTE,
                   GLScreen.scratch);
  const QuadState state = {FrameProgram, texture, 0, GL_ONE, GL_ZERO, 0};
  QueueQuad(state, 0, 0, GLScreen.scratchWidth, GLScreen.scratchHeight, 255);
}

void BlendSprite(ObjectNumber number, int32_t x, int32_t y, int32_t intensity) {
  SpriteRecord* sprite = LookupSprite(number);
  if (!sprite || sprite->depth == MemorySpriteDepth) return;
  const BlendMode mode = BlendModeFor(intensity);
  if (GLScreen.softwareFrame && GLScreen.scratch) {
    BlendArea area;
    if (!ClipBlendArea(x, y, sprite->width, sprite->height, GLScreen.scratchWidth, GLScreen.scratchHeight, &area))
      return;
    const int32_t spritePitch = 4 * sprite->width, targetPitch = 4 * GLScreen.scratchWidth;
    uint8_t* target = reinterpret_cast<uint8_t*>(GLScreen.scratch) + static_cast<size_t>(area.y) * targetPitch +
                      4 * static_cast<size_t>(area.x);
    const BlendRows rows = {sprite->pixels + static_cast<size_t>(area.skipY) * spritePitch + 4 * static_cast<size_t>(area.skipX),
                            spritePitch, target, targetPitch, target, targetPitch, area.width, area.height};
    BlendRows32(rows, mode);
    return;
  }
  // On the back buffer the mix is GL's: the sprite's texels at the intensity's weight, the key's
  // (alpha 0) leaving the target as it is. Only keyed sprites: an alpha sprite's texture keeps no
  // mark of its black pixels.
  if (!ScreenIsActive() || (sprite->flags & SpriteAlpha)) return;
  const GLuint texture = TextureOfSprite(sprite);
  if (!texture) return;
  const QuadState state = {SpriteProgram, texture, 1, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 0};
  QueueQuad(state, x, y, sprite->width, sprite->height, static_cast<uint8_t>(mode.halfMix ? 128 : mode.intensity));
}
