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
  // The new block is filled before the old one goes, so the current array may be the source.
  DesktopRecord* fresh = nullptr;
  HANDLE heap = MainHeap ? MainHeap : GetProcessHeap();
  if (n > 0) {
    fresh = static_cast<DesktopRecord*>(
        HeapAlloc(heap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(n) * sizeof(DesktopRecord)));
    if (fresh && source) std::memcpy(fresh, source, static_cast<size_t>(n) * sizeof(DesktopRecord));
  }
  if (records) HeapFree(recordHeap, 0, records);
  records = fresh;
  recordHeap = fresh ? heap : nullptr;
  count = fresh ? n : 0;
  return fresh;
}

int32_t DisplayCount() { return count; }

const DesktopRecord* DisplayRecord(int32_t index) {
  if (index < 0 || index >= count || !records) return nullptr;
  return &records[index];
}

namespace {

int32_t DisplayField(int32_t index, int16_t DesktopRecord::*field) {
  const DesktopRecord* r = DisplayRecord(index);
  return r ? r->*field : 0;
}

}  // namespace

int32_t DisplayWidth(int32_t index) { return DisplayField(index, &DesktopRecord::width); }
int32_t DisplayHeight(int32_t index) { return DisplayField(index, &DesktopRecord::height); }
int32_t DisplayDepth(int32_t index) { return DisplayField(index, &DesktopRecord::depth); }
int32_t DisplayFrequency(int32_t index) { return DisplayField(index, &DesktopRecord::frequency); }
