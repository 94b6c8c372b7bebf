#include "runtime/params.h"

#include <cstring>

#include "runtime/memory.h"
#include "runtime/platform.h"

namespace {

ParameterState* parameters = nullptr;

// Writes length bytes of source (which may lie in the scratch, even at the position itself) at
// position and terminates them. None, with nothing written, when the scratch cannot grow.
char* WriteResult(const char* source, size_t length, size_t position) {
  size_t offset = ScratchOffsetOf(source);
  char* result = ScratchReserve(length, position);
  if (!result) return nullptr;
  if (offset) source = ScratchPointerAt(offset);
  if (length) std::memmove(result, source, length);
  result[length] = 0;
  return result;
}

// Finds parameter number cursor of the line (-1 is the program's name). Returns 1 with the
// token when it exists (possibly empty), 0 when the line has no such parameter.
int FindParameter(const char* line, int32_t cursor, const char** token, size_t* length) {
  int32_t t = -1;
  const char* s = line;
  while (*s) {
    if (*s == ' ')
      while (*s == ' ') ++s;
    const char* start = nullptr;
    const char* stop = nullptr;
    if (*s == '"') {
      start = ++s;
      while (*s && *s != '"') ++s;
      stop = s;
      if (*s == '"') ++s;
    } else if (*s) {
      start = s;
      while (*s && *s != ' ') ++s;
      stop = s;
      if (*s == ' ') ++s;
    }
    if (t == cursor) {
      if (!start) return 0;
      *token = start;
      *length = static_cast<size_t>(stop - start);
      return 1;
    }
    if (start) ++t;
  }
  return 0;
}

}  // namespace

int InitProgramParameters() {
  if (!parameters) parameters = static_cast<ParameterState*>(AllocateLibraryState(sizeof(ParameterState), nullptr));
  return parameters != nullptr;
}

ParameterState* ProgramParameters() { return parameters; }

int32_t ParameterCursor() { return parameters ? parameters->ParameterCursor : 0; }

char* NextParameterOf(const char* line, size_t position) {
  // Without its state block the splitter still answers, always with the first parameter.
  int32_t cursor = ParameterCursor();
  const char* token = "";
  size_t length = 0;
  int found = line && FindParameter(line, cursor, &token, &length);
  char* result = WriteResult(token, length, position);
  if (result && found && parameters && cursor < INT32_MAX) parameters->ParameterCursor = cursor + 1;
  return result;
}

char* NextProgramParameter(size_t position) { return NextParameterOf(GetCommandLineA(), position); }

int32_t StringLength(const char* text) {
  if (!text) return 0;
  size_t length = std::strlen(text);
  return length < static_cast<size_t>(INT32_MAX) ? static_cast<int32_t>(length) : INT32_MAX;
}

char* LeftPart(const char* source, int32_t count, size_t position) {
  int32_t length = StringLength(source);
  if (count < 0) count = 0;
  if (count < length) length = count;
  return WriteResult(length ? source : "", static_cast<size_t>(length), position);
}

char* ToUpperCase(const char* source, size_t position) {
  if (!source) source = "";
  size_t length = static_cast<size_t>(StringLength(source));
  char* result = WriteResult(source, length, position);
  if (!result) return nullptr;
  for (size_t i = 0; i < length; ++i) {
    unsigned k = static_cast<unsigned char>(result[i]);
    if (k >= 224 || (k >= 'a' && k <= 'z')) result[i] = static_cast<char>(k - 32);
  }
  return result;
}

int32_t StringToInteger(const char* text) {
  if (!text) return 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  while (*s == ' ' || *s == '\t') ++s;
  bool negative = false;
  if (*s == '-') {
    negative = true;
    ++s;
  } else if (*s == '+') {
    ++s;
  }
  uint32_t base = 10;
  if (*s == '$') {
    base = 16;
    ++s;
  } else if (*s == '%') {
    base = 2;
    ++s;
  }
  uint32_t value = 0;
  for (;; ++s) {
    uint32_t digit;
    if (*s >= '0' && *s <= '9') digit = *s - '0';
    else if (*s >= 'A' && *s <= 'F') digit = *s - 'A' + 10;
    else if (*s >= 'a' && *s <= 'f') digit = *s - 'a' + 10;
    else break;
    if (digit >= base) break;
    value = value * base + digit;
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}
