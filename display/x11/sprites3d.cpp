// 3D sprites on the X11 screen: each faded quad joins the quad batch, so a scene of thousands of
// quads from a few textures costs a few draws.
#include "display/x11/sprites3d.h"

#include "display/x11/quads.h"
#include "display/x11/screen.h"
#include "display/x11/sprites.h"

#include "display/sprites3d_table.h"

Sprite3DState Sprites3D;

ObjectTable* Sprite3DTable() { return Sprites3D.table; }

namespace {

const int32_t D3DBlendSourceAlpha = 5;
const int32_t D3DBlendInverseSourceAlpha = 6;

// A key texel is (0, 0, 0, 0) and, filtered to the nearest, reaches the blend as it is: where the
// destination factor is then 1 it leaves the target as a discarded one would. The discard costs
// the rasteriser (3 to 4 % of a scene on llvmpipe), so it is kept for the other factors.
inline bool KeyLeavesDestination(GLenum destinationBlend) {
  return destinationBlend == GL_ONE || destinationBlend == GL_ONE_MINUS_SRC_ALPHA ||
         destinationBlend == GL_ONE_MINUS_SRC_COLOR;
}

}  // namespace

GLenum GLBlendFactor(int32_t d3dBlend, bool source) {
  switch (d3dBlend) {
    case 1: return GL_ZERO;
    case 2: return GL_ONE;
    case 3: return GL_SRC_COLOR;
    case 4: return GL_ONE_MINUS_SRC_COLOR;
    case 5: return GL_SRC_ALPHA;
    case 6: return GL_ONE_MINUS_SRC_ALPHA;
    case 7: return GL_DST_ALPHA;
    case 8: return GL_ONE_MINUS_DST_ALPHA;
    case 9: return GL_DST_COLOR;
    case 10: return GL_ONE_MINUS_DST_COLOR;
    case 11: return source ? GL_SRC_ALPHA_SATURATE : NoBlendFactor;   // a source factor only, in GL as in GL ES
    default: return NoBlendFactor;
  }
}

int32_t Sprite3DLibraryInit() {
  if (!Sprites3D.table) Sprites3D.table = CreateObjectTable(sizeof(Sprite3DRecord), 64, ReleaseSprite3D);
  Sprites3D.sceneOpen = 0;
  Sprites3D.sourceBlend = GL_SRC_ALPHA;
  Sprites3D.destinationBlend = GL_ONE_MINUS_SRC_ALPHA;
  return Sprites3D.table ? 1 : 0;
}

Sprite3DRecord* MakeSprite3D(ObjectNumber number, ObjectNumber spriteNumber) {
  const SpriteRecord* sprite = LookupSprite(spriteNumber);
  Sprite3DRecord* record = static_cast<Sprite3DRecord*>(AllocateSprite3D(
      number, sprite && sprite->depth != MemorySpriteDepth && (sprite->flags & SpriteTexture)));
  if (!record) return nullptr;
  record->spriteSerial = sprite->serial;
  record->width = sprite->width;
  record->height = sprite->height;
  record->flags = sprite->flags;
  record->sprite = spriteNumber;
  return record;
}

void CloseSprite3DLibrary() {
  ReleaseAllSprites3D();
  if (Sprites3D.sceneOpen) EndSprite3DScene();
}

int32_t BeginSprite3DScene() {
  if (!ScreenIsActive()) return 0;
  Sprites3D.sourceBlend = GLBlendFactor(D3DBlendSourceAlpha, true);
  Sprites3D.destinationBlend = GLBlendFactor(D3DBlendInverseSourceAlpha, false);
  Sprites3D.sceneOpen = 1;
  return 1;
}

void EndSprite3DScene() {
  if (!Sprites3D.sceneOpen) return;
  if (GLScreen.context) FlushQuads();
  Sprites3D.sceneOpen = 0;
}

void SetSprite3DFiltering(int32_t mode) { Sprites3D.filtering = mode; }

void SetSprite3DBlendFactors(int32_t source, int32_t destination) {
  // A value Direct3D would refuse leaves that factor as it was.
  const GLenum sourceFactor = GLBlendFactor(source, true), destinationFactor = GLBlendFactor(destination, false);
  if (sourceFactor != NoBlendFactor) Sprites3D.sourceBlend = sourceFactor;
  if (destinationFactor != NoBlendFactor) Sprites3D.destinationBlend = destinationFactor;
}

void DrawSprite3DFaded(int32_t number, int32_t x, int32_t y, int32_t alpha) {
  DrawSprite3DFadedObject(number, x, y, alpha);
}

void DrawSprite3DFadedObject(ObjectNumber number, int32_t x, int32_t y, int32_t alpha) {
  if (!Sprites3D.sceneOpen || !Sprites3D.table) return;
  const Sprite3DRecord* record = static_cast<const Sprite3DRecord*>(LookupObject(Sprites3D.table, number));
  if (!record) return;
  SpriteRecord* sprite = LookupSprite(record->sprite);
  if (!sprite || sprite->serial != record->spriteSerial) return;
  const GLuint texture = TextureOfSprite(sprite);
  if (!texture) return;
  const bool linear = Sprites3D.filtering != 0;
  const bool keyed = !(record->flags & SpriteAlpha) && (linear || !KeyLeavesDestination(Sprites3D.destinationBlend));
  const QuadState state = {keyed ? KeyedProgram : SpriteProgram, texture, 1, Sprites3D.sourceBlend,
                           Sprites3D.destinationBlend, linear};
  QueueQuad(state, x, y, record->width, record->height, static_cast<uint8_t>(alpha & 0xFF));
}
