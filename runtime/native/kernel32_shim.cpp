#include "runtime/native/kernel32_shim.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

struct Block {
  Block* next;
  Block* prev;
  size_t size;
  size_t pad;  // keeps the payload 16-byte aligned
};

struct Heap {
  Block* blocks;
  long live;
};

long failAfter = -1;
long allocations = 0;   // every allocation asked for, reallocations too
long failOne = -1;      // the one allocation (by that count) that fails
DWORD lastError = 0;
bool fixedTicks = false;
DWORD tickValue = 0;
std::string commandLine = "vorlune";

bool AllocationFails() {
  if (++allocations == failOne) return true;
  if (failAfter < 0) return false;
  if (failAfter == 0) return true;
  --failAfter;
  return false;
}

void Link(Heap* h, Block* b) {
  b->prev = nullptr;
  b->next = h->blocks;
  if (h->blocks) h->blocks->prev = b;
  h->blocks = b;
  ++h->live;
}

void Unlink(Heap* h, Block* b) {
  if (b->prev) b->prev->next = b->next; else h->blocks = b->next;
  if (b->next) b->next->prev = b->prev;
  --h->live;
}

Heap processHeap;

}  // namespace

HANDLE HeapCreate(DWORD, SIZE_T, SIZE_T) {
  if (AllocationFails()) return nullptr;
  return new Heap{nullptr, 0};
}

BOOL HeapDestroy(HANDLE heap) {
  Heap* h = static_cast<Heap*>(heap);
  if (!h || h == &processHeap) return FALSE;
  while (h->blocks) {
    Block* b = h->blocks;
    h->blocks = b->next;
    std::free(b);
  }
  delete h;
  return TRUE;
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  Heap* h = static_cast<Heap*>(heap);
  if (!h || AllocationFails()) return nullptr;
  Block* b = static_cast<Block*>(std::malloc(sizeof(Block) + (bytes ? bytes : 1)));
  if (!b) return nullptr;
  b->size = bytes;
  if (flags & HEAP_ZERO_MEMORY) std::memset(b + 1, 0, bytes);
  Link(h, b);
  return b + 1;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes) {
  Heap* h = static_cast<Heap*>(heap);
  if (!h || !block || AllocationFails()) return nullptr;
  Block* old = static_cast<Block*>(block) - 1;
  Block* b = static_cast<Block*>(std::malloc(sizeof(Block) + (bytes ? bytes : 1)));
  if (!b) return nullptr;
  size_t keep = old->size < bytes ? old->size : bytes;
  std::memcpy(b + 1, block, keep);
  if ((flags & HEAP_ZERO_MEMORY) && bytes > keep) std::memset(reinterpret_cast<char*>(b + 1) + keep, 0, bytes - keep);
  b->size = bytes;
  Unlink(h, old);
  std::free(old);
  Link(h, b);
  return b + 1;
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID block) {
  Heap* h = static_cast<Heap*>(heap);
  if (!h) return FALSE;
  if (!block) return TRUE;
  Block* b = static_cast<Block*>(block) - 1;
  Unlink(h, b);
  std::free(b);
  return TRUE;
}

SIZE_T HeapSize(HANDLE, DWORD, LPCVOID block) {
  if (!block) return static_cast<SIZE_T>(-1);
  return (static_cast<const Block*>(block) - 1)->size;
}

BOOL HeapWalk(HANDLE heap, PROCESS_HEAP_ENTRY* entry) {
  Heap* h = static_cast<Heap*>(heap);
  if (!h || !entry) {
    lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  Block* b = entry->lpData ? (static_cast<Block*>(entry->lpData) - 1)->next : h->blocks;
  if (!b) {
    lastError = ERROR_NO_MORE_ITEMS;
    return FALSE;
  }
  entry->lpData = b + 1;
  entry->cbData = static_cast<DWORD>(b->size);
  entry->cbOverhead = sizeof(Block);
  entry->iRegionIndex = 0;
  entry->wFlags = PROCESS_HEAP_ENTRY_BUSY;
  return TRUE;
}

DWORD GetLastError() { return lastError; }

HANDLE GetProcessHeap() { return &processHeap; }

DWORD GetTickCount() {
  if (fixedTicks) return tickValue;
  using namespace std::chrono;
  return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

LPSTR GetCommandLineA() { return &commandLine[0]; }

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  using namespace std::chrono;
  count->QuadPart = duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = 1000000000;
  return TRUE;
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

void ShimSetCommandLine(const char* line) { commandLine = line ? line : "vorlune"; }
void ShimSetTickCount(DWORD ticks) { fixedTicks = true; tickValue = ticks; }
void ShimUseRealTickCount() { fixedTicks = false; }
void ShimFailAllocationsAfter(long count) { failAfter = count; }
void ShimFailOneAllocation(long n) { failOne = n > 0 ? allocations + n : -1; }
long ShimAllocationCount() { return allocations; }
long ShimLiveBlocks(HANDLE heap) { return heap ? static_cast<Heap*>(heap)->live : 0; }
