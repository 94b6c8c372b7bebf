#include "app/saver.h"

#include <cmath>

#include "app/pattern.h"
#include "app/state.h"
#include "runtime/lists.h"
#include "runtime/random.h"

bool PatternTimeReached(int32_t now, int32_t patternTime) {
  return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(patternTime)) > 0;
}

void MakeStar(Star* star, int32_t width, int32_t height) {
  volatile float speed = static_cast<float>((RandomUpTo(10) + 2.0) / 6.0);
  star->speed = speed;
  star->x = static_cast<float>(RandomUpTo(width));
  star->y = static_cast<float>(RandomUpTo(height));
  star->intensity = static_cast<int32_t>(std::nearbyint(static_cast<double>(star->speed) * 130.0));
}

void FallStar(Star* star, int32_t height) {
  volatile float y = star->y + star->speed;
  star->y = y;
  if (star->y > static_cast<float>(height)) star->y = 1.0f;
}

void MakeStarField(int32_t width, int32_t height) {
  for (int32_t i = 1; i <= StarCount; ++i) {
    if (!InsertAfterCurrent(&App.Stars)) return;
    MakeStar(CurrentData<Star>(App.Stars), width, height);
  }
}
