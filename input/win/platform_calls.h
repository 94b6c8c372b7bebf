// The input library's platform calls, replaceable by tests (runtime/win/platform_calls.h).
#pragma once
#include "runtime/win/platform_calls.h"

struct InputCalls {
  LibraryCalls library;   // DINPUT.DLL and its creator
};
extern InputCalls InputPlatform;
