#include <gtest/gtest.h>

#include <cstring>

#include "desktop/desktop.h"
#include "runtime/memory.h"

namespace {

DesktopRecord Record(int16_t width, int16_t height, int16_t depth, int16_t frequency, const char* name) {
  DesktopRecord r;
  std::memset(&r, 0, sizeof(r));
  r.width = width;
  r.height = height;
  r.depth = depth;
  r.frequency = frequency;
  std::strncpy(r.name, name, sizeof(r.name) - 1);
  return r;
}

class DesktopTest : public ::testing::Test {
 protected:
  void TearDown() override { ReplaceDesktopRecords(nullptr, 0); }
};

TEST_F(DesktopTest, QueriesReadTheRecordsAndRejectIndicesOutsideTheCount) {
  DesktopRecord two[2] = {Record(1920, 1080, 32, 60, "\\\\.\\DISPLAY1"), Record(1280, 1024, 16, 75, "\\\\.\\DISPLAY2")};
  ASSERT_NE(ReplaceDesktopRecords(two, 2), nullptr);
  EXPECT_EQ(DisplayCount(), 2);
  EXPECT_EQ(DisplayWidth(0), 1920);
  EXPECT_EQ(DisplayHeight(0), 1080);
  EXPECT_EQ(DisplayDepth(0), 32);
  EXPECT_EQ(DisplayFrequency(0), 60);
  EXPECT_EQ(DisplayWidth(1), 1280);
  EXPECT_EQ(DisplayHeight(1), 1024);
  EXPECT_EQ(DisplayDepth(1), 16);
  EXPECT_STREQ(DisplayRecord(1)->name, "\\\\.\\DISPLAY2");
  for (int32_t bad : {-1, 2, 3, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(DisplayWidth(bad), 0) << bad;
    EXPECT_EQ(DisplayHeight(bad), 0) << bad;
    EXPECT_EQ(DisplayDepth(bad), 0) << bad;
    EXPECT_EQ(DisplayRecord(bad), nullptr) << bad;
  }
}

TEST_F(DesktopTest, ReplacingCopiesAndDropsThePreviousArray) {
  DesktopRecord one = Record(800, 600, 8, 0, "");
  DesktopRecord* first = ReplaceDesktopRecords(&one, 1);
  ASSERT_NE(first, nullptr);
  one.width = 1;  // the array holds a copy
  EXPECT_EQ(DisplayWidth(0), 800);

  DesktopRecord three[3] = {Record(1024, 768, 32, 0, "a"), Record(640, 480, 16, 0, "b"), Record(320, 200, 8, 0, "c")};
  ReplaceDesktopRecords(three, 3);
  EXPECT_EQ(DisplayCount(), 3);
  EXPECT_EQ(DisplayWidth(0), 1024);
  EXPECT_EQ(DisplayWidth(2), 320);

  ReplaceDesktopRecords(nullptr, 0);
  EXPECT_EQ(DisplayCount(), 0);
  EXPECT_EQ(DisplayWidth(0), 0);
}

TEST_F(DesktopTest, TheCurrentArrayMayBeItsOwnSource) {
  DesktopRecord three[3] = {Record(1024, 768, 32, 0, "a"), Record(640, 480, 16, 0, "b"), Record(320, 200, 8, 0, "c")};
  ReplaceDesktopRecords(three, 3);
  ASSERT_NE(ReplaceDesktopRecords(DisplayRecord(0), 2), nullptr);
  EXPECT_EQ(DisplayCount(), 2);
  EXPECT_EQ(DisplayWidth(1), 640);
  EXPECT_EQ(DisplayWidth(2), 0);
}

TEST_F(DesktopTest, NoSourceGivesZeroFilledRecords) {
  DesktopRecord* records = ReplaceDesktopRecords(nullptr, 2);
  ASSERT_NE(records, nullptr);
  EXPECT_EQ(DisplayCount(), 2);
  EXPECT_EQ(DisplayWidth(1), 0);
  EXPECT_EQ(records[1].name[0], 0);
  EXPECT_EQ(ReplaceDesktopRecords(nullptr, -4), nullptr);
  EXPECT_EQ(DisplayCount(), 0);
}

#ifndef _WIN32
TEST_F(DesktopTest, NoMemoryLeavesNoDisplays) {
  DesktopRecord one = Record(800, 600, 8, 0, "");
  ReplaceDesktopRecords(&one, 1);
  ShimFailAllocationsAfter(0);
  EXPECT_EQ(ReplaceDesktopRecords(&one, 1), nullptr);
  ShimFailAllocationsAfter(-1);
  EXPECT_EQ(DisplayCount(), 0);
  EXPECT_EQ(DisplayWidth(0), 0);
}

TEST_F(DesktopTest, TheArrayComesFromTheMainHeapOnceThereIsOne) {
  HANDLE saved = MainHeap;
  HANDLE heap = HeapCreate(0, 4096, 0);
  MainHeap = heap;
  DesktopRecord one = Record(800, 600, 8, 0, "");
  ReplaceDesktopRecords(&one, 1);
  EXPECT_EQ(ShimLiveBlocks(heap), 1);
  ReplaceDesktopRecords(nullptr, 0);
  EXPECT_EQ(ShimLiveBlocks(heap), 0);
  MainHeap = saved;
  HeapDestroy(heap);
}
#endif

}  // namespace
