#include "desktop/desktop.h"

#include <cstring>

#include "runtime/memory.h"
#include "runtime/platform.h"

namespace {

DesktopRecord* records;
int32_t count;
HANDLE recordHeap;  // the heap the array came from (the process heap before MainHeap exists)

}  // namespace

DesktopRecord* ReplaceDesktopRecords(const DesktopRecord* source, int32_t n) {
  if (records) HeapFree(recordHeap, 0, records);
  records = nullptr;
  count = 0;
  recordHeap = nullptr;
  if (n <= 0) return nullptr;
  HANDLE heap = MainHeap ? MainHeap : GetProcessHeap();
  void* block = HeapAlloc(heap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(n) * sizeof(DesktopRecord));
  if (!block) return nullptr;
  records = static_cast<DesktopRecord*>(block);
  recordHeap = heap;
  count = n;
  if (source) std::memcpy(records, source, static_cast<size_t>(n) * sizeof(DesktopRecord));
  return records;
}

int32_t DisplayCount() { return count; }

const DesktopRecord* DisplayRecord(int32_t index) {
  if (index < 0 || index >= count || !records) return nullptr;
  return &records[index];
}

int32_t DisplayWidth(int32_t index) {
  const DesktopRecord* r = DisplayRecord(index);
  return r ? r->width : 0;
}

int32_t DisplayHeight(int32_t index) {
  const DesktopRecord* r = DisplayRecord(index);
  return r ? r->height : 0;
}

int32_t DisplayDepth(int32_t index) {
  const DesktopRecord* r = DisplayRecord(index);
  return r ? r->depth : 0;
}

int32_t DisplayFrequency(int32_t index) {
  const DesktopRecord* r = DisplayRecord(index);
  return r ? r->frequency : 0;
}
