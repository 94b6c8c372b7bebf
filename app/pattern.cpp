#include "app/pattern.h"

#include <cmath>
#include <cstddef>

#include "app/state.h"
#include "desktop/desktop.h"
#include "runtime/lists.h"
#include "runtime/random.h"

namespace {

const float FadeAngle = 3.1415f;   // deliberately a little short of pi: the table is not symmetric
const double FadePeak = 500.0;
const int32_t FadeCeiling = 255;
const float AngleWrap = 6.283f;
const double SpeedCeiling = 0.5;
const double SmallestSpeed = 0.05;

// The model is defined on float values. x87 code keeps intermediates wider than their type, which
// would move the wrap and speed decisions; a store to memory pins the value to a real float.
inline float AsFloat(double value) {
#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0
  volatile float stored = static_cast<float>(value);
  return stored;
#else
  return static_cast<float>(value);
#endif
}

inline float WrapAngle(float angle) {
  // Only upwards and only once: negative speeds let the angle fall without bound.
  return angle > AngleWrap ? AsFloat(static_cast<double>(angle) - AngleWrap) : angle;
}

float DrawSpeed() {
  double v = (5 - RandomUpTo(10)) / 50.0;
  if (v > SpeedCeiling) v = SpeedCeiling;
  if (std::fabs(v) < SmallestSpeed) v = SmallestSpeed;  // also for small negative draws
  return AsFloat(v);
}

template <class Set> void ForEachEmitter(Set set) {
  RewindList(&App.Emitters);
  while (AdvanceList(&App.Emitters)) set(*CurrentData<Emitter>(App.Emitters));
}

}  // namespace

int32_t RoundToPixel(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0f) return INT32_MAX;
  if (value < -2147483648.0f) return INT32_MIN;
  // In range, lrint rounds as nearbyint does (default mode: ties to even). Not nearbyint itself:
  // the Windows runtime's saves and restores the floating-point environment, about 100 times
  // the cost, and this runs twice for every trail point of every frame.
  return static_cast<int32_t>(std::lrint(value));
}

void BuildFadeTable() {
  if (!App.FadeTable || App.FadeLength < 1) return;
  int32_t last = App.FadeLength < FadeTableLast ? App.FadeLength : FadeTableLast;
  double step = static_cast<double>(FadeAngle) / App.FadeLength;
  for (int32_t i = 0; i <= last; i++) {
    double v = std::nearbyint(std::sin(step * i) * FadePeak);
    App.FadeTable[i] = v > FadeCeiling ? FadeCeiling : static_cast<int32_t>(v);
  }
}

int32_t NewPattern() {
  EmptyList(&App.Emitters);
  double spacing = RandomUpTo(10) + 8.0;
  int32_t sprite = RandomUpTo(8) + 1;
  for (int32_t i = 1; i <= App.EmitterCount; i++) {
    ElementLink* element = InsertAfterCurrent(&App.Emitters);
    if (!element) break;
    Emitter* e = static_cast<Emitter*>(ElementData(element));
    e->a1 = 0.0f;
    e->a2 = AsFloat(i / spacing);
    e->a3 = 0.0f;
    e->sprite = sprite;
  }
  float s1 = DrawSpeed();
  ForEachEmitter([s1](Emitter& e) { e.s1 = s1; });
  float s2 = DrawSpeed();
  ForEachEmitter([s2](Emitter& e) { e.s2 = s2; });
  float s3 = DrawSpeed();
  ForEachEmitter([s3](Emitter& e) { e.s3 = s3; });

  int32_t span = DisplayWidth(0) / 5;
  if (span < 0) span = 0;
  App.PatternRadius = RandomUpTo(span) + 50;
  return 0;
}

void TrailPass(TrailDrawRoutine draw) {
  RewindList(&App.TrailPoints);
  while (AdvanceList(&App.TrailPoints)) {
    TrailPoint* p = CurrentData<TrailPoint>(App.TrailPoints);
    p->age++;
    if (p->age > App.FadeLength) {
      // Keeping the cursor means a removed first point's successor is passed over this time.
      RemoveCurrentElement(&App.TrailPoints, 1);
      continue;
    }
    int32_t alpha = (App.FadeTable && p->age >= 0 && p->age <= FadeTableLast) ? App.FadeTable[p->age] : 0;
    if (draw) draw(p->sprite, RoundToPixel(p->x), RoundToPixel(p->y), alpha);
  }
}

void StepEmitters() {
  RewindList(&App.Emitters);
  while (AdvanceList(&App.Emitters)) {
    Emitter* e = CurrentData<Emitter>(App.Emitters);
    e->a1 = WrapAngle(AsFloat(static_cast<double>(e->a1) + e->s1));
    e->a2 = WrapAngle(AsFloat(static_cast<double>(e->a2) + e->s2));
    e->a3 = WrapAngle(AsFloat(static_cast<double>(e->a3) + e->s3));
    e->x = AsFloat(std::sin(static_cast<double>(e->a1)) + std::cos(static_cast<double>(e->a2)) +
                   std::cos(static_cast<double>(e->a3)));
    e->y = AsFloat(std::cos(static_cast<double>(e->a1)) + std::sin(static_cast<double>(e->a2)) -
                   std::sin(static_cast<double>(e->a3)));

    // The trail pass leaves the cursor on the last point, so this appends.
    ElementLink* element = InsertAfterCurrent(&App.TrailPoints);
    if (!element) continue;
    TrailPoint* p = static_cast<TrailPoint*>(ElementData(element));
    p->x = AsFloat(static_cast<double>(e->x) * App.PatternRadius + App.CentreX);
    p->y = AsFloat(static_cast<double>(e->y) * App.PatternRadius + App.CentreY);
    p->age = 0;
    p->sprite = e->sprite;
  }
}

void CycleEmitterColour() {
  if (RandomUpTo(50) >= 1) return;
  App.SpriteCycle++;
  if (App.SpriteCycle >= 10 || App.SpriteCycle < 1) App.SpriteCycle = 1;
  int32_t sprite = App.SpriteCycle;
  ForEachEmitter([sprite](Emitter& e) { e.sprite = sprite; });
}
