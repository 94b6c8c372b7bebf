// Native (Linux) stand-ins for the KERNEL32 calls used by the portable code, so it can be
// built and tested under the sanitizers. Heaps really are separate: HeapDestroy frees every
// block of the heap. Tests steer the command line, the tick count and allocation failures.
#pragma once
#include <cstddef>
#include <cstdint>

typedef void* HANDLE;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef uint32_t DWORD;
typedef int BOOL;
typedef size_t SIZE_T;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef int32_t LONG;
typedef union _LARGE_INTEGER {
  struct { DWORD LowPart; LONG HighPart; } u;
  int64_t QuadPart;
} LARGE_INTEGER;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#define WINAPI
#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_ZERO_MEMORY 0x00000008
#define PROCESS_HEAP_ENTRY_BUSY 0x0004
#define ERROR_INVALID_PARAMETER 87
#define ERROR_NO_MORE_ITEMS 259

// What HeapWalk reports of one block (the fields the portable code reads).
typedef struct _PROCESS_HEAP_ENTRY {
  LPVOID lpData;
  DWORD cbData;
  BYTE cbOverhead;
  BYTE iRegionIndex;
  WORD wFlags;
} PROCESS_HEAP_ENTRY;

HANDLE HeapCreate(DWORD options, SIZE_T initial, SIZE_T maximum);
BOOL HeapDestroy(HANDLE heap);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID block);
// Every live block of the heap, newest first; FALSE with ERROR_NO_MORE_ITEMS after the last.
BOOL HeapWalk(HANDLE heap, PROCESS_HEAP_ENTRY* entry);
DWORD GetLastError();
HANDLE GetProcessHeap();
DWORD GetTickCount();
LPSTR GetCommandLineA();
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
void Sleep(DWORD milliseconds);

// Test controls.
void ShimSetCommandLine(const char* line);   // nullptr restores "vorlune"
void ShimSetTickCount(DWORD ticks);          // fixed tick count from now on
void ShimUseRealTickCount();
void ShimFailAllocationsAfter(long count);   // -1: never fail; 0: the next allocation fails
long ShimLiveBlocks(HANDLE heap);            // blocks currently allocated in the heap
void ShimFailOneAllocation(long n);          // only the n-th allocation from now fails; 0: none
long ShimAllocationCount();                  // allocations asked for so far
