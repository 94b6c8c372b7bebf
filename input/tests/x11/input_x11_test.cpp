#include "window/tests/x11/x11_window.h"

#include <X11/keysym.h>

#include "input/keyboard.h"
#include "input/mouse.h"

class X11Input : public X11WindowTest {
 protected:
  void SetUp() override {
    X11WindowTest::SetUp();
    ASSERT_NE(0u, CreateX11Window(&visual, 320, 200, 0, "Vorlune input test"));
    ASSERT_EQ(1, OpenKeyboardDevice());
    ASSERT_EQ(1, OpenMouseDevice());
  }
  void TearDown() override {
    CloseMouseDevice();
    CloseKeyboardDevice();
    X11WindowTest::TearDown();
  }
  void Key(KeySym symbol, bool down) {
    XEvent event = {};
    event.type = down ? KeyPress : KeyRelease;
    event.xkey.keycode = XKeysymToKeycode(X11.display, symbol);
    event.xkey.state = 0;
    Deliver(event);
  }
  void Motion(int x, int y) {
    XEvent event = {};
    event.type = MotionNotify;
    event.xmotion.x = x;
    event.xmotion.y = y;
    Deliver(event);
  }
  void Button(unsigned button, bool down) {
    XEvent event = {};
    event.type = down ? ButtonPress : ButtonRelease;
    event.xbutton.button = button;
    Deliver(event);
  }
};

TEST_F(X11Input, ATapBetweenTwoReadsIsSeenOnceAndAHeldKeyUntilReleased) {
  Key(XK_Escape, true);
  Key(XK_Escape, false);
  ASSERT_EQ(1, ReadKeyboard());
  EXPECT_EQ(0x80, KeyIsDown(KeyEscape));
  EXPECT_EQ(1, KeyIsDown(AnyKey));
  ReadKeyboard();
  EXPECT_EQ(0, KeyIsDown(KeyEscape));
  EXPECT_EQ(0, KeyIsDown(AnyKey));

  Key(XK_s, true);
  ReadKeyboard();
  ReadKeyboard();
  EXPECT_EQ(0x80, KeyIsDown(KeyS));
  Key(XK_s, false);
  ReadKeyboard();
  EXPECT_EQ(0, KeyIsDown(KeyS));
}

TEST_F(X11Input, TheProgramsKeysAreKnownByMeaningAndOthersAreJustAnotherKey) {
  Key(XK_Return, true);
  ReadKeyboard();
  EXPECT_EQ(0x80, KeyIsDown(KeyReturn));
  EXPECT_EQ(0, KeyIsDown(KeyEscape));
  Key(XK_Return, false);
  Key(XK_a, true);
  ReadKeyboard();
  EXPECT_EQ(0, KeyIsDown(KeyReturn));
  EXPECT_EQ(0, KeyIsDown(KeyS));
  EXPECT_EQ(1, KeyIsDown(AnyKey));
  Key(XK_a, false);

  // Closed: nothing is read and nothing counts as down.
  Key(XK_Escape, true);
  CloseKeyboardDevice();
  EXPECT_EQ(0, ReadKeyboard());
  EXPECT_EQ(0, KeyIsDown(KeyEscape));
}

TEST_F(X11Input, PointerMovesSumIntoStepsAndButtonsGoLeftRightMiddle) {
  Motion(100, 100);
  ReadMouse();
  Motion(130, 95);
  Motion(135, 90);
  ASSERT_EQ(1, ReadMouse());
  EXPECT_EQ(35, MouseStepX());
  EXPECT_EQ(-10, MouseStepY());
  ReadMouse();
  EXPECT_EQ(0, MouseStepX());

  Button(3, true);
  ReadMouse();
  EXPECT_EQ(0, MouseButtonIsDown(1));
  EXPECT_EQ(1, MouseButtonIsDown(2));
  Button(3, false);
  Button(2, true);
  Button(4, true);   // a wheel step is no button
  ReadMouse();
  EXPECT_EQ(0, MouseButtonIsDown(2));
  EXPECT_EQ(1, MouseButtonIsDown(3));
  EXPECT_EQ(0, MouseButtonIsDown(1));

  Button(2, false);
  ReadMouse();
  EXPECT_EQ(0, MouseButtonIsDown(3));

  // A click within one frame (press and release before the read) is still a click.
  for (int i = 0; i < 100; ++i) Button(1, i % 2 == 0);
  Button(1, false);
  ReadMouse();
  EXPECT_EQ(1, MouseButtonIsDown(1));
  ReadMouse();
  EXPECT_EQ(0, MouseButtonIsDown(1));
}
