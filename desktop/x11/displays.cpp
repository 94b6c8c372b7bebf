#include "desktop/x11/displays.h"

#include <cstdio>
#include <cstring>

#include "desktop/desktop.h"

namespace {
Display* connection = nullptr;
}

void UseDesktopConnection(Display* display) { connection = display; }

int32_t ExamineDisplays() {
  if (!connection) {
    ReplaceDesktopRecords(nullptr, 0);
    return 0;
  }
  // The default screen first, as Windows lists the primary display first.
  const int count = ScreenCount(connection), first = DefaultScreen(connection);
  DesktopRecord records[16] = {};
  int32_t n = 0;
  for (int i = 0; i < count && n < 16; ++i) {
    const int screen = (first + i) % count;
    DesktopRecord& r = records[n++];
    r.width = static_cast<int16_t>(XDisplayWidth(connection, screen));
    r.height = static_cast<int16_t>(XDisplayHeight(connection, screen));
    r.depth = static_cast<int16_t>(DefaultDepth(connection, screen));
    r.frequency = 0;   // the hardware default: X reports no rate without RandR
    std::snprintf(r.name, sizeof r.name, "%s.%d", DisplayString(connection), screen);
  }
  return ReplaceDesktopRecords(records, n) ? n : 0;
}

void CloseDisplayLibrary() {}
