// Doubly linked lists of fixed-size, zero-filled records, walked through a cursor in the variable.
#pragma once
#include <cstdint>

struct ElementLink {
  ElementLink* next;
  ElementLink* previous;
  // the element's data follows
};

struct ListHeader {
  ElementLink* first;
  ElementLink* last;
  int32_t blockSize;  // data size + link size
  int32_t count;
  int32_t index;      // 1-based position of the current element, 0 for none
  const int32_t* fieldDescriptor;
  int32_t typeCode;
};

// Field descriptor: 32-bit entries. -1 ends it; -2 is followed by count, offset, stride and then
// the sub-descriptor's address (pointer-sized, in the following 32-bit words), describing an
// embedded array of records; any other value is the data offset of a StringVariable to free.
const int32_t FieldListEnd = -1;
const int32_t FieldEmbeddedArray = -2;

struct ListVariable {
  ListHeader* header;
  ElementLink* current;
};

// The data of an element starts right after its links.
inline void* ElementData(ElementLink* element) { return element ? element + 1 : nullptr; }
template <class T> T* CurrentData(const ListVariable& list) {
  return static_cast<T*>(ElementData(list.current));
}

// Both leave the list as it was when memory is short (CreateList then returns 0, the insert none).
int CreateList(ListVariable* list, uint32_t dataSize, const int32_t* fieldDescriptor, int32_t typeCode);
ElementLink* InsertAfterCurrent(ListVariable* list);
void RewindList(ListVariable* list);
ElementLink* AdvanceList(ListVariable* list);
void RemoveCurrentElement(ListVariable* list, int32_t keepCurrent);
void EmptyList(ListVariable* list);
void DestroyList(ListVariable* list);
