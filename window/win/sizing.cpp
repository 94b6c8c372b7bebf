#include <cstdint>

#include "window/win/window.h"

namespace {

const int CursorDiagonalDown = 32642;  // top left to bottom right
const int CursorDiagonalUp = 32643;    // top right to bottom left
const int CursorHorizontal = 32644;
const int CursorVertical = 32645;
const int CursorFourArrows = 32646;
const int KeyStep = 10;  // pixels per arrow key once an edge is chosen
const UINT DragFullWindowsQuery = 38;

enum Edge { NoEdge, LeftEdge, RightEdge, TopEdge, TopLeft, TopRight, BottomEdge, BottomLeft, BottomRight };

bool MovesLeft(int edge) { return edge == LeftEdge || edge == TopLeft || edge == BottomLeft; }
bool MovesRight(int edge) { return edge == RightEdge || edge == TopRight || edge == BottomRight; }
bool MovesTop(int edge) { return edge == TopEdge || edge == TopLeft || edge == TopRight; }
bool MovesBottom(int edge) { return edge == BottomEdge || edge == BottomLeft || edge == BottomRight; }

LONG ClampToLong(int64_t value) {
  if (value < INT32_MIN) return INT32_MIN;
  if (value > INT32_MAX) return INT32_MAX;
  return static_cast<LONG>(value);
}

// Keeps the span between the tracking bounds by moving the edge that was dragged. The bounds come
// from the window's own WM_GETMINMAXINFO answer, so they are not trusted to be sane.
void KeepSpan(LONG* low, LONG* high, bool lowMoved, LONG minimum, LONG maximum) {
  int64_t span = static_cast<int64_t>(*high) - *low;
  int64_t bound = span;
  if (span < minimum)
    bound = minimum;
  else if (span > maximum)
    bound = maximum;
  if (bound == span) return;
  if (lowMoved)
    *low = ClampToLong(static_cast<int64_t>(*high) - bound);
  else
    *high = ClampToLong(static_cast<int64_t>(*low) + bound);
}

// Moves the dragged edges to a cursor position in screen coordinates and the window with them.
void SizeToPoint(SizingState* state, HWND window, POINT cursor) {
  int edge = state->edge;
  RECT rect = state->current;
  if (MovesLeft(edge)) rect.left = edge == TopLeft ? cursor.x - 2 : cursor.x;
  if (MovesRight(edge)) rect.right = cursor.x + 2;
  if (MovesTop(edge)) rect.top = edge == TopLeft ? cursor.y - 2 : cursor.y;
  if (MovesBottom(edge)) rect.bottom = cursor.y + 2;
  const MINMAXINFO& limits = state->minMax;
  if (MovesLeft(edge) || MovesRight(edge))
    KeepSpan(&rect.left, &rect.right, MovesLeft(edge), limits.ptMinTrackSize.x, limits.ptMaxTrackSize.x);
  if (MovesTop(edge) || MovesBottom(edge))
    KeepSpan(&rect.top, &rect.bottom, MovesTop(edge), limits.ptMinTrackSize.y, limits.ptMaxTrackSize.y);

  SendMessageA(window, WM_SIZING, static_cast<WPARAM>(edge), reinterpret_cast<LPARAM>(&rect));
  state->current = rect;
  if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD)
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

void PlaceCursor(int cursor, LONG x, LONG y) {
  SetCursorPos(x, y);
  SetCursor(static_cast<HCURSOR>(LoadImageA(nullptr, MAKEINTRESOURCEA(cursor), IMAGE_CURSOR, 0, 0,
                                            LR_SHARED | LR_DEFAULTSIZE)));
}

void SizeByKey(SizingState* state, HWND window, LONG dx, LONG dy) {
  POINT cursor;
  GetCursorPos(&cursor);
  cursor.x += dx;
  cursor.y += dy;
  SetCursorPos(cursor.x, cursor.y);
  SizeToPoint(state, window, cursor);
}

// The first arrow key chooses an edge, a second one across it a corner; any other arrow key sizes.
struct ArrowTurn {
  WPARAM key;
  int from;
  int to;
};
const ArrowTurn ArrowTurns[] = {
    {VK_LEFT, NoEdge, LeftEdge},   {VK_LEFT, TopEdge, TopLeft},      {VK_LEFT, BottomEdge, BottomLeft},
    {VK_UP, NoEdge, TopEdge},      {VK_UP, RightEdge, TopRight},     {VK_UP, LeftEdge, TopLeft},
    {VK_RIGHT, NoEdge, RightEdge}, {VK_RIGHT, TopEdge, TopRight},    {VK_RIGHT, BottomEdge, BottomRight},
    {VK_DOWN, NoEdge, BottomEdge}, {VK_DOWN, RightEdge, BottomRight}, {VK_DOWN, LeftEdge, BottomLeft},
};

// The cursor goes onto the chosen edge or corner, inside the window's outermost pixels.
void PlaceCursorOnEdge(const RECT& r, POINT cursor, int edge) {
  switch (edge) {
    case LeftEdge: PlaceCursor(CursorHorizontal, r.left, cursor.y); break;
    case RightEdge: PlaceCursor(CursorHorizontal, r.right - 2, cursor.y); break;
    case TopEdge: PlaceCursor(CursorVertical, cursor.x, r.top); break;
    case BottomEdge: PlaceCursor(CursorVertical, cursor.x, r.bottom - 2); break;
    case TopLeft: PlaceCursor(CursorDiagonalDown, r.left + 2, r.top + 2); break;
    case TopRight: PlaceCursor(CursorDiagonalUp, r.right - 2, r.top); break;
    case BottomLeft: PlaceCursor(CursorDiagonalUp, r.left, r.bottom - 2); break;
    case BottomRight: PlaceCursor(CursorDiagonalDown, r.right - 2, r.bottom - 2); break;
  }
}

void ArrowKey(SizingState* state, HWND window, WPARAM key) {
  POINT cursor;
  GetCursorPos(&cursor);
  LONG dx = key == VK_LEFT ? -KeyStep : key == VK_RIGHT ? KeyStep : 0;
  LONG dy = key == VK_UP ? -KeyStep : key == VK_DOWN ? KeyStep : 0;
  if (!dx && !dy) return;
  for (const ArrowTurn& turn : ArrowTurns) {
    if (turn.key == key && turn.from == state->edge) {
      state->edge = turn.to;
      PlaceCursorOnEdge(state->current, cursor, turn.to);
      return;
    }
  }
  SizeByKey(state, window, dx, dy);
}

void StartSizing(SizingState* state, HWND window, int edge) {
  state->active = 1;
  state->window = window;
  state->edge = edge;
  GetWindowRect(window, &state->current);
  state->start = state->current;

  MINMAXINFO& limits = state->minMax;
  limits.ptReserved.x = 0;
  limits.ptReserved.y = 0;
  limits.ptMaxSize.x = GetSystemMetrics(SM_CXMAXIMIZED);
  limits.ptMaxSize.y = GetSystemMetrics(SM_CYMAXIMIZED);
  if (GetWindowLongA(window, GWL_STYLE) & WS_BORDER) {
    limits.ptMaxPosition.x = GetSystemMetrics(SM_CXBORDER);
    limits.ptMaxPosition.y = GetSystemMetrics(SM_CYBORDER);
  } else if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_WINDOWEDGE) {
    limits.ptMaxPosition.x = GetSystemMetrics(SM_CXEDGE);
    limits.ptMaxPosition.y = GetSystemMetrics(SM_CYEDGE);
  } else {
    limits.ptMaxPosition.x = 0;
    limits.ptMaxPosition.y = 0;
  }
  limits.ptMinTrackSize.x = GetSystemMetrics(SM_CXMINTRACK);
  limits.ptMinTrackSize.y = GetSystemMetrics(SM_CYMINTRACK);
  limits.ptMaxTrackSize.x = GetSystemMetrics(SM_CXMAXTRACK);
  limits.ptMaxTrackSize.y = GetSystemMetrics(SM_CYMAXTRACK);
  SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));

  if (GetKeyState(VK_LBUTTON) == 0) SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  SetCapture(window);
  PostMessageA(window, WM_ENTERSIZEMOVE, 0, 0);
  if (edge == NoEdge) {
    state->restoreCursor = 1;
    GetCursorPos(&state->savedCursor);
    SetCursor(static_cast<HCURSOR>(LoadImageA(nullptr, MAKEINTRESOURCEA(CursorFourArrows), IMAGE_CURSOR, 0, 0,
                                              LR_SHARED | LR_DEFAULTSIZE)));
  } else {
    state->restoreCursor = 0;
  }
}

bool DragFullWindows() {
  BOOL on = FALSE;
  return SystemParametersInfoA(DragFullWindowsQuery, 0, &on, 0) && on;
}

}  // namespace

LRESULT SizingLoopFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SizingState* state = WindowSizingState();
  if (!state) return ResultDefault;

  if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_SIZE) {
    int edge = static_cast<int>(wParam & 0xF);
    // Edge numbers beyond the corners mean nothing here; the system may make of them what it will.
    if (edge > BottomRight || !DragFullWindows()) return ResultDefault;
    StartSizing(state, window, edge);
    return 0;
  }
  if (!state->active || window != state->window) return ResultDefault;

  switch (message) {
    case WM_MOUSEMOVE: {
      state->restoreCursor = 0;
      POINT cursor = {static_cast<LONG>(static_cast<int16_t>(LOWORD(lParam))),
                      static_cast<LONG>(static_cast<int16_t>(HIWORD(lParam)))};
      ClientToScreen(window, &cursor);
      SizeToPoint(state, window, cursor);
      return 0;
    }
    case WM_KEYDOWN:
      switch (wParam) {
        case VK_RETURN:
        case VK_ESCAPE:
          ReleaseCapture();
          return 0;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
          ArrowKey(state, window, wParam);
          return 0;
        default:
          return ResultDefault;
      }
    case WM_LBUTTONUP:
      ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      // Taking the capture again for the same window does not end the sizing.
      if (reinterpret_cast<HWND>(lParam) == window) return 0;
      PostMessageA(window, WM_EXITSIZEMOVE, 0, 0);
      state->active = 0;
      if (state->restoreCursor) SetCursorPos(state->savedCursor.x, state->savedCursor.y);
      return 0;
    case WM_DESTROY:
      // A window destroyed while it is being sized ends the sizing with it.
      state->active = 0;
      state->window = nullptr;
      return ResultDefault;
    default:
      return ResultDefault;
  }
}
