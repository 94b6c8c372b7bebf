#include "display/x11/gl.h"

#include <GL/glx.h>

#include <cstring>

GLCalls Gl;

namespace {

const char* missing = "";

// Function pointers of one kind are copied bytewise into fields of another.
template <class Field> int32_t Fetch(const char* name, Field* field) {
  void (*address)() = glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name));
  static_assert(sizeof(address) == sizeof(*field), "function pointer sizes");
  std::memcpy(field, &address, sizeof address);
  if (!address && !*missing) missing = name;
  return address ? 1 : 0;
}

}  // namespace

int32_t LoadGLCalls() {
  missing = "";
  int32_t all = 1;
#define VORLUNE_GL_FETCH(name, result, parameters) all = Fetch("gl" #name, &Gl.name) & all;
  VORLUNE_GL_CALLS(VORLUNE_GL_FETCH)
#undef VORLUNE_GL_FETCH
  if (!all) std::memset(&Gl, 0, sizeof Gl);
  return all;
}

const char* MissingGLCall() { return missing; }
