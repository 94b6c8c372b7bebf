// A test fixture that puts the recording fakes in place of DINPUT.DLL, gives the library a
// fresh state and a real window to cooperate with, and puts everything back afterwards.
#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "input/mouse.h"
#include "input/tests/win/fake_dinput.h"
#include "input/win/directinput.h"
#include "input/win/platform_calls.h"
#include "runtime/memory.h"
#include "window/tests/win/plain_window.h"
#include "window/win/multimedia.h"

// The screen the mouse is told about (input/mouse.h); tests change it between reads.
inline MouseScreen& TestScreen() {
  static MouseScreen screen;
  return screen;
}
inline void DescribeTestScreen(MouseScreen* screen) { *screen = TestScreen(); }

// An active full screen of the given size, cooperating with the window.
inline void UseTestScreen(HWND window, int32_t width, int32_t height) {
  Multimedia.window = window;
  TestScreen() = MouseScreen{};
  TestScreen().active = 1;
  TestScreen().width = width;
  TestScreen().height = height;
  SetMouseScreenQuery(DescribeTestScreen);
}

inline void ForgetInputState() {
  DirectInput = DirectInputShared{};
  if (Keyboard.objects) HeapFree(MainHeap ? MainHeap : GetProcessHeap(), 0, Keyboard.objects);
  Keyboard = KeyboardDevice{};
  KeyboardState = KeyboardClosed;
  memset(KeyStates, 0, sizeof KeyStates);
  MouseInput = MouseDeviceRecord{};
  Mouse = MouseRecord{};
}

class FakeInputTest : public ::testing::Test {
 protected:
  std::unique_ptr<fake::Input> input;
  MultimediaWindowState savedMultimedia;

  void SetUp() override {
    fake::Log.clear();
    fake::Dll = fake::Loader{};
    input = std::make_unique<fake::Input>();
    fake::Dll.input = input.get();
    InputPlatform.library = fake::DllLoader::Calls();
    ForgetInputState();
    savedMultimedia = Multimedia;
    UseTestScreen(PlainTestWindow(), 640, 480);
  }
  void TearDown() override {
    ForgetInputState();
    InputPlatform.library = SYSTEM_LIBRARY_CALLS;
    SetMouseScreenQuery(nullptr);
    Multimedia = savedMultimedia;
    ClipCursor(nullptr);
  }
  // The calls made since the last Clear, in order.
  std::vector<std::string> Calls() const { return fake::Log; }
  void Clear() { fake::Log.clear(); }
};
