#include "app/x11/startup.h"

#include "window/x11/x11.h"

#include <cstring>

#include "app/state.h"
#include "desktop/desktop.h"
#include "desktop/x11/displays.h"
#include "display/sprites.h"
#include "display/sprites3d.h"
#include "image/decoders.h"
#include "input/keyboard.h"
#include "input/mouse.h"
#include "runtime/memory.h"
#include "runtime/params.h"

namespace {

const int32_t DefaultWidth = 1024, DefaultHeight = 768;
const int32_t MostDisplays = 16;

}  // namespace

int32_t InitialiseLinuxApplication() {
  std::memset(&App, 0, sizeof(App));
  App.mainHeap = HeapCreate(0, 4096, 0);
  MainHeap = App.mainHeap;
  if (!MainHeap || !InitStringStorage() || !InitListedObjectHeap()) return 0;
  ResetImageDecoders();
  InitProgramParameters();
  CreateSaverState();
  return 1;
}

void DescribeTarget(int32_t target, int32_t width, int32_t height) {
  UseDesktopConnection(X11.display);
  ExamineDisplays();
  DesktopRecord drawn = {};
  if (const DesktopRecord* screen = DisplayRecord(0)) drawn = *screen;
  if (target == GivenWindow || target == RootWindowTarget) {
    drawn.width = static_cast<int16_t>(X11.width);
    drawn.height = static_cast<int16_t>(X11.height);
  } else if (target == OwnWindow) {
    if (width) {
      drawn.width = static_cast<int16_t>(width);
      drawn.height = static_cast<int16_t>(height);
    } else {
      drawn.width = static_cast<int16_t>(drawn.width && drawn.width < DefaultWidth ? drawn.width : DefaultWidth);
      drawn.height = static_cast<int16_t>(drawn.height && drawn.height < DefaultHeight ? drawn.height : DefaultHeight);
    }
  }
  if (drawn.depth == 0) drawn.depth = 24;
  const int32_t count = DisplayCount() > 0 ? DisplayCount() : 1;
  DesktopRecord records[MostDisplays] = {};
  for (int32_t i = 1; i < count && i < MostDisplays; ++i) records[i] = *DisplayRecord(i);
  records[0] = drawn;
  ReplaceDesktopRecords(records, count < MostDisplays ? count : MostDisplays);
}

void ShutdownLinuxApplication() {
  CloseSprite3DLibrary();
  CloseMouseDevice();
  CloseKeyboardDevice();
  ShutdownSpriteEngine();
  CloseX11();
  ReplaceDesktopRecords(nullptr, 0);
  if (MainHeap) HeapDestroy(MainHeap);
  MainHeap = nullptr;
}
