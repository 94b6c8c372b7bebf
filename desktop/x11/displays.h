// The X screens as the desktop's displays: ExamineDisplays reads them from the connection the
// program opened (the window library owns it, and comes later in the layers, so it is handed in).
#pragma once
#include <X11/Xlib.h>
// Xlib's DisplayWidth and DisplayHeight macros would rewrite the desktop's routines of the same
// names (desktop/desktop.h); XDisplayWidth and XDisplayHeight are the same as functions.
#undef DisplayWidth
#undef DisplayHeight
#undef AnyKey   // and the keyboard's AnyKey (input/keyboard.h)

// The connection to examine; none: no displays.
void UseDesktopConnection(Display* display);
