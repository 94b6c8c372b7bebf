// Modal message boxes. While a box is open, the calling thread's other visible, enabled top-level
// windows are disabled, so the box is modal for the whole thread even without an owner.
#pragma once
#include <cstdint>

// A box with an OK button on Windows; one line on stderr in the Linux program, which has no
// desktop of its own to show a box on (it may be drawing inside another program's window).
int ShowPlainMessage(const char* caption, const char* message);
// The rest of the Windows boxes (flags, the thread's windows): runtime/win/message.h.
