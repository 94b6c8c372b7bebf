#include "runtime/win/message.h"

#include "runtime/memory.h"
#include "runtime/win/platform_calls.h"

RuntimeCalls RuntimePlatform = {MessageBoxA};

namespace {

DisabledWindowNode* chain;  // newest first

BOOL CALLBACK DisableThreadWindow(HWND window, LPARAM) {
  if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return TRUE;
  if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
  if (window == GetForegroundWindow()) return TRUE;
  // Without a record the window could never be enabled again, so it is left alone.
  DisabledWindowNode* node = ListedObjectHeap
      ? static_cast<DisabledWindowNode*>(HeapAlloc(ListedObjectHeap, HEAP_ZERO_MEMORY, sizeof(DisabledWindowNode)))
      : nullptr;
  if (!node) return TRUE;
  EnableWindow(window, FALSE);
  node->record.thread = GetCurrentThreadId();
  node->record.window = window;
  node->next = chain;
  if (chain) chain->previous = node;
  chain = node;
  return TRUE;
}

}  // namespace

DisabledWindowNode* DisabledWindowChain() { return chain; }

void SuspendThreadWindows() { EnumWindows(DisableThreadWindow, 0); }

void ResumeThreadWindows() {
  DWORD thread = GetCurrentThreadId();
  DisabledWindowNode* node = chain;
  while (node) {
    DisabledWindowNode* next = node->next;
    if (node->record.thread == thread) {
      EnableWindow(node->record.window, TRUE);
      if (node->previous) node->previous->next = node->next; else chain = node->next;
      if (node->next) node->next->previous = node->previous;
      HeapFree(ListedObjectHeap, 0, node);
    }
    node = next;
  }
}

HWND MessageOwner() {
  HWND foreground = GetForegroundWindow();
  if (!foreground) return nullptr;
  DWORD process = 0;
  GetWindowThreadProcessId(foreground, &process);
  return process == GetCurrentProcessId() ? foreground : nullptr;
}

int ShowMessage(const char* caption, const char* message, uint32_t flags) {
  SuspendThreadWindows();
  int result = RuntimePlatform.messageBox(MessageOwner(), message, caption, flags);
  ResumeThreadWindows();
  return result;
}

int ShowPlainMessage(const char* caption, const char* message) {
  return ShowMessage(caption, message, 0);
}
