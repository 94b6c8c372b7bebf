#include <csignal>
#include <unistd.h>

#include "window/tests/x11/x11_window.h"

using X11Window = X11WindowTest;

TEST_F(X11Window, OwnWindowIsMappedAtItsSizeAndGoesAtClose) {
  const Window window = CreateX11Window(&visual, 200, 120, 0, "Vorlune test");
  ASSERT_NE(0u, window);
  EXPECT_EQ(1, X11.ownWindow);
  EXPECT_EQ(200, X11.width);
  EXPECT_EQ(120, X11.height);
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(X11.display, window, &attributes));
  EXPECT_EQ(IsViewable, attributes.map_state);

  // A second client sees the window go with the program's close.
  Display* other = XOpenDisplay(TestDisplayName().c_str());
  ASSERT_NE(nullptr, other);
  CloseX11();
  XSync(other, False);
  XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  EXPECT_FALSE(XGetWindowAttributes(other, window, &attributes));
  XSetErrorHandler(previous);
  XCloseDisplay(other);
}

TEST_F(X11Window, AdoptingANumberThatNamesNoWindowFailsWithoutEndingTheProgram) {
  EXPECT_EQ(0, AdoptX11Window(0x3FFFFFF));
  EXPECT_EQ(0u, X11.window);
  EXPECT_EQ(0, AdoptX11Window(0));
  // The connection still works.
  EXPECT_EQ(1, AdoptX11Window(DefaultRootWindow(X11.display)));
  EXPECT_EQ(XDisplayWidth(X11.display, DefaultScreen(X11.display)), X11.width);
  EXPECT_EQ(0, X11EndRequested());
}

TEST_F(X11Window, AWindowDestroyedByItsOwnerEndsTheProgram) {
  // The daemon's window, owned by another client.
  Display* owner = XOpenDisplay(TestDisplayName().c_str());
  ASSERT_NE(nullptr, owner);
  const Window lent = XCreateSimpleWindow(owner, DefaultRootWindow(owner), 0, 0, 64, 48, 0, 0, 0);
  XMapWindow(owner, lent);
  XSync(owner, False);
  ASSERT_EQ(1, AdoptX11Window(lent));
  EXPECT_EQ(64, X11.width);

  XResizeWindow(owner, lent, 80, 60);
  XSync(owner, False);
  usleep(50000);
  PumpX11Events();
  EXPECT_EQ(80, X11.width);
  EXPECT_EQ(0, X11EndRequested());

  XDestroyWindow(owner, lent);
  XSync(owner, False);
  usleep(50000);
  PumpX11Events();
  EXPECT_EQ(1, X11EndRequested());
  // Requests on the dead window are reported to the handler, which does not exit.
  XClearWindow(X11.display, lent);
  XSync(X11.display, False);
  EXPECT_EQ(1, X11.windowGone);
  XCloseDisplay(owner);
}

TEST_F(X11Window, EndSignalsAndTheWindowManagersCloseAskTheProgramToEnd) {
  CatchEndSignals();
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    X11.endSignal = 0;
    raise(signal);
    EXPECT_EQ(1, X11EndRequested()) << "signal " << signal;
  }
  X11.endSignal = 0;
  ASSERT_NE(0u, CreateX11Window(&visual, 50, 40, 0, "Vorlune test"));
  XEvent close = {};
  close.type = ClientMessage;
  close.xclient.message_type = XInternAtom(X11.display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(X11.deleteWindow);
  Deliver(close);
  PumpX11Events();
  EXPECT_EQ(1, X11EndRequested());
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  signal(SIGHUP, SIG_DFL);
}
