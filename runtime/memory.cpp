#include "runtime/memory.h"

#include <cstring>

HANDLE MainHeap = nullptr;
HANDLE ListedObjectHeap = nullptr;
HANDLE StringHeap = nullptr;
StringScratch Scratch = {nullptr, 0, 0};

namespace {

// Sizes stay within what the 32-bit product can address in one block; anything larger is refused
// before it reaches the heap, so an absurd number cannot wrap a size computation.
const size_t LargestBlock = 0x7FFFFFFF;
const size_t ScratchSpare = 5;        // room past the capacity for the terminator
const size_t ScratchGrowth = 16384;   // margin beyond the need when the scratch grows
const size_t InitialScratch = 16;
size_t scratchBlockBytes = 0;         // the scratch buffer's real size

void* AllocateZeroed(HANDLE heap, size_t bytes) {
  if (!heap || bytes > LargestBlock) return nullptr;
  return HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
}

void FreeBlock(HANDLE heap, void* block) {
  if (heap && block) HeapFree(heap, 0, block);
}

// Live means a non-zero first 32-bit field; records need not be 4-byte aligned.
bool IsLive(const void* record) {
  uint32_t first;
  std::memcpy(&first, record, sizeof first);
  return first != 0;
}

unsigned char* RecordOf(ListedNode* node) { return reinterpret_cast<unsigned char*>(node + 1); }

bool InSlots(const ObjectTable* table, ObjectNumber number) {
  return number >= 0 && static_cast<uintptr_t>(number) < table->capacity;
}

unsigned char* SlotOf(const ObjectTable* table, ObjectNumber number) {
  return table->slots + static_cast<size_t>(number) * table->recordSize;
}

// Only identifiers this table handed out are taken: a stray number finds no node.
ListedNode* FindListedNode(const ObjectTable* table, ObjectNumber number) {
  for (ListedNode* node = table->listedHead; node; node = node->next)
    if (reinterpret_cast<uintptr_t>(RecordOf(node)) == static_cast<uintptr_t>(number)) return node;
  return nullptr;
}

ListedNode* OldestListedNode(const ObjectTable* table) {
  ListedNode* node = table->listedHead;
  while (node && node->next) node = node->next;
  return node;
}

bool GrowSlots(ObjectTable* table, ObjectNumber number) {
  uint64_t capacity = static_cast<uint64_t>(number) + table->growthStep;
  if (capacity <= static_cast<uint64_t>(number)) capacity = static_cast<uint64_t>(number) + 1;
  if (capacity > UINT32_MAX || capacity * table->recordSize > LargestBlock) return false;
  size_t bytes = static_cast<size_t>(capacity * table->recordSize);
  void* slots = table->slots ? HeapReAlloc(MainHeap, HEAP_ZERO_MEMORY, table->slots, bytes)
                             : AllocateZeroed(MainHeap, bytes);
  if (!slots) return false;
  table->slots = static_cast<unsigned char*>(slots);
  table->capacity = static_cast<uint32_t>(capacity);
  return true;
}

bool WithinBlock(const char* address, const char* block, size_t bytes) {
  uintptr_t a = reinterpret_cast<uintptr_t>(address), b = reinterpret_cast<uintptr_t>(block);
  return block && a >= b && a - b < bytes;
}

// Gives the variable a block of length + 5 bytes, keeping its old block (and text) on failure.
char* ResizeStringBlock(StringVariable* variable, size_t length) {
  if (length > LargestBlock - ScratchSpare || !StringHeap) return nullptr;
  size_t bytes = length + ScratchSpare;
  void* block = *variable ? HeapReAlloc(StringHeap, HEAP_NO_SERIALIZE, *variable, bytes)
                          : HeapAlloc(StringHeap, HEAP_NO_SERIALIZE, bytes);
  if (block) *variable = static_cast<char*>(block);
  return static_cast<char*>(block);
}

// The NextObject walks that ForEachObject visits have paused, innermost first. The visitor may
// release any listed object, so each saved node is moved on when its object goes, just as the
// table's own walk node is; comparing addresses afterwards would miss a freed node or mistake a
// new allocation at the same address for it.
struct PausedWalk {
  const ObjectTable* table;
  ListedNode* node;
  PausedWalk* outer;
};
PausedWalk* pausedWalks = nullptr;

}  // namespace

// ---- heap usage -----------------------------------------------------------------------------

int HeapUsage(HANDLE heap, size_t* blocks, size_t* bytes) {
  size_t count = 0, total = 0;
  int walked = 0;
  if (heap) {
    PROCESS_HEAP_ENTRY entry;
    std::memset(&entry, 0, sizeof entry);
    // Regions and free ranges are the heap's own bookkeeping; only busy entries are ours.
    while (HeapWalk(heap, &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
        ++count;
        total += entry.cbData;
      }
    }
    walked = GetLastError() == ERROR_NO_MORE_ITEMS;
  }
  if (blocks) *blocks = walked ? count : 0;
  if (bytes) *bytes = walked ? total : 0;
  return walked;
}

// ---- object registry ------------------------------------------------------------------------

ObjectTable* CreateObjectTable(uint32_t recordSize, uint32_t growthStep, ReleaseRoutine release) {
  if (recordSize < sizeof(uint32_t)) return nullptr;
  if (static_cast<uint64_t>(recordSize) * growthStep > LargestBlock) return nullptr;
  ObjectTable* table = static_cast<ObjectTable*>(AllocateZeroed(MainHeap, sizeof(ObjectTable)));
  if (!table) return nullptr;
  table->recordSize = recordSize;
  table->growthStep = growthStep;
  table->release = release;
  size_t bytes = static_cast<size_t>(recordSize) * growthStep;
  table->slots = static_cast<unsigned char*>(AllocateZeroed(MainHeap, bytes ? bytes : recordSize));
  if (!table->slots) {
    FreeBlock(MainHeap, table);
    return nullptr;
  }
  table->capacity = growthStep;
  return table;
}

void* AllocateObject(ObjectTable* table, ObjectNumber number) {
  if (!table || number < AutoNumber) return nullptr;
  if (number == AutoNumber) {
    if (table->recordSize > LargestBlock - sizeof(ListedNode)) return nullptr;
    ListedNode* node =
        static_cast<ListedNode*>(AllocateZeroed(ListedObjectHeap, sizeof(ListedNode) + table->recordSize));
    if (!node) return nullptr;
    node->next = table->listedHead;
    if (table->listedHead) table->listedHead->previous = node;
    table->listedHead = node;
    return RecordOf(node);
  }
  if (static_cast<uintptr_t>(number) >= table->capacity && !GrowSlots(table, number)) return nullptr;
  if (table->release) table->release(number);
  // The release routine may have grown the table, so the slot is found afresh.
  if (!InSlots(table, number)) return nullptr;
  return SlotOf(table, number);
}

void* LookupObject(ObjectTable* table, ObjectNumber number) {
  if (!table || number == AutoNumber) return nullptr;
  unsigned char* record;
  if (InSlots(table, number)) {
    record = SlotOf(table, number);
  } else {
    ListedNode* node = FindListedNode(table, number);
    if (!node) return nullptr;
    record = RecordOf(node);
  }
  return IsLive(record) ? record : nullptr;
}

void ReleaseObject(ObjectTable* table, ObjectNumber number) {
  if (!table || number == AutoNumber) return;
  if (InSlots(table, number)) {
    std::memset(SlotOf(table, number), 0, table->recordSize);
    return;
  }
  ListedNode* node = FindListedNode(table, number);
  if (!node) return;
  if (node == table->listedHead) {
    table->listedHead = node->next;
    if (node->next) node->next->previous = nullptr;
  } else {
    node->previous->next = node->next;
    if (node->next) node->next->previous = node->previous;
  }
  // A walk standing on this node moves on to the next newer one instead of a freed block.
  if (table->walkNode == node) table->walkNode = node->previous;
  for (PausedWalk* walk = pausedWalks; walk; walk = walk->outer)
    if (walk->table == table && walk->node == node) walk->node = node->previous;
  FreeBlock(ListedObjectHeap, node);
}

void ResetObjectIteration(ObjectTable* table) {
  if (!table) return;
  table->walkIndex = 0;
  table->walkNode = OldestListedNode(table);
}

void* NextObject(ObjectTable* table, ObjectNumber* number) {
  if (!table) return nullptr;
  while (table->walkIndex < table->capacity) {
    uint32_t index = table->walkIndex++;
    unsigned char* record = SlotOf(table, index);
    if (IsLive(record)) {
      if (number) *number = static_cast<ObjectNumber>(index);
      return record;
    }
  }
  if (ListedNode* node = table->walkNode) {
    table->walkNode = node->previous;
    if (number) *number = reinterpret_cast<ObjectNumber>(RecordOf(node));
    return RecordOf(node);
  }
  return nullptr;
}

int ForEachObject(ObjectTable* table, ObjectVisitor visit, intptr_t user) {
  if (!table || !visit) return 1;
  // Capacity and slots are read afresh each time: the visitor may allocate or release.
  for (uint32_t index = 0; index < table->capacity; ++index) {
    unsigned char* record = SlotOf(table, index);
    if (IsLive(record) && !visit(static_cast<ObjectNumber>(index), record, user)) return 0;
  }
  // The listed objects are walked with the table's walk node, which ReleaseObject moves on when
  // the visitor frees the node it stands on; a NextObject walk in progress is set aside meanwhile
  // and resumes at the next object still listed.
  PausedWalk paused = {table, table->walkNode, pausedWalks};
  pausedWalks = &paused;
  int result = 1;
  table->walkNode = OldestListedNode(table);
  while (ListedNode* node = table->walkNode) {
    table->walkNode = node->previous;
    if (!visit(reinterpret_cast<ObjectNumber>(RecordOf(node)), RecordOf(node), user)) {
      result = 0;
      break;
    }
  }
  table->walkNode = paused.node;
  pausedWalks = paused.outer;
  return result;
}

void* AllocateLibraryState(size_t size, void (*initialise)(void* block)) {
  void* block = AllocateZeroed(MainHeap, size ? size : 1);
  if (block && initialise) initialise(block);
  return block;
}

// ---- dynamic arrays -------------------------------------------------------------------------

void* AllocateArray(uint32_t count, uint32_t elementSize, uint32_t value, void** variable, uint32_t typeCode) {
  uint64_t bytes = sizeof(ArrayHeader) + (static_cast<uint64_t>(count) + 1) * elementSize;
  ArrayHeader* header = bytes <= LargestBlock
                            ? static_cast<ArrayHeader*>(AllocateZeroed(MainHeap, static_cast<size_t>(bytes)))
                            : nullptr;
  void* elements = nullptr;
  if (header) {
    header->elementSize = elementSize;
    header->value = value;
    header->variable = variable;
    header->count = count;
    header->typeCode = typeCode;
    elements = header + 1;
  }
  if (variable) *variable = elements;
  return elements;
}

void ReleaseArray(void* elements) {
  if (elements) FreeBlock(MainHeap, static_cast<ArrayHeader*>(elements) - 1);
}

// ---- string storage -------------------------------------------------------------------------

int InitStringStorage() {
  if (!StringHeap) StringHeap = HeapCreate(HEAP_NO_SERIALIZE, 4096, 0);
  if (!StringHeap) return 0;
  if (!Scratch.buffer) {
    char* buffer = static_cast<char*>(HeapAlloc(StringHeap, HEAP_NO_SERIALIZE, InitialScratch));
    if (!buffer) return 0;
    buffer[0] = 0;
    Scratch.buffer = buffer;
    Scratch.capacity = InitialScratch;
    Scratch.end = 0;
    scratchBlockBytes = InitialScratch;
  }
  return 1;
}

int InitListedObjectHeap() {
  if (!ListedObjectHeap) ListedObjectHeap = HeapCreate(0, 1024, 0);
  return ListedObjectHeap != nullptr;
}

char* ScratchReserve(size_t length, size_t position) {
  if (!Scratch.buffer) return nullptr;
  // The need also covers a position past the end, so the result always fits.
  size_t base = position > Scratch.end ? position : Scratch.end;
  if (base > LargestBlock || length > LargestBlock - base) return nullptr;
  size_t need = base + length;
  if (need >= Scratch.capacity - 4) {
    if (need > LargestBlock - ScratchGrowth - ScratchSpare) return nullptr;
    size_t capacity = need + ScratchGrowth;
    void* buffer = HeapReAlloc(StringHeap, HEAP_NO_SERIALIZE, Scratch.buffer, capacity + ScratchSpare);
    if (!buffer) return nullptr;
    Scratch.buffer = static_cast<char*>(buffer);
    Scratch.capacity = capacity;
    scratchBlockBytes = capacity + ScratchSpare;
  }
  Scratch.end = position + length;
  return Scratch.buffer + position;
}

size_t ScratchOffsetOf(const char* address) {
  // The whole block counts, so an empty result standing at the end is found too.
  if (!address || !WithinBlock(address, Scratch.buffer, scratchBlockBytes)) return 0;
  return static_cast<size_t>(address - Scratch.buffer) + 1;
}

char* ScratchPointerAt(size_t offset) {
  if (!Scratch.buffer || offset == 0) return nullptr;
  return Scratch.buffer + (offset - 1);
}

size_t ScratchEnd() { return Scratch.end; }

void SetScratchEnd(size_t end) { Scratch.end = end < Scratch.capacity ? end : Scratch.capacity; }

int StoreScratchString(StringVariable* variable, size_t start) {
  if (!variable || !Scratch.buffer) return 0;
  size_t end = Scratch.end;
  size_t length = start < end ? end - start : 0;
  char* block = ResizeStringBlock(variable, length);
  if (block) {
    if (length) std::memcpy(block, Scratch.buffer + start, length);
    block[length] = 0;
  }
  if (start < end) Scratch.end = start;
  return block != nullptr;
}

int AssignStringVariable(StringVariable* variable, const char* text) {
  if (!variable) return 0;
  if (!text) {
    if (*variable && StringHeap) HeapFree(StringHeap, HEAP_NO_SERIALIZE, *variable);
    *variable = nullptr;
    return 1;
  }
  size_t length = std::strlen(text);
  // A text taken from the variable's own block is found again after the block moves.
  char* old = *variable;
  bool own = old && WithinBlock(text, old, std::strlen(old) + 1);
  size_t offset = own ? static_cast<size_t>(text - old) : 0;
  char* block = ResizeStringBlock(variable, length);
  if (!block) return 0;
  std::memmove(block, own ? block + offset : text, length);
  block[length] = 0;
  return static_cast<int>(length + 1);
}

int CompareStrings(const char* a, const char* b) {
  if (!a) a = "";
  if (!b) b = "";
  return std::strcmp(a, b) == 0;
}
