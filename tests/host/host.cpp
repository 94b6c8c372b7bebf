// Test host: does what the Windows screensaver host does (start the saver, give it a window for
// the preview, close that window) and what a tester needs (find and answer the saver's message
// boxes, look at the preview's child window, wait for the exit code). Commands are read from the
// command line one after another; every result is one line on stdout.
//
//   saver PATH          program to start (default: Vorlune.scr beside this program)
//   window W H          create a visible host window with a W x H client area
//   start ARGS          start the saver with ARGS ({host}: host window in decimal, {hosthex}: "$" hex)
//   findbox MS          wait up to MS ms for a message box (#32770) of the saver; report caption, text
//   checkbox MS         like findbox, but no box is not a failure: reports "box ..." or "nobox"
//   press MS            find the box like findbox and press its first button (OK)
//   child MS            wait up to MS ms for a child of the host window; report it, its rectangle
//                       and how many children the host has
//   close child|HWND    post WM_CLOSE to the host's child or to a window given in decimal
//   destroy             destroy the host window
//   wait MS             wait up to MS ms for the saver to end; report its exit code
//   kill                end the saver if it is still running
//   sleep MS            sleep, handling the host window's messages
//   focus N MS          N times: activate the host window, then the saver's full-screen window
//                       ("Vorlune Screensaver", which need not be started by this host), MS ms
//                       each; reports which window held the foreground after each step
//
// Lines: "ok ...", a result line, or "fail <command>: <reason>". Texts are quoted with \r, \n,
// \t, \\, \" and \xHH escapes. The exit code is the number of failed commands.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <windows.h>

namespace {

HWND host;
PROCESS_INFORMATION saver;
bool started;
std::string saverPath;
int failures;

void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Fail(const char* command, const char* reason) {
  Say("fail %s: %s", command, reason);
  ++failures;
}

std::string Escape(const char* text, size_t length) {
  std::string out = "\"";
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    char buffer[8];
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      default:
        if (c < 32 || c > 126) {
          std::snprintf(buffer, sizeof(buffer), "\\x%02X", c);
          out += buffer;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// Text of a window that may belong to another process.
std::string WindowText(HWND window) {
  char buffer[4096];
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                           2000, &length)) {
    length = GetWindowTextA(window, buffer, sizeof(buffer));
  }
  if (length >= sizeof(buffer)) length = sizeof(buffer) - 1;
  return Escape(buffer, length);
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Handles the host window's messages for up to ms milliseconds or until done() holds.
template <class Done> bool PumpUntil(DWORD ms, Done done) {
  DWORD start = GetTickCount();
  for (;;) {
    PumpMessages();
    if (done()) return true;
    DWORD spent = GetTickCount() - start;
    if (spent >= ms) return false;
    DWORD slice = ms - spent < 20 ? ms - spent : 20;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
  }
}

// EnumWindows and EnumChildWindows with a lambda; it answers FALSE to stop.
template <class Visit> BOOL CALLBACK EachWindow(HWND window, LPARAM visit) {
  return (*reinterpret_cast<Visit*>(visit))(window);
}

bool ClassIs(HWND window, const char* name) {
  char found[64];
  return GetClassNameA(window, found, sizeof(found)) && _stricmp(found, name) == 0;
}

HWND WaitForBox(DWORD ms) {
  HWND box = nullptr;
  if (!started) return nullptr;
  auto find = [&](HWND window) -> BOOL {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (!ClassIs(window, "#32770") || process != saver.dwProcessId || !IsWindowVisible(window)) return TRUE;
    box = window;
    return FALSE;
  };
  PumpUntil(ms, [&] {
    EnumWindows(EachWindow<decltype(find)>, reinterpret_cast<LPARAM>(&find));
    return box != nullptr;
  });
  return box;
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY && window == host) host = nullptr;
  return DefWindowProcA(window, message, wParam, lParam);
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

DWORD Number(const char* text) { return static_cast<DWORD>(std::strtoul(text, nullptr, 10)); }

void CommandWindow(int width, int height) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = HostProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  windowClass.lpszClassName = "VorluneTestHost";
  RegisterClassA(&windowClass);
  RECT frame = {0, 0, width, height};
  DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  AdjustWindowRect(&frame, style, FALSE);
  host = CreateWindowA("VorluneTestHost", "Vorlune test host", style, 20, 20, frame.right - frame.left,
                       frame.bottom - frame.top, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (!host) return Fail("window", "CreateWindow failed");
  ShowWindow(host, SW_SHOWNORMAL);
  UpdateWindow(host);
  PumpMessages();
  RECT client;
  GetClientRect(host, &client);
  Say("window hwnd=%llu hex=$%llX client=%ld,%ld", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(host)),
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(host)), client.right, client.bottom);
}

void CommandStart(const char* arguments) {
  if (started) return Fail("start", "the saver was already started");
  char handle[32], hexHandle[32];
  std::snprintf(handle, sizeof(handle), "%llu", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(host)));
  std::snprintf(hexHandle, sizeof(hexHandle), "$%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(host)));
  std::string args = ReplaceAll(ReplaceAll(arguments, "{hosthex}", hexHandle), "{host}", handle);
  std::string line = "\"" + saverPath + "\"";
  if (!args.empty()) line += " " + args;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  std::string mutableLine = line;
  if (!CreateProcessA(saverPath.c_str(), &mutableLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &saver)) {
    return Fail("start", ("CreateProcess failed for " + line).c_str());
  }
  started = true;
  Say("started pid=%lu line=%s", saver.dwProcessId, Escape(line.data(), line.size()).c_str());
}

void CommandFindBox(DWORD ms, bool press, bool mayBeMissing) {
  const char* name = press ? "press" : "findbox";
  HWND box = WaitForBox(ms);
  if (!box && mayBeMissing) return Say("nobox");
  if (!box) return Fail(name, "no message box of the saver");
  HWND text = GetDlgItem(box, 0xFFFF), button = GetDlgItem(box, IDOK);
  auto findParts = [&](HWND window) -> BOOL {
    if (!text && ClassIs(window, "Static") && GetWindowTextLengthA(window) > 0) text = window;
    if (!button && ClassIs(window, "Button")) button = window;
    return TRUE;
  };
  if (!text || !button) EnumChildWindows(box, EachWindow<decltype(findParts)>, reinterpret_cast<LPARAM>(&findParts));
  if (!press) {
    Say("box hwnd=%llu caption=%s text=%s", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(box)),
        WindowText(box).c_str(), text ? WindowText(text).c_str() : "\"\"");
    return;
  }
  if (!button) return Fail(name, "the box has no button");
  int id = GetDlgCtrlID(button);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  Say("pressed button=%d", id);
}

void CommandChild(DWORD ms) {
  if (!host) return Fail("child", "no host window");
  HWND child = nullptr;
  PumpUntil(ms, [&] {
    child = host ? GetWindow(host, GW_CHILD) : nullptr;
    return child != nullptr;
  });
  if (!child) return Fail("child", "the host window has no child");
  RECT rect, client;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&rect), 2);
  GetClientRect(host, &client);
  DWORD process = 0;
  GetWindowThreadProcessId(child, &process);
  int children = 0;
  for (HWND w = child; w; w = GetWindow(w, GW_HWNDNEXT)) ++children;
  Say("child hwnd=%llu rect=%ld,%ld,%ld,%ld client=%ld,%ld,%ld,%ld visible=%d saver=%d children=%d",
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(child)), rect.left, rect.top, rect.right,
      rect.bottom, client.left, client.top, client.right, client.bottom, IsWindowVisible(child) ? 1 : 0,
      started && process == saver.dwProcessId ? 1 : 0, children);
}

void CommandClose(const char* target) {
  HWND window = nullptr;
  if (std::strcmp(target, "child") == 0) {
    window = host ? GetWindow(host, GW_CHILD) : nullptr;
  } else {
    window = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(target, nullptr, 10)));
  }
  if (!window || !IsWindow(window)) return Fail("close", "no such window");
  PostMessageA(window, WM_CLOSE, 0, 0);
  Say("closed hwnd=%llu", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
}

void CommandWait(DWORD ms) {
  if (!started) return Fail("wait", "the saver was not started");
  bool ended = PumpUntil(ms, [] { return WaitForSingleObject(saver.hProcess, 0) == WAIT_OBJECT_0; });
  if (!ended) {
    Say("exit timeout");
    return;
  }
  DWORD code = 0;
  GetExitCodeProcess(saver.hProcess, &code);
  Say("exit code=%lu", code);
}

// One focus loss and return of the full-screen saver: the host window becomes the foreground
// window, then the saver's window again.
void CommandFocus(DWORD count, DWORD ms) {
  if (!host) return Fail("focus", "no host window");
  HWND saverWindow = FindWindowA("MultimediaBase Class", "Vorlune Screensaver");
  if (!saverWindow) return Fail("focus", "no full-screen saver window");
  int lost = 0, back = 0;
  for (DWORD i = 1; i <= count; ++i) {
    SetForegroundWindow(host);
    PumpUntil(ms, [] { return false; });
    bool away = GetForegroundWindow() == host;
    SetForegroundWindow(saverWindow);
    PumpUntil(ms, [] { return false; });
    bool returned = GetForegroundWindow() == saverWindow;
    lost += away;
    back += returned;
    Say("focus n=%lu away=%d back=%d alive=%d", i, away ? 1 : 0, returned ? 1 : 0, IsWindow(saverWindow) ? 1 : 0);
  }
  Say("focused count=%lu lost=%d back=%d", count, lost, back);
}

void CommandKill() {
  if (started && WaitForSingleObject(saver.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(saver.hProcess, 255);
    WaitForSingleObject(saver.hProcess, 5000);
    Say("killed");
  } else {
    Say("ok kill: not running");
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char own[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, own, sizeof(own));
  saverPath.assign(own, length);
  size_t slash = saverPath.find_last_of("\\/");
  saverPath = (slash == std::string::npos ? std::string() : saverPath.substr(0, slash + 1)) + "Vorlune.scr";

  int argc = __argc;
  char** argv = __argv;
  for (int i = 1; i < argc; ++i) {
    std::string command = argv[i];
    auto need = [&](int n) {
      if (i + n < argc) return true;
      Fail(command.c_str(), "missing argument");
      i = argc;
      return false;
    };
    if (command == "saver") {
      if (need(1)) saverPath = argv[++i];
    } else if (command == "window") {
      if (need(2)) {
        int w = static_cast<int>(Number(argv[i + 1])), h = static_cast<int>(Number(argv[i + 2]));
        i += 2;
        CommandWindow(w, h);
      }
    } else if (command == "start") {
      if (need(1)) CommandStart(argv[++i]);
    } else if (command == "findbox" || command == "press" || command == "checkbox") {
      if (need(1)) CommandFindBox(Number(argv[++i]), command == "press", command == "checkbox");
    } else if (command == "child") {
      if (need(1)) CommandChild(Number(argv[++i]));
    } else if (command == "close") {
      if (need(1)) CommandClose(argv[++i]);
    } else if (command == "destroy") {
      if (host) {
        DestroyWindow(host);
        PumpMessages();
        Say("ok destroy");
      } else {
        Fail("destroy", "no host window");
      }
    } else if (command == "wait") {
      if (need(1)) CommandWait(Number(argv[++i]));
    } else if (command == "kill") {
      CommandKill();
    } else if (command == "focus") {
      if (need(2)) {
        DWORD n = Number(argv[i + 1]), ms = Number(argv[i + 2]);
        i += 2;
        CommandFocus(n, ms);
      }
    } else if (command == "sleep") {
      if (need(1)) {
        PumpUntil(Number(argv[++i]), [] { return false; });
        Say("ok sleep");
      }
    } else {
      Fail(command.c_str(), "unknown command");
    }
  }
  if (host) DestroyWindow(host);
  Say("done failures=%d", failures);
  return failures;
}
