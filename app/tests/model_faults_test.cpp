// The saver's own model short of memory: its lists, the fade table, the desktop record, a pattern,
// the star field and two frames, with the N-th heap allocation failing, for every N a clean run
// makes. Natively, where the heap is the stand-in's, under the sanitizers: nothing may crash or
// read outside a block, the lists must stay walkable, and tearing down must free every block.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstring>

#include "app/pattern.h"
#include "app/saver.h"
#include "app/state.h"
#include "desktop/desktop.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/platform.h"
#include "runtime/random.h"

namespace {

long drawCalls = 0;
void CountDraw(int32_t, int32_t, int32_t, int32_t) { ++drawCalls; }

// Elements a walk reaches; the count the header keeps must agree.
int32_t Walk(ListVariable* list) {
  if (!list->header) return 0;
  int32_t walked = 0;
  RewindList(list);
  while (AdvanceList(list)) ++walked;
  return walked;
}

// One run from start-up to tear-down; false when it left something wrong behind.
bool RunModel(std::string* problem) {
  std::memset(&App, 0, sizeof App);
  MainHeap = HeapCreate(0, 4096, 0);
  if (!MainHeap) return true;   // start-up exits at once without it
  SeedRandom(4242);
  CreateList(&App.TrailPoints, sizeof(TrailPoint), nullptr, 0);
  CreateList(&App.Emitters, sizeof(Emitter), nullptr, 0);
  CreateList(&App.Stars, sizeof(Star), nullptr, 0);
  AllocateArray(FadeTableLast + 1, 4, 0, reinterpret_cast<void**>(&App.FadeTable), 5);
  App.FadeLength = 100;
  App.EmitterCount = 20;
  App.CentreX = 512;
  App.CentreY = 384;
  DesktopRecord desktop = {};
  desktop.width = 1024;
  desktop.height = 768;
  ReplaceDesktopRecords(&desktop, 1);

  if (App.FadeTable) BuildFadeTable();
  NewPattern();
  MakeStarField(1024, 768);
  for (int frame = 0; frame < 2; ++frame) {
    if (App.Stars.header) {
      RewindList(&App.Stars);
      while (AdvanceList(&App.Stars)) FallStar(CurrentData<Star>(App.Stars), 768);
    }
    if (App.FadeTable) TrailPass(CountDraw);
    StepEmitters();
    CycleEmitterColour();
  }

  for (ListVariable* list : {&App.TrailPoints, &App.Emitters, &App.Stars}) {
    if (list->header && Walk(list) != list->header->count) *problem = "a list's count disagrees with its elements";
  }
  DestroyList(&App.TrailPoints);
  DestroyList(&App.Emitters);
  DestroyList(&App.Stars);
  if (App.FadeTable) ReleaseArray(App.FadeTable);
  ReplaceDesktopRecords(nullptr, 0);
  const long left = ShimLiveBlocks(MainHeap);
  if (left) *problem = std::to_string(left) + " blocks left in the main heap";
  HeapDestroy(MainHeap);
  MainHeap = nullptr;
  return problem->empty();
}

TEST(ModelFaults, EveryFailingAllocationLeavesASoundState) {
  HANDLE saved = MainHeap;
  std::string problem;
  const long before = ShimAllocationCount();
  ASSERT_TRUE(RunModel(&problem)) << problem;
  const long allocations = ShimAllocationCount() - before;
  ASSERT_GT(allocations, 100) << "a clean run allocates every trail point and star";
  ASSERT_GT(drawCalls, 0);

  for (long n = 1; n <= allocations; ++n) {
    ShimFailOneAllocation(n);
    problem.clear();
    EXPECT_TRUE(RunModel(&problem)) << "allocation " << n << ": " << problem;
  }
  ShimFailOneAllocation(0);
  std::printf("model: %ld allocations, each made to fail once\n", allocations);
  MainHeap = saved;
}

}  // namespace
#endif
