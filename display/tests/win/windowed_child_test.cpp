// The windowed screen in a child window (the preview's case): the picture must reach the desktop
// under Wine, whose swap-chain presentation never shows in a child window. The calls that keep
// DirectDraw writing the primary itself are checked against the recording fake with the others.
#include <windows.h>
#include <ddraw.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/tests/win/display_support.h"
#include "display/tests/win/windowed_support.h"
#include "display/win/windowed_screen.h"

namespace {

const uint32_t Teal = 0x208890, Orange = 0xF08010;

}  // namespace

class WindowedChildScreen : public RealDisplayTest {
 protected:
  void SetUp() override {
    RealDisplayTest::SetUp();
    FakeSessionRegistration() = IgnoreSessionRegistration;
    LimitFrameRate(0);
  }
  void TearDown() override {
    EndScreen();
    FakeSessionRegistration() = nullptr;
    if (parent) DestroyWindow(parent);
    PumpWindowMessages();
  }
  TestWindowCounts counts;
  HWND parent = nullptr;
};

TEST_F(WindowedChildScreen, StretchedPictureReachesTheDesktop) {
  parent = CreateTestWindow(70, 60, 400, 300, true, &counts);
  ASSERT_NE(nullptr, parent);
  HWND child = CreateChild(parent, 0, 0, 400, 300);
  ASSERT_NE(nullptr, child);
  // A 200 x 150 picture, left half teal and right half orange, stretched over the child.
  ASSERT_EQ(1, OpenScreenInWindow(child, 0, 0, 200, 150, 1, 0, 0));
  EXPECT_EQ(child, MultimediaWindow());
  RECT left = {0, 0, 100, 150}, right = {100, 0, 200, 150};
  FillArea(Screen.backBuffer, &left, Teal);
  FillArea(Screen.backBuffer, &right, Orange);
  Show();
  ScreenPixels shown;
  ASSERT_TRUE(ReadClientArea(child, &shown));
  ASSERT_EQ(400, shown.width);
  ASSERT_EQ(300, shown.height);
  for (int32_t y : {0, 150, 299}) {
    EXPECT_EQ(Teal, shown.At(0, y)) << y;
    EXPECT_EQ(Teal, shown.At(195, y)) << y;
    EXPECT_EQ(Orange, shown.At(205, y)) << y;
    EXPECT_EQ(Orange, shown.At(399, y)) << y;
  }
}

TEST_F(WindowedChildScreen, ChildAwayFromTheParentsCornerAndReopened) {
  parent = CreateTestWindow(90, 70, 360, 260, true, &counts);
  ASSERT_NE(nullptr, parent);
  HWND child = CreateChild(parent, 40, 30, 240, 180);
  ASSERT_NE(nullptr, child);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    // Unstretched at (10, 20) inside the child.
    ASSERT_EQ(1, OpenScreenInWindow(child, 10, 20, 100, 80, 0, 0, 0));
    FillArea(Screen.backBuffer, nullptr, round ? Orange : Teal);
    Show();
    ScreenPixels shown;
    ASSERT_TRUE(ReadClientArea(child, &shown));
    const uint32_t colour = round ? Orange : Teal;
    EXPECT_EQ(colour, shown.At(10, 20));
    EXPECT_EQ(colour, shown.At(109, 99));
    EXPECT_NE(colour, shown.At(9, 19));
    EXPECT_NE(colour, shown.At(110, 100));
    // Nothing of it outside the child, in the parent's client area.
    ScreenPixels around;
    ASSERT_TRUE(ReadClientArea(parent, &around));
    EXPECT_NE(colour, around.At(39, 50));
    EXPECT_NE(colour, around.At(45, 29));
    EXPECT_EQ(colour, around.At(50, 50));
  }
}
