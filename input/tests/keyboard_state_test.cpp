#include <gtest/gtest.h>

#include <cstring>

#include "input/keyboard.h"

class KeyTable : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(KeyStates, 0, sizeof KeyStates);
    KeyboardState = KeyboardAcquired;
  }
  void TearDown() override { KeyboardState = KeyboardClosed; }
};

TEST_F(KeyTable, SingleKeyReportsBit7) {
  KeyStates[KeyReturn] = 0x80;
  EXPECT_EQ(128, KeyIsDown(KeyReturn));
  EXPECT_EQ(0, KeyIsDown(KeyS));
  KeyStates[KeyS] = 0xFF;   // only bit 7 counts
  EXPECT_EQ(128, KeyIsDown(KeyS));
  KeyStates[KeyEscape] = 0x7F;
  EXPECT_EQ(0, KeyIsDown(KeyEscape));
}

TEST_F(KeyTable, AnyKeyLooksAtCodes0To254Only) {
  EXPECT_EQ(0, KeyIsDown(AnyKey));
  KeyStates[255] = 0x80;
  EXPECT_EQ(0, KeyIsDown(AnyKey));
  EXPECT_EQ(128, KeyIsDown(255));   // still readable on its own
  KeyStates[254] = 0x80;
  EXPECT_EQ(1, KeyIsDown(AnyKey));
  KeyStates[254] = 0;
  KeyStates[0] = 0x80;
  EXPECT_EQ(1, KeyIsDown(AnyKey));
  KeyStates[0] = 0x40;   // bit 7 clear
  EXPECT_EQ(0, KeyIsDown(AnyKey));
}

TEST_F(KeyTable, NothingIsDownUnlessAcquired) {
  memset(KeyStates, 0x80, sizeof KeyStates);
  for (int32_t state : {KeyboardClosed, KeyboardCreated}) {
    KeyboardState = state;
    EXPECT_EQ(0, KeyIsDown(AnyKey));
    EXPECT_EQ(0, KeyIsDown(KeyReturn));
    EXPECT_EQ(0, KeyIsDown(0));
  }
  KeyboardState = KeyboardAcquired;
  EXPECT_EQ(1, KeyIsDown(AnyKey));
}

TEST_F(KeyTable, CodesOutsideTheTableAreNotDown) {
  memset(KeyStates, 0x80, sizeof KeyStates);
  EXPECT_EQ(0, KeyIsDown(256));
  EXPECT_EQ(0, KeyIsDown(-2));
  EXPECT_EQ(0, KeyIsDown(INT32_MIN));
  EXPECT_EQ(0, KeyIsDown(INT32_MAX));
}
