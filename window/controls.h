// Support for controls: their table and the routing of their messages from the parent window.
// No controls are made in this system; the table exists for that routing. The records and the
// routing, in Win32 types, are in window/win/controls.h.
#pragma once
#include <cstdint>

#include "runtime/memory.h"

// The control lock, the default GUI font, the control table, the library state and the
// extended common controls. Non-zero when everything was made.
int InitControlSupport();
ObjectTable* ControlTable();
