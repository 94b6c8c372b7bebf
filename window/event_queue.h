// The queue of window events waiting for the program's event loop. Nodes come from MainHeap.
#pragma once
#include <cstdint>

#include "runtime/memory.h"

struct QueuedEvent {
  QueuedEvent* next;
  int32_t code;
  ObjectNumber window;  // an AutoNumber window is known by its record's address
};

struct EventQueue {
  QueuedEvent* head;
  QueuedEvent* tail;
};

// Appends the event, unless the last queued event is the same code for the same window (repeats
// between two reads collapse into one). Returns 1 when a node was added, 0 when the event
// collapsed or no memory was left (the event is then dropped).
int QueueEvent(EventQueue* queue, int32_t code, ObjectNumber window);
// Unlinks and frees the first event; 0 when the queue is empty.
int TakeQueuedEvent(EventQueue* queue, int32_t* code, ObjectNumber* window);
int QueuedEventCount(const EventQueue* queue);
void EmptyEventQueue(EventQueue* queue);
