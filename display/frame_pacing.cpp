#include "display/frame_pacing.h"

int32_t TicksPerFrame(int64_t ticksPerSecond, int32_t framesPerSecond) {
  if (framesPerSecond < 0) framesPerSecond = 0;
  return static_cast<int32_t>(static_cast<uint32_t>(ticksPerSecond / (static_cast<int64_t>(framesPerSecond) + 1)));
}

bool FrameIntervalPassed(int32_t now, int32_t* stamp, int32_t ticksPerFrame) {
  if ((now < 0 && *stamp >= 0) || (now > 0 && *stamp <= 0)) *stamp = now;
  const int32_t elapsed = static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(*stamp));
  if (elapsed <= ticksPerFrame) return false;
  *stamp = now;
  return true;
}
