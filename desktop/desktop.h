// The displays of the desktop: a snapshot taken by ExamineDisplays, one record per display
// attached to the desktop, the primary display at index 0.
#pragma once
#include <cstdint>

struct DesktopRecord {
  int16_t width;
  int16_t height;
  int16_t frequency;  // Hz as the system reports it; 0 for the hardware default
  int16_t depth;      // bits per pixel
  char name[32];      // device name, zero-terminated; empty after the device-context fall-back
};
static_assert(sizeof(DesktopRecord) == 40, "a desktop record is 40 bytes");

// Examines the desktop again (Windows only); returns the number of displays, 0 when none.
int32_t ExamineDisplays();
// Frees "User32.DLL" if ExamineDisplays loaded it (Windows only).
void CloseDisplayLibrary();

// Queries on the last examination; 0 for an index outside 0 .. count - 1.
int32_t DisplayCount();
int32_t DisplayWidth(int32_t index);
int32_t DisplayHeight(int32_t index);
int32_t DisplayDepth(int32_t index);
int32_t DisplayFrequency(int32_t index);
const DesktopRecord* DisplayRecord(int32_t index);

// Replaces the array with a copy of `count` records (zero-filled when `records` is none).
// Returns the new array, or none when count is 0 or no memory was left (the count is then 0).
// ExamineDisplays stores its results through this; tests use it to set up a desktop.
DesktopRecord* ReplaceDesktopRecords(const DesktopRecord* records, int32_t count);
