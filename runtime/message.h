// Modal message boxes. While a box is open, the calling thread's other visible, enabled top-level
// windows are disabled, so the box is modal for the whole thread even without an owner.
#pragma once
#include <cstdint>

#include "runtime/platform.h"

// A box with an OK button on Windows; one line on stderr in the Linux program, which has no
// desktop of its own to show a box on (it may be drawing inside another program's window).
int ShowPlainMessage(const char* caption, const char* message);

#ifdef _WIN32
int ShowMessage(const char* caption, const char* message, uint32_t flags);
void SuspendThreadWindows();
void ResumeThreadWindows();
HWND MessageOwner();

// One disabled window, in a node from ListedObjectHeap: links, then the record.
struct DisabledWindowRecord {
  DWORD thread;
  HWND window;
};
struct DisabledWindowNode {
  DisabledWindowNode* next;
  DisabledWindowNode* previous;
  DisabledWindowRecord record;
};
// The chain of disabled windows, newest first (for tests).
DisabledWindowNode* DisabledWindowChain();
#endif
