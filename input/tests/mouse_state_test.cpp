#include <gtest/gtest.h>

#include <vector>

#include "input/mouse.h"

namespace {

MouseEvent Axis(uint32_t offset, int32_t delta) { return {offset, (uint32_t)delta, 0, 0}; }
MouseEvent Button(uint32_t offset, uint32_t data) { return {offset, data, 0, 0}; }

class MouseRecords : public ::testing::Test {
 protected:
  void SetUp() override { Mouse = MouseRecord{}; }
  void Apply(const std::vector<MouseEvent>& events, int32_t width = 640, int32_t height = 480) {
    Mouse.stepX = Mouse.stepY = 0;   // as every read starts
    ApplyMouseEvents(events.data(), (uint32_t)events.size(), width, height);
  }
};

TEST_F(MouseRecords, SmallMovementsAddUpToOneStep) {
  Mouse.x = 100;
  Mouse.y = 100;
  Apply({Axis(0, 3), Axis(4, -2), Axis(0, 4), Axis(0, -1), Axis(4, -5)});
  EXPECT_EQ(6, MouseStepX());
  EXPECT_EQ(-7, MouseStepY());
  EXPECT_EQ(106, MouseX());
  EXPECT_EQ(93, MouseY());
}

TEST_F(MouseRecords, NoRecordsMeansNoStepAndTheSamePosition) {
  Mouse.x = 17;
  Mouse.y = 9;
  Mouse.button1 = 1;
  Apply({});
  EXPECT_EQ(0, MouseStepX());
  EXPECT_EQ(0, MouseStepY());
  EXPECT_EQ(17, MouseX());
  EXPECT_EQ(9, MouseY());
  EXPECT_EQ(1, MouseButtonIsDown(1));
}

TEST_F(MouseRecords, PositionIsClampedToTheScreen) {
  Mouse.x = 5;
  Mouse.y = 5;
  Apply({Axis(0, -50), Axis(4, -6)});
  EXPECT_EQ(-50, MouseStepX());   // the step is not clamped, only the position
  EXPECT_EQ(0, MouseX());
  EXPECT_EQ(0, MouseY());
  Apply({Axis(0, 639), Axis(4, 479)});
  EXPECT_EQ(639, MouseX());
  EXPECT_EQ(479, MouseY());
  Apply({Axis(0, 1), Axis(4, 1)});   // reaching the width or height: one less
  EXPECT_EQ(639, MouseX());
  EXPECT_EQ(479, MouseY());
  Mouse.x = 0;
  Apply({Axis(0, 638)});
  EXPECT_EQ(638, MouseX());
}

TEST_F(MouseRecords, ButtonsFollowBit7AndHoldTheirState) {
  Apply({Button(12, 0x80), Button(13, 0x80), Button(14, 0x80)});
  EXPECT_EQ(1, MouseButtonIsDown(1));
  EXPECT_EQ(1, MouseButtonIsDown(2));
  EXPECT_EQ(1, MouseButtonIsDown(3));
  Apply({});
  EXPECT_EQ(1, MouseButtonIsDown(1));   // no event, no change
  Apply({Button(12, 0), Button(14, 0x7F)});
  EXPECT_EQ(0, MouseButtonIsDown(1));
  EXPECT_EQ(1, MouseButtonIsDown(2));
  EXPECT_EQ(0, MouseButtonIsDown(3));
  // A press and a release in one frame leave the last state.
  Apply({Button(12, 0x80), Button(12, 0)});
  EXPECT_EQ(0, MouseButtonIsDown(1));
}

TEST_F(MouseRecords, WheelFourthButtonAndUnknownOffsetsAreIgnored) {
  Apply({Axis(8, 120), Button(15, 0x80), Axis(16, 99), Axis(1, 5), Axis(0xFFFFFFFF, 7)});
  EXPECT_EQ(0, MouseStepX());
  EXPECT_EQ(0, MouseStepY());
  EXPECT_EQ(0, MouseButtonIsDown(1) + MouseButtonIsDown(2) + MouseButtonIsDown(3));
  EXPECT_EQ(0, MouseX());
}

TEST_F(MouseRecords, OverflowReleasesButtons1And2Only) {
  Mouse.button1 = Mouse.button2 = Mouse.button3 = 1;
  DropMouseButtonsAfterOverflow();
  EXPECT_EQ(0, MouseButtonIsDown(1));
  EXPECT_EQ(0, MouseButtonIsDown(2));
  EXPECT_EQ(1, MouseButtonIsDown(3));
}

TEST_F(MouseRecords, HugeDeltasSaturateInsteadOfWrapping) {
  std::vector<MouseEvent> events(24, Axis(0, INT32_MAX));
  Apply(events);
  EXPECT_EQ(INT32_MAX, MouseStepX());
  EXPECT_EQ(639, MouseX());
  Apply(std::vector<MouseEvent>(24, Axis(4, INT32_MIN)));
  EXPECT_EQ(INT32_MIN, MouseStepY());
  EXPECT_EQ(0, MouseY());
}

TEST_F(MouseRecords, NoScreenGivesPositionZero) {
  Mouse.x = 3;
  Apply({Axis(0, 10)}, 0, 0);
  EXPECT_EQ(0, MouseX());
  EXPECT_EQ(0, MouseY());
}

TEST_F(MouseRecords, OnlyButtons1To3Exist) {
  Mouse.button1 = Mouse.button2 = Mouse.button3 = 1;
  EXPECT_EQ(0, MouseButtonIsDown(0));
  EXPECT_EQ(0, MouseButtonIsDown(4));
  EXPECT_EQ(0, MouseButtonIsDown(-1));
}

MouseScreen reported;
void Report(MouseScreen* screen) { *screen = reported; }

std::vector<int32_t> Fields(const MouseScreen& s) {
  return {s.active, s.windowed, s.left, s.top, s.right, s.bottom, s.width, s.height};
}

TEST(MouseScreenQuery, NoneIsAnInactiveScreenAndARegisteredOneAnswers) {
  SetMouseScreenQuery(nullptr);
  EXPECT_EQ(std::vector<int32_t>(8, 0), Fields(QueryMouseScreen()));
  reported = MouseScreen{1, 1, 10, 20, 210, 170, 200, 150};
  SetMouseScreenQuery(Report);
  EXPECT_EQ(Fields(reported), Fields(QueryMouseScreen()));

  SetMouseScreenQuery(nullptr);
  EXPECT_EQ(0, QueryMouseScreen().active);
}

}  // namespace
