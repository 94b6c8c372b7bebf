#include "app/state.h"

ApplicationState App;

void CreateSaverState() {
  // The lists' type code is stored, never read; the saver's is 7.
  const int32_t SaverListType = 7;
  CreateList(&App.TrailPoints, 16, nullptr, SaverListType);
  CreateList(&App.Emitters, 36, nullptr, SaverListType);
  CreateList(&App.Stars, 16, nullptr, SaverListType);
  AllocateArray(1001, 4, 0, reinterpret_cast<void**>(&App.FadeTable), 5);

  App.StarsVisible = 1;
  if (App.FadeLength < 1) App.FadeLength = 100;
  App.EmitterCount = 20;
}
