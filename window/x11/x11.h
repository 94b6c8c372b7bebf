// The X connection and the one window the program draws into: a window of its own, or one that
// another program lent it (XScreenSaver's, or the root). Events are read here and handed on: key
// and pointer events to the input library's routine, size changes and the window's destruction
// into the record below. X errors about the window mark it gone instead of ending the program.
#pragma once
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// Xlib's DisplayWidth and DisplayHeight macros would rewrite the desktop's routines of the same
// names (desktop/desktop.h; XDisplayWidth and XDisplayHeight are the same as functions), and its
// AnyKey the keyboard's (input/keyboard.h). Include this before those headers.
#undef DisplayWidth
#undef DisplayHeight
#undef AnyKey

#include <csignal>
#include <cstdint>

struct X11State {
  Display* display;
  Window window;                      // drawn into; 0 until adopted or created
  int32_t ownWindow;                  // 1: made by CreateX11Window (input is read only then)
  int32_t width, height;              // the window's current size
  int32_t windowGone;                 // destroyed under the program, or unusable
  volatile sig_atomic_t endSignal;    // SIGTERM, SIGINT or SIGHUP arrived
  Atom deleteWindow;                  // WM_DELETE_WINDOW, for a window of its own
};

extern X11State X11;

// Connects to name (none: $DISPLAY) and installs the error handlers; 1 on success.
int32_t OpenX11Display(const char* name);
// Draws into an existing window from now on; 1 when it exists (its size is then known).
int32_t AdoptX11Window(Window window);
// A window of its own with the visual OpenGL chose: width x height, or the whole screen, without
// a frame, when fullScreen is 1; mapped, and waited for until it is shown. 0 on failure.
Window CreateX11Window(const XVisualInfo* visual, int32_t width, int32_t height, int32_t fullScreen,
                       const char* title);

// Where CreateX11Window puts a window that is not full screen: an XParseGeometry result and its
// x and y (negative offsets count from the right and bottom edges); by default it is centred.
void PlaceX11Window(int geometryMask, int x, int y);

typedef void (*X11InputRoutine)(const XEvent& event);
// Key, button and motion events of the window go to routine (none: dropped).
void SetX11InputRoutine(X11InputRoutine routine);
// Reads every queued event without waiting.
void PumpX11Events();

// SIGTERM, SIGINT and SIGHUP set endSignal (and interrupt a sleep) instead of killing the program.
void CatchEndSignals();
// 1 once a signal asked the program to end or the window is gone.
int32_t X11EndRequested();

// Destroys a window of its own and closes the connection.
void CloseX11();
