// Running a Linux command from a test under Wine. Wine starts Linux programs without a process
// handle, so the command writes its exit code into a file in the prefix's temporary folder and
// the test waits for that file.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

// The Linux path of a Windows path, from Wine's own KERNEL32 export; "" outside Wine.
inline std::string UnixPathOf(const std::string& windowsPath) {
  typedef char*(CDECL * Convert)(LPCWSTR);
  Convert convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return "";
  wchar_t wide[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH)) return "";
  char* unixPath = convert(wide);
  if (!unixPath) return "";
  std::string result = unixPath;
  HeapFree(GetProcessHeap(), 0, unixPath);
  return result;
}

// Runs a shell command line; returns its exit code, or -1 when it could not be run or did not
// finish within the time allowed.
inline int RunShell(const std::string& script, DWORD timeoutMs = 10000) {
  static int serial = 0;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  char name[MAX_PATH];
  snprintf(name, sizeof name, "%svorlune-shell-%lu-%d.rc", temp, GetCurrentProcessId(), ++serial);
  DeleteFileA(name);
  std::string unixName = UnixPathOf(name);
  if (unixName.empty()) return -1;
  std::string line = "/bin/sh -c \"" + script + "; echo $? > '" + unixName + "'\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  for (DWORD waited = 0; waited < timeoutMs; waited += 10) {
    FILE* file = fopen(name, "r");
    if (file) {
      int code = -1;
      int fields = fscanf(file, "%d", &code);
      fclose(file);
      if (fields == 1) {
        DeleteFileA(name);
        return code;
      }
    }
    Sleep(10);
  }
  return -1;
}
