#include <gtest/gtest.h>

#include <cstring>

#include "app/startup.h"
#include "app/state.h"
#include "runtime/memory.h"
#include "runtime/params.h"
#include "runtime/platform.h"

namespace {

#ifdef _WIN32
// The Windows build reads the real command line; only the choice itself is tested there.
#define COMMAND_LINE_TESTS 0
#else
#define COMMAND_LINE_TESTS 1
#endif

class ModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
    ASSERT_TRUE(InitStringStorage());
    ASSERT_TRUE(InitProgramParameters());
  }
  void TearDown() override {
    AssignStringVariable(&App.ModeSwitch, nullptr);
    AssignStringVariable(&App.ModeArgument, nullptr);
#if COMMAND_LINE_TESTS
    ShimSetCommandLine(nullptr);
#endif
  }

  // Reads a command line the way start-up does and returns the mode it selects.
  AppMode ModeOf(const char* line) {
#if COMMAND_LINE_TESTS
    ShimSetCommandLine(line);
    ProgramParameters()->ParameterCursor = 0;
    size_t end = ScratchEnd();
    ReadCommandLine();
    EXPECT_EQ(ScratchEnd(), end) << "the scratch is given back";
#endif
    return ChooseMode(App.ModeSwitch, App.ModeArgument);
  }
};

#if COMMAND_LINE_TESTS
TEST_F(ModeTest, SwitchIsTheFirstTwoCharactersUpperCasedAndTheArgumentIsWhole) {
  ModeOf("vorlune.scr /c:1234 some-handle");
  EXPECT_STREQ(App.ModeSwitch, "/C");
  EXPECT_STREQ(App.ModeArgument, "some-handle");
  EXPECT_EQ(ParameterCursor(), 2);

  ModeOf("\"C:\\Program Files\\vorlune.scr\" /p $1A2B");
  EXPECT_STREQ(App.ModeSwitch, "/P");
  EXPECT_STREQ(App.ModeArgument, "$1A2B");
}

TEST_F(ModeTest, AboutBoxForSlashCAndPlainC) {
  for (const char* line : {"v /c", "v /C", "v c", "v C", "v /c:1234", "v /C 99"}) {
    EXPECT_EQ(ModeOf(line), AboutMode) << line;
  }
}

TEST_F(ModeTest, PreviewOnlyWithASecondParameter) {
  EXPECT_EQ(ModeOf("v /p 1234"), PreviewMode);
  EXPECT_EQ(ModeOf("v /P $4D2"), PreviewMode);
  EXPECT_EQ(ModeOf("v /p:77 1234"), PreviewMode);
  EXPECT_EQ(ModeOf("v /p"), SaverMode);
  EXPECT_EQ(ModeOf("v /p:1234"), SaverMode);
  EXPECT_EQ(ModeOf("v /p   "), SaverMode);
  EXPECT_EQ(ModeOf("v /p \"\""), SaverMode);  // an empty second parameter is no handle
}

TEST_F(ModeTest, EverythingElseRunsTheSaver) {
  for (const char* line : {"v", "v /s", "v /S", "v -s", "v C:\\x", "v c:", "v \"\" /c", "v /a", "v s /c", "v cx", "\"v x\""}) {
    EXPECT_EQ(ModeOf(line), SaverMode) << line;
  }
}
#endif

TEST_F(ModeTest, ChoiceComparesExactly) {
  EXPECT_EQ(ChooseMode("/C", nullptr), AboutMode);
  EXPECT_EQ(ChooseMode("C", ""), AboutMode);
  EXPECT_EQ(ChooseMode("/c", ""), SaverMode);  // upper-casing happens before
  EXPECT_EQ(ChooseMode("/P", "1"), PreviewMode);
  EXPECT_EQ(ChooseMode("/P", nullptr), SaverMode);
  EXPECT_EQ(ChooseMode("/P", ""), SaverMode);
  EXPECT_EQ(ChooseMode(nullptr, nullptr), SaverMode);
  EXPECT_EQ(ChooseMode("C:", nullptr), SaverMode);
}

TEST(AboutText, CreditLinesAreSeparatedByCarriageReturnsOnly) {
  EXPECT_STREQ(AboutCaption, "Talveno Vorlune Screensaver");
  const char* text = AboutText;
  EXPECT_EQ(std::strncmp(text, "Vorlune Screensaver\r\r", 21), 0);
  EXPECT_EQ(std::strchr(text, '\n'), nullptr);
  int lines = 1;
  for (const char* p = text + 21; *p; ++p) lines += *p == '\r';
  EXPECT_EQ(lines, 3);  // maker and year, author, web address
  EXPECT_NE(std::strstr(text, "2026"), nullptr);
}

}  // namespace
