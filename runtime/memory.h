// Numbered objects, the program's heaps, library state blocks, dynamic arrays, the string
// scratch and string variables.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/platform.h"

// Object numbers are pointer-sized: an AutoNumber object's number is its record's address.
typedef intptr_t ObjectNumber;
const ObjectNumber AutoNumber = -1;

typedef void (*ReleaseRoutine)(ObjectNumber number);

struct ListedNode {
  ListedNode* next;      // created before this one
  ListedNode* previous;  // created after this one
  // the object record follows
};

struct ObjectTable {
  uint32_t recordSize;
  uint32_t growthStep;
  uint32_t capacity;
  ListedNode* listedHead;
  ReleaseRoutine release;
  uint32_t walkIndex;
  ListedNode* walkNode;
  unsigned char* slots;
};

extern HANDLE MainHeap;
extern HANDLE ListedObjectHeap;
extern HANDLE StringHeap;

// The live blocks of one heap and the bytes they hold, found by walking it, for a soak run or a
// test that wants to see growth. 0 (and both counts 0) when the heap cannot be walked to its end.
// Nothing may use the heap during the walk: the program's heaps belong to its one thread.
int HeapUsage(HANDLE heap, size_t* blocks, size_t* bytes);

ObjectTable* CreateObjectTable(uint32_t recordSize, uint32_t growthStep, ReleaseRoutine release);
// None when memory is short (the table is then unchanged) or the number is below AutoNumber.
void* AllocateObject(ObjectTable* table, ObjectNumber number);
// A number outside the slots counts only if it identifies one of this table's listed objects;
// anything else is none for LookupObject and ignored by ReleaseObject.
void* LookupObject(ObjectTable* table, ObjectNumber number);
void ReleaseObject(ObjectTable* table, ObjectNumber number);
void ResetObjectIteration(ObjectTable* table);
void* NextObject(ObjectTable* table, ObjectNumber* number);
typedef int (*ObjectVisitor)(ObjectNumber number, void* record, intptr_t user);
// The visitor may release or allocate objects, the one it is handed too; a NextObject walk paused
// around the call resumes at the next object still listed.
int ForEachObject(ObjectTable* table, ObjectVisitor visit, intptr_t user);

// A zero-filled block from MainHeap for one library's global state; none when memory is short.
void* AllocateLibraryState(size_t size, void (*initialise)(void* block));

// Dynamic arrays: a header in front of n + 1 zero-filled elements; the variable holds element 0.
struct ArrayHeader {
  uint32_t elementSize;
  uint32_t value;
  void** variable;
  uint32_t count;
  uint32_t typeCode;
};
// Returns element 0 (also stored in the variable), or none (the variable then holds none).
void* AllocateArray(uint32_t count, uint32_t elementSize, uint32_t value, void** variable, uint32_t typeCode);
void ReleaseArray(void* elements);

// String storage. A string variable is a pointer to its own StringHeap block, or none ("").
typedef char* StringVariable;

// The scratch in which string results are built: capacity + 5 usable bytes once it has grown.
struct StringScratch {
  char* buffer;
  size_t capacity;
  size_t end;  // bytes in use
};
extern StringScratch Scratch;

// Both return non-zero on success; calling them again keeps what already exists.
int InitStringStorage();      // StringHeap and the 16-byte scratch
int InitListedObjectHeap();   // ListedObjectHeap
// Room for length bytes and a terminator at position; none (and nothing changed) when the scratch
// cannot grow.
char* ScratchReserve(size_t length, size_t position);
size_t ScratchOffsetOf(const char* address);   // 1-based; 0 outside the scratch
char* ScratchPointerAt(size_t offset);
size_t ScratchEnd();
void SetScratchEnd(size_t end);
// Both keep the variable's old text and return 0 when its block cannot be had.
int StoreScratchString(StringVariable* variable, size_t start);
int AssignStringVariable(StringVariable* variable, const char* text);
int CompareStrings(const char* a, const char* b);
