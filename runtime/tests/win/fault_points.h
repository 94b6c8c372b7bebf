// Fault injection for the recording fakes: every call of theirs that can fail counts itself, and
// the one a test chose (the failAt-th since the count began) fails. failAt 0: none fails.
#pragma once
#include <string>

struct FaultPoints {
  long calls = 0;
  long failAt = 0;
  std::string failed;   // the call that was made to fail
  const char* phase = "";        // what the program is doing, as the test names it
  const char* failedPhase = "";
  std::string names;             // every call, one per line, when recording
  bool recording = false;
};

inline FaultPoints& Faults() {
  static FaultPoints points;
  return points;
}

inline bool FailHere(const char* call) {
  FaultPoints& f = Faults();
  if (f.recording) f.names.append(f.phase).append(" ").append(call).append("\n");
  if (++f.calls != f.failAt) return false;
  f.failed = call;
  f.failedPhase = f.phase;
  return true;
}

// At the top of a fake's method: fails it with the generic error when chosen.
#define FAULT_POINT(call) \
  do {                    \
    if (FailHere(call)) return E_FAIL; \
  } while (0)
// The same for a method that hands out an object: a failed call hands out none.
#define FAULT_POINT_OUT(call, out) \
  do {                             \
    if (FailHere(call)) {          \
      if (out) *(out) = nullptr;   \
      return E_FAIL;               \
    }                              \
  } while (0)
