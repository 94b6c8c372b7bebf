// Textured quads in frame pixels, batched: the screen, the sprites, the 3D sprites and the software
// frame all draw through here. Quads that share a state collect in a client array and reach GL in
// one buffer upload and one draw when the state changes, the array is full, or someone flushes.
#pragma once
#include <GL/gl.h>

#include <cstddef>
#include <cstdint>

// The sprite program: texel colour, texel alpha x vertex alpha. The keyed program: texels of
// alpha 0 (the colour key) discarded, the vertex alpha alone. The frame program shows the software
// frame's 0x00RRGGBB words, uploaded as they lie in memory, opaque.
enum QuadProgram : int32_t { SpriteProgram, KeyedProgram, FrameProgram, QuadProgramCount };

struct QuadState {
  int32_t program;
  GLuint texture;
  int32_t blending;          // 0: the quads replace what is under them
  GLenum sourceBlend, destinationBlend;
  int32_t linear;            // texture filtering: 0 nearest, 1 linear
};

struct QuadVertex {
  float x, y;                // frame pixels, y down
  uint8_t u, v, alpha, unused;
};

// Largest batch: its vertices must stay within 16-bit indices.
const int32_t QuadBatchCapacity = 8192;

struct QuadBatch {
  GLuint programs[QuadProgramCount];
  GLuint vertexBuffer, indexBuffer;
  QuadVertex* vertices;      // QuadBatchCapacity x 4, from MainHeap
  int32_t count;             // quads waiting
  QuadState pending;         // their state
  int32_t boundProgram;      // -1: unknown
  uint32_t draws;            // draw calls made, for the tests and benchmarks
};

extern QuadBatch Quads;

// Needs the screen's context current and Gl loaded; on failure describes it in error (size bytes).
int32_t CreateQuadBatch(int32_t frameWidth, int32_t frameHeight, char* error, size_t size);
// Frees every GL object and the vertex array (the context must still be current).
void DestroyQuadBatch();

// Draws the waiting quads. Anything else that draws or changes a texture a waiting quad shows
// flushes first.
void FlushQuads();

inline bool SameQuadState(const QuadState& a, const QuadState& b) {
  return a.texture == b.texture && a.program == b.program && a.blending == b.blending &&
         a.sourceBlend == b.sourceBlend && a.destinationBlend == b.destinationBlend && a.linear == b.linear;
}

// Adds a width x height quad with its top-left corner at (x, y) showing the whole texture; inline:
// the saver queues thousands a frame.
inline void QueueQuad(const QuadState& state, int32_t x, int32_t y, int32_t width, int32_t height,
                      uint8_t alpha) {
  if (!Quads.vertices) return;
  if (Quads.count == QuadBatchCapacity || (Quads.count && !SameQuadState(state, Quads.pending)))
    FlushQuads();
  Quads.pending = state;
  // In float: int32 sums could overflow, and far-off corners need no precision.
  const float left = static_cast<float>(x), top = static_cast<float>(y);
  const float right = left + static_cast<float>(width), bottom = top + static_cast<float>(height);
  QuadVertex* v = Quads.vertices + 4 * Quads.count++;
  v[0] = {left, top, 0, 0, alpha, 0};
  v[1] = {right, top, 255, 0, alpha, 0};
  v[2] = {left, bottom, 0, 255, alpha, 0};
  v[3] = {right, bottom, 255, 255, alpha, 0};
}
