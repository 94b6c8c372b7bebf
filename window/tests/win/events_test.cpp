#include <windows.h>

#include <richedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "window/tests/win/window_support.h"

namespace {

HWND Handle(intptr_t opened) { return reinterpret_cast<HWND>(opened); }

const UINT TestMessage = WM_APP + 17;

class EventLoopTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    a = Handle(WindowOpen(0, 10, 10, 200, 150, "a", WS_CHILD, Host()));
    b = Handle(WindowOpen(1, 300, 10, 200, 150, "b", WS_CHILD, Host()));
    ASSERT_TRUE(a && b);
    DrainEvents();
  }
  HWND a = nullptr, b = nullptr;
};

TEST_F(EventLoopTest, QueuedEventsComeFirstInOrderWithoutReadingAMessage) {
  PostMessageA(a, TestMessage, 1, 2);
  SendMessageA(a, WM_MOVE, 0, 0);
  SendMessageA(b, WM_CLOSE, 0, 0);
  EXPECT_EQ(NextWindowEvent(0), EventMove);
  EXPECT_EQ(EventWindow(), 0);
  EXPECT_TRUE(MessageWaiting(TestMessage));
  EXPECT_EQ(NextWindowEvent(0), EventClose);
  EXPECT_EQ(EventWindow(), 1);
  EXPECT_TRUE(MessageWaiting(TestMessage));
  EXPECT_EQ(NextWindowEvent(0), static_cast<int32_t>(TestMessage));
  EXPECT_FALSE(MessageWaiting(TestMessage));
  EXPECT_EQ(NextWindowEvent(0), 0);
}

TEST_F(EventLoopTest, RepeatedMovesOfOneWindowCollapseAnotherWindowsIsAdded) {
  SendMessageA(a, WM_MOVE, 0, MAKELPARAM(1, 1));
  SendMessageA(a, WM_MOVE, 0, MAKELPARAM(2, 2));
  SendMessageA(a, WM_MOVE, 0, MAKELPARAM(3, 3));
  SendMessageA(b, WM_MOVE, 0, 0);
  SendMessageA(a, WM_MOVE, 0, 0);
  std::vector<std::pair<int32_t, ObjectNumber>> seen;
  for (int32_t code; (code = NextWindowEvent(0)) != 0;) seen.push_back({code, EventWindow()});
  std::vector<std::pair<int32_t, ObjectNumber>> expected = {{EventMove, 0}, {EventMove, 1}, {EventMove, 0}};
  EXPECT_EQ(seen, expected);
}

TEST_F(EventLoopTest, CloseIsQueuedAndTheWindowIsNotDestroyed) {
  PostMessageA(a, WM_CLOSE, 0, 0);
  EXPECT_EQ(NextWindowEvent(0), WM_CLOSE);  // the message itself, then its event
  EXPECT_EQ(NextWindowEvent(0), EventClose);
  EXPECT_EQ(EventWindow(), 0);
  EXPECT_TRUE(IsWindow(a));
  EXPECT_EQ(WindowHandle(0), a);
}

TEST_F(EventLoopTest, SizesAreQueuedUnlessMinimised) {
  EXPECT_EQ(SendMessageA(a, WM_SIZE, SIZE_MINIMIZED, 0), 0);  // default processing
  EXPECT_EQ(NextWindowEvent(0), 0);
  EXPECT_EQ(SendMessageA(a, WM_SIZE, SIZE_RESTORED, MAKELPARAM(20, 20)), 0);
  EXPECT_EQ(NextWindowEvent(0), EventSize);
  EXPECT_EQ(EventWindow(), 0);
  // A real resize through the system produces it too.
  SetWindowPos(b, nullptr, 0, 0, 150, 120, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(NextWindowEvent(0), EventSize);
  EXPECT_EQ(EventWindow(), 1);
}

TEST_F(EventLoopTest, ActivationIsQueuedDeactivationIsNot) {
  EXPECT_EQ(SendMessageA(a, WM_ACTIVATE, WA_INACTIVE, 0), 1);
  EXPECT_EQ(QueuedEventCount(&WindowEventState()->queue), 0);
  EXPECT_EQ(SendMessageA(a, WM_ACTIVATE, WA_CLICKACTIVE, 0), 1);
  EXPECT_EQ(NextWindowEvent(0), EventActivate);
  EXPECT_EQ(EventWindow(), 0);
}

int painterCalls = 0;
LRESULT CountingPainter(HDC dc, HWND window) {
  ++painterCalls;
  return 5;
}

TEST_F(EventLoopTest, BackgroundsAreFilledOrPaintedAndARepaintQueued) {
  WindowRecord* record = WindowRecordOf(0);
  HDC dc = GetDC(a);
  // Neither brush nor painter: default processing, and still a repaint.
  SendMessageA(a, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  EXPECT_EQ(NextWindowEvent(0), EventRepaint);
  EXPECT_EQ(EventWindow(), 0);

  record->backgroundPainter = CountingPainter;
  EXPECT_EQ(SendMessageA(a, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 5);
  EXPECT_EQ(painterCalls, 1);

  record->backgroundBrush = CreateSolidBrush(RGB(0, 0, 255));
  EXPECT_EQ(SendMessageA(a, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
  EXPECT_EQ(painterCalls, 1);
  EXPECT_EQ(GetPixel(dc, 100, 75), RGB(0, 0, 255));
  ReleaseDC(a, dc);
  EXPECT_EQ(NextWindowEvent(0), EventRepaint);  // the three collapsed into one
  EXPECT_EQ(NextWindowEvent(0), 0);
}

TEST_F(EventLoopTest, ARepaintOfAWindowTheLibraryDoesNotKnowIsQueuedForMinusOne) {
  RemovePropA(a, "ZR_WindowID");
  HDC dc = GetDC(a);
  SendMessageA(a, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  SendMessageA(a, WM_MOVE, 0, 0);   // not queued for -1
  SendMessageA(a, WM_CLOSE, 0, 0);  // nor this
  ReleaseDC(a, dc);
  EXPECT_EQ(NextWindowEvent(0), EventRepaint);
  EXPECT_EQ(EventWindow(), -1);
  EXPECT_EQ(NextWindowEvent(0), 0);
  SetPropA(a, "ZR_WindowID", reinterpret_cast<HANDLE>(1));
}

TEST_F(EventLoopTest, ARawMessageComesBackWithItsParameters) {
  LPARAM wide = static_cast<LPARAM>(sizeof(LPARAM) > 4 ? static_cast<intptr_t>(0x123456789ALL) : 0x12345678);
  PostMessageA(a, TestMessage, 0xBEEF, wide);
  EXPECT_EQ(NextWindowEvent(0), static_cast<int32_t>(TestMessage));
  EXPECT_EQ(EventWParam(), 0xBEEFu);
  EXPECT_EQ(EventLParam(), wide);
  EXPECT_EQ(EventType(), -1);
  // A thread message with no window at all.
  PostThreadMessageA(GetCurrentThreadId(), TestMessage + 1, 3, 4);
  EXPECT_EQ(NextWindowEvent(0), static_cast<int32_t>(TestMessage + 1));
  EXPECT_EQ(EventWParam(), 3u);
  EXPECT_EQ(EventLParam(), 4);
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The waits of runs calls with the time-out, in milliseconds, each checked to find nothing.
std::vector<double> Waits(int32_t timeout, int runs) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    int32_t result = NextWindowEvent(timeout);
    QueryPerformanceCounter(&end);
    EXPECT_EQ(result, 0);
    times.push_back(Milliseconds(start, end));
  }
  std::sort(times.begin(), times.end());
  return times;
}

TEST_F(EventLoopTest, WithNothingQueuedATimeOutReturnsNothingOnceItHasPassed) {
  // What is checked is that a wait ends, and not before its time-out; how soon after depends on
  // the scheduler of a shared machine, so the upper bounds only catch a wait that hangs.
  const double Hang = 500.0;
  std::vector<double> poll = Waits(0, 50), one = Waits(1, 50), ten = Waits(10, 5);
  std::printf("time-out 0: median %.3f ms; 1: median %.3f ms; 10: shortest %.3f ms\n", poll[25], one[25], ten[0]);
  EXPECT_LT(poll.back(), Hang);
  EXPECT_LT(one.back(), Hang);
  EXPECT_GE(ten.front(), 9.0);
  EXPECT_LT(ten.back(), Hang);
}

TEST_F(EventLoopTest, AWaitEndsWhenAMessageArrives) {
  SetTimer(a, 1, 30, nullptr);
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  int32_t code = NextWindowEvent(2000);
  QueryPerformanceCounter(&end);
  KillTimer(a, 1);
  EXPECT_EQ(code, WM_TIMER);
  EXPECT_LT(Milliseconds(start, end), 1000.0);
  // Time-out -1 waits for as long as it takes.
  PostMessageA(b, TestMessage, 9, 9);
  EXPECT_EQ(NextWindowEvent(-1), static_cast<int32_t>(TestMessage));
}

TEST_F(EventLoopTest, MenuCommandsAndShortcutsAreImmediateMenuEvents) {
  PostMessageA(a, WM_COMMAND, MAKEWPARAM(42, 0), 0);
  EXPECT_EQ(NextWindowEvent(0), EventMenu);
  EXPECT_EQ(EventItem(), 42);
  EXPECT_EQ(EventWindow(), 0);
  PostMessageA(b, WM_COMMAND, MAKEWPARAM(1212, 0), 0);  // a menu item 1212 is still a menu item
  EXPECT_EQ(NextWindowEvent(0), EventMenu);
  EXPECT_EQ(EventItem(), 1212);
  PostMessageA(b, WM_COMMAND, MAKEWPARAM(77, 1), 0);
  EXPECT_EQ(NextWindowEvent(0), EventMenu);
  EXPECT_EQ(EventItem(), 77);
  EXPECT_EQ(EventWindow(), 1);
}

TEST_F(EventLoopTest, ControlCommandsAreImmediateControlEvents) {
  HWND button = CreateWindowExA(0, "BUTTON", "b", WS_CHILD | WS_VISIBLE, 0, 0, 40, 20, a,
                                reinterpret_cast<HMENU>(static_cast<intptr_t>(31)), nullptr, nullptr);
  DrainEvents();
  PostMessageA(a, WM_COMMAND, MAKEWPARAM(31, BN_DOUBLECLICKED), reinterpret_cast<LPARAM>(button));
  EXPECT_EQ(NextWindowEvent(0), EventControl);
  EXPECT_EQ(EventItem(), 31);
  EXPECT_EQ(EventType(), BN_DOUBLECLICKED);
  // The type lasts for that event only.
  EXPECT_EQ(NextWindowEvent(0), 0);
  EXPECT_EQ(EventType(), -1);

  // A control numbered -10000 stands for a menu item.
  HWND menuLike = CreateWindowExA(0, "BUTTON", "m", WS_CHILD, 0, 0, 40, 20, a,
                                  reinterpret_cast<HMENU>(static_cast<intptr_t>(-10000)), nullptr, nullptr);
  PostMessageA(a, WM_COMMAND, MAKEWPARAM(555, 0), reinterpret_cast<LPARAM>(menuLike));
  EXPECT_EQ(NextWindowEvent(0), EventMenu);
  EXPECT_EQ(EventItem(), 555);

  PostMessageA(a, MessageControlEvent, 8, 3);
  EXPECT_EQ(NextWindowEvent(0), EventControl);
  EXPECT_EQ(EventItem(), 8);
  EXPECT_EQ(EventType(), 3);
}

TEST_F(EventLoopTest, TrayClicksAreImmediateWithTheirKind) {
  const LPARAM clicks[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK};
  for (int kind = 0; kind < 4; ++kind) {
    PostMessageA(a, MessageTrayEvent, 60 + kind, clicks[kind]);
    EXPECT_EQ(NextWindowEvent(0), EventTrayIcon);
    EXPECT_EQ(EventItem(), 60 + kind);
    EXPECT_EQ(EventType(), kind);
  }
  // Another mouse message gives no event: the message comes back as it is.
  PostMessageA(a, MessageTrayEvent, 1, WM_MOUSEMOVE);
  EXPECT_EQ(NextWindowEvent(0), static_cast<int32_t>(MessageTrayEvent));
  // The notification is posted on as the tray event.
  PostMessageA(a, MessageTrayNotify, 9, WM_RBUTTONDOWN);
  EXPECT_EQ(NextWindowEvent(0), static_cast<int32_t>(MessageTrayNotify));
  EXPECT_EQ(NextWindowEvent(0), EventTrayIcon);
  EXPECT_EQ(EventItem(), 9);
  EXPECT_EQ(EventType(), 1);
}

TEST_F(EventLoopTest, DropDataIsHandedOverAndFreedOnTheNextCall) {
  DropEventData* data = NewDropEventData(64);
  ASSERT_NE(data, nullptr);
  ASSERT_NE(data->buffer, nullptr);
  PostMessageA(a, MessageWindowDrop, 0, reinterpret_cast<LPARAM>(data));
  EXPECT_EQ(NextWindowEvent(0), EventWindowDrop);
  EXPECT_EQ(EventData(), data);
  EXPECT_EQ(EventWindow(), 0);
  EXPECT_EQ(NextWindowEvent(0), 0);
  EXPECT_EQ(EventData(), nullptr);

  DropEventData* onControl = NewDropEventData(0);
  PostMessageA(b, MessageControlDrop, 14, reinterpret_cast<LPARAM>(onControl));
  EXPECT_EQ(NextWindowEvent(0), EventControlDrop);
  EXPECT_EQ(EventItem(), 14);
  EXPECT_EQ(EventData(), onControl);
  CloseAllWindows();
  EXPECT_EQ(EventData(), nullptr);
}

TEST_F(EventLoopTest, ADropMessageFromElsewhereCarriesNoData) {
  char local[64] = {};
  PostMessageA(a, MessageWindowDrop, 0, reinterpret_cast<LPARAM>(local));
  EXPECT_EQ(NextWindowEvent(0), EventWindowDrop);
  EXPECT_EQ(EventData(), nullptr);
  PostMessageA(a, MessageControlDrop, 1, static_cast<LPARAM>(0x4141414141LL & static_cast<LPARAM>(-1)));
  EXPECT_EQ(NextWindowEvent(0), EventControlDrop);
  EXPECT_EQ(EventData(), nullptr);
  // The same record twice: only its first delivery hands it over.
  DropEventData* data = NewDropEventData(8);
  PostMessageA(a, MessageWindowDrop, 0, reinterpret_cast<LPARAM>(data));
  PostMessageA(a, MessageWindowDrop, 0, reinterpret_cast<LPARAM>(data));
  EXPECT_EQ(NextWindowEvent(0), EventWindowDrop);
  EXPECT_EQ(EventData(), data);
  EXPECT_EQ(NextWindowEvent(0), EventWindowDrop);
  EXPECT_EQ(EventData(), nullptr);
}

int strayMessages = 0;
LRESULT CALLBACK CountStrayMessages(HWND, UINT message, WPARAM, LPARAM) {
  if (message == TestMessage) ++strayMessages;
  return ResultContinue;
}

TEST_F(EventLoopTest, AMessageForAForeignWindowStillReachesTheGlobalCallbackAsMinusOne) {
  // A window of another class whose procedure is the library's: nothing carries "ZR_WindowID".
  HWND stray = Own(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
  SetWindowLongPtrA(stray, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowClassProcedure));
  strayMessages = 0;
  InstallWindowCallback(CountStrayMessages);
  PostMessageA(stray, TestMessage, 0, 0);
  EXPECT_EQ(NextWindowEvent(0), static_cast<int32_t>(TestMessage));
  EXPECT_EQ(strayMessages, 1);
  EXPECT_EQ(EventWindow(), -1);
}

// ---- the shortcut table: Tab and Shift+Tab --------------------------------------------------

class ShortcutTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    window = Handle(WindowOpen(0, 10, 10, 300, 200, "tabs", WS_POPUP, nullptr));
    for (int i = 0; i < 3; ++i)
      buttons[i] = CreateWindowExA(0, "BUTTON", "b", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10 + 50 * i, 10, 40, 20,
                                   window, reinterpret_cast<HMENU>(static_cast<intptr_t>(100 + i)), nullptr, nullptr);
    SetForegroundWindow(window);
    SetActiveWindow(window);
    DrainEvents();
    GetKeyboardState(savedKeys);
  }
  void TearDown() override {
    SetKeyboardState(savedKeys);
    WindowTest::TearDown();
  }
  void HoldKeys(bool shift) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_TAB] = 0x80;
    keys[VK_SHIFT] = keys[VK_LSHIFT] = shift ? 0x80 : 0;
    keys[VK_CONTROL] = keys[VK_MENU] = 0;
    SetKeyboardState(keys);
  }
  // A Tab press as the focused window would receive it, read through the event loop.
  void PressTab(bool shift) {
    HoldKeys(shift);
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0x000F0001);
    NextWindowEvent(0);
    SetKeyboardState(savedKeys);
  }
  HWND window = nullptr;
  HWND buttons[3] = {};
  BYTE savedKeys[256];
};

TEST_F(ShortcutTest, TabOnTheLastControlFocusesTheFirstShiftTabOnTheFirstTheLast) {
  ASSERT_EQ(GetActiveWindow(), window);
  SetFocus(buttons[2]);
  PressTab(false);
  EXPECT_EQ(GetFocus(), buttons[0]);
  PressTab(false);
  EXPECT_EQ(GetFocus(), buttons[1]);
  SetFocus(buttons[0]);
  PressTab(true);
  EXPECT_EQ(GetFocus(), buttons[2]);
  PressTab(true);
  EXPECT_EQ(GetFocus(), buttons[1]);
  // The cycling is no event of its own.
  EXPECT_EQ(QueuedEventCount(&WindowEventState()->queue), 0);
}

TEST_F(ShortcutTest, AnEditableRichTextControlKeepsItsTab) {
  ASSERT_NE(LoadLibraryA("riched20.dll"), nullptr);
  HWND editor = CreateWindowExA(0, "RichEdit20A", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE, 10, 50,
                                200, 60, window, reinterpret_cast<HMENU>(static_cast<intptr_t>(200)), nullptr,
                                nullptr);
  ASSERT_NE(editor, nullptr);
  SetFocus(editor);
  PressTab(false);
  EXPECT_EQ(GetFocus(), editor);
  DrainEvents();  // the character the Tab made
  char text[16] = {};
  GetWindowTextA(editor, text, sizeof(text));
  EXPECT_STREQ(text, "\t");

  // Read-only, it is an ordinary control again: Tab moves on (to the first, wrapping).
  SendMessageA(editor, EM_SETOPTIONS, ECOOP_OR, ECO_READONLY);
  PressTab(false);
  EXPECT_EQ(GetFocus(), buttons[0]);
  // And Shift+Tab is never the editor's.
  SendMessageA(editor, EM_SETOPTIONS, ECOOP_AND, ~static_cast<LPARAM>(ECO_READONLY));
  SetFocus(editor);
  PressTab(true);
  EXPECT_EQ(GetFocus(), buttons[2]);
}

}  // namespace
