#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <list>
#include <random>
#include <vector>

#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/tests/runtime_support.h"

namespace {

struct Item {
  int32_t value;
  int32_t spare[3];
};

// Checks every invariant of the chain and returns the values from first to last.
std::vector<int32_t> CheckedValues(const ListVariable& list) {
  std::vector<int32_t> values;
  const ListHeader* h = list.header;
  EXPECT_NE(h, nullptr);
  if (!h) return values;
  EXPECT_EQ(h->first == nullptr, h->count == 0);
  EXPECT_EQ(h->last == nullptr, h->count == 0);
  if (h->first) {
    EXPECT_EQ(h->first->previous, nullptr);
  }
  if (h->last) {
    EXPECT_EQ(h->last->next, nullptr);
  }
  ElementLink* previous = nullptr;
  int32_t position = 0, currentPosition = 0;
  for (ElementLink* e = h->first; e; e = e->next) {
    ++position;
    if (e->previous != previous) ADD_FAILURE() << "broken previous link at position " << position;
    if (e == list.current) currentPosition = position;
    values.push_back(static_cast<Item*>(ElementData(e))->value);
    previous = e;
    if (position > h->count + 1) break;  // a cycle would otherwise never end
  }
  EXPECT_EQ(previous, h->last);
  EXPECT_EQ(position, h->count);
  if (list.current) {
    EXPECT_NE(currentPosition, 0) << "the cursor is not on an element of the list";
    EXPECT_EQ(h->index, currentPosition);
  } else {
    EXPECT_EQ(h->index, 0);
  }
  return values;
}

int32_t CurrentValue(const ListVariable& list) { return CurrentData<Item>(list)->value; }

ElementLink* Insert(ListVariable* list, int32_t value) {
  ElementLink* e = InsertAfterCurrent(list);
  if (e) static_cast<Item*>(ElementData(e))->value = value;
  return e;
}

class ListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureRuntime();
    ASSERT_TRUE(CreateList(&list, sizeof(Item), nullptr, 7));
  }
  void TearDown() override { DestroyList(&list); }
  ListVariable list = {nullptr, nullptr};
};

TEST_F(ListTest, CreateMakesAnEmptyHeader) {
  ASSERT_NE(list.header, nullptr);
  EXPECT_EQ(list.header->blockSize, static_cast<int32_t>(sizeof(Item) + sizeof(ElementLink)));
  EXPECT_EQ(list.header->typeCode, 7);
  EXPECT_EQ(list.header->count, 0);
  EXPECT_EQ(list.current, nullptr);
  EXPECT_TRUE(CheckedValues(list).empty());
}

TEST_F(ListTest, AdvanceOnAnEmptyListGivesNoneAndIndexZero) {
  EXPECT_EQ(AdvanceList(&list), nullptr);
  EXPECT_EQ(list.header->index, 0);
  EXPECT_EQ(list.current, nullptr);
}

TEST_F(ListTest, InsertsAfterARewindKeepTheirOrderAndElementsAreZeroed) {
  RewindList(&list);
  for (int32_t v = 1; v <= 4; ++v) {
    ElementLink* e = InsertAfterCurrent(&list);
    ASSERT_NE(e, nullptr);
    Item* item = static_cast<Item*>(ElementData(e));
    EXPECT_EQ(item->value, 0);
    EXPECT_EQ(item->spare[2], 0);
    item->value = v;
    EXPECT_EQ(list.current, e);
  }
  EXPECT_EQ(CheckedValues(list), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(list.header->index, 4);
  // After a rewind the next insert goes first.
  RewindList(&list);
  Insert(&list, 0);
  EXPECT_EQ(CheckedValues(list), (std::vector<int32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(list.header->index, 1);
}

TEST_F(ListTest, AWalkEndingOnTheLastElementAppends) {
  for (int32_t v : {1, 2, 3}) Insert(&list, v);
  RewindList(&list);
  std::vector<int32_t> seen;
  while (AdvanceList(&list)) seen.push_back(CurrentValue(list));
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(CurrentValue(list), 3);  // the cursor stays on the last element
  EXPECT_EQ(list.header->index, 3);
  EXPECT_EQ(AdvanceList(&list), nullptr);
  EXPECT_EQ(list.header->index, 3);
  Insert(&list, 4);
  EXPECT_EQ(CheckedValues(list), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(list.header->last, list.current);
}

TEST_F(ListTest, RemovingTheFirstWithKeepSkipsTheNewFirst) {
  for (int32_t v : {1, 2, 3}) Insert(&list, v);
  RewindList(&list);
  ASSERT_NE(AdvanceList(&list), nullptr);
  RemoveCurrentElement(&list, 1);
  EXPECT_EQ(CurrentValue(list), 2);
  EXPECT_EQ(list.header->index, 1);
  EXPECT_EQ(CheckedValues(list), (std::vector<int32_t>{2, 3}));
  ASSERT_NE(AdvanceList(&list), nullptr);
  EXPECT_EQ(CurrentValue(list), 3);  // 2 was skipped
}

TEST_F(ListTest, RemovingTheFirstWithoutKeepRewinds) {
  for (int32_t v : {1, 2, 3}) Insert(&list, v);
  RewindList(&list);
  AdvanceList(&list);
  RemoveCurrentElement(&list, 0);
  EXPECT_EQ(list.current, nullptr);
  EXPECT_EQ(list.header->index, 0);
  ASSERT_NE(AdvanceList(&list), nullptr);
  EXPECT_EQ(CurrentValue(list), 2);
  EXPECT_EQ(CheckedValues(list), (std::vector<int32_t>{2, 3}));
}

TEST_F(ListTest, RemovingTheLastLeavesTheCursorOnTheNewLast) {
  for (int32_t v : {1, 2, 3}) Insert(&list, v);
  RemoveCurrentElement(&list, 0);  // the cursor is on 3
  EXPECT_EQ(CurrentValue(list), 2);
  EXPECT_EQ(list.header->index, 2);
  EXPECT_EQ(AdvanceList(&list), nullptr);
  EXPECT_EQ(CheckedValues(list), (std::vector<int32_t>{1, 2}));
}

TEST_F(ListTest, RemovingInTheMiddleStepsBackAndTheWalkGoesOn) {
  for (int32_t v = 1; v <= 6; ++v) Insert(&list, v);
  // Remove the even values during one walk.
  RewindList(&list);
  std::vector<int32_t> seen;
  while (AdvanceList(&list)) {
    seen.push_back(CurrentValue(list));
    if (CurrentValue(list) % 2 == 0) RemoveCurrentElement(&list, 0);
    CheckedValues(list);
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(CheckedValues(list), (std::vector<int32_t>{1, 3, 5}));
}

TEST_F(ListTest, RemovingTheOnlyElementAndWithoutACursor) {
  RemoveCurrentElement(&list, 1);  // nothing current: nothing happens
  Insert(&list, 9);
  RewindList(&list);
  RemoveCurrentElement(&list, 1);
  EXPECT_EQ(list.header->count, 1);
  AdvanceList(&list);
  RemoveCurrentElement(&list, 1);
  EXPECT_EQ(list.current, nullptr);
  EXPECT_TRUE(CheckedValues(list).empty());
}

TEST_F(ListTest, EmptyAndDestroy) {
  EmptyList(&list);
  EXPECT_EQ(list.header->count, 0);
  EXPECT_EQ(list.header->index, 0);
  for (int32_t v = 0; v < 10; ++v) Insert(&list, v);
  EmptyList(&list);
  EXPECT_EQ(list.header->count, 0);
  EXPECT_EQ(list.header->index, 0);
  EXPECT_EQ(list.current, nullptr);
  CheckedValues(list);
  Insert(&list, 1);
  DestroyList(&list);
  EXPECT_EQ(list.header, nullptr);
  EXPECT_EQ(list.current, nullptr);
  // Operations on a destroyed list are quiet.
  EXPECT_EQ(InsertAfterCurrent(&list), nullptr);
  EXPECT_EQ(AdvanceList(&list), nullptr);
  RewindList(&list);
  RemoveCurrentElement(&list, 0);
  EmptyList(&list);
  DestroyList(&list);
}

TEST_F(ListTest, RecreatingReplacesTheOldList) {
  for (int32_t v = 0; v < 3; ++v) Insert(&list, v);
  ASSERT_TRUE(CreateList(&list, 40, nullptr, 3));
  EXPECT_EQ(list.current, nullptr);
  EXPECT_EQ(list.header->count, 0);
  EXPECT_EQ(list.header->blockSize, static_cast<int32_t>(40 + sizeof(ElementLink)));
}

// Random operations checked against a model list with its own cursor.
TEST_F(ListTest, RandomOperationsMatchAModel) {
  std::mt19937 rng(20240601);
  std::list<int32_t> model;
  std::list<int32_t>::iterator cursor = model.end();  // end() is "no current element"
  int32_t next = 1;
  for (int step = 0; step < 5000; ++step) {
    switch (rng() % 6) {
      case 0:
      case 1: {
        Insert(&list, next);
        cursor = model.insert(cursor == model.end() ? model.begin() : std::next(cursor), next);
        ++next;
        break;
      }
      case 2:
        RewindList(&list);
        cursor = model.end();
        break;
      case 3: {
        ElementLink* e = AdvanceList(&list);
        if (cursor == model.end()) {
          cursor = model.begin();
        } else if (std::next(cursor) != model.end()) {
          ++cursor;
        } else {
          EXPECT_EQ(e, nullptr);
          break;
        }
        ASSERT_EQ(e != nullptr, cursor != model.end());
        break;
      }
      case 4:
      case 5: {
        if (cursor == model.end()) {
          RemoveCurrentElement(&list, 1);
          break;
        }
        int32_t keep = rng() % 2;
        RemoveCurrentElement(&list, keep);
        bool first = cursor == model.begin();
        auto after = model.erase(cursor);
        if (first) cursor = keep && after != model.end() ? after : model.end();
        else cursor = std::prev(after);
        break;
      }
    }
    std::vector<int32_t> values = CheckedValues(list);
    ASSERT_EQ(values, std::vector<int32_t>(model.begin(), model.end())) << "step " << step;
    ASSERT_EQ(list.current ? CurrentValue(list) : 0, cursor != model.end() ? *cursor : 0) << "step " << step;
    if (HasFailure()) return;
  }
}

struct Named {
  int32_t id;
  StringVariable name;
  StringVariable title;
};

struct Holder {
  int32_t id;
  StringVariable label;
  Named entries[3];
};

TEST(ListFieldDescriptor, RemovingAnElementFreesItsStrings) {
  EnsureRuntime();
  static const int32_t named[] = {offsetof(Named, name), offsetof(Named, title), FieldListEnd};
  // -2, count, offset, stride, then the sub-descriptor's address in the following words.
  int32_t holder[4 + sizeof(void*) / sizeof(int32_t) + 2] = {
      FieldEmbeddedArray, 3, static_cast<int32_t>(offsetof(Holder, entries)), static_cast<int32_t>(sizeof(Named))};
  const int32_t* sub = named;
  std::memcpy(&holder[4], &sub, sizeof sub);
  holder[4 + sizeof(void*) / sizeof(int32_t)] = offsetof(Holder, label);
  holder[5 + sizeof(void*) / sizeof(int32_t)] = FieldListEnd;

  ListVariable list = {nullptr, nullptr};
  ASSERT_TRUE(CreateList(&list, sizeof(Holder), holder, 7));
#ifndef _WIN32
  long before = ShimLiveBlocks(StringHeap);
#endif
  for (int i = 0; i < 3; ++i) {
    Holder* h = static_cast<Holder*>(ElementData(InsertAfterCurrent(&list)));
    AssignStringVariable(&h->label, "label");
    AssignStringVariable(&h->entries[0].name, "n0");
    AssignStringVariable(&h->entries[2].title, "t2");
    AssignStringVariable(&h->entries[1].title, "t1");
  }
#ifndef _WIN32
  EXPECT_EQ(ShimLiveBlocks(StringHeap), before + 12);
#endif
  RemoveCurrentElement(&list, 0);
#ifndef _WIN32
  EXPECT_EQ(ShimLiveBlocks(StringHeap), before + 8);
#endif
  DestroyList(&list);
#ifndef _WIN32
  EXPECT_EQ(ShimLiveBlocks(StringHeap), before);
#endif
}

TEST(ListFieldDescriptor, EntriesOutsideTheDataAreIgnored) {
  EnsureRuntime();
  static const int32_t bad[] = {-7, 1000, FieldEmbeddedArray, 100, 0, 8, 0, 0, FieldListEnd};
  // A negative offset, an offset past the data, and an embedded array whose sub-descriptor
  // address (the zero words after the stride) is none.
  ListVariable list = {nullptr, nullptr};
  ASSERT_TRUE(CreateList(&list, 8, bad, 7));
  InsertAfterCurrent(&list);
  RemoveCurrentElement(&list, 0);
  DestroyList(&list);
}

#ifndef _WIN32
TEST(ListMemory, FailuresLeaveTheListAsItWas) {
  EnsureRuntime();
  ListVariable list = {nullptr, nullptr};
  {
    AllocationFailure failure(0);
    EXPECT_EQ(CreateList(&list, 16, nullptr, 7), 0);
    EXPECT_EQ(list.header, nullptr);
  }
  ASSERT_TRUE(CreateList(&list, sizeof(Item), nullptr, 7));
  for (int32_t v : {1, 2, 3}) Insert(&list, v);
  RewindList(&list);
  AdvanceList(&list);
  ListHeader* header = list.header;
  ElementLink* current = list.current;
  long blocks = ShimLiveBlocks(MainHeap);
  {
    AllocationFailure failure(0);
    EXPECT_EQ(InsertAfterCurrent(&list), nullptr);
    EXPECT_EQ(CreateList(&list, 16, nullptr, 9), 0);
  }
  EXPECT_EQ(list.header, header);
  EXPECT_EQ(list.current, current);
  EXPECT_EQ(header->count, 3);
  EXPECT_EQ(header->index, 1);
  EXPECT_EQ(header->typeCode, 7);
  EXPECT_EQ(ShimLiveBlocks(MainHeap), blocks);
  EXPECT_EQ(CheckedValues(list), (std::vector<int32_t>{1, 2, 3}));
  DestroyList(&list);
  EXPECT_EQ(ShimLiveBlocks(MainHeap), blocks - 4);
}
#endif

}  // namespace
