#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/memory.h"
#include "runtime/params.h"
#include "runtime/tests/runtime_support.h"

namespace {

class ParameterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureRuntime();
    ASSERT_NE(ProgramParameters(), nullptr);
    ProgramParameters()->ParameterCursor = 0;
    SetScratchEnd(0);
  }
  // Every parameter of a line as the saver reads them, plus `extra` calls past the end.
  static std::vector<std::string> Split(const char* line, int calls) {
    ProgramParameters()->ParameterCursor = 0;
    std::vector<std::string> out;
    for (int i = 0; i < calls; ++i) {
      size_t p = ScratchEnd();
      char* text = NextParameterOf(line, p);
      EXPECT_EQ(text, ScratchPointerAt(p + 1));
      out.push_back(text ? text : "<none>");
      EXPECT_EQ(ScratchEnd(), p + out.back().size());
      SetScratchEnd(p);
    }
    return out;
  }
  static void Put(const char* text) {
    size_t n = std::strlen(text);
    char* at = ScratchReserve(n, ScratchEnd());
    ASSERT_NE(at, nullptr);
    std::memcpy(at, text, n + 1);
  }
  using V = std::vector<std::string>;
};

TEST_F(ParameterTest, StateBlockIsSixteenBytesStartingAtZero) {
  EXPECT_EQ(sizeof(ParameterState), 16u);
  EXPECT_EQ(ParameterCursor(), 0);
  EXPECT_EQ(InitProgramParameters(), 1);  // again: the same block
}

TEST_F(ParameterTest, SplitsTheScreensaverCommandLines) {
  EXPECT_EQ(Split("vorlune.scr /p 1234", 3), (V{"/p", "1234", ""}));
  EXPECT_EQ(ParameterCursor(), 2);
  EXPECT_EQ(Split("\"C:\\Program Files\\Vorlune.scr\" /s", 2), (V{"/s", ""}));
  EXPECT_EQ(Split("prog \"a b\" c", 3), (V{"a b", "c", ""}));
  EXPECT_EQ(Split("prog \"\" x", 3), (V{"", "x", ""}));
  EXPECT_EQ(ParameterCursor(), 2);  // the empty token counted
  EXPECT_EQ(Split("prog a\"b", 2), (V{"a\"b", ""}));
  EXPECT_EQ(Split("prog \"a\"b", 3), (V{"a", "b", ""}));
  EXPECT_EQ(Split("prog a   ", 3), (V{"a", "", ""}));
  EXPECT_EQ(ParameterCursor(), 1);
}

TEST_F(ParameterTest, NoParametersLeavesTheCursorAtZero) {
  for (const char* line : {"prog", "prog   ", "\"my prog\"", "", "   "}) {
    EXPECT_EQ(Split(line, 3), (V{"", "", ""})) << line;
    EXPECT_EQ(ParameterCursor(), 0) << line;
  }
}

TEST_F(ParameterTest, QuotesSpacesAndTabs) {
  EXPECT_EQ(Split("prog\t/s", 1), (V{""}));                     // a tab does not separate
  EXPECT_EQ(Split("prog /s\tx y", 3), (V{"/s\tx", "y", ""}));
  EXPECT_EQ(Split("prog   /c    7", 3), (V{"/c", "7", ""}));
  EXPECT_EQ(Split("prog \"unterminated text", 2), (V{"unterminated text", ""}));
  EXPECT_EQ(Split("prog \"", 2), (V{"", ""}));
  EXPECT_EQ(ParameterCursor(), 1);
  EXPECT_EQ(Split("prog a\"b c\"d", 3), (V{"a\"b", "c\"d", ""}));
  EXPECT_EQ(Split("\"prog\"/c", 2), (V{"/c", ""}));
  EXPECT_EQ(Split("prog \"\"\"\"", 3), (V{"", "", ""}));
  EXPECT_EQ(ParameterCursor(), 2);
}

TEST_F(ParameterTest, ALineInTheScratchIsFoundAgainAfterTheScratchMoves) {
  size_t n = Scratch.capacity > 20000 ? Scratch.capacity : 20000;
  std::string text = "prog " + std::string(n, 'a') + " tail";
  char* line = ScratchReserve(text.size(), 0);
  ASSERT_NE(line, nullptr);
  std::memcpy(line, text.c_str(), text.size() + 1);
  size_t capacity = Scratch.capacity;
  SetScratchEnd(text.size() + 1);
  char* first = NextParameterOf(line, ScratchEnd());  // forces growth
  ASSERT_NE(first, nullptr);
  EXPECT_GT(Scratch.capacity, capacity);
  EXPECT_EQ(std::string(first), std::string(n, 'a'));
  // The token overwritten in place: the result at the line's own position.
  ProgramParameters()->ParameterCursor = 1;
  char* tail = NextParameterOf(Scratch.buffer, 0);
  EXPECT_STREQ(tail, "tail");
}

TEST_F(ParameterTest, NextProgramParameterReadsTheProcessCommandLine) {
#ifdef _WIN32
  // The real line cannot be changed here; its first parameter is whatever the runner gave.
  char* text = NextProgramParameter(0);
  ASSERT_NE(text, nullptr);
  std::string got = text;
  EXPECT_EQ(ParameterCursor(), got.empty() ? 0 : 1);
  std::string expected = Split(GetCommandLineA(), 1)[0];
  EXPECT_EQ(got, expected);
#else
  ShimSetCommandLine("vorlune.scr /P 4242");
  EXPECT_STREQ(NextProgramParameter(0), "/P");
  EXPECT_STREQ(NextProgramParameter(3), "4242");
  EXPECT_STREQ(NextProgramParameter(8), "");
  EXPECT_EQ(ParameterCursor(), 2);
  ShimSetCommandLine(nullptr);
#endif
}

// The saver's sequence: parameter, first two characters, upper case, all at one position.
TEST_F(ParameterTest, ChainedAtOnePosition) {
  const char* line = "\"C:\\saver dir\\Vorlune.scr\" /p:5 $1F4";
  Put("earlier");
  size_t p = ScratchEnd() + 1;
  StringVariable mode = nullptr, argument = nullptr;
  ASSERT_NE(NextParameterOf(line, p), nullptr);
  SetScratchEnd(ScratchEnd() + 1);
  ASSERT_NE(LeftPart(ScratchPointerAt(p + 1), 2, p), nullptr);
  SetScratchEnd(ScratchEnd() + 1);
  ASSERT_NE(ToUpperCase(ScratchPointerAt(p + 1), p), nullptr);
  ASSERT_TRUE(StoreScratchString(&mode, p));
  EXPECT_STREQ(mode, "/P");
  EXPECT_EQ(ScratchEnd(), p);
  NextParameterOf(line, p);
  StoreScratchString(&argument, p);
  EXPECT_STREQ(argument, "$1F4");
  EXPECT_EQ(StringToInteger(argument), 500);
  EXPECT_STREQ(Scratch.buffer, "earlier");
  AssignStringVariable(&mode, nullptr);
  AssignStringVariable(&argument, nullptr);
}

TEST_F(ParameterTest, LeftPart) {
  EXPECT_STREQ(LeftPart("/c:1234", 2, 0), "/c");
  EXPECT_EQ(ScratchEnd(), 2u);
  EXPECT_STREQ(LeftPart("x", 2, 0), "x");
  EXPECT_STREQ(LeftPart("abc", -5, 0), "");
  EXPECT_EQ(ScratchEnd(), 0u);
  EXPECT_STREQ(LeftPart("abc", 0, 0), "");
  EXPECT_STREQ(LeftPart(nullptr, 4, 0), "");
  EXPECT_STREQ(LeftPart("abc", INT32_MAX, 0), "abc");
  // In place over its own source.
  char* own = LeftPart("abcdef", 6, 10);
  EXPECT_STREQ(LeftPart(own, 3, 10), "abc");
  EXPECT_EQ(ScratchEnd(), 13u);
}

TEST_F(ParameterTest, ToUpperCase) {
  EXPECT_STREQ(ToUpperCase("/p abc-xyz 09!{}`~", 0), "/P ABC-XYZ 09!{}`~");
  EXPECT_STREQ(ToUpperCase(nullptr, 0), "");
  std::string all;
  for (int k = 1; k < 256; ++k) all.push_back(static_cast<char>(k));
  char* up = ToUpperCase(all.c_str(), 0);
  ASSERT_NE(up, nullptr);
  ASSERT_EQ(std::strlen(up), 255u);
  for (int k = 1; k < 256; ++k) {
    int expected = k >= 224 ? k - 32 : (k >= 'a' && k <= 'z') ? k - 32 : k;
    EXPECT_EQ(static_cast<unsigned char>(up[k - 1]), expected) << k;
  }
  EXPECT_EQ(static_cast<unsigned char>(ToUpperCase("\xF7\xFF\x80\xDF", 0)[0]), 215);
  EXPECT_STREQ(ToUpperCase("\xF7\xFF\x80\xDF", 0), "\xD7\xDF\x80\xDF");
  char* own = ToUpperCase("mixed Case", 4);
  EXPECT_STREQ(ToUpperCase(own, 4), "MIXED CASE");
}

TEST(StringFunctions, StringToInteger) {
  EXPECT_EQ(StringToInteger("  42"), 42);
  EXPECT_EQ(StringToInteger("-$FF"), -255);
  EXPECT_EQ(StringToInteger("$ff"), 255);
  EXPECT_EQ(StringToInteger("%101"), 5);
  EXPECT_EQ(StringToInteger("%1012"), 5);
  EXPECT_EQ(StringToInteger("0x10"), 0);
  EXPECT_EQ(StringToInteger("12abc"), 12);
  EXPECT_EQ(StringToInteger(""), 0);
  EXPECT_EQ(StringToInteger(nullptr), 0);
  EXPECT_EQ(StringToInteger("4294967297"), 1);
  EXPECT_EQ(StringToInteger("\t+17"), 17);
  EXPECT_EQ(StringToInteger("- 5"), 0);
  EXPECT_EQ(StringToInteger("$"), 0);
  EXPECT_EQ(StringToInteger("2147483648"), INT32_MIN);
  EXPECT_EQ(StringToInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(StringToInteger("$FFFFFFFF"), -1);
  EXPECT_EQ(StringToInteger("$123456789"), 0x23456789);
  EXPECT_EQ(StringToInteger("12345678901234"), 1942892530);
  EXPECT_EQ(StringToInteger("18446744073709551617"), 1);
  EXPECT_EQ(StringToInteger("1 2"), 1);
}

TEST(StringFunctions, StringLength) {
  EXPECT_EQ(StringLength(nullptr), 0);
  EXPECT_EQ(StringLength(""), 0);
  EXPECT_EQ(StringLength("1234"), 4);
  EXPECT_EQ(StringLength("\xFF\x80"), 2);
}

#ifndef _WIN32
TEST_F(ParameterTest, AFullScratchWritesNothingAndKeepsTheCursor) {
  std::string big(Scratch.capacity + 100, 'z');
  std::string line = "prog " + big;
  size_t end = ScratchEnd();
  {
    AllocationFailure failure(0);
    EXPECT_EQ(NextParameterOf(line.c_str(), end), nullptr);
    EXPECT_EQ(LeftPart(big.c_str(), static_cast<int32_t>(big.size()), end), nullptr);
    EXPECT_EQ(ToUpperCase(big.c_str(), end), nullptr);
  }
  EXPECT_EQ(ParameterCursor(), 0);
  EXPECT_EQ(ScratchEnd(), end);
  EXPECT_EQ(std::string(NextParameterOf(line.c_str(), end)), big);
  EXPECT_EQ(ParameterCursor(), 1);
}
#endif

}  // namespace
