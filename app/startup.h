// Start-up, mode dispatch and the exit path.
#pragma once
#include <cstdint>

enum AppMode { AboutMode, PreviewMode, SaverMode };

// The About box.
extern const char* const AboutCaption;
extern const char* const AboutText;

// The first two characters of the first parameter, upper-cased, into ModeSwitch; the second
// parameter, whole, into ModeArgument.
void ReadCommandLine();
// The mode the command line asks for: "/C" or "C" the About box, "/P" with an argument the
// preview, anything else the saver.
AppMode ChooseMode(const char* modeSwitch, const char* modeArgument);
// Start-up and the exit path of the Windows program: app/win/startup.h.
