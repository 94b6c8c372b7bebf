// Program parameters from the process command line, and the string functions applied to them.
// String results are written into the string scratch at the given position.
#pragma once
#include <cstddef>
#include <cstdint>

// The 16-byte parameter state block.
struct ParameterState {
  int32_t ParameterCursor;  // next parameter to hand out; 0 is the first after the program's name
  uint8_t unused[12];
};

int InitProgramParameters();   // the parameter state block; the cursor starts at 0
ParameterState* ProgramParameters();   // the block (none before InitProgramParameters)
int32_t ParameterCursor();
// Results are none, with nothing written, only when the scratch cannot grow.
char* NextProgramParameter(size_t position);   // from GetCommandLineA()
char* NextParameterOf(const char* line, size_t position);   // the same on a given command line
char* LeftPart(const char* source, int32_t count, size_t position);
char* ToUpperCase(const char* source, size_t position);
int32_t StringToInteger(const char* text);
int32_t StringLength(const char* text);
