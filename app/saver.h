// Saver mode: the full-screen animation until the user touches the mouse or the keyboard.
#pragma once
#include <cstdint>

struct Star {
  float speed;  // pixels per frame
  float x;
  float y;
  int32_t intensity;
};
static_assert(sizeof(Star) == 16, "Star record");

const int32_t StarCount = 100;
const int32_t PatternPeriod = 15000;  // ms
const int32_t ReturnDelay = 250;      // ms
const int32_t StarsTogglePause = 250; // ms
const float MouseThreshold = 10.0f;

// True once the tick count has passed the pattern time. Compared by signed difference, so the
// timer keeps working when the tick count passes 2^31 (and when it wraps at 2^32).
bool PatternTimeReached(int32_t now, int32_t patternTime);
// Fills a new star: speed, x, y and intensity from the random generator.
void MakeStar(Star* star, int32_t width, int32_t height);
// Moves a star down one frame; past the bottom it starts again at the top.
void FallStar(Star* star, int32_t height);
// Adds the 100 stars to App.Stars.
void MakeStarField(int32_t width, int32_t height);

// The loop's parts, in frame order; the benchmark times them one by one.
void SaverSetUp();
void DrawBackground();     // software frame: black and the falling stars
void DrawPattern();        // one 3D scene of the trail points
void ShowFrame();          // the flip
bool AdvanceAndReadInput();// model step, pattern timer, colours, input; false to leave the loop
// Until the input ends it or the window system takes the screen away (ScreenClosed).
void SaverLoop();
