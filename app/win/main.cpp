#include <windows.h>

#include "app/win/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  StartUp();
  ReadCommandLine();
  RunMode();
}
