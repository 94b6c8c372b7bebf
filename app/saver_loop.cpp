// The saver loop, one source for every platform: each backend supplies the screen, the sprites,
// the 3D sprites, the blending and the input behind the same declarations.
#include "app/saver.h"

#include <cstdlib>

#include "app/embedded.h"
#include "app/pattern.h"
#include "app/state.h"
#include "desktop/desktop.h"
#include "display/blending.h"
#include "display/screen.h"
#include "display/sprites.h"
#include "display/sprites3d.h"
#include "input/keyboard.h"
#include "input/mouse.h"
#include "runtime/lists.h"
#include "runtime/platform.h"

namespace {
const ObjectNumber StarSprite = 10;
const int32_t BlendSourceAlpha = 5;
const int32_t BlendOne = 2;
}  // namespace

void SaverSetUp() {
  OpenFullScreen(DisplayWidth(0), DisplayHeight(0), DisplayDepth(0), "Vorlune Screensaver");
  App.CentreX = DisplayWidth(0) / 2;
  App.CentreY = DisplayHeight(0) / 2;
  BuildFadeTable();
  NewPattern();
  for (int n = 1; n <= 9; ++n) {
    LoadSpriteFromMemory(n, EmbeddedPicture(n), SpriteTexture, EmbeddedPictureSize(n));
    MakeSprite3D(n, n);
  }
  MakeStarField(DisplayWidth(0), DisplayHeight(0));
  NewSprite(StarSprite, 1, 2, SpriteSystemMemory);
  DrawSpriteLine(StarSprite, 0, 0, 0, 2, 0xFFFFFF);
  LimitFrameRate(30);
  App.NextPatternTime = static_cast<int32_t>(GetTickCount() + PatternPeriod);
}

void DrawBackground() {
  BeginSoftwareFrame();
  ClearOutput(0);
  if (App.StarsVisible == 1) {
    const int32_t height = DisplayHeight(0);
    RewindList(&App.Stars);
    while (AdvanceList(&App.Stars)) {
      Star* star = CurrentData<Star>(App.Stars);
      FallStar(star, height);
      BlendSprite(StarSprite, RoundToPixel(star->x), RoundToPixel(star->y), star->intensity);
    }
  }
  EndSoftwareFrame();
}

void DrawPattern() {
  SetSprite3DFiltering(0);
  BeginSprite3DScene();
  SetSprite3DBlendFactors(BlendSourceAlpha, BlendOne);
  TrailPass(DrawSprite3DFaded);
  EndSprite3DScene();
}

void ShowFrame() { FlipScreen(); }

bool AdvanceAndReadInput() {
  StepEmitters();
  const int32_t now = static_cast<int32_t>(GetTickCount());
  if (PatternTimeReached(now, App.NextPatternTime)) {
    App.NextPatternTime = static_cast<int32_t>(GetTickCount() + PatternPeriod);
    NewPattern();
  }
  CycleEmitterColour();

  ReadKeyboard();
  ReadMouse();
  if (std::abs(static_cast<float>(MouseStepX())) > MouseThreshold ||
      std::abs(static_cast<float>(MouseStepY())) > MouseThreshold ||
      MouseButtonIsDown(1) || MouseButtonIsDown(2)) {
    App.QuitRequested = 1;
  }
  if (KeyIsDown(AnyKey)) App.QuitRequested = 1;
  if (KeyIsDown(KeyReturn)) {
    App.NextPatternTime = static_cast<int32_t>(GetTickCount() + ReturnDelay);
    App.QuitRequested = 0;
  }
  if (KeyIsDown(KeyS)) {
    App.StarsVisible = App.StarsVisible == 1 ? 0 : 1;
    App.QuitRequested = 0;
    Sleep(StarsTogglePause);
  }
  Sleep(2);
  return !(KeyIsDown(KeyEscape) || App.QuitRequested == 1);
}

void SaverLoop() {
  SaverSetUp();
  do {
    DrawBackground();
    DrawPattern();
    ShowFrame();
  } while (AdvanceAndReadInput() && !ScreenClosed());
}
