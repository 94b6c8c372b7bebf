// The X display the X11 backend's tests draw on: the fixture's private Xvfb (tests/x11/start.sh
// writes its name to $VORLUNE_XVFB_DIR/display), or $DISPLAY when a test is run by hand.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

inline std::string TestDisplayName() {
  if (const char* dir = std::getenv("VORLUNE_XVFB_DIR")) {
    std::string name;
    if (FILE* f = std::fopen((std::string(dir) + "/display").c_str(), "r")) {
      char line[64] = {};
      if (std::fgets(line, sizeof line, f)) name = line;
      std::fclose(f);
      while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
    }
    if (!name.empty()) return name;
  }
  const char* display = std::getenv("DISPLAY");
  return display ? display : "";
}
