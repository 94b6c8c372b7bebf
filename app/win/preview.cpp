#include <windows.h>

#include "app/embedded.h"
#include "app/win/startup.h"
#include "app/state.h"
#include "app/win/platform_calls.h"
#include "app/win/preview.h"
#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/win/windowed_screen.h"
#include "image/win/drawing.h"
#include "image/win/images.h"
#include "runtime/params.h"
#include "window/win/events.h"
#include "window/win/window.h"

const char* const PreviewTitle = "Vorlune Screensaver";

namespace {

const ObjectNumber PreviewWindow = 0;
const ObjectNumber PreviewImage = 0;
const ObjectNumber PreviewSprite = 0;
const uint32_t ChildWindowStyle = 0x40000000;   // WS_CHILD alone: no caption, no frame

HWND HostWindow() { return static_cast<HWND>(App.HostWindow); }

}  // namespace

LRESULT CALLBACK PreviewCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    DestroyWindow(window);
    AppPlatform.exitProgram();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void SetUpPreview() {
  // Window handles are 32-bit values, sign-extended on 64-bit Windows.
  App.HostWindow = reinterpret_cast<void*>(static_cast<intptr_t>(StringToInteger(App.ModeArgument)));
  // A handle that names no window leaves the rectangle empty.
  RECT client = {0, 0, 0, 0};
  if (!GetClientRect(HostWindow(), &client)) SetRectEmpty(&client);
  App.hostLeft = client.left;
  App.hostTop = client.top;
  App.hostRight = client.right;
  App.hostBottom = client.bottom;
  const int32_t width = App.hostRight, height = App.hostBottom;

  WindowOpen(PreviewWindow, 0, 0, width, height, PreviewTitle, ChildWindowStyle, HostWindow());
  OpenScreenInWindow(WindowHandle(PreviewWindow), 0, 0, width, height, 1, 0, 0);
  InstallWindowCallback(PreviewCallback);
  const unsigned char* picture = EmbeddedPicture(EmbeddedPreviewPicture);
  if (picture) ImageFromMemory(PreviewImage, picture, EmbeddedPictureSize(EmbeddedPreviewPicture));
  ScaleImage(PreviewImage, width, height);
  NewPlainSprite(PreviewSprite, width, height);
  BeginDrawing(SpriteDrawingOutput(PreviewSprite));
  DrawImageAt(ImageHandleOf(PreviewImage), 0, 0);
  EndDrawing();
  ReleaseImage(PreviewImage);
}

int32_t ShowPreviewFrame() {
  NextWindowEvent(1);
  // A host that names no window, or one destroyed together with the preview window without a
  // WM_CLOSE, leaves nothing that could ever end the loop.
  const HWND window = WindowHandle(PreviewWindow);
  if (!window || !IsWindow(window) || !IsWindow(HostWindow())) return 0;
  ClearOutput(0);
  BlitSprite(PreviewSprite, 0, 0);
  FlipScreen();
  return 1;
}

void RunPreview() {
  SetUpPreview();
  while (ShowPreviewFrame()) {
  }
  ExitProgram();
}
