#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "runtime/memory.h"
#include "runtime/win/message.h"

namespace {

const char* const TestCaption = "Message requester test";

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// Popup windows: Wine does not wait for a window manager when it shows or destroys them.
HWND MakeWindow(bool visible, bool enabled) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PlainProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "MessageTestWindow";
    RegisterClassA(&windowClass);
    registered = true;
  }
  HWND window = CreateWindowA("MessageTestWindow", "test", WS_POPUP | WS_BORDER, 10, 10, 200, 100, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  if (visible) ShowWindow(window, SW_SHOWNOACTIVATE);
  if (!enabled) EnableWindow(window, FALSE);
  return window;
}

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

struct BoxSearch {
  HWND box;
};

BOOL CALLBACK FindOurBox(HWND window, LPARAM data) {
  char name[64], caption[128];
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId()) return TRUE;
  if (!GetClassNameA(window, name, sizeof(name)) || std::strcmp(name, "#32770") != 0) return TRUE;
  GetWindowTextA(window, caption, sizeof(caption));
  if (std::strcmp(caption, TestCaption) != 0) return TRUE;
  reinterpret_cast<BoxSearch*>(data)->box = window;
  return FALSE;
}

// From a second thread: waits for the box, lets `inspect` look at the windows while it is open,
// then presses OK. It gives up only once the box call has returned (`returned`), so neither
// thread can be left waiting for the other however slowly the box appears.
template <class Inspect>
std::thread CloseBoxLater(std::atomic<bool>* found, std::atomic<bool>* returned, Inspect inspect) {
  return std::thread([found, returned, inspect] {
    BoxSearch search = {nullptr};
    while (!search.box && !*returned) {
      EnumWindows(FindOurBox, reinterpret_cast<LPARAM>(&search));
      if (!search.box) Sleep(10);
    }
    *found = search.box != nullptr;
    if (!search.box) return;
    inspect(search.box);
    PostMessageA(search.box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(search.box, IDOK)));
  });
}

class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
    ASSERT_TRUE(InitListedObjectHeap());
  }
  void TearDown() override {
    for (HWND w : windows) DestroyWindow(w);
    Pump();
  }
  HWND Track(HWND w) {
    windows.push_back(w);
    return w;
  }
  // A window of this thread, shown and brought to the foreground.
  HWND Foreground() {
    HWND w = Track(MakeWindow(true, true));
    ShowWindow(w, SW_SHOW);
    SetForegroundWindow(w);
    return w;
  }
  std::vector<HWND> windows;
};

TEST_F(MessageTest, OtherWindowsOfTheThreadAreDisabledOnlyWhileTheBoxIsOpen) {
  HWND foreground = Foreground();
  HWND plain = Track(MakeWindow(true, true));
  HWND disabled = Track(MakeWindow(true, false));
  HWND hidden = Track(MakeWindow(false, true));
  Pump();
  ASSERT_EQ(GetForegroundWindow(), foreground);

  struct Seen {
    BOOL plain, disabled, hidden;
    bool foregroundRecorded;
    HWND owner;
  } seen = {};
  std::atomic<bool> found(false), returned(false);
  std::thread closer = CloseBoxLater(&found, &returned, [&](HWND box) {
    seen.plain = IsWindowEnabled(plain);
    seen.disabled = IsWindowEnabled(disabled);
    seen.hidden = IsWindowEnabled(hidden);
    // The dialog itself disables its owner; the requester must not have recorded it.
    for (DisabledWindowNode* n = DisabledWindowChain(); n; n = n->next) {
      seen.foregroundRecorded |= n->record.window == foreground;
    }
    seen.owner = GetWindow(box, GW_OWNER);
  });
  int result = ShowPlainMessage(TestCaption, "Press OK");
  returned = true;
  closer.join();

  ASSERT_TRUE(found);
  EXPECT_EQ(result, IDOK);
  EXPECT_FALSE(seen.plain);        // disabled while the box was open
  EXPECT_FALSE(seen.disabled);
  EXPECT_TRUE(seen.hidden);        // hidden windows are not touched
  EXPECT_FALSE(seen.foregroundRecorded);  // the foreground window owns the box, not disabled by us
  EXPECT_EQ(seen.owner, foreground);

  EXPECT_TRUE(IsWindowEnabled(plain));
  EXPECT_FALSE(IsWindowEnabled(disabled));  // stays as it was
  EXPECT_TRUE(IsWindowEnabled(hidden));
  EXPECT_FALSE(IsWindowVisible(hidden));
  EXPECT_TRUE(IsWindowEnabled(foreground));
  EXPECT_EQ(DisabledWindowChain(), nullptr);
}

TEST_F(MessageTest, SuspendRecordsEachDisabledWindowNewestFirst) {
  HWND foreground = Foreground();
  HWND a = Track(MakeWindow(true, true));
  HWND b = Track(MakeWindow(true, true));
  Pump();
  ASSERT_EQ(GetForegroundWindow(), foreground);

  SuspendThreadWindows();
  int records = 0;
  bool sawA = false, sawB = false;
  for (DisabledWindowNode* n = DisabledWindowChain(); n; n = n->next) {
    ++records;
    EXPECT_EQ(n->record.thread, GetCurrentThreadId());
    if (n->next) {
      EXPECT_EQ(n->next->previous, n);
    }
    sawA |= n->record.window == a;
    sawB |= n->record.window == b;
  }
  EXPECT_EQ(records, 2);
  EXPECT_TRUE(sawA && sawB);
  EXPECT_FALSE(IsWindowEnabled(a));
  EXPECT_FALSE(IsWindowEnabled(b));
  EXPECT_TRUE(IsWindowEnabled(foreground));

  ResumeThreadWindows();
  EXPECT_TRUE(IsWindowEnabled(a));
  EXPECT_TRUE(IsWindowEnabled(b));
  EXPECT_EQ(DisabledWindowChain(), nullptr);
}

TEST_F(MessageTest, ResumeLeavesOtherThreadsWindowsDisabled) {
  Foreground();
  Pump();

  // A second thread with its own window suspends its windows; the main thread's resume must not
  // enable them, the second thread's own resume must.
  HANDLE suspended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE resumeNow = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HWND other = nullptr;
  BOOL enabledAfterOwnResume = FALSE;
  std::thread worker([&] {
    other = MakeWindow(true, true);
    SuspendThreadWindows();
    SetEvent(suspended);
    WaitForSingleObject(resumeNow, 30000);
    ResumeThreadWindows();
    enabledAfterOwnResume = IsWindowEnabled(other);
    DestroyWindow(other);
  });
  bool ready = WaitForSingleObject(suspended, 30000) == WAIT_OBJECT_0;
  EXPECT_TRUE(ready);
  if (ready) {
    EXPECT_FALSE(IsWindowEnabled(other));
    ResumeThreadWindows();
    EXPECT_FALSE(IsWindowEnabled(other));
    EXPECT_TRUE(DisabledWindowChain() && DisabledWindowChain()->record.window == other);
  }
  SetEvent(resumeNow);
  worker.join();
  EXPECT_TRUE(enabledAfterOwnResume);
  EXPECT_EQ(DisabledWindowChain(), nullptr);
  CloseHandle(suspended);
  CloseHandle(resumeNow);
}

TEST_F(MessageTest, WithoutANodeTheWindowIsNotDisabled) {
  Foreground();
  HWND plain = Track(MakeWindow(true, true));
  Pump();

  HANDLE saved = ListedObjectHeap;
  ListedObjectHeap = nullptr;  // no node can be had
  SuspendThreadWindows();
  ListedObjectHeap = saved;
  EXPECT_TRUE(IsWindowEnabled(plain));
  EXPECT_EQ(DisabledWindowChain(), nullptr);
  ResumeThreadWindows();
  EXPECT_TRUE(IsWindowEnabled(plain));
}

TEST_F(MessageTest, OwnerIsTheForegroundWindowOnlyWhenItIsOurs) {
  HWND foreground = Foreground();
  Pump();
  ASSERT_EQ(GetForegroundWindow(), foreground);
  EXPECT_EQ(MessageOwner(), foreground);

  DestroyWindow(foreground);
  windows.clear();
  Pump();
  HWND now = GetForegroundWindow();
  DWORD process = 0;
  if (now) GetWindowThreadProcessId(now, &process);
  if (!now || process != GetCurrentProcessId()) {
    EXPECT_EQ(MessageOwner(), nullptr);
  }
}

TEST_F(MessageTest, BoxWithoutOwnerStillDisablesTheThreadsWindows) {
  HWND plain = Track(MakeWindow(true, true));
  Pump();
  // Make sure no window of ours is in the foreground.
  HWND now = GetForegroundWindow();
  if (now == plain) {
    SetForegroundWindow(GetDesktopWindow());
    Pump();
    now = GetForegroundWindow();
  }
  if (now == plain) GTEST_SKIP() << "the test window cannot be moved out of the foreground";

  BOOL plainDuring = TRUE;
  HWND owner = reinterpret_cast<HWND>(1);
  std::atomic<bool> found(false), returned(false);
  std::thread closer = CloseBoxLater(&found, &returned, [&](HWND box) {
    plainDuring = IsWindowEnabled(plain);
    owner = GetWindow(box, GW_OWNER);
  });
  int result = ShowMessage(TestCaption, "No owner", MB_OK);
  returned = true;
  closer.join();
  ASSERT_TRUE(found);
  EXPECT_EQ(result, IDOK);
  EXPECT_FALSE(plainDuring);
  if (!now) {
    EXPECT_EQ(owner, nullptr);
  }
  EXPECT_TRUE(IsWindowEnabled(plain));
}

}  // namespace
