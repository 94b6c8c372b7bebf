#include <cstring>

#include <windows.h>

#include "app/preview.h"
#include "app/saver.h"
#include "app/win/startup.h"
#include "app/state.h"
#include "app/win/platform_calls.h"
#include "desktop/desktop.h"
#include "display/sprites.h"
#include "display/sprites3d.h"
#include "image/decoders.h"
#include "image/drawing.h"
#include "image/images.h"
#include "input/keyboard.h"
#include "input/mouse.h"
#include "input/win/directinput.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/win/message.h"
#include "runtime/params.h"
#include "sound/sound.h"
#include "window/controls.h"
#include "window/window.h"

AppCalls AppPlatform = {ExitProgram, ExitProcess};

namespace {

const char* const DeviceError = "Can't open DirectX 7 or later, mouse-, input- or sound-device";
const char* const Sprite3DError = "Can't open DirectX 7 or later (initsprite)";

void InitRuntimeLibraries() {
  InitStringStorage();
  InitListedObjectHeap();
  DrawingLibraryInit();
  ResetImageDecoders();
  ImageLibraryInit();
  InitProgramParameters();
  InitPlatformLibraries();
  InitControlSupport();
  InitWindowLibrary();
}

// Non-zero when every device the saver needs is open; stops at the first failure.
int OpenDevices() {
  if (!InitSpriteEngine()) return 0;
  if (!OpenKeyboardDevice()) return 0;
  if (!OpenMouseDevice()) return 0;
  // Required although nothing is played.
  if (!OpenSoundDevice()) return 0;
  return 1;
}

int InitSprites3D() {
  return Sprite3DLibraryInit();
}

}  // namespace

void InitialiseApplication() {
  std::memset(&App, 0, sizeof(App));
  App.instance = GetModuleHandleA(nullptr);
  SetProgramInstance(App.instance);
  App.mainHeap = HeapCreate(0, 4096, 0);
  MainHeap = App.mainHeap;
  if (!MainHeap) ExitProgram();  // nothing can work without it

  InitRuntimeLibraries();

  CreateSaverState();
  ExamineDisplays();
  RegisterPngDecoder();
}

void StartUp() {
  InitialiseApplication();
  if (!OpenDevices()) {
    ShowPlainMessage("Error", DeviceError);
    ExitProgram();
  }
  if (!InitSprites3D()) {
    ShowPlainMessage("Error", Sprite3DError);
    ExitProgram();
  }
}

void RunMode() {
  switch (ChooseMode(App.ModeSwitch, App.ModeArgument)) {
    case AboutMode:
      ShowPlainMessage(AboutCaption, AboutText);
      break;
    case PreviewMode:
      RunPreview();   // ends through the exit path itself
      break;
    case SaverMode:
      SaverLoop();
      break;
  }
  ExitProgram();
}

void ShutdownRuntime() {
  CloseAllWindows();
  // The Direct3D interface goes with the 3D sprites, before DirectDraw it came from.
  CloseSprite3DLibrary();
  CloseSoundDevice();
  CloseMouseDevice();
  CloseKeyboardDevice();
  CloseDirectInput();
  // Sprites, the screen and DirectDraw.
  ShutdownSpriteEngine();
  ReleaseAllImages();
  CloseDisplayLibrary();
}

void ExitProgram() {
  ShutdownRuntime();
  if (MainHeap) HeapDestroy(MainHeap);
  MainHeap = nullptr;
  AppPlatform.exitProcess(0);
  ExitProcess(0);   // a stand-in that returned
}
