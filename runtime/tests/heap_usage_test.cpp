// HeapUsage against the real heaps: natively the stand-in's, under Wine the system's HeapWalk.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/memory.h"

namespace {

struct Usage {
  size_t blocks = 0;
  size_t bytes = 0;
};

Usage UsageOf(HANDLE heap) {
  Usage u;
  EXPECT_EQ(1, HeapUsage(heap, &u.blocks, &u.bytes));
  return u;
}

class HeapUsageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    heap = HeapCreate(0, 4096, 0);
    ASSERT_NE(heap, nullptr);
  }
  void TearDown() override { HeapDestroy(heap); }
  HANDLE heap = nullptr;
};

TEST_F(HeapUsageTest, SeesABlockAndItsRelease) {
  const Usage before = UsageOf(heap);
  void* block = HeapAlloc(heap, 0, 100);
  ASSERT_NE(block, nullptr);
  const Usage held = UsageOf(heap);
  EXPECT_EQ(before.blocks + 1, held.blocks);
  EXPECT_EQ(before.bytes + 100, held.bytes);
  HeapFree(heap, 0, block);
  const Usage after = UsageOf(heap);
  EXPECT_EQ(before.blocks, after.blocks);
  EXPECT_EQ(before.bytes, after.bytes);
}

TEST_F(HeapUsageTest, CountsManyBlocksLargeOnesAndReallocations) {
  const Usage before = UsageOf(heap);
  std::vector<void*> blocks;
  size_t bytes = 0;
  for (size_t i = 1; i <= 300; ++i) {
    blocks.push_back(HeapAlloc(heap, HEAP_ZERO_MEMORY, i * 7));
    ASSERT_NE(blocks.back(), nullptr);
    bytes += i * 7;
  }
  // Large blocks come from their own mapping on Windows; they are ours all the same.
  const size_t large = 4 << 20;
  blocks.push_back(HeapAlloc(heap, 0, large));
  ASSERT_NE(blocks.back(), nullptr);
  bytes += large;
  Usage u = UsageOf(heap);
  EXPECT_EQ(before.blocks + 301, u.blocks);
  EXPECT_EQ(before.bytes + bytes, u.bytes);

  // Growing a block moves it or not; either way it stays one block.
  void* grown = HeapReAlloc(heap, 0, blocks[0], 5000);
  ASSERT_NE(grown, nullptr);
  blocks[0] = grown;
  bytes += 5000 - 7;
  u = UsageOf(heap);
  EXPECT_EQ(before.blocks + 301, u.blocks);
  EXPECT_EQ(before.bytes + bytes, u.bytes);

  for (void* b : blocks) HeapFree(heap, 0, b);
  u = UsageOf(heap);
  EXPECT_EQ(before.blocks, u.blocks);
  EXPECT_EQ(before.bytes, u.bytes);
}

TEST_F(HeapUsageTest, AnUnserialisedHeapIsWalkedAndHeapsAreCountedApart) {
  HANDLE strings = HeapCreate(HEAP_NO_SERIALIZE, 4096, 0);
  ASSERT_NE(strings, nullptr);
  const Usage before = UsageOf(strings);
  const Usage other = UsageOf(heap);
  void* block = HeapAlloc(strings, HEAP_NO_SERIALIZE, 33);
  ASSERT_NE(block, nullptr);
  const Usage held = UsageOf(strings);
  EXPECT_EQ(before.blocks + 1, held.blocks);
  EXPECT_EQ(before.bytes + 33, held.bytes);
  EXPECT_EQ(other.blocks, UsageOf(heap).blocks);
  HeapFree(strings, HEAP_NO_SERIALIZE, block);
  EXPECT_EQ(before.blocks, UsageOf(strings).blocks);
  HeapDestroy(strings);
}

TEST(HeapUsage, NoHeapCountsNothing) {
  size_t blocks = 7, bytes = 7;
  EXPECT_EQ(0, HeapUsage(nullptr, &blocks, &bytes));
  EXPECT_EQ(0u, blocks);
  EXPECT_EQ(0u, bytes);
  HANDLE heap = HeapCreate(0, 4096, 0);
  ASSERT_NE(heap, nullptr);
  EXPECT_EQ(1, HeapUsage(heap, nullptr, nullptr));   // the counts are optional
  HeapDestroy(heap);
}

}  // namespace
