// A connection to the tests' display and a plain window of the program's own, for the X11 tests
// of the window library and those after it.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "window/tests/x11/test_display.h"
#include "window/x11/x11.h"

class X11WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(1, OpenX11Display(TestDisplayName().c_str())) << "no X display \"" << TestDisplayName() << "\"";
    const int screen = DefaultScreen(X11.display);
    ASSERT_TRUE(XMatchVisualInfo(X11.display, screen, DefaultDepth(X11.display, screen), TrueColor, &visual));
  }
  void TearDown() override {
    CloseX11();
    X11.endSignal = 0;
  }
  // Sends an event to the window as the server would deliver it, and reads it.
  void Deliver(XEvent event) {
    event.xany.window = X11.window;
    event.xany.display = X11.display;
    XSendEvent(X11.display, X11.window, False, NoEventMask, &event);
    XSync(X11.display, False);
  }
  XVisualInfo visual = {};
};
