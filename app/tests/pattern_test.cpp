#include "app/pattern.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <vector>

#include "app/state.h"
#include "desktop/desktop.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/platform.h"
#include "runtime/random.h"

namespace {

struct DrawCall {
  int32_t sprite, x, y, alpha;
};
std::vector<DrawCall> drawn;

void RecordDraw(int32_t sprite, int32_t x, int32_t y, int32_t alpha) { drawn.push_back({sprite, x, y, alpha}); }
void IgnoreDraw(int32_t, int32_t, int32_t, int32_t) {}

const int32_t Sentinel = -7;

class PatternTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
    ASSERT_NE(MainHeap, nullptr);
    ASSERT_NE(CreateList(&App.TrailPoints, sizeof(TrailPoint), nullptr, 7), 0);
    ASSERT_NE(CreateList(&App.Emitters, sizeof(Emitter), nullptr, 7), 0);
    fade.assign(FadeTableLast + 1, Sentinel);
    App.FadeTable = fade.data();
    App.FadeLength = PatternFadeLength;
    App.EmitterCount = PatternEmitterCount;
    App.CentreX = 512;
    App.CentreY = 384;
    App.SpriteCycle = 0;
    App.PatternRadius = 0;
    SetDesktopWidth(1024);
    drawn.clear();
    SeedRandom(12345);
  }
  void TearDown() override {
    DestroyList(&App.TrailPoints);
    DestroyList(&App.Emitters);
    App.FadeTable = nullptr;
  }

  static void SetDesktopWidth(int16_t width) {
    DesktopRecord record = {};
    record.width = width;
    record.height = 768;
    record.depth = 32;
    ASSERT_NE(ReplaceDesktopRecords(&record, 1), nullptr);
  }

  static std::vector<Emitter> Emitters() {
    std::vector<Emitter> out;
    RewindList(&App.Emitters);
    while (AdvanceList(&App.Emitters)) out.push_back(*CurrentData<Emitter>(App.Emitters));
    return out;
  }
  static std::vector<TrailPoint> Trail() {
    std::vector<TrailPoint> out;
    ListVariable walk = App.TrailPoints;  // a copy, so the real cursor stays where it is
    RewindList(&walk);
    while (AdvanceList(&walk)) out.push_back(*CurrentData<TrailPoint>(walk));
    return out;
  }
  static void AddTrailPoint(float x, float y, int32_t age, int32_t sprite) {
    ElementLink* e = InsertAfterCurrent(&App.TrailPoints);
    ASSERT_NE(e, nullptr);
    *static_cast<TrailPoint*>(ElementData(e)) = TrailPoint{x, y, age, sprite};
  }
  static Emitter* AddEmitter(const Emitter& value) {
    ElementLink* e = InsertAfterCurrent(&App.Emitters);
    if (!e) return nullptr;
    Emitter* data = static_cast<Emitter*>(ElementData(e));
    *data = value;
    return data;
  }

  std::vector<int32_t> fade;
};

// ---- fade table ---------------------------------------------------------------------------

TEST_F(PatternTest, FadeTableHasTheKnownCurve) {
  BuildFadeTable();
  const int32_t rising[] = {0, 16, 31, 47, 63, 78, 94, 109, 124, 139, 155, 169, 184, 199, 213, 227, 241};
  const int32_t falling[] = {241, 227, 213, 199, 184, 169, 155, 140, 124, 109, 94, 78, 63, 47, 31, 16, 0};
  for (int i = 0; i <= 16; i++) EXPECT_EQ(fade[i], rising[i]) << "entry " << i;
  for (int i = 17; i <= 83; i++) EXPECT_EQ(fade[i], 255) << "entry " << i;
  for (int i = 84; i <= 100; i++) EXPECT_EQ(fade[i], falling[i - 84]) << "entry " << i;
  // The short pi makes the curve lean: 139 going up, 140 coming down.
  EXPECT_EQ(fade[9], 139);
  EXPECT_EQ(fade[91], 140);
  for (int i = 101; i <= FadeTableLast; i++) ASSERT_EQ(fade[i], Sentinel) << "entry " << i << " was written";
}

TEST_F(PatternTest, FadeTableFollowsFadeLengthAndStaysInsideTheArray) {
  App.FadeLength = 10;
  BuildFadeTable();
  EXPECT_EQ(fade[0], 0);
  EXPECT_EQ(fade[5], 255);
  EXPECT_EQ(fade[10], 0);  // sin(3.1415) * 500 rounds to 0
  EXPECT_EQ(fade[1], 155);
  EXPECT_EQ(fade[11], Sentinel);

  // Longer than the array: filled to its last entry and no further (ASan guards the end).
  fade.assign(FadeTableLast + 1, Sentinel);
  App.FadeLength = 5000;
  BuildFadeTable();
  EXPECT_EQ(fade[0], 0);
  EXPECT_EQ(fade[FadeTableLast], 255);

  fade.assign(FadeTableLast + 1, Sentinel);
  App.FadeLength = 0;
  BuildFadeTable();
  EXPECT_EQ(fade[0], Sentinel);
  App.FadeTable = nullptr;
  App.FadeLength = 100;
  BuildFadeTable();  // no table: nothing to fill, no crash
}

// ---- new patterns ---------------------------------------------------------------------------

// The seven speeds a draw of 0..10 can give.
float SpeedForDraw(int32_t draw) {
  const float speeds[11] = {0.1f, 0.08f, 0.06f, 0.05f, 0.05f, 0.05f, 0.05f, 0.05f, -0.06f, -0.08f, -0.1f};
  return speeds[draw];
}

TEST_F(PatternTest, NewPatternDrawsInOrderSpacingSpriteSpeedsRadius) {
  for (uint32_t seed = 1; seed <= 200; seed++) {
    SeedRandom(seed);
    int32_t spacingDraw = RandomUpTo(10);
    int32_t spriteDraw = RandomUpTo(8);
    int32_t s1Draw = RandomUpTo(10), s2Draw = RandomUpTo(10), s3Draw = RandomUpTo(10);
    int32_t radiusDraw = RandomUpTo(1024 / 5);
    int32_t next = RandomUpTo(1000000);

    SeedRandom(seed);
    ASSERT_EQ(NewPattern(), 0);
    EXPECT_EQ(RandomUpTo(1000000), next) << "NewPattern used a different number of draws";

    std::vector<Emitter> es = Emitters();
    ASSERT_EQ(es.size(), 20u);
    double d = spacingDraw + 8.0;
    for (size_t i = 0; i < es.size(); i++) {
      EXPECT_EQ(es[i].a1, 0.0f);
      EXPECT_EQ(es[i].a2, static_cast<float>((i + 1) / d)) << "emitter " << i;
      EXPECT_EQ(es[i].a3, 0.0f);
      EXPECT_EQ(es[i].s1, SpeedForDraw(s1Draw));
      EXPECT_EQ(es[i].s2, SpeedForDraw(s2Draw));
      EXPECT_EQ(es[i].s3, SpeedForDraw(s3Draw));
      EXPECT_EQ(es[i].sprite, spriteDraw + 1);
    }
    EXPECT_EQ(App.PatternRadius, radiusDraw + 50);
  }
}

TEST_F(PatternTest, SpeedsSpacingSpritesAndRadiusCoverOnlyTheirRanges) {
  const std::set<float> allowed = {0.1f, 0.08f, 0.06f, 0.05f, -0.06f, -0.08f, -0.1f};
  std::map<float, int> speedSeen;
  std::set<int> spacingSeen, spriteSeen;
  int radiusMin = 1 << 30, radiusMax = -1;
  const int patterns = 3000;
  for (int n = 0; n < patterns; n++) {
    NewPattern();
    std::vector<Emitter> es = Emitters();
    ASSERT_EQ(es.size(), 20u);
    for (const Emitter& e : es) {
      ASSERT_TRUE(allowed.count(e.s1) && allowed.count(e.s2) && allowed.count(e.s3))
          << e.s1 << " " << e.s2 << " " << e.s3;
      ASSERT_EQ(e.s1, es[0].s1);
      ASSERT_EQ(e.s2, es[0].s2);
      ASSERT_EQ(e.s3, es[0].s3);
      ASSERT_EQ(e.sprite, es[0].sprite);
    }
    speedSeen[es[0].s1]++;
    speedSeen[es[0].s2]++;
    speedSeen[es[0].s3]++;
    spacingSeen.insert(static_cast<int>(std::lround(1.0 / es[0].a2)));
    spriteSeen.insert(es[0].sprite);
    radiusMin = std::min(radiusMin, App.PatternRadius);
    radiusMax = std::max(radiusMax, App.PatternRadius);
  }
  EXPECT_EQ(speedSeen.size(), allowed.size());
  // Draws 3 to 7 all give +0.05: five outcomes of eleven.
  double share = speedSeen[0.05f] / (3.0 * patterns);
  EXPECT_NEAR(share, 5.0 / 11.0, 0.03);
  EXPECT_EQ(spacingSeen, (std::set<int>{8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
  EXPECT_EQ(spriteSeen, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(radiusMin, 50);
  EXPECT_EQ(radiusMax, 50 + 1024 / 5);
}

TEST_F(PatternTest, RadiusFollowsDisplayZero) {
  SetDesktopWidth(1920);
  int radiusMax = 0;
  for (int n = 0; n < 2000; n++) {
    NewPattern();
    ASSERT_GE(App.PatternRadius, 50);
    ASSERT_LE(App.PatternRadius, 50 + 384);
    radiusMax = std::max(radiusMax, App.PatternRadius);
  }
  EXPECT_GT(radiusMax, 50 + 300);

  ReplaceDesktopRecords(nullptr, 0);  // no display examined: width 0
  NewPattern();
  EXPECT_EQ(App.PatternRadius, 50);
  SetDesktopWidth(-500);  // nonsense width: treated as 0, not a negative draw
  NewPattern();
  EXPECT_EQ(App.PatternRadius, 50);
}

TEST_F(PatternTest, NewPatternReplacesEmittersAndHonoursEmitterCount) {
  NewPattern();
  NewPattern();
  EXPECT_EQ(Emitters().size(), 20u);
  App.EmitterCount = 3;
  NewPattern();
  EXPECT_EQ(Emitters().size(), 3u);
  App.EmitterCount = 0;
  NewPattern();
  EXPECT_TRUE(Emitters().empty());
  StepEmitters();
  EXPECT_TRUE(Trail().empty());
}

TEST_F(PatternTest, NewPatternLeavesTheTrailFading) {
  NewPattern();
  for (int f = 0; f < 30; f++) {
    TrailPass(IgnoreDraw);
    StepEmitters();
  }
  std::vector<TrailPoint> before = Trail();
  ASSERT_EQ(before.size(), 30u * 20u);
  int32_t oldSprite = before.back().sprite;

  // Find a seed whose pattern has another sprite, so the old trail is recognisable.
  uint32_t seed = 1;
  for (;; seed++) {
    SeedRandom(seed);
    RandomUpTo(10);
    if (RandomUpTo(8) + 1 != oldSprite) break;
  }
  SeedRandom(seed);
  NewPattern();
  std::vector<TrailPoint> after = Trail();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(std::memcmp(after.data(), before.data(), after.size() * sizeof(TrailPoint)), 0);

  TrailPass(RecordDraw);
  StepEmitters();
  std::vector<TrailPoint> next = Trail();
  ASSERT_EQ(next.size(), before.size() + 20u);
  for (size_t i = 0; i < before.size(); i++) {
    EXPECT_EQ(next[i].sprite, before[i].sprite);
    EXPECT_EQ(next[i].age, before[i].age + 1);
  }
  for (size_t i = before.size(); i < next.size(); i++) EXPECT_NE(next[i].sprite, oldSprite);
}

// ---- colour cycling -------------------------------------------------------------------------

// A seed after which the first RandomUpTo(50) is 0 (or, with hit false, is not).
uint32_t SeedForColourChange(bool hit) {
  for (uint32_t seed = 1;; seed++) {
    SeedRandom(seed);
    if ((RandomUpTo(50) == 0) == hit) return seed;
  }
}

TEST_F(PatternTest, ColourCycleRunsOneToNineAndWrapsToOne) {
  NewPattern();
  int32_t patternSprite = Emitters()[0].sprite;

  SeedRandom(SeedForColourChange(false));
  CycleEmitterColour();
  EXPECT_EQ(App.SpriteCycle, 0);
  for (const Emitter& e : Emitters()) EXPECT_EQ(e.sprite, patternSprite);

  SeedRandom(SeedForColourChange(true));
  CycleEmitterColour();
  EXPECT_EQ(App.SpriteCycle, 1);
  for (const Emitter& e : Emitters()) EXPECT_EQ(e.sprite, 1);

  App.SpriteCycle = 9;
  SeedRandom(SeedForColourChange(true));
  CycleEmitterColour();
  EXPECT_EQ(App.SpriteCycle, 1);
  for (const Emitter& e : Emitters()) EXPECT_EQ(e.sprite, 1);

  // A stray value never hands out a sprite outside 1..9.
  App.SpriteCycle = 57;
  SeedRandom(SeedForColourChange(true));
  CycleEmitterColour();
  EXPECT_EQ(App.SpriteCycle, 1);

  // Over a long run: every change is one step forward, 9 -> 1, never 0, about 1 in 51 frames.
  App.SpriteCycle = 0;
  SeedRandom(777);
  int changes = 0, wraps = 0;
  const int frames = 20000;
  for (int f = 0; f < frames; f++) {
    int32_t before = App.SpriteCycle;
    CycleEmitterColour();
    if (App.SpriteCycle == before) continue;
    changes++;
    ASSERT_GE(App.SpriteCycle, 1);
    ASSERT_LE(App.SpriteCycle, 9);
    if (before == 9) {
      ASSERT_EQ(App.SpriteCycle, 1);
      wraps++;
    } else {
      ASSERT_EQ(App.SpriteCycle, before + 1);
    }
    for (const Emitter& e : Emitters()) ASSERT_EQ(e.sprite, App.SpriteCycle);
  }
  EXPECT_NEAR(changes, frames / 51.0, 60);
  EXPECT_GT(wraps, 10);
}

TEST_F(PatternTest, ColourCycleSurvivesANewPattern) {
  NewPattern();
  App.SpriteCycle = 4;
  SeedRandom(SeedForColourChange(true));
  CycleEmitterColour();
  NewPattern();
  EXPECT_EQ(App.SpriteCycle, 5);
  SeedRandom(SeedForColourChange(true));
  CycleEmitterColour();
  EXPECT_EQ(App.SpriteCycle, 6);
  for (const Emitter& e : Emitters()) EXPECT_EQ(e.sprite, 6);
}

// ---- the trail pass -------------------------------------------------------------------------

TEST_F(PatternTest, PointIsDrawnWithAgesOneToHundredThenRemoved) {
  BuildFadeTable();
  AddTrailPoint(10.0f, 20.0f, 0, 7);
  for (int32_t pass = 1; pass <= 100; pass++) {
    drawn.clear();
    TrailPass(RecordDraw);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].sprite, 7);
    EXPECT_EQ(drawn[0].x, 10);
    EXPECT_EQ(drawn[0].y, 20);
    EXPECT_EQ(drawn[0].alpha, fade[pass]) << "age " << pass;
    ASSERT_EQ(Trail().at(0).age, pass);
  }
  drawn.clear();
  TrailPass(RecordDraw);
  EXPECT_TRUE(drawn.empty());
  EXPECT_TRUE(Trail().empty());
  EXPECT_EQ(App.TrailPoints.header->count, 0);
}

TEST_F(PatternTest, RemovingTheFirstPointSkipsItsSuccessorOnce) {
  BuildFadeTable();
  AddTrailPoint(1.0f, 1.0f, 100, 1);  // A: goes this pass
  AddTrailPoint(2.0f, 2.0f, 50, 2);   // B: passed over
  AddTrailPoint(3.0f, 3.0f, 10, 3);   // C: aged and drawn as usual
  TrailPass(RecordDraw);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].sprite, 3);
  EXPECT_EQ(drawn[0].alpha, fade[11]);
  std::vector<TrailPoint> t = Trail();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].sprite, 2);
  EXPECT_EQ(t[0].age, 50);
  EXPECT_EQ(t[1].age, 11);

  // Two points of the same age: the second outlives the first by one frame.
  DestroyList(&App.TrailPoints);
  ASSERT_NE(CreateList(&App.TrailPoints, sizeof(TrailPoint), nullptr, 7), 0);
  AddTrailPoint(0.0f, 0.0f, 99, 1);
  AddTrailPoint(0.0f, 0.0f, 99, 2);
  TrailPass(IgnoreDraw);  // both 100
  ASSERT_EQ(Trail().size(), 2u);
  TrailPass(IgnoreDraw);  // first goes, second skipped
  t = Trail();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].sprite, 2);
  EXPECT_EQ(t[0].age, 100);
  drawn.clear();
  TrailPass(RecordDraw);
  EXPECT_TRUE(drawn.empty());
  EXPECT_TRUE(Trail().empty());
}

TEST_F(PatternTest, RemovingALaterPointSkipsNothing) {
  BuildFadeTable();
  AddTrailPoint(1.0f, 1.0f, 5, 1);
  AddTrailPoint(2.0f, 2.0f, 100, 2);
  AddTrailPoint(3.0f, 3.0f, 7, 3);
  AddTrailPoint(4.0f, 4.0f, 100, 4);  // the last
  TrailPass(RecordDraw);
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[0].sprite, 1);
  EXPECT_EQ(drawn[0].alpha, fade[6]);
  EXPECT_EQ(drawn[1].sprite, 3);
  EXPECT_EQ(drawn[1].alpha, fade[8]);
  std::vector<TrailPoint> t = Trail();
  ASSERT_EQ(t.size(), 2u);
  // The cursor ends on the last point, so the next trail point is appended.
  NewPattern();
  StepEmitters();
  t = Trail();
  ASSERT_EQ(t.size(), 22u);
  EXPECT_EQ(t[0].sprite, 1);
  EXPECT_EQ(t[1].sprite, 3);
  for (size_t i = 2; i < t.size(); i++) EXPECT_EQ(t[i].age, 0);
}

TEST_F(PatternTest, CoordinatesRoundToNearestTiesToEven) {
  BuildFadeTable();
  const float xs[] = {2.5f, 3.5f, -2.5f, 0.5f, -0.5f, 1.5f, 2.4999998f, 2.5000002f, 1000.75f, -3.25f};
  const int32_t expect[] = {2, 4, -2, 0, 0, 2, 2, 3, 1001, -3};
  for (float x : xs) AddTrailPoint(x, -x, 0, 1);
  TrailPass(RecordDraw);
  ASSERT_EQ(drawn.size(), std::size(xs));
  for (size_t i = 0; i < drawn.size(); i++) {
    EXPECT_EQ(drawn[i].x, expect[i]) << xs[i];
    EXPECT_EQ(drawn[i].y, xs[i] == 0.0f ? 0 : -expect[i]) << -xs[i];
  }
}

TEST(RoundToPixel, SaturatesOutsideTheRange) {
  EXPECT_EQ(RoundToPixel(5.5f), 6);
  EXPECT_EQ(RoundToPixel(4.5f), 4);
  EXPECT_EQ(RoundToPixel(-4.5f), -4);
  EXPECT_EQ(RoundToPixel(3e9f), INT32_MAX);
  EXPECT_EQ(RoundToPixel(-3e9f), INT32_MIN);
  EXPECT_EQ(RoundToPixel(-2147483648.0f), INT32_MIN);
  EXPECT_EQ(RoundToPixel(std::numeric_limits<float>::infinity()), INT32_MAX);
  EXPECT_EQ(RoundToPixel(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST_F(PatternTest, TrailPassCopesWithoutATableOrRoutine) {
  AddTrailPoint(1.0f, 1.0f, 0, 1);
  App.FadeTable = nullptr;
  TrailPass(RecordDraw);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].alpha, 0);
  TrailPass(nullptr);
  EXPECT_EQ(Trail().at(0).age, 2);
}

// ---- stepping -------------------------------------------------------------------------------

TEST_F(PatternTest, StepMovesAnglesAndLaysDownAPoint) {
  App.PatternRadius = 100;
  Emitter* e = AddEmitter(Emitter{0, 0, 6.2f, 1.0f, 0.0f, 0.1f, -0.06f, 0.05f, 4});
  ASSERT_NE(e, nullptr);
  StepEmitters();

  float a1 = 6.2f + 0.1f;  // 6.3 > 6.283: one wrap
  a1 = a1 - 6.283f;
  float a2 = 1.0f + -0.06f;
  float a3 = 0.0f + 0.05f;
  EXPECT_EQ(e->a1, a1);
  EXPECT_EQ(e->a2, a2);
  EXPECT_EQ(e->a3, a3);
  EXPECT_NEAR(e->a1, 0.017f, 1e-6);
  // sin a1 + cos a2 + cos a3 and cos a1 + sin a2 - sin a3, to float accuracy.
  float x = std::sin(a1) + std::cos(a2) + std::cos(a3);
  float y = std::cos(a1) + std::sin(a2) - std::sin(a3);
  EXPECT_NEAR(e->x, x, 4e-7f);
  EXPECT_NEAR(e->y, y, 4e-7f);
  EXPECT_NEAR(e->x, 1.6055f, 1e-4);  // worked by hand: 0.0170 + 0.5898 + 0.9988
  EXPECT_NEAR(e->y, 1.7574f, 1e-4);  // 0.9999 + 0.8076 - 0.0500

  std::vector<TrailPoint> t = Trail();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_NEAR(t[0].x, e->x * 100.0f + 512.0f, 1e-4f);
  EXPECT_NEAR(t[0].y, e->y * 100.0f + 384.0f, 1e-4f);
  EXPECT_EQ(t[0].age, 0);
  EXPECT_EQ(t[0].sprite, 4);
}

TEST_F(PatternTest, StepFollowsFloatArithmeticOverManyFrames) {
  NewPattern();
  std::vector<Emitter> model = Emitters();
  for (int f = 0; f < 500; f++) {
    TrailPass(IgnoreDraw);
    StepEmitters();
    std::vector<Emitter> es = Emitters();
    ASSERT_EQ(es.size(), model.size());
    for (size_t i = 0; i < es.size(); i++) {
      Emitter& m = model[i];
      float* angles[3] = {&m.a1, &m.a2, &m.a3};
      const float speeds[3] = {m.s1, m.s2, m.s3};
      for (int k = 0; k < 3; k++) {
        // Stored, so that x87 code cannot compare or keep a wider value than a float.
        volatile float a = *angles[k] + speeds[k];
        if (a > 6.283f) a = a - 6.283f;
        *angles[k] = a;
      }
      ASSERT_EQ(es[i].a1, m.a1) << "frame " << f << " emitter " << i;
      ASSERT_EQ(es[i].a2, m.a2) << "frame " << f << " emitter " << i;
      ASSERT_EQ(es[i].a3, m.a3) << "frame " << f << " emitter " << i;
      ASSERT_NEAR(es[i].x, std::sin(m.a1) + std::cos(m.a2) + std::cos(m.a3), 1e-6f);
      ASSERT_NEAR(es[i].y, std::cos(m.a1) + std::sin(m.a2) - std::sin(m.a3), 1e-6f);
      ASSERT_LE(std::fabs(es[i].x), 3.0f);
      ASSERT_LE(std::fabs(es[i].y), 3.0f);
    }
    // This frame's points are the last 20, in emitter order.
    std::vector<TrailPoint> t = Trail();
    for (size_t i = 0; i < es.size(); i++) {
      const TrailPoint& p = t[t.size() - es.size() + i];
      ASSERT_EQ(p.age, 0);
      ASSERT_NEAR(p.x, es[i].x * App.PatternRadius + 512.0f, 1e-3f);
      ASSERT_NEAR(p.y, es[i].y * App.PatternRadius + 384.0f, 1e-3f);
    }
  }
}

TEST_F(PatternTest, AnglesWrapOnceUpwardsAndNeverDownwards) {
  Emitter* exact = AddEmitter(Emitter{0, 0, 6.283f, 0.0f, 12.0f, 0.0f, 0.0f, 0.0f, 1});
  Emitter* rising = AddEmitter(Emitter{0, 0, 0.0f, 6.0f, 0.0f, 0.1f, 0.08f, 0.05f, 1});
  Emitter* falling = AddEmitter(Emitter{0, 0, 0.0f, 0.0f, 0.0f, -0.1f, -0.06f, -0.08f, 1});
  ASSERT_TRUE(exact && rising && falling);
  const float step = 0.1f;
  int wraps = 0;
  float lastA1 = rising->a1, lastFall = falling->a1;
  for (int f = 0; f < 2000; f++) {
    StepEmitters();
    // Exactly 6.283 is not above the bound; 12 is brought down once only.
    ASSERT_EQ(exact->a1, 6.283f);
    ASSERT_EQ(exact->a3, 12.0f - 6.283f);
    for (float a : {rising->a1, rising->a2, rising->a3}) {
      ASSERT_LE(a, 6.283f);
      ASSERT_GE(a, 0.0f);
    }
    ASSERT_LT(rising->a1, 6.283f + step);
    if (rising->a1 < lastA1) wraps++;
    lastA1 = rising->a1;
    ASSERT_LT(falling->a1, lastFall);
    lastFall = falling->a1;
  }
  EXPECT_FLOAT_EQ(exact->a3, 12.0f - 6.283f);
  EXPECT_NEAR(wraps, 2000 * 0.1 / 6.283, 1.0);
  EXPECT_LT(falling->a1, -190.0f);
  EXPECT_LT(falling->a2, -110.0f);
  EXPECT_LT(falling->a3, -150.0f);
}

// ---- the steady state -----------------------------------------------------------------------

TEST_F(PatternTest, TrailSettlesAtTwentyPointsPerFrameOfLife) {
  BuildFadeTable();
  NewPattern();
  for (int f = 0; f < 600; f++) {
    drawn.clear();
    TrailPass(RecordDraw);
    for (const DrawCall& c : drawn) {
      ASSERT_GE(c.alpha, 0);
      ASSERT_LE(c.alpha, 255);
    }
    StepEmitters();
    if (f % 150 == 149) NewPattern();  // patterns change; the trail does not care
    CycleEmitterColour();
    if (f >= 110) {
      // Ages 0 to 100 of 20 points each, plus the one point a first-place removal passed over;
      // the pass draws ages 1 to 100.
      ASSERT_EQ(App.TrailPoints.header->count, 20 * 101 + 1) << "frame " << f;
      ASSERT_EQ(drawn.size(), 20u * 100u) << "frame " << f;
    }
  }
  for (const TrailPoint& p : Trail()) {
    ASSERT_GE(p.age, 0);
    ASSERT_LE(p.age, 100);
  }
}

#ifndef _WIN32
TEST_F(PatternTest, ShortOfMemoryNothingBreaks) {
  NewPattern();
  ShimFailAllocationsAfter(0);
  StepEmitters();
  EXPECT_TRUE(Trail().empty());
  NewPattern();  // the emitters go; none can be made
  EXPECT_TRUE(Emitters().empty());
  ShimFailAllocationsAfter(5);
  NewPattern();
  EXPECT_EQ(Emitters().size(), 5u);
  ShimFailAllocationsAfter(-1);
  StepEmitters();
  EXPECT_EQ(Trail().size(), 5u);
}
#endif

// The whole model state after a long run with a fixed seed, as one digest of its bits: every build
// (native, i686 and x86_64 Windows) must arrive at the very same pattern. x87 arithmetic with wider
// intermediates, or a compiler contracting a multiply and an add, would show here first.
const uint64_t ExpectedStateDigest = 0xfc2e747be609e3f2ULL;

void Digest(uint64_t* h, const void* data, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; i++) *h = (*h ^ p[i]) * 0x100000001b3ULL;
}

TEST_F(PatternTest, StateAfterThousandsOfFramesIsTheSameOnEveryBuild) {
  BuildFadeTable();
  NewPattern();
  const int frames = 4000, patternFrames = 450;  // 15 s at 30 frames per second
  for (int f = 1; f <= frames; f++) {
    TrailPass(IgnoreDraw);
    StepEmitters();
    if (f % patternFrames == 0) NewPattern();
    CycleEmitterColour();
  }
  uint64_t h = 0xcbf29ce484222325ULL;
  std::vector<Emitter> es = Emitters();
  std::vector<TrailPoint> t = Trail();
  ASSERT_EQ(es.size(), 20u);
  // About 20 points a frame for 100 frames of life (a removed first point spares its successor).
  ASSERT_GE(t.size(), 20u * 100u);
  ASSERT_LE(t.size(), 20u * 102u);
  Digest(&h, es.data(), es.size() * sizeof(Emitter));
  Digest(&h, t.data(), t.size() * sizeof(TrailPoint));
  Digest(&h, &App.PatternRadius, sizeof App.PatternRadius);
  Digest(&h, &App.SpriteCycle, sizeof App.SpriteCycle);
  Digest(&h, fade.data(), (PatternFadeLength + 1) * sizeof(int32_t));
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  std::printf("pattern state digest %s (%zu emitters, %zu trail points)\n", text, es.size(), t.size());
  if (const char* path = std::getenv("VORLUNE_PATTERN_DUMP")) {
    // For a person comparing builds: every emitter and trail point as the bits of its fields.
    if (FILE* out = std::fopen(path, "w")) {
      for (const Emitter& e : es) {
        uint32_t w[9];
        std::memcpy(w, &e, sizeof w);
        std::fprintf(out, "emitter");
        for (uint32_t v : w) std::fprintf(out, " %08x", static_cast<unsigned>(v));
        std::fprintf(out, "\n");
      }
      for (const TrailPoint& p : t) {
        uint32_t w[4];
        std::memcpy(w, &p, sizeof w);
        std::fprintf(out, "trail %08x %08x %08x %08x\n", static_cast<unsigned>(w[0]), static_cast<unsigned>(w[1]),
                     static_cast<unsigned>(w[2]), static_cast<unsigned>(w[3]));
      }
      std::fclose(out);
    }
  }
  EXPECT_EQ(h, ExpectedStateDigest) << "pattern state digest " << text;
}

}  // namespace
