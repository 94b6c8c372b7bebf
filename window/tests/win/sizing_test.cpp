#include <windows.h>

#include <gtest/gtest.h>

#include "window/tests/win/window_support.h"

namespace {

HWND Handle(intptr_t opened) { return reinterpret_cast<HWND>(opened); }

const LONG MinWidth = 250, MinHeight = 150, MaxWidth = 600, MaxHeight = 500;
int lastSizingEdge = -1;
int buttonPresses = 0;

LRESULT CALLBACK TrackingLimits(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_GETMINMAXINFO) {
    MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lParam);
    limits->ptMinTrackSize = {MinWidth, MinHeight};
    limits->ptMaxTrackSize = {MaxWidth, MaxHeight};
    return 0;
  }
  if (message == WM_SIZING) lastSizingEdge = static_cast<int>(wParam);
  if (message == WM_LBUTTONDOWN) ++buttonPresses;
  return ResultContinue;
}

// Insane limits a window might answer with; the rectangle they give is noted and put back.
RECT offeredRect;
LRESULT CALLBACK HugeLimits(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_GETMINMAXINFO) {
    MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lParam);
    limits->ptMinTrackSize = {0x7FFFFFFF, 0x7FFFFFFF};
    limits->ptMaxTrackSize = {0x7FFFFFFF, 0x7FFFFFFF};
    return 0;
  }
  if (message == WM_SIZING) {
    offeredRect = *reinterpret_cast<RECT*>(lParam);
    GetWindowRect(window, reinterpret_cast<RECT*>(lParam));
    return TRUE;
  }
  return ResultContinue;
}

RECT WindowRectOf(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return r;
}

POINT CursorNow() {
  POINT p;
  GetCursorPos(&p);
  return p;
}

class SizingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &savedDragFull, 0);
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);
    lastSizingEdge = -1;
    buttonPresses = 0;
    InstallWindowCallback(TrackingLimits);
    window = Handle(WindowOpen(0, 100, 100, 300, 200, "sizing", WS_CHILD | WS_THICKFRAME, Host()));
    ASSERT_NE(window, nullptr);
    DrainEvents();
  }
  void TearDown() override {
    if (GetCapture()) ReleaseCapture();
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, savedDragFull, nullptr, 0);
    WindowTest::TearDown();
  }
  // A mouse move to a screen position, as the captured window receives it.
  void MoveMouseTo(HWND target, LONG x, LONG y) {
    POINT p = {x, y};
    ScreenToClient(target, &p);
    SendMessageA(target, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  }
  void Key(WPARAM key) { SendMessageA(window, WM_KEYDOWN, key, 1); }
  BOOL savedDragFull = FALSE;
  HWND window = nullptr;
};

TEST_F(SizingTest, DraggingTheRightEdgePastTheMinimumLeavesExactlyTheMinimumWidth) {
  RECT before = WindowRectOf(window);
  EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_SIZE | WMSZ_RIGHT, 0), 0);
  SizingState* state = WindowSizingState();
  EXPECT_TRUE(state->active);
  EXPECT_EQ(state->edge, WMSZ_RIGHT);
  EXPECT_EQ(GetCapture(), window);
  EXPECT_EQ(state->minMax.ptMinTrackSize.x, MinWidth);
  EXPECT_TRUE(MessageWaiting(WM_ENTERSIZEMOVE));
  EXPECT_EQ(buttonPresses, 1);  // the left button was up

  MoveMouseTo(window, before.left + 20, before.top + 50);
  RECT r = WindowRectOf(window);
  EXPECT_EQ(r.left, before.left);
  EXPECT_EQ(r.right - r.left, MinWidth);
  EXPECT_EQ(r.top, before.top);
  EXPECT_EQ(r.bottom, before.bottom);
  EXPECT_EQ(lastSizingEdge, WMSZ_RIGHT);

  // Within the limits the edge lands two pixels right of the cursor; beyond them, at the maximum.
  MoveMouseTo(window, before.left + 400, before.top + 50);
  EXPECT_EQ(WindowRectOf(window).right, before.left + 402);
  MoveMouseTo(window, before.left + 900, before.top + 50);
  EXPECT_EQ(WindowRectOf(window).right - before.left, MaxWidth);

  SendMessageA(window, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_FALSE(state->active);
  EXPECT_TRUE(MessageWaiting(WM_EXITSIZEMOVE));
  // Mouse moves after the end are the window's own again.
  MoveMouseTo(window, before.left + 300, before.top + 50);
  EXPECT_EQ(WindowRectOf(window).right - before.left, MaxWidth);
}

TEST_F(SizingTest, TheLeftAndTopLeftEdgesKeepTheOppositeSidesAndTheLimits) {
  RECT before = WindowRectOf(window);
  SendMessageA(window, WM_SYSCOMMAND, SC_SIZE | WMSZ_LEFT, 0);
  MoveMouseTo(window, before.right - 10, before.top + 50);
  RECT r = WindowRectOf(window);
  EXPECT_EQ(r.right, before.right);
  EXPECT_EQ(r.left, before.right - MinWidth);
  ReleaseCapture();

  before = WindowRectOf(window);
  SendMessageA(window, WM_SYSCOMMAND, SC_SIZE | WMSZ_TOPLEFT, 0);
  MoveMouseTo(window, before.left - 30, before.top - 20);
  r = WindowRectOf(window);
  EXPECT_EQ(r.left, before.left - 32);
  EXPECT_EQ(r.top, before.top - 22);
  EXPECT_EQ(r.right, before.right);
  EXPECT_EQ(r.bottom, before.bottom);
  ReleaseCapture();

  before = WindowRectOf(window);
  SendMessageA(window, WM_SYSCOMMAND, SC_SIZE | WMSZ_BOTTOM, 0);
  MoveMouseTo(window, before.left + 5, before.top + 10);
  r = WindowRectOf(window);
  EXPECT_EQ(r.bottom - r.top, MinHeight);
  EXPECT_EQ(r.left, before.left);
  EXPECT_EQ(r.right, before.right);
  ReleaseCapture();
  EXPECT_FALSE(WindowSizingState()->active);
}

TEST_F(SizingTest, KeyboardSizingEndedWithEscapePutsTheCursorBack) {
  ASSERT_TRUE(SetCursorPos(600, 500));
  POINT start = CursorNow();
  RECT before = WindowRectOf(window);
  SendMessageA(window, WM_SYSCOMMAND, SC_SIZE, 0);
  SizingState* state = WindowSizingState();
  EXPECT_TRUE(state->active);
  EXPECT_TRUE(state->restoreCursor);
  EXPECT_EQ(state->edge, 0);

  // The first arrow only chooses the edge and puts the cursor on it.
  Key(VK_LEFT);
  EXPECT_EQ(state->edge, WMSZ_LEFT);
  POINT onEdge = CursorNow();
  EXPECT_EQ(onEdge.x, before.left);
  EXPECT_EQ(onEdge.y, start.y);
  RECT r = WindowRectOf(window);
  EXPECT_TRUE(EqualRect(&r, &before));
  // The next one sizes, 10 pixels at a time.
  Key(VK_LEFT);
  r = WindowRectOf(window);
  EXPECT_EQ(r.left, before.left - 10);
  EXPECT_EQ(r.right, before.right);
  EXPECT_EQ(CursorNow().x, before.left - 10);

  Key(VK_ESCAPE);
  EXPECT_FALSE(state->active);
  EXPECT_EQ(GetCapture(), nullptr);
  POINT after = CursorNow();
  EXPECT_EQ(after.x, start.x);
  EXPECT_EQ(after.y, start.y);
}

TEST_F(SizingTest, AMouseMoveDuringKeyboardSizingKeepsTheCursorWhereItIs) {
  SetCursorPos(600, 500);
  RECT before = WindowRectOf(window);
  SendMessageA(window, WM_SYSCOMMAND, SC_SIZE, 0);
  Key(VK_RIGHT);
  EXPECT_EQ(WindowSizingState()->edge, WMSZ_RIGHT);
  EXPECT_EQ(CursorNow().x, before.right - 2);
  MoveMouseTo(window, before.right + 18, 500);
  EXPECT_FALSE(WindowSizingState()->restoreCursor);
  EXPECT_EQ(WindowRectOf(window).right, before.right + 20);
  Key(VK_RETURN);
  EXPECT_FALSE(WindowSizingState()->active);
  EXPECT_EQ(CursorNow().x, before.right - 2);
}

TEST_F(SizingTest, ArrowKeysTurnAnEdgeIntoACorner) {
  SetCursorPos(500, 400);
  RECT before = WindowRectOf(window);
  SendMessageA(window, WM_SYSCOMMAND, SC_SIZE, 0);
  SizingState* state = WindowSizingState();
  Key(VK_UP);
  EXPECT_EQ(state->edge, WMSZ_TOP);
  EXPECT_EQ(CursorNow().y, before.top);
  EXPECT_EQ(CursorNow().x, 500);
  Key(VK_LEFT);
  EXPECT_EQ(state->edge, WMSZ_TOPLEFT);
  EXPECT_EQ(CursorNow().x, before.left + 2);
  EXPECT_EQ(CursorNow().y, before.top + 2);
  RECT r = WindowRectOf(window);
  EXPECT_TRUE(EqualRect(&r, &before));
  Key(VK_LEFT);  // the corner moves 10 pixels left and stays at the same height
  r = WindowRectOf(window);
  EXPECT_EQ(r.left, before.left - 10);
  EXPECT_EQ(r.top, before.top);
  Key(VK_UP);
  r = WindowRectOf(window);
  EXPECT_EQ(r.top, before.top - 10);
  Key(VK_ESCAPE);

  // Down then right makes the bottom-right corner; a key that is no arrow goes on to the window.
  before = WindowRectOf(window);
  SendMessageA(window, WM_SYSCOMMAND, SC_SIZE, 0);
  Key(VK_DOWN);
  EXPECT_EQ(state->edge, WMSZ_BOTTOM);
  EXPECT_EQ(CursorNow().y, before.bottom - 2);
  Key(VK_RIGHT);
  EXPECT_EQ(state->edge, WMSZ_BOTTOMRIGHT);
  EXPECT_EQ(CursorNow().x, before.right - 2);
  EXPECT_EQ(SizingLoopFilter(window, WM_KEYDOWN, 'A', 0), ResultDefault);
  Key(VK_RETURN);
  EXPECT_FALSE(state->active);
}

// Every arrow from every edge it can turn: the edge it makes, where the cursor goes, and no sizing yet.
TEST_F(SizingTest, EachArrowTurnsEachEdgeItMeets) {
  struct Turn {
    WPARAM first, second;
    int edge;
  };
  const Turn turns[] = {
      {VK_LEFT, 0, WMSZ_LEFT},           {VK_UP, VK_LEFT, WMSZ_TOPLEFT},      {VK_DOWN, VK_LEFT, WMSZ_BOTTOMLEFT},
      {VK_UP, 0, WMSZ_TOP},              {VK_RIGHT, VK_UP, WMSZ_TOPRIGHT},    {VK_LEFT, VK_UP, WMSZ_TOPLEFT},
      {VK_RIGHT, 0, WMSZ_RIGHT},         {VK_UP, VK_RIGHT, WMSZ_TOPRIGHT},    {VK_DOWN, VK_RIGHT, WMSZ_BOTTOMRIGHT},
      {VK_DOWN, 0, WMSZ_BOTTOM},         {VK_RIGHT, VK_DOWN, WMSZ_BOTTOMRIGHT}, {VK_LEFT, VK_DOWN, WMSZ_BOTTOMLEFT},
  };
  const POINT start = {500, 400};
  for (const Turn& turn : turns) {
    SCOPED_TRACE(testing::Message() << "keys " << turn.first << ", " << turn.second);
    ASSERT_TRUE(SetCursorPos(start.x, start.y));
    RECT r = WindowRectOf(window);
    SendMessageA(window, WM_SYSCOMMAND, SC_SIZE, 0);
    Key(turn.first);
    if (turn.second) Key(turn.second);
    EXPECT_EQ(WindowSizingState()->edge, turn.edge);
    RECT after = WindowRectOf(window);
    EXPECT_TRUE(EqualRect(&after, &r));
    POINT expected = start;
    switch (turn.edge) {
      case WMSZ_LEFT: expected.x = r.left; break;
      case WMSZ_RIGHT: expected.x = r.right - 2; break;
      case WMSZ_TOP: expected.y = r.top; break;
      case WMSZ_BOTTOM: expected.y = r.bottom - 2; break;
      case WMSZ_TOPLEFT: expected = {r.left + 2, r.top + 2}; break;
      case WMSZ_TOPRIGHT: expected = {r.right - 2, r.top}; break;
      case WMSZ_BOTTOMLEFT: expected = {r.left, r.bottom - 2}; break;
      case WMSZ_BOTTOMRIGHT: expected = {r.right - 2, r.bottom - 2}; break;
    }
    POINT cursor = CursorNow();
    EXPECT_EQ(cursor.x, expected.x);
    EXPECT_EQ(cursor.y, expected.y);
    Key(VK_ESCAPE);
  }
}

TEST_F(SizingTest, WithoutDragFullWindowsTheSystemSizes) {
  SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, FALSE, nullptr, 0);
  // Sent to the window this would start the system's modal loop, so the filter is asked directly.
  EXPECT_EQ(SizingLoopFilter(window, WM_SYSCOMMAND, SC_SIZE | WMSZ_RIGHT, 0), ResultDefault);
  EXPECT_FALSE(WindowSizingState()->active);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(SizingTest, OnlyTheWindowBeingSizedIsSized) {
  HWND other = Handle(WindowOpen(1, 500, 300, 200, 150, "other", WS_CHILD | WS_THICKFRAME, Host()));
  RECT otherBefore = WindowRectOf(other);
  SendMessageA(window, WM_SYSCOMMAND, SC_SIZE | WMSZ_RIGHT, 0);
  EXPECT_EQ(SizingLoopFilter(other, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1)), ResultDefault);
  RECT otherAfter = WindowRectOf(other);
  EXPECT_TRUE(EqualRect(&otherBefore, &otherAfter));
  // Closing the window being sized ends the sizing.
  WindowClose(0);
  EXPECT_FALSE(WindowSizingState()->active);
}

TEST_F(SizingTest, ATopLevelWindowIsSizedInScreenCoordinates) {
  HWND top = Handle(WindowOpen(1, 150, 120, 300, 200, "top", WS_POPUP | WS_THICKFRAME, nullptr));
  ASSERT_NE(top, nullptr);
  RECT before = WindowRectOf(top);
  SendMessageA(top, WM_SYSCOMMAND, SC_SIZE | WMSZ_RIGHT, 0);
  MoveMouseTo(top, before.left + 30, before.top + 10);
  RECT r = WindowRectOf(top);
  EXPECT_EQ(r.left, before.left);
  EXPECT_EQ(r.top, before.top);
  EXPECT_EQ(r.right - r.left, MinWidth);
  MoveMouseTo(top, before.left + 350, before.top + 10);
  EXPECT_EQ(WindowRectOf(top).right, before.left + 352);
  SendMessageA(top, WM_LBUTTONUP, 0, 0);
  EXPECT_FALSE(WindowSizingState()->active);
}

TEST_F(SizingTest, AbsurdTrackingLimitsDoNotOverflow) {
  InstallWindowCallback(HugeLimits);
  RECT before = WindowRectOf(window);
  SendMessageA(window, WM_SYSCOMMAND, SC_SIZE | WMSZ_BOTTOMRIGHT, 0);
  MoveMouseTo(window, before.left + 5, before.top + 5);
  EXPECT_EQ(offeredRect.left, before.left);
  EXPECT_EQ(offeredRect.right, INT32_MAX);
  EXPECT_EQ(offeredRect.bottom, INT32_MAX);
  RECT r = WindowRectOf(window);
  EXPECT_TRUE(EqualRect(&r, &before));
  ReleaseCapture();
  EXPECT_FALSE(WindowSizingState()->active);
}

// ---- focus cycling --------------------------------------------------------------------------

class FocusTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    window = Handle(WindowOpen(0, 10, 10, 400, 300, "focus", WS_POPUP, nullptr));
    first = Button("first", WS_TABSTOP);
    Button("disabled", WS_TABSTOP | WS_DISABLED);
    Button("hidden", WS_TABSTOP, false);
    notab = Button("no tab stop", 0);
    middle = Button("middle", WS_TABSTOP);
    last = Button("last", WS_TABSTOP);
    SetForegroundWindow(window);
    SetActiveWindow(window);
    DrainEvents();
  }
  HWND Button(const char* text, DWORD style, bool visible = true, HWND parent = nullptr) {
    return CreateWindowExA(0, "BUTTON", text, WS_CHILD | style | (visible ? WS_VISIBLE : 0), 10, 10 + 25 * count++,
                           100, 20, parent ? parent : window, nullptr, nullptr, nullptr);
  }
  // Where Tab (0) or Shift+Tab (1) takes the focus from `from` (none: from where it is).
  static HWND Cycled(int32_t backwards, HWND from = nullptr) {
    if (from) SetFocus(from);
    EXPECT_TRUE(CycleFocus(backwards));
    return GetFocus();
  }
  HWND window = nullptr, first = nullptr, notab = nullptr, middle = nullptr, last = nullptr;
  int count = 0;
};

TEST_F(FocusTest, TabAndShiftTabWrapAroundTheEligibleControls) {
  ASSERT_EQ(GetActiveWindow(), window);
  EXPECT_EQ(Cycled(0, last), first);
  EXPECT_EQ(Cycled(0), middle);  // past the disabled, hidden and plain ones
  EXPECT_EQ(Cycled(1), first);
  EXPECT_EQ(Cycled(1), last);
}

TEST_F(FocusTest, WithoutAFocusedControlTabTakesTheFirstShiftTabTheLast) {
  EXPECT_EQ(Cycled(0, window), first);
  EXPECT_EQ(Cycled(1, window), last);
  // A focused control that is no tab stop counts as none.
  EXPECT_EQ(Cycled(1, notab), last);
}

TEST_F(FocusTest, WithNoEligibleControlTheFocusStays) {
  HWND bare = Handle(WindowOpen(1, 10, 10, 200, 100, "bare", WS_POPUP, nullptr));
  HWND plain = Button("plain", 0, true, bare);
  SetActiveWindow(bare);
  SetFocus(plain);
  EXPECT_FALSE(CycleFocus(0));
  EXPECT_EQ(GetFocus(), plain);
}

TEST_F(FocusTest, InsideAFrameChildTheCycleStaysInIt) {
  WNDCLASSA frameChildClass = {};
  frameChildClass.lpfnWndProc = DefWindowProcA;
  frameChildClass.hInstance = GetModuleHandleA(nullptr);
  frameChildClass.lpszClassName = "MDI_ChildClass";
  RegisterClassA(&frameChildClass);
  HWND child = CreateWindowExA(0, "MDI_ChildClass", "", WS_CHILD | WS_VISIBLE, 150, 10, 200, 200, window, nullptr,
                               nullptr, nullptr);
  HWND inner1 = Button("inner 1", WS_TABSTOP, true, child);
  HWND inner2 = Button("inner 2", WS_TABSTOP, true, child);
  EXPECT_EQ(Cycled(0, inner2), inner1);
  EXPECT_EQ(Cycled(1), inner2);
  // The frame child itself focused: no current control, the first inside it.
  EXPECT_EQ(Cycled(0, child), inner1);
  DestroyWindow(child);
  UnregisterClassA("MDI_ChildClass", GetModuleHandleA(nullptr));
}

}  // namespace
