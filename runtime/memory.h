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

ObjectTable* CreateObjectTable(uint32_t recordSize, uint32_t growthStep, ReleaseRoutine release);
void* AllocateObject(ObjectTable* table, ObjectNumber number);
void* LookupObject(ObjectTable* table, ObjectNumber number);
void ReleaseObject(ObjectTable* table, ObjectNumber number);
void ResetObjectIteration(ObjectTable* table);
void* NextObject(ObjectTable* table, ObjectNumber* number);
typedef int (*ObjectVisitor)(ObjectNumber number, void* record, intptr_t user);
int ForEachObject(ObjectTable* table, ObjectVisitor visit, intptr_t user);

void* AllocateLibraryState(size_t size, void (*initialise)(void* block));

// Dynamic arrays: a header in front of n + 1 zero-filled elements; the variable holds element 0.
struct ArrayHeader {
  uint32_t elementSize;
  uint32_t value;
  void** variable;
  uint32_t count;
  uint32_t typeCode;
};
void AllocateArray(uint32_t count, uint32_t elementSize, uint32_t value, void** variable, uint32_t typeCode);
void ReleaseArray(void* elements);

// String storage. A string variable is a pointer to its own StringHeap block, or none ("").
typedef char* StringVariable;

void InitStringStorage();      // StringHeap and the 16-byte scratch
void InitListedObjectHeap();   // ListedObjectHeap
char* ScratchReserve(size_t length, size_t position);
size_t ScratchOffsetOf(const char* address);   // 1-based; 0 outside the scratch
char* ScratchPointerAt(size_t offset);
size_t ScratchEnd();
void SetScratchEnd(size_t end);
void StoreScratchString(StringVariable* variable, size_t start);
int AssignStringVariable(StringVariable* variable, const char* text);
int CompareStrings(const char* a, const char* b);
