#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "app/saver.h"
#include "app/state.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/random.h"

TEST(PatternTimer, FiresOnlyAfterThePatternTime) {
  EXPECT_FALSE(PatternTimeReached(1000, 1000));
  EXPECT_TRUE(PatternTimeReached(1001, 1000));
  EXPECT_FALSE(PatternTimeReached(999, 1000));
}

TEST(PatternTimer, KeepsWorkingWhenTheTickCountPassesTwoToThe31st) {
  // The pattern time was set 15 s before the tick count crossed 2^31, so it is negative as a
  // signed number while the tick count is still positive: a plain comparison would fire at once.
  const uint32_t before = 0x7FFFFFFFu - 5000;
  const int32_t patternTime = static_cast<int32_t>(before + 15000);
  ASSERT_LT(patternTime, 0);
  for (uint32_t t = before; t < before + 15000; t += 250) {
    EXPECT_FALSE(PatternTimeReached(static_cast<int32_t>(t), patternTime)) << t;
  }
  EXPECT_FALSE(PatternTimeReached(static_cast<int32_t>(before + 15000), patternTime));
  EXPECT_TRUE(PatternTimeReached(static_cast<int32_t>(before + 15001), patternTime));
  EXPECT_TRUE(PatternTimeReached(static_cast<int32_t>(before + 20000), patternTime));
}

TEST(PatternTimer, KeepsWorkingWhenTheTickCountWrapsToZero) {
  const uint32_t before = 0xFFFFFFFFu - 3000;
  const int32_t patternTime = static_cast<int32_t>(before + 15000);  // wraps past zero
  EXPECT_FALSE(PatternTimeReached(static_cast<int32_t>(before), patternTime));
  EXPECT_FALSE(PatternTimeReached(static_cast<int32_t>(before + 14000), patternTime));
  EXPECT_TRUE(PatternTimeReached(static_cast<int32_t>(before + 15001), patternTime));
}

TEST(Stars, TakeTheListedSpeedsAndIntensities) {
  SeedRandom(1234);
  const std::set<int32_t> allowed = {43, 65, 87, 108, 130, 152, 173, 195, 217, 238, 260};
  std::set<int32_t> seen;
  for (int i = 0; i < 2000; ++i) {
    Star star{};
    MakeStar(&star, 1024, 768);
    EXPECT_TRUE(allowed.count(star.intensity)) << star.intensity;
    seen.insert(star.intensity);
    EXPECT_GE(star.x, 0.0f);
    EXPECT_LE(star.x, 1024.0f);
    EXPECT_GE(star.y, 0.0f);
    EXPECT_LE(star.y, 768.0f);
    if (star.intensity == 260) {
      EXPECT_FLOAT_EQ(star.speed, 2.0f);
    }
    if (star.intensity == 43) {
      EXPECT_FLOAT_EQ(star.speed, static_cast<float>(2.0 / 6.0));
    }
  }
  EXPECT_EQ(seen, allowed);
}

TEST(Stars, RestartAtTheTopOncePastTheBottom) {
  Star star{1.5f, 10.0f, 766.0f, 65};
  FallStar(&star, 768);
  EXPECT_FLOAT_EQ(star.y, 767.5f);
  FallStar(&star, 768);  // 769 > 768
  EXPECT_FLOAT_EQ(star.y, 1.0f);
  EXPECT_FLOAT_EQ(star.x, 10.0f);
  EXPECT_FLOAT_EQ(star.speed, 1.5f);

  Star exact{2.0f, 3.0f, 766.0f, 87};
  FallStar(&exact, 768);  // exactly the height is not past it
  EXPECT_FLOAT_EQ(exact.y, 768.0f);
}

TEST(Stars, TheFieldHoldsAHundredStars) {
  std::memset(&App, 0, sizeof(App));
  MainHeap = HeapCreate(0, 4096, 0);
  ASSERT_NE(MainHeap, nullptr);
  CreateList(&App.Stars, sizeof(Star), nullptr, 0);
  MakeStarField(800, 600);
  ASSERT_NE(App.Stars.header, nullptr);
  EXPECT_EQ(App.Stars.header->count, StarCount);
  HeapDestroy(MainHeap);
  MainHeap = nullptr;
  std::memset(&App, 0, sizeof(App));
}
