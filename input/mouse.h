// The system mouse over DirectInput 7, buffered: per frame the movement since the last frame
// (summed steps), a tracked position clamped to the screen, and the button states.
#pragma once
#include <cstdint>

enum MouseDeviceStateCode : int32_t {
  MouseCreated = 1,      // device made and data format set
  MouseConfigured = 2,   // cooperative level and buffer size set, acquired once
};

struct MouseRecord {
  int32_t x, y;           // tracked position, 0..screen width - 1 / height - 1
  int32_t stepX, stepY;   // movement summed over the last read, in mickeys
  int32_t button1, button2, button3;   // left, right, middle: 1 while down
};

// What the mouse needs to know of the screen it serves. The display library registers the query
// when its engine starts; with none the screen counts as inactive (and not windowed).
struct MouseScreen {
  int32_t active;                        // the mouse is read only while the screen is
  int32_t windowed;                      // the cursor is confined to the picture and hidden
  int32_t left, top, right, bottom;      // the picture on the desktop (windowed and active only)
  int32_t width, height;                 // the tracked position's range
};
typedef void (*MouseScreenQuery)(MouseScreen* screen);
void SetMouseScreenQuery(MouseScreenQuery query);   // none: back to no screen
// The registered query's answer; all zero without one.
MouseScreen QueryMouseScreen();

int32_t OpenMouseDevice();           // 1 on success
int32_t ReadMouse();                 // 1 when the device's queue was read
int32_t MouseStepX();
int32_t MouseStepY();
int32_t MouseX();
int32_t MouseY();
int32_t MouseButtonIsDown(int32_t button);   // 1 left, 2 right, 3 middle; 1 or 0
void SuspendMouse();                 // gives the mouse back to Windows
void CloseMouseDevice();

// Portable part: the record and how a frame's device records change it.
extern MouseRecord Mouse;
struct MouseEvent {        // DirectInput's device-object record (16 bytes)
  uint32_t offset;
  uint32_t data;
  uint32_t timeStamp;
  uint32_t sequence;
};
void ApplyMouseEvents(const MouseEvent* events, uint32_t count, int32_t width, int32_t height);
void DropMouseButtonsAfterOverflow();
