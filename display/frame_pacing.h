// The frame pacing of the full screen, as arithmetic on performance-counter readings: how many
// ticks a frame lasts and when the next one may begin. No platform calls.
#pragma once
#include <cstdint>

// Ticks per frame at framesPerSecond, dividing by one more than the rate (0 and negative rates,
// which mean no pacing, give the whole second rather than a division by zero).
int32_t TicksPerFrame(int64_t ticksPerSecond, int32_t framesPerSecond);

// One reading (the counter's low 32 bits) against the stamp of the frame's start: true, with the
// stamp moved to now, once more than ticksPerFrame have passed. A reading whose sign differs from
// the stamp's restarts the interval there, so a wrap of the low word never waits for ever.
bool FrameIntervalPassed(int32_t now, int32_t* stamp, int32_t ticksPerFrame);
