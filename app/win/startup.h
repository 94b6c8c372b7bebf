// Start-up, mode dispatch and the exit path of the Windows program.
#pragma once
#include <cstdint>

#include "app/startup.h"

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
