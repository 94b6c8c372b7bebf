// The OpenGL entry points the X11 screen uses: only what OpenGL 2.1 and OpenGL ES 2.0 share,
// every one fetched through glXGetProcAddressARB, so nothing depends on what libGL exports.
#pragma once
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>

// name, result, parameters; the table's fields drop the "gl" prefix.
#define VORLUNE_GL_CALLS(X)                                                                          \
  X(GetError, GLenum, (void))                                                                      \
  X(GetString, const GLubyte*, (GLenum name))                                                      \
  X(GetIntegerv, void, (GLenum name, GLint* values))                                               \
  X(Viewport, void, (GLint x, GLint y, GLsizei width, GLsizei height))                             \
  X(ClearColor, void, (GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha))               \
  X(Clear, void, (GLbitfield mask))                                                                \
  X(ColorMask, void, (GLboolean red, GLboolean green, GLboolean blue, GLboolean alpha))            \
  X(Enable, void, (GLenum capability))                                                             \
  X(Disable, void, (GLenum capability))                                                            \
  X(BlendFunc, void, (GLenum source, GLenum destination))                                          \
  X(PixelStorei, void, (GLenum name, GLint value))                                                 \
  X(ReadPixels, void, (GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, \
                       void* pixels))                                                              \
  X(Flush, void, (void))                                                                           \
  X(GenTextures, void, (GLsizei count, GLuint* names))                                             \
  X(DeleteTextures, void, (GLsizei count, const GLuint* names))                                    \
  X(BindTexture, void, (GLenum target, GLuint name))                                               \
  X(ActiveTexture, void, (GLenum unit))                                                            \
  X(TexParameteri, void, (GLenum target, GLenum name, GLint value))                                \
  X(TexImage2D, void, (GLenum target, GLint level, GLint internalFormat, GLsizei width,            \
                       GLsizei height, GLint border, GLenum format, GLenum type, const void* pixels)) \
  X(TexSubImage2D, void, (GLenum target, GLint level, GLint x, GLint y, GLsizei width,             \
                          GLsizei height, GLenum format, GLenum type, const void* pixels))         \
  X(GenBuffers, void, (GLsizei count, GLuint* names))                                              \
  X(DeleteBuffers, void, (GLsizei count, const GLuint* names))                                     \
  X(BindBuffer, void, (GLenum target, GLuint name))                                                \
  X(BufferData, void, (GLenum target, GLsizeiptr size, const void* data, GLenum usage))            \
  X(DrawElements, void, (GLenum mode, GLsizei count, GLenum type, const void* indices))            \
  X(CreateShader, GLuint, (GLenum type))                                                           \
  X(ShaderSource, void, (GLuint shader, GLsizei count, const GLchar* const* text, const GLint* lengths)) \
  X(CompileShader, void, (GLuint shader))                                                          \
  X(GetShaderiv, void, (GLuint shader, GLenum name, GLint* value))                                 \
  X(GetShaderInfoLog, void, (GLuint shader, GLsizei size, GLsizei* length, GLchar* log))           \
  X(DeleteShader, void, (GLuint shader))                                                           \
  X(CreateProgram, GLuint, (void))                                                                 \
  X(AttachShader, void, (GLuint program, GLuint shader))                                           \
  X(BindAttribLocation, void, (GLuint program, GLuint index, const GLchar* name))                  \
  X(LinkProgram, void, (GLuint program))                                                           \
  X(GetProgramiv, void, (GLuint program, GLenum name, GLint* value))                               \
  X(GetProgramInfoLog, void, (GLuint program, GLsizei size, GLsizei* length, GLchar* log))         \
  X(DeleteProgram, void, (GLuint program))                                                         \
  X(UseProgram, void, (GLuint program))                                                            \
  X(GetUniformLocation, GLint, (GLuint program, const GLchar* name))                               \
  X(Uniform1i, void, (GLint location, GLint value))                                                \
  X(Uniform1f, void, (GLint location, GLfloat value))                                              \
  X(Uniform2f, void, (GLint location, GLfloat x, GLfloat y))                                       \
  X(EnableVertexAttribArray, void, (GLuint index))                                                 \
  X(VertexAttribPointer, void, (GLuint index, GLint size, GLenum type, GLboolean normalized,       \
                                GLsizei stride, const void* pointer))

#define VORLUNE_GL_FIELD(name, result, parameters) result(GLAPIENTRY* name) parameters;
struct GLCalls {
  VORLUNE_GL_CALLS(VORLUNE_GL_FIELD)
};
#undef VORLUNE_GL_FIELD

extern GLCalls Gl;

// Fills Gl; 0 (with the table cleared) when any entry point is missing. Needs no current context,
// but the addresses are only usable with one.
int32_t LoadGLCalls();
// The name of the first entry point the last LoadGLCalls missed, or "".
const char* MissingGLCall();
