#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "window/tests/win/window_support.h"

namespace {

HWND Handle(intptr_t opened) { return reinterpret_cast<HWND>(opened); }

LONG Style(HWND window) { return GetWindowLongA(window, GWL_STYLE); }

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

SIZE ClientSize(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

using WindowLibraryTest = WindowTest;

TEST_F(WindowLibraryTest, InitialisationMakesTheTablesAndStates) {
  ObjectTable* windows = WindowTable();
  ASSERT_NE(windows, nullptr);
  EXPECT_EQ(windows->growthStep, 16u);
  EXPECT_EQ(windows->recordSize, sizeof(WindowRecord));
  EXPECT_EQ(WindowLibrary()->cursor, LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));
  ASSERT_NE(WindowEventState(), nullptr);
  EXPECT_EQ(EventWindow(), -1);
  ASSERT_NE(WindowSizingState(), nullptr);
  EXPECT_FALSE(WindowSizingState()->active);

  ObjectTable* controls = ControlTable();
  ASSERT_NE(controls, nullptr);
  EXPECT_EQ(controls->growthStep, 50u);
  EXPECT_EQ(controls->recordSize, sizeof(ControlRecord));
  ControlLibraryState* state = ControlState();
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->font, GetStockObject(DEFAULT_GUI_FONT));
  EXPECT_EQ(state->counter, 10);
  ASSERT_NE(state->block, nullptr);
  EXPECT_GE(HeapSize(MainHeap, 0, state->block), 40u);

  // COM is initialised on this thread already, and the extended controls are registered.
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  CoUninitialize();
  WNDCLASSA windowClass;
  EXPECT_TRUE(GetClassInfoA(nullptr, "SysTabControl32", &windowClass));
  EXPECT_TRUE(GetClassInfoA(nullptr, "SysDateTimePick32", &windowClass));
}

TEST_F(WindowLibraryTest, AControlIsFreedByDestroyingItsWindow) {
  HWND button = CreateWindowExA(0, "BUTTON", "c", WS_CHILD, 0, 0, 10, 10, Host(), nullptr, nullptr, nullptr);
  ControlRecord* control = static_cast<ControlRecord*>(AllocateObject(ControlTable(), 3));
  control->handle = button;
  // Another control of the same number takes the place of the first.
  AllocateObject(ControlTable(), 3);
  EXPECT_FALSE(IsWindow(button));
  EXPECT_EQ(LookupObject(ControlTable(), 3), nullptr);
}

using WindowOpenTest = WindowTest;

TEST_F(WindowOpenTest, FlagsZeroGiveACaptionedWindowWithTheClientSizeAskedFor) {
  HWND window = Handle(WindowOpen(0, 50, 60, 320, 200, "Plain", 0, nullptr));
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(WindowHandle(0), window);
  EXPECT_EQ(Style(window) & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(IsWindowVisible(window));
  SIZE client = ClientSize(window);
  EXPECT_EQ(client.cx, 320);
  EXPECT_EQ(client.cy, 200);
  char title[32] = {};
  GetWindowTextA(window, title, sizeof(title));
  EXPECT_STREQ(title, "Plain");

  EXPECT_EQ(ClassOf(window), "WindowClass_0");
  WNDCLASSA windowClass;
  ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "WindowClass_0", &windowClass));
  EXPECT_EQ(windowClass.style, static_cast<UINT>(CS_DBLCLKS));
  EXPECT_EQ(windowClass.lpfnWndProc, WindowClassProcedure);
  EXPECT_EQ(windowClass.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1)));
  EXPECT_EQ(windowClass.hCursor, LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));
  EXPECT_EQ(windowClass.lpszMenuName, nullptr);
  EXPECT_EQ(windowClass.cbClsExtra, 0);
  EXPECT_EQ(windowClass.cbWndExtra, 0);
}

TEST_F(WindowOpenTest, TheWindowIdPropertyHoldsTheNumberPlusOne) {
  HWND zero = Handle(WindowOpen(0, 10, 10, 100, 80, "zero", WindowHidden, nullptr));
  HWND seven = Handle(WindowOpen(7, 10, 10, 100, 80, "seven", WindowHidden, nullptr));
  ASSERT_NE(zero, nullptr);
  ASSERT_NE(seven, nullptr);
  EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(zero, "ZR_WindowID")), 1);
  EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(seven, "ZR_WindowID")), 8);
  EXPECT_EQ(ClassOf(seven), "WindowClass_7");
}

TEST_F(WindowOpenTest, EveryWindowGetsTheTabShortcuts) {
  ASSERT_NE(WindowOpen(3, 10, 10, 100, 80, "keys", WindowHidden, nullptr), 0);
  WindowRecord* record = WindowRecordOf(3);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->shortcutCount, 2);
  ASSERT_NE(record->shortcuts, nullptr);
  EXPECT_EQ(record->reserved, -1);
  EXPECT_EQ(record->frameClient, nullptr);
  EXPECT_EQ(record->callback, nullptr);
  EXPECT_EQ(record->backgroundBrush, nullptr);
  ACCEL entries[4] = {};
  ASSERT_EQ(CopyAcceleratorTableA(record->shortcutTable, entries, 4), 2);
  EXPECT_EQ(entries[0].fVirt & 0x7F, 3);
  EXPECT_EQ(entries[0].key, VK_TAB);
  EXPECT_EQ(entries[0].cmd, 1212);
  EXPECT_EQ(entries[1].fVirt & 0x7F, 7);
  EXPECT_EQ(entries[1].key, VK_TAB);
  EXPECT_EQ(entries[1].cmd, 1213);
}

TEST_F(WindowOpenTest, AChildGetsNoCaptionAndExactlyTheSizeAsked) {
  HWND parent = Own(MakeTestParent());
  HWND child = Handle(WindowOpen(0, 0, 0, 400, 300, "Vorlune Screensaver", WS_CHILD, parent));
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(Style(child) & WS_CAPTION, 0);
  EXPECT_EQ(Style(child) & WS_BORDER, 0);
  EXPECT_EQ(GetParent(child), parent);
  RECT r;
  GetWindowRect(child, &r);
  RECT p;
  GetWindowRect(parent, &p);
  EXPECT_EQ(r.left, p.left);
  EXPECT_EQ(r.top, p.top);
  EXPECT_EQ(r.right - r.left, 400);
  EXPECT_EQ(r.bottom - r.top, 300);
  EXPECT_TRUE(IsWindowVisible(child));
}

TEST_F(WindowOpenTest, TheHiddenBitIsTakenOutAndStillGetsACaption) {
  HWND window = Handle(WindowOpen(0, 10, 10, 100, 80, "hidden", WindowHidden, nullptr));
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(Style(window) & WS_VISIBLE, 0);
  EXPECT_EQ(Style(window) & WS_CAPTION, WS_CAPTION);
}

TEST_F(WindowOpenTest, MaximisedAndMinimisedFlagsShowTheWindowThatWay) {
  HWND big = Handle(WindowOpen(0, 10, 10, 100, 80, "big", WS_OVERLAPPEDWINDOW | WindowMaximised, nullptr));
  HWND small = Handle(WindowOpen(1, 10, 10, 100, 80, "small", WS_OVERLAPPEDWINDOW | WindowMinimised, nullptr));
  ASSERT_NE(big, nullptr);
  ASSERT_NE(small, nullptr);
  EXPECT_TRUE(IsZoomed(big));
  EXPECT_TRUE(IsIconic(small));
}

TEST_F(WindowOpenTest, CentredOnTheScreenEvenWithTheDefaultPositionAsked) {
  HWND window = Handle(WindowOpen(0, WindowDefaultPosition, WindowDefaultPosition, 300, 200, "centred",
                                  WindowCentreOnScreen | WindowHidden, nullptr));
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Style(window) & WS_CAPTION, WS_CAPTION);
  RECT r;
  GetWindowRect(window, &r);
  int width = r.right - r.left, height = r.bottom - r.top;
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
  SIZE client = ClientSize(window);
  EXPECT_EQ(client.cx, 300);
  EXPECT_EQ(client.cy, 200);
}

TEST_F(WindowOpenTest, TheDefaultPositionIsTheSystems) {
  HWND window = Handle(WindowOpen(0, WindowDefaultPosition, 40, 300, 200, "default", WindowHidden, nullptr));
  ASSERT_NE(window, nullptr);
  RECT r;
  GetWindowRect(window, &r);
  // The system's cascade position, on the screen; never the -65535 that was asked for.
  EXPECT_GE(r.left, 0);
  EXPECT_GE(r.top, 0);
  EXPECT_LT(r.left, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_LT(r.top, GetSystemMetrics(SM_CYSCREEN));
  SIZE client = ClientSize(window);
  EXPECT_EQ(client.cx, 300);
}

TEST_F(WindowOpenTest, AClientLargerThanTheScreenIsClippedAndPlacedAtTheOrigin) {
  int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  HWND window = Handle(WindowOpen(0, 500, 500, screenWidth + 300, screenHeight + 200, "huge",
                                  WS_POPUP | WindowCentreOnScreen | WindowHidden, nullptr));
  ASSERT_NE(window, nullptr);
  RECT r;
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, screenWidth);
  EXPECT_EQ(r.bottom, screenHeight);

  // Sizes at the very end of the range are clipped the same way, without overflowing.
  HWND widest = Handle(WindowOpen(1, 0, 0, INT32_MAX, INT32_MAX, "widest", WindowCentreOnScreen | WindowHidden,
                                  nullptr));
  ASSERT_NE(widest, nullptr);
  GetWindowRect(widest, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right, screenWidth);
  HWND negative = Handle(WindowOpen(2, 0, 0, INT32_MIN, -5, "negative", WindowCentreOnParent | WindowHidden,
                                    Host()));
  EXPECT_EQ(WindowHandle(2), negative);  // made or refused, either way consistently
}

TEST_F(WindowOpenTest, CentredOnTheParentOrTheActiveWindowRaisedToZero) {
  HWND owner = Own(MakeTestParent(200, 100, 400, 300));
  HWND popup = Handle(WindowOpen(0, 0, 0, 100, 50, "owned", WS_POPUP | WindowCentreOnParent | WindowHidden, owner));
  ASSERT_NE(popup, nullptr);
  RECT r;
  GetWindowRect(popup, &r);
  EXPECT_EQ(r.left, 200 + (400 - 100) / 2);
  EXPECT_EQ(r.top, 100 + (300 - 50) / 2);

  // A window larger than the one it is centred on would start left of and above the screen.
  HWND corner = Own(MakeTestParent(0, 0, 100, 100));
  HWND wide = Handle(WindowOpen(1, 0, 0, 300, 300, "wide", WS_POPUP | WindowCentreOnParent | WindowHidden, corner));
  ASSERT_NE(wide, nullptr);
  GetWindowRect(wide, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);

  // Without a parent the active window is the reference; without either x and y stay.
  SetActiveWindow(owner);
  ASSERT_EQ(GetActiveWindow(), owner);
  HWND around = Handle(WindowOpen(2, 5, 5, 200, 100, "active", WS_POPUP | WindowCentreOnParent | WindowHidden, nullptr));
  GetWindowRect(around, &r);
  EXPECT_EQ(r.left, 200 + (400 - 200) / 2);
  EXPECT_EQ(r.top, 100 + (300 - 100) / 2);
}

TEST_F(WindowOpenTest, AnAutoNumberedWindowIsKnownByItsRecordAddress) {
  intptr_t number = WindowOpen(AutoNumber, 10, 10, 120, 90, "auto", WS_POPUP | WindowHidden, nullptr);
  ASSERT_NE(number, 0);
  WindowRecord* record = WindowRecordOf(number);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(reinterpret_cast<intptr_t>(record), number);
  HWND window = WindowHandle(number);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(window, "ZR_WindowID")), number + 1);
  DrainEvents();
  SendMessageA(window, WM_MOVE, 0, 0);
  EXPECT_EQ(NextWindowEvent(0), EventMove);
  EXPECT_EQ(EventWindow(), number);
  char expected[48];
  std::snprintf(expected, sizeof(expected), "WindowClass_%lld", static_cast<long long>(number));
  EXPECT_EQ(ClassOf(window), expected);
  WindowClose(number);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(WindowHandle(number), nullptr);
  WNDCLASSA windowClass;
  EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), expected, &windowClass));
}

TEST_F(WindowOpenTest, ReopeningANumberClosesTheWindowThatHadIt) {
  HWND first = Handle(WindowOpen(4, 10, 10, 100, 80, "first", WS_POPUP | WindowHidden, nullptr));
  HWND second = Handle(WindowOpen(4, 10, 10, 100, 80, "second", WS_POPUP | WindowHidden, nullptr));
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(WindowHandle(4), second);
}

TEST_F(WindowOpenTest, NumbersBeyondTheFirstSlotsGrowTheTable) {
  HWND window = Handle(WindowOpen(40, 10, 10, 100, 80, "forty", WS_POPUP | WindowHidden, nullptr));
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(WindowHandle(40), window);
  EXPECT_GE(WindowTable()->capacity, 41u);
}

TEST_F(WindowOpenTest, AFailedCreationFreesTheRecordAndTheClass) {
  // A child window needs a real parent.
  HWND bogus = reinterpret_cast<HWND>(static_cast<intptr_t>(0x7ABCDE));
  EXPECT_EQ(WindowOpen(5, 0, 0, 10, 10, "orphan", WS_CHILD, bogus), 0);
  EXPECT_EQ(WindowHandle(5), nullptr);
  WNDCLASSA windowClass;
  EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), "WindowClass_5", &windowClass));
  EXPECT_EQ(WindowOpen(-2, 0, 0, 10, 10, "bad number", WS_POPUP, nullptr), 0);
}

using WindowCloseTest = WindowTest;

TEST_F(WindowCloseTest, ClosingDestroysTheWindowAndItsClass) {
  HWND window = Handle(WindowOpen(2, 10, 10, 100, 80, "closing", WindowHidden, nullptr));
  ASSERT_NE(window, nullptr);
  WindowClose(2);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(WindowHandle(2), nullptr);
  WNDCLASSA windowClass;
  EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), "WindowClass_2", &windowClass));
}

TEST_F(WindowCloseTest, ANumberWithoutAWindowIsLeftAlone) {
  HWND window = Handle(WindowOpen(1, 10, 10, 100, 80, "stays", WS_POPUP | WindowHidden, nullptr));
  WindowClose(0);
  WindowClose(9999);
  WindowClose(reinterpret_cast<intptr_t>(&window));  // not an identifier this table made
  WindowClose(1);
  WindowClose(1);  // twice
  EXPECT_FALSE(IsWindow(window));
  HWND other = Handle(WindowOpen(1, 10, 10, 100, 80, "again", WS_POPUP | WindowHidden, nullptr));
  WindowClose(0);
  EXPECT_TRUE(IsWindow(other));
}

TEST_F(WindowCloseTest, AnOwnedWindowGivesTheActivationBackToItsOwner) {
  HWND owner = Handle(WindowOpen(0, 10, 10, 300, 200, "owner", WS_POPUP, nullptr));
  HWND owned = Handle(WindowOpen(1, 40, 40, 100, 80, "owned", WS_POPUP, owner));
  ASSERT_EQ(GetWindow(owned, GW_OWNER), owner);
  SetActiveWindow(owned);
  ASSERT_EQ(GetActiveWindow(), owned);
  WindowClose(1);
  EXPECT_EQ(GetActiveWindow(), owner);
}

TEST_F(WindowCloseTest, AFrameChildIsHandedToItsFrameClientAndItsResourcesFreed) {
  HWND window = Handle(WindowOpen(6, 10, 10, 100, 80, "framed", WS_POPUP | WindowHidden, nullptr));
  HWND client = Own(MakeTestParent());
  WindowRecord* record = WindowRecordOf(6);
  ASSERT_NE(record, nullptr);
  record->frameClient = client;
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  record->backgroundBrush = brush;
  HACCEL shortcuts = record->shortcutTable;
  SetPropA(window, "ZR_DropAccept", reinterpret_cast<HANDLE>(1));
  WindowClose(6);
  EXPECT_EQ(GetObjectType(brush), 0u);
  EXPECT_EQ(CopyAcceleratorTableA(shortcuts, nullptr, 0), 0);
  ASSERT_EQ(CountRecorded(WM_MDIDESTROY, client), 1);
  for (const RecordedMessage& m : RecordedMessages()) {
    if (m.message == WM_MDIDESTROY) {
      EXPECT_EQ(m.wParam, reinterpret_cast<WPARAM>(window));
    }
  }
  // The frame client would destroy it; this one only recorded the request.
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(GetPropA(window, "ZR_WindowID"), nullptr);
  EXPECT_EQ(GetPropA(window, "ZR_DropAccept"), nullptr);
  EXPECT_EQ(WindowHandle(6), nullptr);
  DestroyWindow(window);
}

TEST_F(WindowCloseTest, CloseAllWindowsClosesNumberedAndAutoNumberedWindows) {
  HWND a = Handle(WindowOpen(0, 10, 10, 100, 80, "a", WS_POPUP | WindowHidden, nullptr));
  HWND b = Handle(WindowOpen(20, 10, 10, 100, 80, "b", WS_CHILD, Host()));
  intptr_t c = WindowOpen(AutoNumber, 10, 10, 100, 80, "c", WS_POPUP | WindowHidden, nullptr);
  intptr_t d = WindowOpen(AutoNumber, 10, 10, 100, 80, "d", WS_CHILD, Host());
  HWND hc = WindowHandle(c), hd = WindowHandle(d);
  ASSERT_TRUE(a && b && hc && hd);
  CloseAllWindows();
  EXPECT_FALSE(IsWindow(a));
  EXPECT_FALSE(IsWindow(b));
  EXPECT_FALSE(IsWindow(hc));
  EXPECT_FALSE(IsWindow(hd));
  EXPECT_EQ(WindowHandle(0), nullptr);
  EXPECT_EQ(WindowHandle(c), nullptr);
  EXPECT_EQ(WindowTable()->listedHead, nullptr);
  ObjectNumber number;
  ResetObjectIteration(WindowTable());
  EXPECT_EQ(NextObject(WindowTable(), &number), nullptr);
}

TEST_F(WindowCloseTest, AWindowDestroyedBehindTheLibrarysBackStillClosesQuietly) {
  HWND window = Handle(WindowOpen(0, 10, 10, 100, 80, "gone", WS_POPUP | WindowHidden, nullptr));
  DestroyWindow(window);
  CloseAllWindows();
  EXPECT_EQ(WindowHandle(0), nullptr);
  WNDCLASSA windowClass;
  EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), "WindowClass_0", &windowClass));
}

// ---- the window-procedure chain -------------------------------------------------------------

int globalCalls = 0;
int ownCalls = 0;
LRESULT CALLBACK AnswerCloseWith42(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ++globalCalls;
  if (message == WM_CLOSE) return 42;
  return ResultContinue;
}
LRESULT CALLBACK OwnCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ++ownCalls;
  if (message == WM_MOVE) return 7;
  return ResultContinue;
}
// A callback built for 32 bits: its ResultContinue comes back sign-extended on 64-bit.
LRESULT CALLBACK ThirtyTwoBitContinue(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return static_cast<LRESULT>(static_cast<int32_t>(0xE0E0E0E1u));
}

// Events the library queued.
int Queued() { return QueuedEventCount(&WindowEventState()->queue); }

// A library window (number 0), its opening events drained, with the given global callback.
HWND WindowWithCallback(int32_t at, int32_t width, int32_t height, const char* title, DWORD style, HWND parent,
                        WNDPROC callback) {
  HWND window = Handle(WindowOpen(0, at, at, width, height, title, style, parent));
  DrainEvents();
  InstallWindowCallback(callback);
  return window;
}

using WindowChainTest = WindowTest;

TEST_F(WindowChainTest, ACallbacksValueIsTheResultAndContinueLetsTheLibraryRun) {
  HWND window = WindowWithCallback(10, 100, 80, "callback", WS_POPUP | WindowHidden, nullptr, AnswerCloseWith42);
  EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 42);
  EXPECT_EQ(Queued(), 0);
  // ResultContinue: the library queues the move.
  EXPECT_EQ(SendMessageA(window, WM_MOVE, 0, 0), 0);
  EXPECT_EQ(Queued(), 1);
  EXPECT_GT(globalCalls, 0);

  // A window's own callback takes the global one's place for that window only.
  HWND other = Handle(WindowOpen(1, 10, 10, 100, 80, "own", WS_CHILD, Host()));
  ASSERT_TRUE(SetWindowCallback(1, OwnCallback));
  globalCalls = 0;
  EXPECT_EQ(SendMessageA(other, WM_MOVE, 0, 0), 7);
  EXPECT_EQ(SendMessageA(other, WM_CLOSE, 0, 0), 0);  // continues to the library
  EXPECT_EQ(globalCalls, 0);
  EXPECT_GT(ownCalls, 0);
  EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 42);
  EXPECT_FALSE(SetWindowCallback(9, OwnCallback));
}

TEST_F(WindowChainTest, ThirtyTwoBitResultValuesAreRecognised) {
  HWND window = WindowWithCallback(10, 100, 80, "thirty-two", WS_POPUP | WindowHidden, nullptr, ThirtyTwoBitContinue);
  EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
  EXPECT_EQ(Queued(), 1);
  EXPECT_TRUE(SameResult(static_cast<LRESULT>(static_cast<int32_t>(0xD0D0D0D1u)), ResultDefault));
  EXPECT_FALSE(SameResult(0, ResultDefault));
}

// The preview's callback: it answers everything with the default, so the library stays out.
LRESULT CALLBACK DefaultEverything(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(WindowChainTest, ACallbackAnsweringEverythingKeepsTheLibraryOut) {
  HWND window = WindowWithCallback(0, 400, 300, "Vorlune Screensaver", WS_CHILD, Host(), DefaultEverything);
  SendMessageA(window, WM_MOVE, 0, 0);
  SendMessageA(window, WM_CLOSE, 0, 0);
  SendMessageA(window, WM_SIZE, 0, MAKELPARAM(10, 10));
  EXPECT_EQ(Queued(), 0);
  EXPECT_TRUE(IsWindow(window));
}

TEST_F(WindowChainTest, AChildOfAnotherClassIsServedAsItsLibraryWindow) {
  HWND window = Handle(WindowOpen(3, 10, 10, 200, 150, "parent", WS_CHILD, Host()));
  HWND child = Own(CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, window, nullptr,
                                   GetModuleHandleA(nullptr), nullptr));
  SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowClassProcedure));
  DrainEvents();
  // The size of a window that is not the library window itself is answered with 1, no event.
  EXPECT_EQ(SendMessageA(child, WM_SIZE, 0, MAKELPARAM(50, 50)), 1);
  EXPECT_EQ(Queued(), 0);
  SendMessageA(child, WM_MOVE, 0, 0);
  EXPECT_EQ(NextWindowEvent(0), EventMove);
  EXPECT_EQ(EventWindow(), 3);
}

TEST_F(WindowChainTest, SystemColourChangesReachEveryChild) {
  HWND window = Handle(WindowOpen(0, 10, 10, 200, 150, "colours", WS_POPUP | WindowHidden, nullptr));
  HWND a = CreateWindowExA(0, RecordingClass(), "", WS_CHILD, 0, 0, 10, 10, window, nullptr, nullptr, nullptr);
  HWND b = CreateWindowExA(0, RecordingClass(), "", WS_CHILD, 20, 0, 10, 10, window, nullptr, nullptr, nullptr);
  SendMessageA(window, WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(CountRecorded(WM_SYSCOLORCHANGE, a), 1);
  EXPECT_EQ(CountRecorded(WM_SYSCOLORCHANGE, b), 1);
  // A window that is a frame child leaves that to its frame.
  WindowRecordOf(0)->frameClient = Own(MakeTestParent());
  SendMessageA(window, WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(CountRecorded(WM_SYSCOLORCHANGE, a), 1);
  WindowRecordOf(0)->frameClient = nullptr;
}

TEST_F(WindowChainTest, AFrameGetsTheFrameDefaultsExceptForItsSize) {
  HWND frame = Handle(WindowOpen(0, 10, 10, 300, 200, "frame", WS_CHILD | WS_CLIPCHILDREN, Host()));
  CLIENTCREATESTRUCT create = {nullptr, 1000};
  HWND client = CreateWindowExA(0, "MDICLIENT", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 50, 40, frame, nullptr,
                                GetModuleHandleA(nullptr), &create);
  ASSERT_NE(client, nullptr);
  SetPropA(frame, "ZR_MDI_Gadget", client);
  // WM_SIZE goes to the plain default: the client keeps its size (the frame default would fill).
  SendMessageA(frame, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
  RECT r;
  GetWindowRect(client, &r);
  EXPECT_EQ(r.right - r.left, 50);
  // WM_SETFOCUS goes to the frame default, which hands the focus to the client.
  SendMessageA(frame, WM_SETFOCUS, 0, 0);
  EXPECT_EQ(GetFocus(), client);
  RemovePropA(frame, "ZR_MDI_Gadget");
}

// ---- control routing ------------------------------------------------------------------------

struct ControlCall {
  ControlRecord* control;
  HWND parent;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<ControlCall> controlCalls;
LRESULT controlAnswer = ResultDefault;
LRESULT RecordControlMessage(ControlRecord* control, HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
  controlCalls.push_back({control, parent, message, wParam, lParam});
  return controlAnswer;
}
const ControlKind recordingKind = {{nullptr, nullptr}, RecordControlMessage};

class ControlRoutingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    controlCalls.clear();
    controlAnswer = ResultDefault;
    window = Handle(WindowOpen(0, 10, 10, 200, 150, "controls", WS_CHILD, Host()));
    button = CreateWindowExA(0, "BUTTON", "b", WS_CHILD | WS_VISIBLE, 0, 0, 40, 20, window,
                             reinterpret_cast<HMENU>(static_cast<intptr_t>(12)), GetModuleHandleA(nullptr), nullptr);
    control = static_cast<ControlRecord*>(AllocateObject(ControlTable(), 12));
    control->handle = button;
    control->kind = &recordingKind;
    SetPropA(button, "ZR_ID", reinterpret_cast<HANDLE>(12));
    DrainEvents();
    controlCalls.clear();  // the button's painting asked for its colours
  }
  void TearDown() override {
    ReleaseObject(ControlTable(), 12);
    WindowTest::TearDown();
  }
  HWND window = nullptr, button = nullptr;
  ControlRecord* control = nullptr;
};

TEST_F(ControlRoutingTest, AControlThatHandlesItsCommandEndsIt) {
  controlAnswer = 99;
  EXPECT_EQ(SendMessageA(window, WM_COMMAND, MAKEWPARAM(12, BN_CLICKED), reinterpret_cast<LPARAM>(button)), 0);
  ASSERT_EQ(controlCalls.size(), 1u);
  EXPECT_EQ(controlCalls[0].control, control);
  EXPECT_EQ(controlCalls[0].parent, window);
  EXPECT_EQ(controlCalls[0].message, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(controlCalls[0].wParam, MAKEWPARAM(12, BN_CLICKED));
  EXPECT_EQ(controlCalls[0].lParam, reinterpret_cast<LPARAM>(button));
  EXPECT_EQ(WindowEventState()->immediate, 0);
  // Other control messages keep the control's own result.
  HDC dc = GetDC(button);
  EXPECT_EQ(SendMessageA(window, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(button)), 99);
  ReleaseDC(button, dc);
  EXPECT_EQ(SendMessageA(window, MessageControlPrivate, 5, reinterpret_cast<LPARAM>(button)), 99);
  NMHDR header = {button, 12, 0};
  EXPECT_EQ(SendMessageA(window, WM_NOTIFY, 12, reinterpret_cast<LPARAM>(&header)), 99);
  EXPECT_EQ(controlCalls.size(), 4u);
}

TEST_F(ControlRoutingTest, ADeclinedCommandBecomesAControlEvent) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(12, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  EXPECT_EQ(NextWindowEvent(0), EventControl);
  EXPECT_EQ(EventItem(), 12);
  EXPECT_EQ(EventType(), BN_CLICKED);
  EXPECT_EQ(EventWindow(), 0);
  EXPECT_EQ(controlCalls.size(), 1u);
}

TEST_F(ControlRoutingTest, OnlyTheControlCarryingItsNumberIsOffered) {
  controlAnswer = 99;
  RemovePropA(button, "ZR_ID");
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(12, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  SetPropA(button, "ZR_ID", reinterpret_cast<HANDLE>(13));
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(12, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  // Another window claiming the number of a control that is not itself.
  HWND impostor = Own(CreateWindowExA(0, "BUTTON", "i", WS_CHILD, 0, 0, 4, 4, window,
                                      reinterpret_cast<HMENU>(static_cast<intptr_t>(12)), nullptr, nullptr));
  SetPropA(impostor, "ZR_ID", reinterpret_cast<HANDLE>(12));
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(12, BN_CLICKED), reinterpret_cast<LPARAM>(impostor));
  // A notification whose header cannot be read, and scroll messages of the window's own bars.
  SendMessageA(window, WM_NOTIFY, 0, static_cast<LPARAM>(0x10));
  SendMessageA(window, WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_TRUE(controlCalls.empty());
}

}  // namespace
