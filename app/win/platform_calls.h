// The app's replaceable calls (runtime/win/platform_calls.h): how the process ends, and the exit
// path the preview's close request takes, which tests that must live on replace.
#pragma once
#include "runtime/win/platform_calls.h"

struct AppCalls {
  void (*exitProgram)();                   // ExitProgram
  void(WINAPI* exitProcess)(UINT code);    // must not return
};
extern AppCalls AppPlatform;
