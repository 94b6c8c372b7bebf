#include "display/x11/quads.h"

#include <cstdio>
#include <cstring>

#include "display/x11/gl.h"
#include "runtime/memory.h"

QuadBatch Quads;

namespace {

const GLuint PositionAttribute = 0;
const GLuint CornerAttribute = 1;

// GLSL both OpenGL 2.1 and OpenGL ES 2.0 take: no #version line, precision only under ES.
// Every fragment program starts the same way.
#define FRAGMENT_HEAD \
  "#ifdef GL_ES\n"   \
  "precision mediump float;\n" \
  "#endif\n"         \
  "uniform sampler2D picture;\n" \
  "varying vec2 texel;\n"
const char* const VertexSource =
    "attribute vec2 position;\n"
    "attribute vec3 corner;\n"
    "uniform vec2 scale;\n"
    "varying vec2 texel;\n"
    "varying float shade;\n"
    "void main() {\n"
    "  texel = corner.xy;\n"
    "  shade = corner.z;\n"
    "  gl_Position = vec4(position.x * scale.x - 1.0, 1.0 - position.y * scale.y, 0.0, 1.0);\n"
    "}\n";

const char* const SpriteFragmentSource =
    FRAGMENT_HEAD
    "varying float shade;\n"
    "void main() {\n"
    "  vec4 c = texture2D(picture, texel);\n"
    "  gl_FragColor = vec4(c.rgb, c.a * shade);\n"
    "}\n";

const char* const KeyedFragmentSource =
    FRAGMENT_HEAD
    "varying float shade;\n"
    "void main() {\n"
    "  vec4 c = texture2D(picture, texel);\n"
    "  if (c.a < 0.5) discard;\n"
    "  gl_FragColor = vec4(c.rgb, shade);\n"
    "}\n";

// The words' bytes are blue, green, red, 0: read back in that order, and opaque.
const char* const FrameFragmentSource =
    FRAGMENT_HEAD
    "void main() {\n"
    "  gl_FragColor = vec4(texture2D(picture, texel).bgr, 1.0);\n"
    "}\n";

void Describe(char* error, size_t size, const char* what, const char* log) {
  // The first line of the compiler's log is enough to tell what failed.
  size_t length = 0;
  while (log[length] && log[length] != '\n' && length < 120) ++length;
  std::snprintf(error, size, "%s%s%.*s", what, length ? ": " : "", static_cast<int>(length), log);
}

// 1 when a shader or program object's status is set; else 0, and its log's first line is the error.
int32_t Succeeded(GLuint object, GLenum status, decltype(Gl.GetShaderiv) query, decltype(Gl.GetShaderInfoLog) readLog,
               const char* what, char* error, size_t size) {
  GLint done = 0;
  query(object, status, &done);
  if (done) return 1;
  char log[256] = {};
  readLog(object, sizeof log - 1, nullptr, log);
  Describe(error, size, what, log);
  return 0;
}

GLuint Compile(GLenum type, const char* source, char* error, size_t size) {
  const GLuint shader = Gl.CreateShader(type);
  if (!shader) {
    Describe(error, size, "OpenGL made no shader", "");
    return 0;
  }
  Gl.ShaderSource(shader, 1, &source, nullptr);
  Gl.CompileShader(shader);
  if (!Succeeded(shader, GL_COMPILE_STATUS, Gl.GetShaderiv, Gl.GetShaderInfoLog, "a shader did not compile", error,
                 size)) {
    Gl.DeleteShader(shader);
    return 0;
  }
  return shader;
}

GLuint Link(const char* fragmentSource, char* error, size_t size) {
  const GLuint vertex = Compile(GL_VERTEX_SHADER, VertexSource, error, size);
  if (!vertex) return 0;
  const GLuint fragment = Compile(GL_FRAGMENT_SHADER, fragmentSource, error, size);
  if (!fragment) {
    Gl.DeleteShader(vertex);
    return 0;
  }
  GLuint program = Gl.CreateProgram();
  if (program) {
    Gl.AttachShader(program, vertex);
    Gl.AttachShader(program, fragment);
    Gl.BindAttribLocation(program, PositionAttribute, "position");
    Gl.BindAttribLocation(program, CornerAttribute, "corner");
    Gl.LinkProgram(program);
    if (!Succeeded(program, GL_LINK_STATUS, Gl.GetProgramiv, Gl.GetProgramInfoLog, "the shaders did not link", error,
                   size)) {
      Gl.DeleteProgram(program);
      program = 0;
    }
  } else {
    Describe(error, size, "OpenGL made no shader program", "");
  }
  // The program keeps what it needs; the shaders go with it.
  Gl.DeleteShader(vertex);
  Gl.DeleteShader(fragment);
  return program;
}

}  // namespace

int32_t CreateQuadBatch(int32_t frameWidth, int32_t frameHeight, char* error, size_t size) {
  DestroyQuadBatch();
  const char* const sources[QuadProgramCount] = {SpriteFragmentSource, KeyedFragmentSource, FrameFragmentSource};
  for (int32_t program = 0; program < QuadProgramCount; ++program) {
    Quads.programs[program] = Link(sources[program], error, size);
    if (!Quads.programs[program]) {
      DestroyQuadBatch();
      return 0;
    }
  }
  for (GLuint program : Quads.programs) {
    Gl.UseProgram(program);
    Gl.Uniform1i(Gl.GetUniformLocation(program, "picture"), 0);
    Gl.Uniform2f(Gl.GetUniformLocation(program, "scale"), 2.0f / static_cast<float>(frameWidth),
                 2.0f / static_cast<float>(frameHeight));
  }
  Quads.boundProgram = -1;

  const size_t vertexBytes = sizeof(QuadVertex) * 4 * QuadBatchCapacity;
  const size_t indexBytes = sizeof(uint16_t) * 6 * QuadBatchCapacity;
  Quads.vertices = static_cast<QuadVertex*>(HeapAlloc(MainHeap, 0, vertexBytes));
  uint16_t* indices = static_cast<uint16_t*>(HeapAlloc(MainHeap, 0, indexBytes));
  if (!Quads.vertices || !indices) {
    if (indices) HeapFree(MainHeap, 0, indices);
    std::snprintf(error, size, "no memory for the vertex batch");
    DestroyQuadBatch();
    return 0;
  }
  // Two triangles a quad over its corners in the order QueueQuad writes them.
  for (int32_t quad = 0; quad < QuadBatchCapacity; ++quad) {
    const uint16_t first = static_cast<uint16_t>(4 * quad);
    const uint16_t corners[6] = {first, static_cast<uint16_t>(first + 1), static_cast<uint16_t>(first + 2),
                                 static_cast<uint16_t>(first + 2), static_cast<uint16_t>(first + 1),
                                 static_cast<uint16_t>(first + 3)};
    std::memcpy(indices + 6 * quad, corners, sizeof corners);
  }
  GLuint buffers[2] = {};
  Gl.GenBuffers(2, buffers);
  Quads.vertexBuffer = buffers[0];
  Quads.indexBuffer = buffers[1];
  Gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, Quads.indexBuffer);
  Gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexBytes), indices, GL_STATIC_DRAW);
  HeapFree(MainHeap, 0, indices);
  Gl.BindBuffer(GL_ARRAY_BUFFER, Quads.vertexBuffer);
  Gl.VertexAttribPointer(PositionAttribute, 2, GL_FLOAT, GL_FALSE, sizeof(QuadVertex),
                         reinterpret_cast<const void*>(offsetof(QuadVertex, x)));
  Gl.VertexAttribPointer(CornerAttribute, 3, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(QuadVertex),
                         reinterpret_cast<const void*>(offsetof(QuadVertex, u)));
  Gl.EnableVertexAttribArray(PositionAttribute);
  Gl.EnableVertexAttribArray(CornerAttribute);
  Gl.ActiveTexture(GL_TEXTURE0);
  if (Gl.GetError() == GL_OUT_OF_MEMORY) {
    std::snprintf(error, size, "OpenGL has no memory for the vertex batch");
    DestroyQuadBatch();
    return 0;
  }
  return 1;
}

void DestroyQuadBatch() {
  for (GLuint& program : Quads.programs)
    if (program) Gl.DeleteProgram(program);
  const GLuint buffers[2] = {Quads.vertexBuffer, Quads.indexBuffer};
  if (buffers[0] || buffers[1]) Gl.DeleteBuffers(2, buffers);
  if (Quads.vertices) HeapFree(MainHeap, 0, Quads.vertices);
  std::memset(&Quads, 0, sizeof Quads);
}

void FlushQuads() {
  if (Quads.count == 0) return;
  const QuadState& state = Quads.pending;
  if (Quads.boundProgram != state.program) {
    Gl.UseProgram(Quads.programs[state.program]);
    Quads.boundProgram = state.program;
  }
  // The filter is the texture's own state: set on every batch, as the same texture may be drawn
  // either way.
  Gl.BindTexture(GL_TEXTURE_2D, state.texture);
  const GLint filter = state.linear ? GL_LINEAR : GL_NEAREST;
  Gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  Gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  if (state.blending) {
    Gl.Enable(GL_BLEND);
    Gl.BlendFunc(state.sourceBlend, state.destinationBlend);
  } else {
    Gl.Disable(GL_BLEND);
  }
  // Destination alpha stays 1 (cleared so, and written only by the opaque frame): blend factors
  // that read it behave as on a back buffer without alpha, and a composited window stays opaque.
  Gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, state.program == FrameProgram ? GL_TRUE : GL_FALSE);
  Gl.BindBuffer(GL_ARRAY_BUFFER, Quads.vertexBuffer);
  Gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, Quads.indexBuffer);
  Gl.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(QuadVertex) * 4 * Quads.count), Quads.vertices,
                GL_STREAM_DRAW);
  Gl.DrawElements(GL_TRIANGLES, 6 * Quads.count, GL_UNSIGNED_SHORT, nullptr);
  ++Quads.draws;
  Quads.count = 0;
}
