// The keyboard and the mouse against Wine's own DirectInput, driven through the X server with
// xdotool (started from here; it finds the test display in the environment).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "input/tests/win/input_fixture.h"
#include "input/tests/win/unix_command.h"

namespace {

// xdotool finds the test display in the environment; it is given a few seconds at most so that
// none is left behind.
int Xdotool(const std::string& arguments) { return RunShell("timeout 5 /usr/bin/xdotool " + arguments); }

// A test that stops making progress ends the program with a note of where it stood, rather
// than leaving the whole run waiting.
const char* volatile step = "";
volatile LONG deadline = 0;
DWORD WINAPI Watchdog(void*) {
  for (;;) {
    Sleep(500);
    LONG due = deadline;
    if (due && (LONG)(GetTickCount() - (DWORD)due) > 0) {
      fprintf(stderr, "real input test stuck at: %s\n", step);
      fflush(stderr);
      ExitProcess(3);
    }
  }
}
void Arm(DWORD milliseconds) {
  static HANDLE thread = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
  (void)thread;
  deadline = (LONG)(GetTickCount() + milliseconds);
}
void Step(const char* what) { step = what; }

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Frames of about 20 ms until the condition holds or two seconds pass.
template <class Condition> bool Frames(Condition condition) {
  for (int frame = 0; frame < 100; ++frame) {
    PumpMessages();
    if (condition()) return true;
    Sleep(20);
  }
  return false;
}

class RealInput : public ::testing::Test {
 protected:
  MultimediaWindowState savedMultimedia;
  void SetUp() override {
    Arm(60000);
    Step("set-up");
    ForgetInputState();
    savedMultimedia = Multimedia;
    HWND window = PlainTestWindow();
    UseTestScreen(window, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    SetForegroundWindow(window);
    SetFocus(window);
    PumpMessages();
    ASSERT_EQ(window, GetForegroundWindow());
    ASSERT_EQ(0, Xdotool("version")) << "xdotool is needed for these tests";
    // With no window manager on the test display, X keyboard focus follows nobody: give it to
    // the window that DirectInput cooperates with.
    HANDLE xWindow = GetPropA(window, "__wine_x11_whole_window");
    if (xWindow) Xdotool("windowfocus " + std::to_string(reinterpret_cast<uintptr_t>(xWindow)));
    Step("test");
  }
  void TearDown() override {
    Step("close");
    CloseMouseDevice();
    CloseKeyboardDevice();
    ForgetInputState();
    SetMouseScreenQuery(nullptr);
    Multimedia = savedMultimedia;
    deadline = 0;
  }
};

TEST_F(RealInput, HeldKeysAreSeenInTheSnapshot) {
  ASSERT_NE(0, OpenKeyboardDevice());
  ASSERT_NE(nullptr, DirectInput.object);
  ASSERT_NE(nullptr, DirectInput.library);
  EXPECT_TRUE(Frames([] { return ReadKeyboard() == 1; }));
  EXPECT_EQ(KeyboardAcquired, KeyboardState);
  EXPECT_EQ(0, KeyIsDown(KeyReturn));

  ASSERT_EQ(0, Xdotool("keydown Return"));
  bool seen = Frames([] { return ReadKeyboard() && KeyIsDown(KeyReturn) != 0; });
  Xdotool("keyup Return");
  ASSERT_TRUE(seen) << "Return held down was never seen";
  EXPECT_EQ(128, KeyIsDown(KeyReturn));
  EXPECT_EQ(1, KeyIsDown(AnyKey));
  EXPECT_EQ(0, KeyIsDown(KeyS));

  EXPECT_TRUE(Frames([] { return ReadKeyboard() && KeyIsDown(AnyKey) == 0; }));
  EXPECT_EQ(0, KeyIsDown(KeyReturn));

  ASSERT_EQ(0, Xdotool("keydown s"));
  seen = Frames([] { return ReadKeyboard() && KeyIsDown(KeyS) != 0; });
  Xdotool("keyup s");
  EXPECT_TRUE(seen) << "S held down was never seen";
  EXPECT_EQ(0, KeyIsDown(KeyReturn));
  EXPECT_TRUE(Frames([] { return ReadKeyboard() && KeyIsDown(AnyKey) == 0; }));
}

TEST_F(RealInput, TheLastCloseReleasesDirectInput) {
  ASSERT_NE(0, OpenKeyboardDevice());
  ASSERT_NE(0, OpenKeyboardDevice());
  ASSERT_EQ(1, OpenMouseDevice());
  EXPECT_EQ(3, DirectInput.users);
  ReadKeyboard();
  ReadMouse();
  CloseMouseDevice();
  CloseKeyboardDevice();
  EXPECT_EQ(1, DirectInput.users);
  EXPECT_NE(nullptr, DirectInput.object);
  ReleaseDirectInput();
  EXPECT_EQ(nullptr, DirectInput.object);
  EXPECT_EQ(nullptr, DirectInput.library);
}

TEST_F(RealInput, RelativeMoveIsOneStepAndButtonsAreSeen) {
  Step("mouse set-up");
  ASSERT_EQ(1, OpenMouseDevice());
  // The first reads configure the device (exclusive, foreground) and drain what is queued.
  EXPECT_TRUE(Frames([] { return ReadMouse() == 1 && MouseInput.state == MouseConfigured; }));
  Frames([] { ReadMouse(); return MouseStepX() == 0 && MouseStepY() == 0 && !MouseButtonIsDown(1); });

  Step("relative move");
  ASSERT_EQ(0, Xdotool("mousemove_relative 30 0"));
  int32_t sumX = 0, sumY = 0, reads = 0;
  Frames([&] {
    if (ReadMouse()) ++reads;
    sumX += MouseStepX();
    sumY += MouseStepY();
    return sumX != 0;
  });
  for (int i = 0; i < 5; ++i) {   // nothing more should follow
    Sleep(20);
    PumpMessages();
    ReadMouse();
    sumX += MouseStepX();
    sumY += MouseStepY();
  }
  EXPECT_EQ(30, sumX);
  EXPECT_EQ(0, sumY);
  EXPECT_GT(reads, 0);

  Step("left button");
  ASSERT_EQ(0, Xdotool("mousedown 1"));
  bool down = Frames([] { ReadMouse(); return MouseButtonIsDown(1) == 1; });
  Xdotool("mouseup 1");
  EXPECT_TRUE(down) << "left button press never seen";
  EXPECT_EQ(0, MouseButtonIsDown(2));
  EXPECT_TRUE(Frames([] { ReadMouse(); return MouseButtonIsDown(1) == 0; }));

  Step("right button");
  ASSERT_EQ(0, Xdotool("mousedown 3"));
  down = Frames([] { ReadMouse(); return MouseButtonIsDown(2) == 1; });
  Xdotool("mouseup 3");
  EXPECT_TRUE(down) << "right button press never seen";
  EXPECT_TRUE(Frames([] { ReadMouse(); return MouseButtonIsDown(2) == 0; }));

  // A whole click within one frame ends up as released.
  Step("click");
  ASSERT_EQ(0, Xdotool("click 1"));
  // Both halves wait in the device's queue (looked at, not taken) before the one read.
  EXPECT_TRUE(Frames([] {
    DIDEVICEOBJECTDATA queued[MouseEventCapacity];
    DWORD count = MouseEventCapacity, halves = 0;
    if (MouseDevice()->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), queued, &count, DIGDD_PEEK) != 0) return false;
    for (DWORD i = 0; i < count; ++i) halves += queued[i].dwOfs == DIMOFS_BUTTON0;
    return halves >= 2;
  })) << "the click never reached the device";
  EXPECT_EQ(1, ReadMouse());
  EXPECT_EQ(0, MouseButtonIsDown(1));
}

TEST_F(RealInput, InactiveScreenGivesTheMouseBack) {
  ASSERT_EQ(1, OpenMouseDevice());
  EXPECT_TRUE(Frames([] { return ReadMouse() == 1; }));
  TestScreen().active = 0;
  EXPECT_EQ(0, ReadMouse());
  // Unacquired: the device itself now refuses to deliver.
  DWORD count = MouseEventCapacity;
  HRESULT result = MouseDevice()->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), MouseInput.events, &count, 0);
  EXPECT_EQ((HRESULT)0x8007000C, result);
  // Active again: the read that meets the lost acquisition acquires again, the next one reads.
  TestScreen().active = 1;
  EXPECT_EQ(0, ReadMouse());
  EXPECT_EQ(1, ReadMouse());
}

}  // namespace
