#include "window/x11/x11.h"

#include <X11/Xatom.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

X11State X11;

namespace {

X11InputRoutine inputRoutine = nullptr;
int placementMask = 0, placementX = 0, placementY = 0;

int32_t PlacedAt(int mask, int negativeBit, int offset, int32_t size, int32_t screenSize) {
  if (mask & negativeBit) return screenSize - size + offset;
  return offset;
}

// Errors about our window mean it is gone (its owner died, or it never was one); anything else
// is reported once and ignored: the default handler would end the program with status 1.
int OnXError(Display* display, XErrorEvent* error) {
  // Extension errors (from 128) about the window are GLX's bad drawable or window.
  if (error->resourceid == X11.window &&
      (error->error_code == BadWindow || error->error_code == BadDrawable || error->error_code >= 128)) {
    X11.windowGone = 1;
    return 0;
  }
  static int reported = 0;
  if (!reported++) {
    char text[160] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "vorlune: X error ignored: %s (request %d)\n", text, error->request_code);
  }
  return 0;
}

// The server went away: nothing can be drawn or released any more.
int OnXIOError(Display*) {
  static const char message[] = "vorlune: lost the connection to the X display\n";
  ssize_t written = write(2, message, sizeof message - 1);
  (void)written;
  _exit(1);
}

void OnEndSignal(int) { X11.endSignal = 1; }

void NoteSize(int32_t width, int32_t height) {
  if (width > 0) X11.width = width;
  if (height > 0) X11.height = height;
}

}  // namespace

int32_t OpenX11Display(const char* name) {
  if (X11.display) return 1;
  X11.display = XOpenDisplay(name);
  if (!X11.display) return 0;
  XSetErrorHandler(OnXError);
  XSetIOErrorHandler(OnXIOError);
  X11.deleteWindow = XInternAtom(X11.display, "WM_DELETE_WINDOW", False);
  return 1;
}

int32_t AdoptX11Window(Window window) {
  if (!X11.display || window == 0) return 0;
  X11.window = window;
  X11.windowGone = 0;
  XWindowAttributes attributes;
  // A number that names no window fails here (the error handler marks it gone).
  if (!XGetWindowAttributes(X11.display, window, &attributes) || X11.windowGone) {
    X11.window = 0;
    return 0;
  }
  X11.ownWindow = 0;
  NoteSize(attributes.width, attributes.height);
  // Only the structure: the window's owner may have taken its input, and the root's buttons
  // belong to the window manager.
  XSelectInput(X11.display, window, StructureNotifyMask);
  XSync(X11.display, False);
  if (X11.windowGone) {
    X11.window = 0;
    return 0;
  }
  return 1;
}

Window CreateX11Window(const XVisualInfo* visual, int32_t width, int32_t height, int32_t fullScreen,
                       const char* title) {
  if (!X11.display || !visual) return 0;
  Display* display = X11.display;
  const int screen = visual->screen;
  const Window root = RootWindow(display, screen);
  const int32_t screenWidth = XDisplayWidth(display, screen), screenHeight = XDisplayHeight(display, screen);
  if (fullScreen || width <= 0 || height <= 0) {
    width = screenWidth;
    height = screenHeight;
  }
  XSetWindowAttributes attributes = {};
  attributes.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
  attributes.background_pixel = BlackPixel(display, screen);
  attributes.border_pixel = 0;
  attributes.event_mask = StructureNotifyMask | ExposureMask | KeyPressMask | KeyReleaseMask |
                          ButtonPressMask | ButtonReleaseMask | PointerMotionMask | FocusChangeMask;
  const unsigned long mask = CWColormap | CWBackPixel | CWBorderPixel | CWEventMask;
  int32_t x = fullScreen ? 0 : (screenWidth - width) / 2, y = fullScreen ? 0 : (screenHeight - height) / 2;
  if (!fullScreen && (placementMask & XValue)) x = PlacedAt(placementMask, XNegative, placementX, width, screenWidth);
  if (!fullScreen && (placementMask & YValue)) y = PlacedAt(placementMask, YNegative, placementY, height, screenHeight);
  Window window = XCreateWindow(display, root, x, y, static_cast<unsigned>(width),
                                static_cast<unsigned>(height), 0, visual->depth, InputOutput, visual->visual,
                                mask, &attributes);
  XFreeColormap(display, attributes.colormap);   // the window keeps its own reference
  if (!window) return 0;
  XStoreName(display, window, title ? title : "Vorlune");
  XClassHint classHint = {const_cast<char*>("vorlune"), const_cast<char*>("Vorlune")};
  XSetClassHint(display, window, &classHint);
  XSetWMProtocols(display, window, &X11.deleteWindow, 1);
  if (!fullScreen && (placementMask & (XValue | YValue))) {
    XSizeHints hints = {};
    hints.flags = USPosition | USSize;
    hints.x = x;
    hints.y = y;
    hints.width = width;
    hints.height = height;
    XSetWMNormalHints(display, window, &hints);
  }
  if (fullScreen) {
    Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    Atom full = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
    XChangeProperty(display, window, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&full), 1);
  }
  // No cursor over a saver.
  static char empty[1] = {0};
  Pixmap blank = XCreateBitmapFromData(display, window, empty, 1, 1);
  XColor black = {};
  Cursor cursor = XCreatePixmapCursor(display, blank, blank, &black, &black, 0, 0);
  XDefineCursor(display, window, cursor);
  XFreeCursor(display, cursor);
  XFreePixmap(display, blank);

  X11.window = window;
  X11.ownWindow = 1;
  X11.windowGone = 0;
  NoteSize(width, height);
  XMapRaised(display, window);
  // Drawing before the map is seen would be lost; a second is plenty even for a slow server.
  for (int i = 0; i < 200; ++i) {
    XEvent event;
    if (XCheckTypedWindowEvent(display, window, MapNotify, &event)) break;
    timespec pause = {0, 5000000};
    nanosleep(&pause, nullptr);
  }
  XSetInputFocus(display, window, RevertToParent, CurrentTime);
  XSync(display, False);
  return window;
}

void PlaceX11Window(int geometryMask, int x, int y) {
  placementMask = geometryMask;
  placementX = x;
  placementY = y;
}

void SetX11InputRoutine(X11InputRoutine routine) { inputRoutine = routine; }

void PumpX11Events() {
  if (!X11.display) return;
  while (XPending(X11.display)) {
    XEvent event;
    XNextEvent(X11.display, &event);
    if (event.xany.window != X11.window) continue;
    switch (event.type) {
      case ConfigureNotify:
        NoteSize(event.xconfigure.width, event.xconfigure.height);
        break;
      case DestroyNotify:
        X11.windowGone = 1;
        break;
      case ClientMessage:
        if (static_cast<Atom>(event.xclient.data.l[0]) == X11.deleteWindow) X11.endSignal = 1;
        break;
      case KeyPress:
      case KeyRelease:
      case ButtonPress:
      case ButtonRelease:
      case MotionNotify:
        if (inputRoutine && X11.ownWindow) inputRoutine(event);
        break;
      default:
        break;
    }
  }
}

void CatchEndSignals() {
  struct sigaction action = {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;   // no SA_RESTART: the frame's sleep ends at once
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

int32_t X11EndRequested() { return X11.endSignal || X11.windowGone ? 1 : 0; }

void CloseX11() {
  if (!X11.display) return;
  if (X11.ownWindow && X11.window && !X11.windowGone) XDestroyWindow(X11.display, X11.window);
  XCloseDisplay(X11.display);
  inputRoutine = nullptr;
  const sig_atomic_t signalled = X11.endSignal;
  std::memset(&X11, 0, sizeof X11);
  X11.endSignal = signalled;
}
