// The multimedia window: one hidden popup of its own class, a window a screen lends in its place,
// and the focus messages handed to the routine the screen registered.
#include "window/win/multimedia.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<std::pair<UINT, WPARAM>> seen;
void Note(UINT message, WPARAM wParam) { seen.push_back({message, wParam}); }

class MultimediaWindowTest : public ::testing::Test {
 protected:
  HWND base = nullptr;
  void SetUp() override {
    ASSERT_EQ(1, CreateMultimediaWindow());
    base = MultimediaWindow();
    seen.clear();
  }
  void TearDown() override {
    SetMultimediaFocusRoutine(nullptr);
    SetMultimediaWindow(base);
  }
};

TEST_F(MultimediaWindowTest, MadeOnceAsAHiddenPopupOfItsOwnClass) {
  ASSERT_TRUE(IsWindow(base));
  char name[64] = "";
  GetClassNameA(base, name, sizeof name);
  EXPECT_STREQ("MultimediaBase Class", name);
  EXPECT_EQ(static_cast<LONG>(WS_POPUP), GetWindowLongA(base, GWL_STYLE) & (WS_POPUP | WS_CAPTION));
  EXPECT_FALSE(IsWindowVisible(base));
  EXPECT_EQ(1, CreateMultimediaWindow());
  EXPECT_EQ(base, MultimediaWindow());
}

TEST_F(MultimediaWindowTest, ALentWindowTakesItsPlaceUntilGivenBack) {
  const HWND lent = GetDesktopWindow();
  SetMultimediaWindow(lent);
  EXPECT_EQ(lent, MultimediaWindow());
  EXPECT_EQ(1, CreateMultimediaWindow());   // no second popup
  EXPECT_EQ(lent, MultimediaWindow());
  SetMultimediaWindow(base);
  EXPECT_EQ(base, MultimediaWindow());
}

TEST_F(MultimediaWindowTest, FocusMessagesGoToTheRegisteredRoutineAndAreAnsweredZero) {
  EXPECT_EQ(0, SendMessageA(base, WM_ACTIVATE, WA_INACTIVE, 0));   // nobody registered
  EXPECT_TRUE(seen.empty());

  SetMultimediaFocusRoutine(Note);
  EXPECT_EQ(0, SendMessageA(base, WM_ACTIVATE, WA_ACTIVE, 0));
  EXPECT_EQ(0, SendMessageA(base, WM_KEYUP, VK_TAB, 0));
  EXPECT_EQ(0, SendMessageA(base, WM_SYSKEYUP, VK_MENU, 0));
  SendMessageA(base, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(1, SendMessageA(base, WM_ERASEBKGND, 0, 0));
  EXPECT_EQ(0, SendMessageA(base, WM_CLOSE, 0, 0));
  EXPECT_TRUE(IsWindow(base));   // a close request leaves it alone
  const std::vector<std::pair<UINT, WPARAM>> expected = {
      {WM_ACTIVATE, WA_ACTIVE}, {WM_KEYUP, VK_TAB}, {WM_SYSKEYUP, VK_MENU}};
  EXPECT_EQ(expected, seen);
}

}  // namespace
