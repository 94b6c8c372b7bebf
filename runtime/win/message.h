// Message boxes with flags, and the disabling of the thread's other windows while one is open.
#pragma once
#include <windows.h>

#include <cstdint>

#include "runtime/message.h"

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
