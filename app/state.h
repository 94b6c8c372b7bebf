// The application's global fields, zeroed first thing at start-up.
#pragma once
#include <cstdint>

#include "runtime/lists.h"
#include "runtime/memory.h"

struct ApplicationState {
  HANDLE mainHeap;
  void* instance;  // module handle
  int32_t CentreX, CentreY;
  int32_t EmitterCount;
  int32_t PatternRadius;
  int32_t FadeLength;
  StringVariable ModeSwitch;
  StringVariable ModeArgument;
  void* HostWindow;  // window handle
  int32_t hostLeft, hostTop, hostRight, hostBottom;
  int32_t loopCounter;
  int32_t NextPatternTime;
  int32_t SpriteCycle;
  uint8_t StarsVisible;
  uint8_t QuitRequested;
  int32_t* FadeTable;  // element 0 of a 1001-element array (1002 entries)
  ListVariable TrailPoints;  // TrailPoint records
  ListVariable Emitters;     // Emitter records
  ListVariable Stars;
};

extern ApplicationState App;

// The saver's lists, the fade table's array and its constants (dots shown, fade length 100,
// 20 emitters), made at start-up once the runtime libraries are up.
void CreateSaverState();
