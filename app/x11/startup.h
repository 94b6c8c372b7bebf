// Start-up and the exit path of the Linux program, shared with its soak twin so that a long run
// measures the very same set-up.
#pragma once
#include <cstdint>

enum Target { OwnWindow, FullScreen, GivenWindow, RootWindowTarget };

// Zeroed state, the heaps, the runtime libraries, the lists, the fade table and the saver's
// constants. 0 when there is no memory for the heaps.
int32_t InitialiseLinuxApplication();
// Display 0 becomes what the saver draws on, the rest of the desktop stays as examined: a lent
// window (GivenWindow, RootWindowTarget) at its own size; a window of its own at width x height,
// or with 0, the screen's size up to 1024 x 768; the whole screen for FullScreen.
void DescribeTarget(int32_t target, int32_t width, int32_t height);
// Releases the devices, the sprite libraries, the X connection, the desktop and the main heap.
void ShutdownLinuxApplication();
