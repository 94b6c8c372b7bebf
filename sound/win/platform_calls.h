// The sound library's platform calls, replaceable by tests (runtime/win/platform_calls.h).
#pragma once
#include "runtime/win/platform_calls.h"

struct SoundCalls {
  LibraryCalls library;   // DSOUND.DLL and its creator
};
extern SoundCalls SoundPlatform;
