#include "display/frame_pacing.h"

#include <gtest/gtest.h>

namespace {

TEST(FramePacing, TicksPerFrameDividesByOneMoreThanTheRate) {
  EXPECT_EQ(115469, TicksPerFrame(3579545, 30));
  EXPECT_EQ(3579545, TicksPerFrame(3579545, 0));
  EXPECT_EQ(3579545, TicksPerFrame(3579545, -1));   // no pacing, and no division by zero
  EXPECT_EQ(3579545, TicksPerFrame(3579545, INT32_MIN));
  EXPECT_EQ(0, TicksPerFrame(3579545, INT32_MAX));
  // A 10 MHz counter at 30 frames per second.
  EXPECT_EQ(322580, TicksPerFrame(10000000, 30));
}

// Readings from start in steps until the interval has passed: how many it took.
int ReadingsUntilPassed(int32_t start, int32_t step, int32_t* stamp, int32_t ticks) {
  int readings = 1;
  for (int32_t now = start; !FrameIntervalPassed(now, stamp, ticks); now = static_cast<int32_t>(static_cast<uint32_t>(now) + step))
    if (++readings > 1000000) return -1;
  return readings;
}

TEST(FramePacing, AnIntervalPassesOnceMoreThanItsTicksHaveGone) {
  int32_t stamp = 1000000;
  EXPECT_FALSE(FrameIntervalPassed(1000000 + 115469, &stamp, 115469));
  EXPECT_EQ(1000000, stamp);
  EXPECT_TRUE(FrameIntervalPassed(1000000 + 115470, &stamp, 115469));
  EXPECT_EQ(1000000 + 115470, stamp);
  // 116 readings of 1,000 ticks each are the first past a 115,469-tick interval.
  EXPECT_EQ(117, ReadingsUntilPassed(stamp, 1000, &stamp, 115469));
}

TEST(FramePacing, ASignChangeOfTheLowWordRestartsTheInterval) {
  // From 0x7FFF0000 in steps of 0x4000: restart there, cross into negative after four readings
  // (restart again), then eight more readings pass the interval.
  int32_t stamp = 0;
  EXPECT_EQ(1 + 4 + 8, ReadingsUntilPassed(0x7FFF0000, 0x4000, &stamp, 115469));
  EXPECT_EQ(static_cast<int32_t>(0x80000000u + 8 * 0x4000), stamp);
  // Back from negative to positive across 2^32: the wrap restarts the interval too, rather than
  // seeing almost four billion ticks go by at once, or a negative time that never ends.
  stamp = -0x2000;
  EXPECT_FALSE(FrameIntervalPassed(0x1000, &stamp, 115469));
  EXPECT_EQ(0x1000, stamp);
  // Zero reads as neither sign: a stamp of zero restarts on the first positive reading.
  stamp = 0;
  EXPECT_FALSE(FrameIntervalPassed(5, &stamp, 100));
  EXPECT_EQ(5, stamp);
}

}  // namespace
