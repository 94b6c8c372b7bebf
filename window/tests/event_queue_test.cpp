#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "runtime/memory.h"
#include "window/event_queue.h"

namespace {

class EventQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
  }
  void TearDown() override { EmptyEventQueue(&queue); }

  int32_t Take(ObjectNumber* window = nullptr) {
    int32_t code = 0;
    ObjectNumber w = 0;
    EXPECT_TRUE(TakeQueuedEvent(&queue, &code, &w));
    if (window) *window = w;
    return code;
  }

  using Events = std::vector<std::pair<int32_t, ObjectNumber>>;   // (code, window)
  // What QueueEvent answered for each event, in order.
  std::vector<int32_t> QueueAll(const Events& events) {
    std::vector<int32_t> answers;
    for (const auto& e : events) answers.push_back(QueueEvent(&queue, e.first, e.second));
    return answers;
  }
  // Everything queued, oldest first.
  Events TakeAll() {
    Events taken;
    int32_t code = 0;
    ObjectNumber window = 0;
    while (TakeQueuedEvent(&queue, &code, &window)) taken.push_back({code, window});
    return taken;
  }

  EventQueue queue = {nullptr, nullptr};
};

TEST_F(EventQueueTest, EventsComeBackInTheOrderQueued) {
  EXPECT_EQ(QueueAll({{3, 0}, {16, 0}, {5, 2}}), (std::vector<int32_t>{1, 1, 1}));
  EXPECT_EQ(QueuedEventCount(&queue), 3);
  EXPECT_EQ(TakeAll(), (Events{{3, 0}, {16, 0}, {5, 2}}));
  EXPECT_EQ(queue.head, nullptr);
  EXPECT_EQ(queue.tail, nullptr);
  int32_t code = 77;
  ObjectNumber window;
  EXPECT_FALSE(TakeQueuedEvent(&queue, &code, &window));
  EXPECT_EQ(code, 77);
}

TEST_F(EventQueueTest, ARepeatOfTheLastEventCollapses) {
  EXPECT_EQ(QueueAll({{3, 1}, {3, 1}}), (std::vector<int32_t>{1, 0}));
  EXPECT_EQ(QueuedEventCount(&queue), 1);
  // Another window, or another code, is added; only the tail is compared.
  EXPECT_EQ(QueueAll({{3, 2}, {3, 1}, {15, 1}}), (std::vector<int32_t>{1, 1, 1}));
  EXPECT_EQ(QueuedEventCount(&queue), 4);
  EXPECT_EQ(TakeAll(), (Events{{3, 1}, {3, 2}, {3, 1}, {15, 1}}));
}

TEST_F(EventQueueTest, AfterTheQueueEmptiesTheSameEventIsAddedAgain) {
  QueueEvent(&queue, 3, 1);
  Take();
  EXPECT_EQ(QueueEvent(&queue, 3, 1), 1);
  EXPECT_EQ(QueuedEventCount(&queue), 1);
}

TEST_F(EventQueueTest, PointerSizedWindowNumbersAreKept) {
  ObjectNumber address = reinterpret_cast<ObjectNumber>(&queue);
  QueueEvent(&queue, 16, address);
  EXPECT_EQ(QueueEvent(&queue, 16, address), 0);
  ObjectNumber window;
  EXPECT_EQ(Take(&window), 16);
  EXPECT_EQ(window, address);
}

#ifndef _WIN32
TEST_F(EventQueueTest, AnEventWithoutMemoryIsDroppedAndTheQueueStaysIntact) {
  QueueEvent(&queue, 3, 1);
  long before = ShimLiveBlocks(MainHeap);
  ShimFailAllocationsAfter(0);
  EXPECT_EQ(QueueEvent(&queue, 5, 1), 0);
  ShimFailAllocationsAfter(-1);
  EXPECT_EQ(ShimLiveBlocks(MainHeap), before);
  EXPECT_EQ(QueuedEventCount(&queue), 1);
  EXPECT_EQ(QueueEvent(&queue, 5, 1), 1);
  EXPECT_EQ(Take(), 3);
  EXPECT_EQ(Take(), 5);
}

TEST_F(EventQueueTest, TakenAndEmptiedNodesAreFreed) {
  long before = ShimLiveBlocks(MainHeap);
  for (int i = 0; i < 10; ++i) QueueEvent(&queue, i, 0);
  EXPECT_EQ(ShimLiveBlocks(MainHeap), before + 10);
  Take();
  EXPECT_EQ(ShimLiveBlocks(MainHeap), before + 9);
  EmptyEventQueue(&queue);
  EXPECT_EQ(ShimLiveBlocks(MainHeap), before);
  EXPECT_EQ(queue.head, nullptr);
  EXPECT_EQ(queue.tail, nullptr);
}
#endif

TEST_F(EventQueueTest, NoQueueIsHarmless) {
  EXPECT_EQ(QueueEvent(nullptr, 3, 0), 0);
  EXPECT_EQ(TakeQueuedEvent(nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(QueuedEventCount(nullptr), 0);
  EmptyEventQueue(nullptr);
}

}  // namespace
