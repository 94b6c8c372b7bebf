#include "runtime/lists.h"

#include <cstring>

#include "runtime/memory.h"

namespace {

void* AllocateZeroed(size_t bytes) { return MainHeap ? HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, bytes) : nullptr; }

void FreeToMain(void* block) {
  if (MainHeap && block) HeapFree(MainHeap, 0, block);
}

// Frees the string fields the descriptor names in one record of dataSize bytes. Entries that
// would reach outside the record are skipped rather than trusted.
const int32_t* FreeStringFields(unsigned char* data, size_t dataSize, const int32_t* entry, int depth) {
  while (*entry != FieldListEnd) {
    if (*entry == FieldEmbeddedArray) {
      int32_t count = entry[1], offset = entry[2], stride = entry[3];
      const int32_t* sub;
      std::memcpy(&sub, entry + 4, sizeof sub);
      entry += 4 + (sizeof sub + sizeof(int32_t) - 1) / sizeof(int32_t);
      if (!sub || depth > 16 || count <= 0 || offset < 0 || stride <= 0) continue;
      for (int32_t i = 0; i < count; ++i) {
        uint64_t start = static_cast<uint64_t>(offset) + static_cast<uint64_t>(i) * static_cast<uint64_t>(stride);
        if (start + static_cast<uint64_t>(stride) > dataSize) break;
        FreeStringFields(data + start, static_cast<size_t>(stride), sub, depth + 1);
      }
      continue;
    }
    int32_t offset = *entry++;
    if (offset < 0 || static_cast<uint64_t>(offset) + sizeof(StringVariable) > dataSize) continue;
    StringVariable text;
    std::memcpy(&text, data + offset, sizeof text);
    if (text && StringHeap) HeapFree(StringHeap, HEAP_NO_SERIALIZE, text);
    text = nullptr;
    std::memcpy(data + offset, &text, sizeof text);
  }
  return entry;
}

}  // namespace

int CreateList(ListVariable* list, uint32_t dataSize, const int32_t* fieldDescriptor, int32_t typeCode) {
  if (!list || dataSize > static_cast<uint32_t>(INT32_MAX) - sizeof(ElementLink)) return 0;
  // The new header is had before the old list goes, so a failure leaves the list as it was.
  ListHeader* header = static_cast<ListHeader*>(AllocateZeroed(sizeof(ListHeader)));
  if (!header) return 0;
  DestroyList(list);
  header->blockSize = static_cast<int32_t>(dataSize + sizeof(ElementLink));
  header->fieldDescriptor = fieldDescriptor;
  header->typeCode = typeCode;
  list->header = header;
  return 1;
}

ElementLink* InsertAfterCurrent(ListVariable* list) {
  if (!list || !list->header) return nullptr;
  ListHeader* header = list->header;
  ElementLink* element = static_cast<ElementLink*>(AllocateZeroed(static_cast<size_t>(header->blockSize)));
  if (!element) return nullptr;
  header->count++;
  header->index++;
  ElementLink* current = list->current;
  if (!current) {
    element->next = header->first;
    if (header->first) header->first->previous = element;
  } else {
    element->previous = current;
    element->next = current->next;
    if (current->next) current->next->previous = element;
    current->next = element;
  }
  list->current = element;
  if (!element->previous) header->first = element;
  if (!element->next) header->last = element;
  return element;
}

void RewindList(ListVariable* list) {
  if (!list) return;
  list->current = nullptr;
  if (list->header) list->header->index = 0;
}

ElementLink* AdvanceList(ListVariable* list) {
  if (!list || !list->header) return nullptr;
  ListHeader* header = list->header;
  if (list->current) {
    ElementLink* next = list->current->next;
    if (!next) return nullptr;
    list->current = next;
    header->index++;
    return next;
  }
  list->current = header->first;
  if (header->first) header->index = 1;
  return header->first;
}

void RemoveCurrentElement(ListVariable* list, int32_t keepCurrent) {
  if (!list || !list->header || !list->current) return;
  ListHeader* header = list->header;
  ElementLink* element = list->current;
  ElementLink* next = element->next;
  ElementLink* previous = element->previous;
  header->count--;
  header->index--;
  if (!next && !previous) {
    header->first = header->last = nullptr;
    list->current = nullptr;
  } else if (!previous) {
    next->previous = nullptr;
    header->first = next;
    if (keepCurrent) {
      list->current = next;
      header->index++;
    } else {
      list->current = nullptr;
    }
  } else if (!next) {
    previous->next = nullptr;
    header->last = previous;
    list->current = previous;
  } else {
    previous->next = next;
    next->previous = previous;
    list->current = previous;
  }
  if (header->fieldDescriptor)
    FreeStringFields(reinterpret_cast<unsigned char*>(ElementData(element)),
                     static_cast<size_t>(header->blockSize) - sizeof(ElementLink), header->fieldDescriptor, 0);
  FreeToMain(element);
}

void EmptyList(ListVariable* list) {
  if (!list || !list->header) return;
  RewindList(list);
  while (AdvanceList(list)) RemoveCurrentElement(list, 0);
}

void DestroyList(ListVariable* list) {
  if (!list || !list->header) return;
  EmptyList(list);
  FreeToMain(list->header);
  list->header = nullptr;
  list->current = nullptr;
}
