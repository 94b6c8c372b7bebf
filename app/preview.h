// The preview: the embedded preview picture stretched over the host's window, inside a child
// window of it, until the host closes that window. Windows only; its window callback is in
// app/win/preview.h.
#pragma once
#include <cstdint>

extern const char* const PreviewTitle;   // "Vorlune Screensaver"

// Set-up, then the loop; ends the process through the exit path.
[[noreturn]] void RunPreview();

// The parts of RunPreview. SetUpPreview reads the host window from ModeArgument and makes the
// window, the screen and sprite 0. ShowPreviewFrame is one pass of the loop; 0 once the preview
// window or its host is gone, since no close request can reach the preview after that.
void SetUpPreview();
int32_t ShowPreviewFrame();
