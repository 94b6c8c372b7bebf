#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/memory.h"
#include "runtime/tests/runtime_support.h"

namespace {

class StringStorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureRuntime();
    SetScratchEnd(0);
  }
  // Builds a text in the scratch at the end, as an expression would.
  static char* Put(const char* text) {
    size_t n = std::strlen(text);
    char* at = ScratchReserve(n, ScratchEnd());
    if (at) {
      std::memcpy(at, text, n);
      at[n] = 0;
    }
    return at;
  }
};

TEST(StringScratchStart, IsSixteenBytesAndGrowsWhenTheNeedReachesTwelve) {
  EnsureRuntime();
  // Start again from a fresh scratch, as at start-up.
  HeapFree(StringHeap, HEAP_NO_SERIALIZE, Scratch.buffer);
  Scratch = StringScratch{};
  ASSERT_TRUE(InitStringStorage());
  EXPECT_EQ(Scratch.capacity, 16u);
  EXPECT_EQ(ScratchEnd(), 0u);
  char* p = ScratchReserve(11, 0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(Scratch.capacity, 16u);
  EXPECT_EQ(ScratchEnd(), 11u);
  ASSERT_NE(ScratchReserve(1, 11), nullptr);  // end + n = 12 = capacity - 4
  EXPECT_EQ(Scratch.capacity, 12u + 16384u);
  EXPECT_EQ(ScratchEnd(), 12u);
}

TEST_F(StringStorageTest, ReserveGrowsByTheMarginBeyondTheNeedAndKeepsTheText) {
  char* hello = Put("hello");
  ASSERT_NE(hello, nullptr);
  size_t offset = ScratchOffsetOf(hello);
  EXPECT_EQ(offset, 1u);
  size_t end = ScratchEnd();
  size_t big = Scratch.capacity - 4 - end;  // need = capacity - 4 exactly
  ASSERT_NE(ScratchReserve(big, end), nullptr);
  EXPECT_EQ(Scratch.capacity, end + big + 16384);
  EXPECT_STREQ(ScratchPointerAt(offset), "hello");
  EXPECT_EQ(ScratchEnd(), end + big);
  // Just below the threshold nothing moves.
  SetScratchEnd(0);
  char* buffer = Scratch.buffer;
  size_t capacity = Scratch.capacity;
  ASSERT_NE(ScratchReserve(capacity - 5, 0), nullptr);
  EXPECT_EQ(Scratch.buffer, buffer);
  EXPECT_EQ(Scratch.capacity, capacity);
}

TEST_F(StringStorageTest, APositionPastTheEndStillFits) {
  size_t capacity = Scratch.capacity;
  char* p = ScratchReserve(10, capacity);  // the end stands at 0
  ASSERT_NE(p, nullptr);
  EXPECT_GE(Scratch.capacity, capacity + 10 + 4);
  std::memset(p, 'x', 10);
  p[10] = 0;
  EXPECT_EQ(ScratchEnd(), capacity + 10);
}

TEST_F(StringStorageTest, OffsetsAreOneBasedAndZeroOutside) {
  char local[4] = "abc";
  EXPECT_EQ(ScratchOffsetOf(local), 0u);
  EXPECT_EQ(ScratchOffsetOf(nullptr), 0u);
  EXPECT_EQ(ScratchOffsetOf(Scratch.buffer), 1u);
  EXPECT_EQ(ScratchOffsetOf(Scratch.buffer + Scratch.capacity), Scratch.capacity + 1);
  EXPECT_EQ(ScratchOffsetOf(Scratch.buffer + Scratch.capacity + 5), 0u);
  EXPECT_EQ(ScratchPointerAt(1), Scratch.buffer);
  EXPECT_EQ(ScratchPointerAt(0), nullptr);
}

TEST_F(StringStorageTest, StoreCopiesTheSpanAndGivesTheScratchBack) {
  StringVariable v = nullptr;
  Put("keep");
  SetScratchEnd(ScratchEnd() + 1);
  size_t start = ScratchEnd();
  Put("value");
  ASSERT_TRUE(StoreScratchString(&v, start));
  EXPECT_STREQ(v, "value");
  EXPECT_EQ(ScratchEnd(), start);
  EXPECT_STREQ(Scratch.buffer, "keep");
  // Storing again reuses the variable's block, whatever the length.
  Put("a much longer value than before");
  ASSERT_TRUE(StoreScratchString(&v, start));
  EXPECT_STREQ(v, "a much longer value than before");
  ASSERT_TRUE(StoreScratchString(&v, start));  // empty span
  ASSERT_NE(v, nullptr);
  EXPECT_STREQ(v, "");
  EXPECT_EQ(ScratchEnd(), start);
  // A start past the end stores an empty text and leaves the end alone.
  ASSERT_TRUE(StoreScratchString(&v, start + 100));
  EXPECT_STREQ(v, "");
  EXPECT_EQ(ScratchEnd(), start);
  AssignStringVariable(&v, nullptr);
}

TEST_F(StringStorageTest, AssignCopiesFreesAndCountsTheTerminator) {
  StringVariable v = nullptr;
  EXPECT_EQ(AssignStringVariable(&v, "abc"), 4);
  EXPECT_STREQ(v, "abc");
  EXPECT_EQ(AssignStringVariable(&v, ""), 1);
  ASSERT_NE(v, nullptr);
  EXPECT_STREQ(v, "");
  // Odd lengths near the end of a readable area: only the text itself is read.
  std::string exact(7, 'q');
  EXPECT_EQ(AssignStringVariable(&v, exact.c_str()), 8);
  EXPECT_STREQ(v, "qqqqqqq");
  EXPECT_EQ(AssignStringVariable(&v, nullptr), 1);
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(AssignStringVariable(&v, nullptr), 1);
}

TEST_F(StringStorageTest, AssignFromTheVariablesOwnText) {
  StringVariable v = nullptr;
  AssignStringVariable(&v, "0123456789");
  EXPECT_EQ(AssignStringVariable(&v, v + 4), 7);
  EXPECT_STREQ(v, "456789");
  EXPECT_EQ(AssignStringVariable(&v, v), 7);
  EXPECT_STREQ(v, "456789");
  AssignStringVariable(&v, nullptr);
}

TEST(CompareStringsTest, NoneIsEmptyAndComparisonIsExact) {
  EXPECT_EQ(CompareStrings(nullptr, ""), 1);
  EXPECT_EQ(CompareStrings("", nullptr), 1);
  EXPECT_EQ(CompareStrings(nullptr, nullptr), 1);
  EXPECT_EQ(CompareStrings("/C", "/C"), 1);
  EXPECT_EQ(CompareStrings("/C", "/c"), 0);
  EXPECT_EQ(CompareStrings("/C", "/C "), 0);
  EXPECT_EQ(CompareStrings("C", ""), 0);
  EXPECT_EQ(CompareStrings("\xE0", "\xC0"), 0);
}

#ifndef _WIN32
TEST_F(StringStorageTest, ExhaustedMemoryKeepsOldTextsAndTheScratch) {
  StringVariable v = nullptr;
  AssignStringVariable(&v, "old");
  long blocks = ShimLiveBlocks(StringHeap);
  size_t start = ScratchEnd();
  Put("new text");
  {
    AllocationFailure failure(0);
    EXPECT_EQ(AssignStringVariable(&v, "something else"), 0);
    EXPECT_STREQ(v, "old");
    EXPECT_EQ(StoreScratchString(&v, start), 0);
    EXPECT_STREQ(v, "old");
    EXPECT_EQ(ScratchEnd(), start);  // the scratch is given back all the same
    StringVariable fresh = nullptr;
    EXPECT_EQ(AssignStringVariable(&fresh, "x"), 0);
    EXPECT_EQ(fresh, nullptr);
    // The scratch cannot grow: nothing changes.
    char* buffer = Scratch.buffer;
    size_t capacity = Scratch.capacity, end = ScratchEnd();
    EXPECT_EQ(ScratchReserve(capacity, end), nullptr);
    EXPECT_EQ(Scratch.buffer, buffer);
    EXPECT_EQ(Scratch.capacity, capacity);
    EXPECT_EQ(ScratchEnd(), end);
  }
  EXPECT_EQ(ShimLiveBlocks(StringHeap), blocks);
  AssignStringVariable(&v, nullptr);
  EXPECT_EQ(ShimLiveBlocks(StringHeap), blocks - 1);
}

TEST_F(StringStorageTest, AbsurdLengthsAreRefused) {
  size_t end = ScratchEnd();
  EXPECT_EQ(ScratchReserve(SIZE_MAX, end), nullptr);
  EXPECT_EQ(ScratchReserve(10, SIZE_MAX - 5), nullptr);
  EXPECT_EQ(ScratchEnd(), end);
}
#endif

}  // namespace
