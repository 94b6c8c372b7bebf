// The preview's window callback.
#pragma once
#include <windows.h>

#include "app/preview.h"

// The global window callback while the preview runs: WM_CLOSE destroys the window and takes the
// exit path; everything else gets the system's default handling.
LRESULT CALLBACK PreviewCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
