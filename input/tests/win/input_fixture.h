// A test fixture that puts the recording fakes in place of DINPUT.DLL, gives the library a
// fresh state and a real window to cooperate with, and puts everything back afterwards.
#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "display/screen.h"
#include "input/tests/win/fake_dinput.h"
#include "runtime/memory.h"

HWND InputTestWindow();   // one visible top-level window for the whole test program

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
  ScreenState savedScreen;

  void SetUp() override {
    fake::Log.clear();
    fake::Dll = fake::Loader{};
    input = std::make_unique<fake::Input>();
    fake::Dll.input = input.get();
    InputLibrary = {fake::LoadLibraryFake, fake::GetProcAddressFake, fake::FreeLibraryFake};
    ForgetInputState();
    savedScreen = Screen;
    Screen.multimediaWindow = InputTestWindow();
    Screen.windowed = FALSE;
    Screen.active = TRUE;
    Screen.screenWidth = 640;
    Screen.screenHeight = 480;
  }
  void TearDown() override {
    ForgetInputState();
    InputLibrary = {LoadLibraryA, GetProcAddress, FreeLibrary};
    Screen = savedScreen;
    ClipCursor(nullptr);
  }
  // The calls made since the last Clear, in order.
  std::vector<std::string> Calls() const { return fake::Log; }
  void Clear() { fake::Log.clear(); }
};
