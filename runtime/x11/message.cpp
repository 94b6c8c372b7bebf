#include "runtime/message.h"

#include <cstdio>

int ShowPlainMessage(const char* caption, const char* message) {
  std::fprintf(stderr, "vorlune: %s: %s\n", caption ? caption : "", message ? message : "");
  return 1;   // the box's OK
}
