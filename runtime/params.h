// Program parameters from the process command line, and the string functions applied to them.
// String results are written into the string scratch at the given position.
#pragma once
#include <cstddef>
#include <cstdint>

void InitProgramParameters();   // the parameter state block; the cursor starts at 0
int32_t ParameterCursor();
char* NextProgramParameter(size_t position);
char* LeftPart(const char* source, int32_t count, size_t position);
char* ToUpperCase(const char* source, size_t position);
int32_t StringToInteger(const char* text);
int32_t StringLength(const char* text);
