#include "window/event_queue.h"

int QueueEvent(EventQueue* queue, int32_t code, ObjectNumber window) {
  if (!queue) return 0;
  QueuedEvent* tail = queue->tail;
  if (tail && tail->code == code && tail->window == window) return 0;
  if (!MainHeap) return 0;
  QueuedEvent* node = static_cast<QueuedEvent*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(QueuedEvent)));
  if (!node) return 0;
  node->code = code;
  node->window = window;
  if (tail)
    tail->next = node;
  else
    queue->head = node;
  queue->tail = node;
  return 1;
}

int TakeQueuedEvent(EventQueue* queue, int32_t* code, ObjectNumber* window) {
  if (!queue || !queue->head) return 0;
  QueuedEvent* node = queue->head;
  if (code) *code = node->code;
  if (window) *window = node->window;
  queue->head = node->next;
  if (!queue->head) queue->tail = nullptr;
  HeapFree(MainHeap, 0, node);
  return 1;
}

int QueuedEventCount(const EventQueue* queue) {
  int count = 0;
  if (queue)
    for (const QueuedEvent* node = queue->head; node; node = node->next) ++count;
  return count;
}

void EmptyEventQueue(EventQueue* queue) {
  while (TakeQueuedEvent(queue, nullptr, nullptr)) {
  }
}
