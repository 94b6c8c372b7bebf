// Shared set-up for the runtime's tests: the heaps and state blocks the start-up would make.
#pragma once
#include "runtime/memory.h"
#include "runtime/params.h"

inline void EnsureRuntime() {
  if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
  InitStringStorage();
  InitListedObjectHeap();
  InitProgramParameters();
}

#ifndef _WIN32
// Makes allocations fail from the given one on (0: the next) until the scope ends.
struct AllocationFailure {
  explicit AllocationFailure(long after) { ShimFailAllocationsAfter(after); }
  ~AllocationFailure() { ShimFailAllocationsAfter(-1); }
};
#endif
