#include <gtest/gtest.h>

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

  EventQueue queue = {nullptr, nullptr};
};

TEST_F(EventQueueTest, EventsComeBackInTheOrderQueued) {
  EXPECT_EQ(QueueEvent(&queue, 3, 0), 1);
  EXPECT_EQ(QueueEvent(&queue, 16, 0), 1);
  EXPECT_EQ(QueueEvent(&queue, 5, 2), 1);
  EXPECT_EQ(QueuedEventCount(&queue), 3);
  ObjectNumber window;
  EXPECT_EQ(Take(&window), 3);
  EXPECT_EQ(window, 0);
  EXPECT_EQ(Take(&window), 16);
  EXPECT_EQ(Take(&window), 5);
  EXPECT_EQ(window, 2);
  EXPECT_EQ(queue.head, nullptr);
  EXPECT_EQ(queue.tail, nullptr);
  int32_t code = 77;
  EXPECT_FALSE(TakeQueuedEvent(&queue, &code, &window));
  EXPECT_EQ(code, 77);
}

TEST_F(EventQueueTest, ARepeatOfTheLastEventCollapses) {
  EXPECT_EQ(QueueEvent(&queue, 3, 1), 1);
  EXPECT_EQ(QueueEvent(&queue, 3, 1), 0);
  EXPECT_EQ(QueuedEventCount(&queue), 1);
  // Another window, or another code, is added; only the tail is compared.
  EXPECT_EQ(QueueEvent(&queue, 3, 2), 1);
  EXPECT_EQ(QueueEvent(&queue, 3, 1), 1);
  EXPECT_EQ(QueueEvent(&queue, 15, 1), 1);
  EXPECT_EQ(QueuedEventCount(&queue), 4);
  ObjectNumber window;
  EXPECT_EQ(Take(&window), 3);
  EXPECT_EQ(window, 1);
  EXPECT_EQ(Take(&window), 3);
  EXPECT_EQ(window, 2);
  EXPECT_EQ(Take(&window), 3);
  EXPECT_EQ(window, 1);
  EXPECT_EQ(Take(&window), 15);
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
