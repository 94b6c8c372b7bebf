#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/memory.h"
#include "runtime/tests/runtime_support.h"

namespace {

struct Thing {
  uint32_t handle;  // non-zero while live
  uint32_t payload;
  double weight;
};

ObjectTable* releaseTable = nullptr;
std::vector<ObjectNumber> released;

// A library's free operation: look up, tear down, release.
void FreeThing(ObjectNumber number) {
  released.push_back(number);
  if (LookupObject(releaseTable, number)) ReleaseObject(releaseTable, number);
}

Thing* MakeThing(ObjectTable* table, ObjectNumber number, uint32_t handle) {
  Thing* thing = static_cast<Thing*>(AllocateObject(table, number));
  if (thing) thing->handle = handle;
  return thing;
}

class ObjectTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureRuntime();
    released.clear();
    table = CreateObjectTable(sizeof(Thing), 64, FreeThing);
    ASSERT_NE(table, nullptr);
    releaseTable = table;
  }
  ObjectTable* table = nullptr;
};

TEST_F(ObjectTableTest, NewTableHasTheStepAsCapacityAndZeroedSlots) {
  EXPECT_EQ(table->recordSize, sizeof(Thing));
  EXPECT_EQ(table->capacity, 64u);
  EXPECT_EQ(table->listedHead, nullptr);
  for (ObjectNumber n = 0; n < 64; ++n) EXPECT_EQ(LookupObject(table, n), nullptr);
}

TEST_F(ObjectTableTest, GrowsToTheNumberPlusTheStepKeepingRecords) {
  MakeThing(table, 3, 33)->payload = 7;
  Thing* distant = MakeThing(table, 70, 77);
  ASSERT_NE(distant, nullptr);
  EXPECT_EQ(table->capacity, 134u);
  Thing* kept = static_cast<Thing*>(LookupObject(table, 3));
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->handle, 33u);
  EXPECT_EQ(kept->payload, 7u);
  // The new part is zero-filled: nothing between 4 and 133 but 70 is live.
  for (ObjectNumber n = 4; n < 134; ++n)
    if (n != 70) {
      EXPECT_EQ(LookupObject(table, n), nullptr) << n;
    }
  EXPECT_EQ(LookupObject(table, 70), distant);
}

TEST_F(ObjectTableTest, ReusingALiveNumberFreesTheOldObjectFirst) {
  MakeThing(table, 5, 55)->payload = 99;
  released.clear();
  Thing* again = static_cast<Thing*>(AllocateObject(table, 5));
  ASSERT_NE(again, nullptr);
  ASSERT_EQ(released.size(), 1u);
  EXPECT_EQ(released[0], 5);
  EXPECT_EQ(again->handle, 0u);
  EXPECT_EQ(again->payload, 0u);
  EXPECT_EQ(LookupObject(table, 5), nullptr);
}

TEST_F(ObjectTableTest, LookupNeedsANonZeroFirstField) {
  Thing* thing = static_cast<Thing*>(AllocateObject(table, 9));
  ASSERT_NE(thing, nullptr);
  thing->payload = 1;
  EXPECT_EQ(LookupObject(table, 9), nullptr);
  thing->handle = 1;
  EXPECT_EQ(LookupObject(table, 9), thing);
  ReleaseObject(table, 9);
  EXPECT_EQ(LookupObject(table, 9), nullptr);
  EXPECT_EQ(thing->payload, 0u);
}

TEST_F(ObjectTableTest, AutoNumberObjectsAreIdentifiedByTheirRecordAddress) {
  Thing* a = MakeThing(table, AutoNumber, 1);
  Thing* b = MakeThing(table, AutoNumber, 2);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(released.empty());  // no release routine for AutoNumber
  EXPECT_EQ(table->capacity, 64u);
  EXPECT_EQ(LookupObject(table, reinterpret_cast<ObjectNumber>(a)), a);
  EXPECT_EQ(LookupObject(table, reinterpret_cast<ObjectNumber>(b)), b);
  EXPECT_EQ(LookupObject(table, AutoNumber), nullptr);
  a->handle = 0;
  EXPECT_EQ(LookupObject(table, reinterpret_cast<ObjectNumber>(a)), nullptr);
  a->handle = 1;
  ReleaseObject(table, reinterpret_cast<ObjectNumber>(a));
  ReleaseObject(table, reinterpret_cast<ObjectNumber>(b));
  EXPECT_EQ(table->listedHead, nullptr);
}

TEST_F(ObjectTableTest, ListedNodesStayLinkedWhicheverIsReleased) {
  std::vector<Thing*> things;
  for (uint32_t i = 1; i <= 5; ++i) things.push_back(MakeThing(table, AutoNumber, i));
  // Middle, newest (head), oldest.
  for (int victim : {2, 4, 0}) ReleaseObject(table, reinterpret_cast<ObjectNumber>(things[victim]));
  std::vector<uint32_t> handles;
  ListedNode* previous = nullptr;
  for (ListedNode* node = table->listedHead; node; node = node->next) {
    EXPECT_EQ(node->previous, previous);
    handles.push_back(reinterpret_cast<Thing*>(node + 1)->handle);
    previous = node;
  }
  EXPECT_EQ(handles, (std::vector<uint32_t>{4, 2}));
}

TEST_F(ObjectTableTest, StrayNumbersAreRejectedWithoutTouchingAnything) {
  Thing* listed = MakeThing(table, AutoNumber, 42);
  MakeThing(table, 1, 11);
  Thing outside = {123, 456, 0};
  std::vector<ObjectNumber> strays = {
      -2, INTPTR_MIN, 64, 1000000, reinterpret_cast<ObjectNumber>(&outside),
      reinterpret_cast<ObjectNumber>(listed) + 4,       // inside a record, not its start
      reinterpret_cast<ObjectNumber>(listed) - 2 * static_cast<ObjectNumber>(sizeof(void*)),  // its node
  };
  for (ObjectNumber n : strays) {
    EXPECT_EQ(LookupObject(table, n), nullptr) << n;
    ReleaseObject(table, n);
  }
  ReleaseObject(table, AutoNumber);
  EXPECT_EQ(outside.handle, 123u);
  EXPECT_EQ(outside.payload, 456u);
  EXPECT_EQ(LookupObject(table, reinterpret_cast<ObjectNumber>(listed)), listed);
  EXPECT_NE(LookupObject(table, 1), nullptr);
  EXPECT_EQ(table->capacity, 64u);
  // An identifier of another table's object is a stray here too.
  ObjectTable* other = CreateObjectTable(sizeof(Thing), 4, nullptr);
  Thing* foreign = MakeThing(other, AutoNumber, 9);
  EXPECT_EQ(LookupObject(table, reinterpret_cast<ObjectNumber>(foreign)), nullptr);
  ReleaseObject(table, reinterpret_cast<ObjectNumber>(foreign));
  EXPECT_EQ(LookupObject(other, reinterpret_cast<ObjectNumber>(foreign)), foreign);
  // A released identifier is a stray afterwards: releasing twice is harmless.
  ReleaseObject(table, reinterpret_cast<ObjectNumber>(listed));
  ReleaseObject(table, reinterpret_cast<ObjectNumber>(listed));
  EXPECT_EQ(table->listedHead, nullptr);
  EXPECT_EQ(AllocateObject(table, -2), nullptr);
}

TEST_F(ObjectTableTest, WalkGivesNumbersAscendingThenListedOldestFirst) {
  MakeThing(table, 40, 40);
  Thing* l1 = MakeThing(table, AutoNumber, 1001);
  MakeThing(table, 2, 2);
  Thing* l2 = MakeThing(table, AutoNumber, 1002);
  MakeThing(table, 100, 100);
  Thing* l3 = MakeThing(table, AutoNumber, 1003);
  AllocateObject(table, 7);  // allocated but never filled: not live
  std::vector<ObjectNumber> numbers;
  std::vector<uint32_t> handles;
  ResetObjectIteration(table);
  ObjectNumber n;
  while (Thing* t = static_cast<Thing*>(NextObject(table, &n))) {
    numbers.push_back(n);
    handles.push_back(t->handle);
    ReleaseObject(table, n);  // as every free-all does
  }
  EXPECT_EQ(numbers, (std::vector<ObjectNumber>{2, 40, 100, reinterpret_cast<ObjectNumber>(l1),
                                                reinterpret_cast<ObjectNumber>(l2),
                                                reinterpret_cast<ObjectNumber>(l3)}));
  EXPECT_EQ(handles, (std::vector<uint32_t>{2, 40, 100, 1001, 1002, 1003}));
  EXPECT_EQ(table->listedHead, nullptr);
  ResetObjectIteration(table);
  EXPECT_EQ(NextObject(table, &n), nullptr);
}

TEST_F(ObjectTableTest, WalkSurvivesReleasingTheNextListedObject) {
  Thing* a = MakeThing(table, AutoNumber, 1);
  Thing* b = MakeThing(table, AutoNumber, 2);
  Thing* c = MakeThing(table, AutoNumber, 3);
  ResetObjectIteration(table);
  ObjectNumber n;
  EXPECT_EQ(NextObject(table, &n), a);
  // Tearing a down also frees b, which the walk stands on.
  ReleaseObject(table, reinterpret_cast<ObjectNumber>(b));
  ReleaseObject(table, n);
  EXPECT_EQ(NextObject(table, &n), c);
  EXPECT_EQ(NextObject(table, &n), nullptr);
}

int Collect(ObjectNumber number, void* record, intptr_t user) {
  auto* seen = reinterpret_cast<std::vector<uint32_t>*>(user);
  seen->push_back(static_cast<Thing*>(record)->handle);
  return static_cast<Thing*>(record)->handle != 2;  // stop at handle 2
}

int CollectAndRelease(ObjectNumber number, void* record, intptr_t user) {
  reinterpret_cast<std::vector<uint32_t>*>(user)->push_back(static_cast<Thing*>(record)->handle);
  ReleaseObject(releaseTable, number);
  return 1;
}

TEST_F(ObjectTableTest, ForEachVisitsLiveInOrderAndStopsOnZero) {
  MakeThing(table, 10, 10);
  MakeThing(table, 1, 1);
  MakeThing(table, AutoNumber, 101);
  MakeThing(table, AutoNumber, 102);
  std::vector<uint32_t> seen;
  EXPECT_EQ(ForEachObject(table, Collect, reinterpret_cast<intptr_t>(&seen)), 1);
  EXPECT_EQ(seen, (std::vector<uint32_t>{1, 10, 101, 102}));
  MakeThing(table, 5, 2);
  seen.clear();
  EXPECT_EQ(ForEachObject(table, Collect, reinterpret_cast<intptr_t>(&seen)), 0);
  EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2}));
  seen.clear();
  EXPECT_EQ(ForEachObject(table, CollectAndRelease, reinterpret_cast<intptr_t>(&seen)), 1);
  EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 10, 101, 102}));
  seen.clear();
  EXPECT_EQ(ForEachObject(table, Collect, reinterpret_cast<intptr_t>(&seen)), 1);
  EXPECT_TRUE(seen.empty());
}

TEST_F(ObjectTableTest, ForEachGoesOnWhenTheVisitorFreesTheNextListedObject) {
  MakeThing(table, AutoNumber, 101);
  Thing* b = MakeThing(table, AutoNumber, 102);
  MakeThing(table, AutoNumber, 103);
  Thing* d = MakeThing(table, AutoNumber, 104);
  // A NextObject walk standing on d is resumed there afterwards.
  ResetObjectIteration(table);
  ObjectNumber n;
  for (int i = 0; i < 3; i++) ASSERT_NE(NextObject(table, &n), nullptr);
  struct Visit {
    static int ReleaseB(ObjectNumber, void* record, intptr_t user) {
      auto* state = reinterpret_cast<std::pair<std::vector<uint32_t>, Thing*>*>(user);
      state->first.push_back(static_cast<Thing*>(record)->handle);
      if (state->first.back() == 101) ReleaseObject(releaseTable, reinterpret_cast<ObjectNumber>(state->second));
      return 1;
    }
  };
  std::pair<std::vector<uint32_t>, Thing*> state({}, b);
  EXPECT_EQ(ForEachObject(table, Visit::ReleaseB, reinterpret_cast<intptr_t>(&state)), 1);
  EXPECT_EQ(state.first, (std::vector<uint32_t>{101, 103, 104}));
  EXPECT_EQ(NextObject(table, &n), d);
  EXPECT_EQ(NextObject(table, &n), nullptr);
}

// A NextObject walk paused around a ForEachObject resumes at the next object still listed, also
// when the visit frees the object it stands on and a new one may take that address.
TEST_F(ObjectTableTest, PausedWalkResumesAtTheNextListedObjectAfterAVisit) {
  struct Case {
    uint32_t freed;              // the visit of this handle frees it and makes handle 9
    std::vector<uint32_t> rest;  // what the walk paused after handle 1 yields afterwards
  };
  const Case cases[] = {{2, {3, 9}}, {3, {2, 9}}, {1, {2, 3, 9}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.freed);
    table = releaseTable = CreateObjectTable(sizeof(Thing), 64, FreeThing);
    Thing* first = MakeThing(table, AutoNumber, 1);
    MakeThing(table, AutoNumber, 2);
    MakeThing(table, AutoNumber, 3);
    ResetObjectIteration(table);
    ASSERT_EQ(NextObject(table, nullptr), first);
    struct Visit {
      static int FreeAndAllocate(ObjectNumber number, void* record, intptr_t freed) {
        if (static_cast<Thing*>(record)->handle != static_cast<uint32_t>(freed)) return 1;
        ReleaseObject(releaseTable, number);
        return MakeThing(releaseTable, AutoNumber, 9) != nullptr;
      }
    };
    EXPECT_EQ(ForEachObject(table, Visit::FreeAndAllocate, c.freed), 1);
    std::vector<uint32_t> rest;
    while (Thing* thing = static_cast<Thing*>(NextObject(table, nullptr))) rest.push_back(thing->handle);
    EXPECT_EQ(rest, c.rest);
  }
}

TEST(LibraryState, IsZeroFilledAndInitialised) {
  EnsureRuntime();
  static int calls = 0;
  unsigned char* block = static_cast<unsigned char*>(AllocateLibraryState(64, [](void* b) {
    ++calls;
    EXPECT_EQ(static_cast<unsigned char*>(b)[63], 0);
    static_cast<unsigned char*>(b)[0] = 1;
  }));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(block[0], 1);
  for (int i = 1; i < 64; ++i) EXPECT_EQ(block[i], 0);
  EXPECT_NE(AllocateLibraryState(16, nullptr), nullptr);
}

TEST(Arrays, HeaderAndNPlusOneZeroedElements) {
  EnsureRuntime();
  int32_t* table = nullptr;
  void** variable = reinterpret_cast<void**>(&table);
  ASSERT_NE(AllocateArray(1001, 4, 0, variable, 5), nullptr);
  ASSERT_NE(table, nullptr);
  ArrayHeader* header = reinterpret_cast<ArrayHeader*>(table) - 1;
  EXPECT_EQ(header->elementSize, 4u);
  EXPECT_EQ(header->value, 0u);
  EXPECT_EQ(header->variable, variable);
  EXPECT_EQ(header->count, 1001u);
  EXPECT_EQ(header->typeCode, 5u);
  for (int i = 0; i <= 1001; ++i) EXPECT_EQ(table[i], 0);
  table[1001] = -1;  // the extra element is there to write
  ReleaseArray(table);
  ReleaseArray(nullptr);
  AllocateArray(0, 8, 3, variable, 7);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ((reinterpret_cast<ArrayHeader*>(table) - 1)->count, 0u);
  ReleaseArray(table);
  // A size no block can hold is refused, not wrapped around.
  EXPECT_EQ(AllocateArray(0xFFFFFFFFu, 0xFFFFFFFFu, 0, variable, 5), nullptr);
  EXPECT_EQ(table, nullptr);
}

TEST(ObjectTables, AbsurdSizesAreRefused) {
  EnsureRuntime();
  EXPECT_EQ(CreateObjectTable(0, 16, nullptr), nullptr);
  EXPECT_EQ(CreateObjectTable(0x10000, 0x10000, nullptr), nullptr);
  ObjectTable* table = CreateObjectTable(sizeof(Thing), 16, nullptr);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(AllocateObject(table, 0x7FFFFFF0), nullptr);
  EXPECT_EQ(table->capacity, 16u);
  ObjectTable* empty = CreateObjectTable(sizeof(Thing), 0, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->capacity, 0u);
  Thing* first = MakeThing(empty, 0, 1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(empty->capacity, 1u);
  EXPECT_EQ(LookupObject(empty, 0), first);
}

#ifndef _WIN32
TEST_F(ObjectTableTest, ExhaustedMemoryLeavesTheTableAsItWas) {
  MakeThing(table, 3, 33);
  Thing* listed = MakeThing(table, AutoNumber, 44);
  unsigned char* slots = table->slots;
  long listedBlocks = ShimLiveBlocks(ListedObjectHeap);
  {
    AllocationFailure failure(0);
    released.clear();
    EXPECT_EQ(AllocateObject(table, 200), nullptr);
    EXPECT_EQ(AllocateObject(table, AutoNumber), nullptr);
    EXPECT_TRUE(released.empty());
  }
  EXPECT_EQ(table->capacity, 64u);
  EXPECT_EQ(table->slots, slots);
  EXPECT_EQ(table->listedHead, reinterpret_cast<ListedNode*>(listed) - 1);
  EXPECT_EQ(ShimLiveBlocks(ListedObjectHeap), listedBlocks);
  EXPECT_EQ(static_cast<Thing*>(LookupObject(table, 3))->handle, 33u);
  // Growth works again once memory is back.
  EXPECT_NE(MakeThing(table, 200, 1), nullptr);
  EXPECT_EQ(table->capacity, 264u);
  {
    AllocationFailure failure(0);
    EXPECT_EQ(CreateObjectTable(sizeof(Thing), 8, nullptr), nullptr);
    EXPECT_EQ(AllocateLibraryState(16, [](void*) { FAIL() << "initialiser called without a block"; }), nullptr);
  }
  {
    long before = ShimLiveBlocks(MainHeap);
    AllocationFailure failure(1);  // the table record but not its slots
    EXPECT_EQ(CreateObjectTable(sizeof(Thing), 8, nullptr), nullptr);
    EXPECT_EQ(ShimLiveBlocks(MainHeap), before);
  }
}

TEST(Arrays, FailureLeavesTheVariableNone) {
  EnsureRuntime();
  int32_t dummy = 0;
  void* variable = &dummy;
  AllocationFailure failure(0);
  EXPECT_EQ(AllocateArray(10, 4, 0, &variable, 5), nullptr);
  EXPECT_EQ(variable, nullptr);
}
#endif

}  // namespace
