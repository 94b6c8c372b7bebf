// The multimedia window: the window DirectDraw, DirectInput and DirectSound cooperate with. It is
// the hidden "MultimediaBase Class" popup, made once, or the window a windowed screen lends while
// it is open. The screen that owns the focus handling registers a routine for the focus messages.
#pragma once
#include <windows.h>

#include <cstdint>

// WM_ACTIVATE, and WM_KEYUP / WM_SYSKEYUP, of the multimedia window.
typedef void (*MultimediaFocusRoutine)(UINT message, WPARAM wParam);

struct MultimediaWindowState {
  HWND window;                   // the window to cooperate with now; none before one exists
  BOOL baseCreated;              // the popup was made (its class stays registered for good)
  MultimediaFocusRoutine focus;  // none: the focus messages are only answered
};
extern MultimediaWindowState Multimedia;

// The popup, unless a multimedia window exists already; 1 once the popup was made.
int32_t CreateMultimediaWindow();
HWND MultimediaWindow();
// A screen lends its window, and gives the popup back, through this.
void SetMultimediaWindow(HWND window);
void SetMultimediaFocusRoutine(MultimediaFocusRoutine routine);
LRESULT CALLBACK MultimediaWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
