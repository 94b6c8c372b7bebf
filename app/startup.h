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

#ifdef _WIN32
// Start-up before the devices: zeroed state, the heaps, the runtime libraries, the lists, the
// fade table, the saver's constants, the displays and the decoders.
void InitialiseApplication();
// InitialiseApplication, then the devices; a device failure shows its "Error" box and takes the
// exit path.
void StartUp();
// Runs the chosen mode; never returns.
[[noreturn]] void RunMode();
// Releases the libraries' objects and devices in the exit order (up to the display library).
void ShutdownRuntime();
// The exit path: ShutdownRuntime, the main heap, exit code 0.
[[noreturn]] void ExitProgram();
#endif
