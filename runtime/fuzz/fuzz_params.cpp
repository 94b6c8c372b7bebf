// Arbitrary bytes as a command line: every parameter until the cursor stops, each checked
// against a separately written tokenizer, then LeftPart, ToUpperCase and StringToInteger on
// each of them, from the scratch and from outside it. The line is also placed in the scratch
// itself, so that results must find it again when the scratch moves.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/memory.h"
#include "runtime/params.h"

namespace {

// All tokens of a line at once, the program's name first.
std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> tokens;
  size_t i = 0, n = line.size();
  while (i < n) {
    while (i < n && line[i] == ' ') ++i;
    if (i == n) break;
    std::string token;
    if (line[i] == '"') {
      size_t close = line.find('"', i + 1);
      if (close == std::string::npos) close = n;
      token = line.substr(i + 1, close - i - 1);
      i = close < n ? close + 1 : n;
    } else {
      size_t space = line.find(' ', i);
      if (space == std::string::npos) space = n;
      token = line.substr(i, space - i);
      i = space;
    }
    tokens.push_back(token);
  }
  return tokens;
}

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// Every input starts from a fresh 16-byte scratch, so that growth and moves happen in each run.
void Setup() {
  if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
  if (Scratch.buffer) HeapFree(StringHeap, HEAP_NO_SERIALIZE, Scratch.buffer);
  Scratch = StringScratch{};
  Check(InitStringStorage() && Scratch.capacity == 16);
  InitProgramParameters();
}

// The integer reading done another way: sign, base prefix, digits, all in 64 bits.
int32_t ReferenceInteger(const std::string& text) {
  size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos) return 0;
  bool negative = text[i] == '-';
  if (text[i] == '-' || text[i] == '+') ++i;
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == '%')) base = text[i++] == '$' ? 16 : 2;
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const char* digits = "0123456789abcdef";
    char c = text[i] >= 'A' && text[i] <= 'F' ? static_cast<char>(text[i] + 32) : text[i];
    const char* at = c ? std::strchr(digits, c) : nullptr;
    if (!at || at - digits >= base) break;
    value = (value * base + static_cast<uint64_t>(at - digits)) & 0xFFFFFFFFull;
  }
  if (negative) value = (0x100000000ull - value) & 0xFFFFFFFFull;
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// text is the parameter as it stands in the scratch; the results go to position, which may be
// the text's own position.
void CheckFunctions(const char* text, const std::string& token, size_t position) {
  Check(StringToInteger(text) == ReferenceInteger(token));
  Check(StringLength(text) == static_cast<int32_t>(token.size()));
  int32_t count = token.empty() ? 0 : static_cast<unsigned char>(token[0]) - 64;
  char* left = LeftPart(text, count, position);
  Check(left != nullptr);
  size_t expect = count <= 0 ? 0 : (static_cast<size_t>(count) < token.size() ? count : token.size());
  Check(std::strlen(left) == expect && token.compare(0, expect, left) == 0);
  Check(ScratchEnd() == position + expect);
  // Upper case in place over the left part.
  char* up = ToUpperCase(left, position);
  // The scratch may move while it grows, so the result is found by its position.
  Check(up == ScratchPointerAt(position + 1) && std::strlen(up) == expect);
  for (size_t i = 0; i < expect; ++i) {
    unsigned k = static_cast<unsigned char>(token[i]);
    unsigned want = (k >= 224 || (k >= 'a' && k <= 'z')) ? k - 32 : k;
    Check(static_cast<unsigned char>(up[i]) == want);
  }

  // The same functions on a source outside the scratch, the count from the token's last byte.
  const int32_t other = token.empty() ? -1 : static_cast<signed char>(token.back());
  const size_t at = ScratchEnd() + 1;
  const size_t part = other <= 0 ? 0 : (static_cast<size_t>(other) < token.size() ? other : token.size());
  left = LeftPart(token.c_str(), other, at);
  Check(left == ScratchPointerAt(at + 1) && std::strlen(left) == part && token.compare(0, part, left) == 0);
  up = ToUpperCase(token.c_str(), at);
  Check(up == ScratchPointerAt(at + 1) && std::strlen(up) == token.size() && ScratchEnd() == at + token.size());
  for (size_t i = 0; i < token.size(); ++i) {
    unsigned k = static_cast<unsigned char>(token[i]);
    Check(static_cast<unsigned char>(up[i]) == ((k >= 224 || (k >= 'a' && k <= 'z')) ? k - 32 : k));
  }
  Check(StringToInteger(token.c_str()) == ReferenceInteger(token));
  SetScratchEnd(position + expect);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Each parameter is found by scanning from the line's start, so a run costs the square of the
  // length; the splitting has nothing that needs a longer line to show.
  if (size > 256) size = 256;
  Setup();
  // The line ends at the first zero byte, as a command line would.
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.c_str();
  std::vector<std::string> tokens = Tokens(line);
  bool inScratch = size > 0 && (data[0] & 1);

  for (int pass = 0; pass < 2; ++pass) {
    ProgramParameters()->ParameterCursor = 0;
    SetScratchEnd(0);
    size_t base = 0;
    if (inScratch) {
      char* copy = ScratchReserve(line.size(), 0);
      Check(copy != nullptr);
      std::memcpy(copy, line.c_str(), line.size() + 1);
      base = line.size() + 1;
      SetScratchEnd(base);
    }
    for (size_t calls = 0;; ++calls) {
      int32_t before = ParameterCursor();
      size_t position = ScratchEnd();
      const char* source = inScratch ? Scratch.buffer : line.c_str();
      char* text = NextParameterOf(source, position);
      Check(text != nullptr && text == ScratchPointerAt(position + 1));
      std::string got = text;
      Check(ScratchEnd() == position + got.size());
      if (ParameterCursor() == before) {
        // Past the last parameter: empty, and the cursor stays.
        Check(got.empty() && static_cast<size_t>(before) + 1 >= tokens.size());
        break;
      }
      Check(ParameterCursor() == before + 1);
      Check(static_cast<size_t>(before) + 1 < tokens.size() && got == tokens[before + 1]);
      CheckFunctions(text, got, position + (pass ? 0 : got.size() + 1));
      SetScratchEnd(pass ? position : ScratchEnd() + 1);
      Check(calls <= line.size());
    }
  }
  StringVariable v = nullptr;
  Check(AssignStringVariable(&v, line.c_str()) == static_cast<int>(line.size() + 1));
  Check(CompareStrings(v, line.c_str()) == 1);
  AssignStringVariable(&v, nullptr);
  return 0;
}
