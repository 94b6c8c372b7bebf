#include "app/startup.h"
#include "app/state.h"
#include "runtime/memory.h"
#include "runtime/params.h"

const char* const AboutCaption = "Talveno Vorlune Screensaver";
const char* const AboutText =
    "Vorlune Screensaver\r\r"
    "Talveno Softworks 2026\r"
    "Written by the Vorlune team\r"
    "www.talveno.example";

void ReadCommandLine() {
  // Chained at one scratch position; the end steps past each terminator between calls.
  size_t p = ScratchEnd();
  char* text = NextProgramParameter(p);
  SetScratchEnd(ScratchEnd() + 1);
  text = LeftPart(text, 2, p);
  SetScratchEnd(ScratchEnd() + 1);
  ToUpperCase(text, p);
  StoreScratchString(&App.ModeSwitch, p);

  p = ScratchEnd();
  NextProgramParameter(p);
  StoreScratchString(&App.ModeArgument, p);
}

AppMode ChooseMode(const char* modeSwitch, const char* modeArgument) {
  if (CompareStrings(modeSwitch, "/C") || CompareStrings(modeSwitch, "C")) return AboutMode;
  if (!CompareStrings(modeArgument, "") && CompareStrings(modeSwitch, "/P")) return PreviewMode;
  return SaverMode;
}
