// The pattern model: emitters moving on sums of sines and cosines, each laying down one trail
// point per frame; trail points fade in and out through FadeTable over FadeLength frames.
// No drawing of its own: TrailPass hands every visible point to a caller-given routine.
//
// Before use: MainHeap exists, App.Emitters and App.TrailPoints are lists of Emitter and
// TrailPoint records, App.FadeTable holds FadeTableLast + 1 entries, App.FadeLength and
// App.EmitterCount are set, App.CentreX/CentreY are the screen centre and the displays have
// been examined (the pattern's size follows display 0's width).
#pragma once
#include <cstdint>

struct Emitter {
  float x, y;         // position in pattern units, recomputed every frame
  float a1, a2, a3;   // phase angles, radians
  float s1, s2, s3;   // angular speeds, radians per frame
  int32_t sprite;     // sprite laid down, 1 to 9
};
static_assert(sizeof(Emitter) == 36, "an emitter record is 36 bytes");

struct TrailPoint {
  float x, y;      // screen position of the sprite's top-left corner, pixels
  int32_t age;     // frames since it was laid down; index into FadeTable
  int32_t sprite;  // 3D sprite number, 1 to 9
};
static_assert(sizeof(TrailPoint) == 16, "a trail point record is 16 bytes");

const int32_t PatternEmitterCount = 20;
const int32_t PatternFadeLength = 100;
const int32_t FadeTableLast = 1001;  // highest index of FadeTable

// Receives every trail point still alive: sprite, top-left corner in pixels, alpha 0..255.
typedef void (*TrailDrawRoutine)(int32_t sprite, int32_t x, int32_t y, int32_t alpha);

void BuildFadeTable();
int32_t NewPattern();
void TrailPass(TrailDrawRoutine draw);
void StepEmitters();
void CycleEmitterColour();

// Nearest integer, ties to even; saturates outside the 32-bit range (NaN gives 0).
int32_t RoundToPixel(float value);
