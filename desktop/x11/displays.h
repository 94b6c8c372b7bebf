// The X screens as the desktop's displays: ExamineDisplays reads them from the connection the
// program opened (the window library owns it, and comes later in the layers, so it is handed in).
#pragma once
#include <X11/Xlib.h>

// The connection to examine; none: no displays.
void UseDesktopConnection(Display* display);
