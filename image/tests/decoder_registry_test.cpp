// The registry on its own, with recording decoders: order, the current decoder, file handling.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/decoders.h"

namespace {

// Two fake decoders that answer to a first byte of their own and record what they are handed.
struct FakeLog {
  std::vector<std::string> calls;
  long positionSeen = -1;
  intptr_t valueSeen = 0;
};
FakeLog fake;

int ProbeWith(char id, unsigned char wanted, int answer, FILE* file, const void* memory, intptr_t value) {
  fake.calls.push_back(std::string("probe ") + id);
  fake.valueSeen = value;
  int first = -1;
  if (file) {
    fake.positionSeen = ftell(file);
    first = fgetc(file);  // moves the stream on: the next decoder must see it rewound
  } else if (memory && value > 0) {
    first = *static_cast<const unsigned char*>(memory);
  }
  return first == wanted ? answer : 0;
}

int ProbeA(FILE* f, const void* m, intptr_t v) { return ProbeWith('A', 'a', 1, f, m, v); }
int ProbeB(FILE* f, const void* m, intptr_t v) { return ProbeWith('B', 'b', 2, f, m, v); }
int DecodeA(void* d, int32_t pitch, intptr_t) { fake.calls.push_back("decode A"); return 1; }
int DecodeB(void* d, int32_t pitch, intptr_t) {
  fake.calls.push_back("decode B " + std::to_string(pitch));
  return 0;
}
uint32_t WidthA() { return 11; }
uint32_t HeightA() { return 12; }
uint32_t WidthB() { return 21; }
uint32_t HeightB() { return 22; }

const ImageDecoder decoderA = {ProbeA, DecodeA, WidthA, HeightA};
const ImageDecoder decoderB = {ProbeB, DecodeB, WidthB, HeightB};

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetImageDecoders();
    fake = FakeLog();
  }
  void TearDown() override { ResetImageDecoders(); }

  // A file holding text, for the registry to open by its path.
  static void WriteFile(const char* path, const char* text) {
    FILE* f = fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    fputs(text, f);
    fclose(f);
  }
};

TEST_F(RegistryTest, DecodersAreAskedInOrderAndTheFirstAnswerIsCurrent) {
  ASSERT_EQ(RegisterImageDecoder(&decoderA), 1);
  ASSERT_EQ(RegisterImageDecoder(&decoderB), 1);
  EXPECT_EQ(FindImageDecoder(1, "b"), 2);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"probe A", "probe B"}));
  EXPECT_EQ(fake.valueSeen, 1);
  EXPECT_EQ(CurrentImageWidth(), 21u);
  EXPECT_EQ(CurrentImageHeight(), 22u);
  EXPECT_EQ(DecodeCurrentImage(nullptr, 77, 0), 0);  // B's answer, passed through
  EXPECT_EQ(fake.calls.back(), "decode B 77");

  fake.calls.clear();
  EXPECT_EQ(FindImageDecoder(1, "a"), 1);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"probe A"}));
  EXPECT_EQ(CurrentImageWidth(), 11u);
  EXPECT_EQ(DecodeCurrentImage(nullptr, 0, 0), 1);
}

TEST_F(RegistryTest, NobodyAnswersMeansNoCurrentDecoder) {
  EXPECT_EQ(FindImageDecoder(1, "a"), 0);  // empty table
  RegisterImageDecoder(&decoderA);
  ASSERT_EQ(FindImageDecoder(1, "a"), 1);
  EXPECT_EQ(FindImageDecoder(1, "z"), 0);
  EXPECT_EQ(CurrentImageWidth(), 0u);
  EXPECT_EQ(CurrentImageHeight(), 0u);
  fake.calls.clear();
  EXPECT_EQ(DecodeCurrentImage(nullptr, 0, 0), 0);
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(RegistryTest, ResetEmptiesTheTableAndTheTableHoldsAHundred) {
  RegisterImageDecoder(&decoderA);
  ResetImageDecoders();
  EXPECT_EQ(ImageDecoderRegistered(&decoderA), 0);
  EXPECT_EQ(FindImageDecoder(1, "a"), 0);
  for (int i = 0; i < ImageDecoderCapacity; i++) ASSERT_EQ(RegisterImageDecoder(&decoderA), 1) << i;
  EXPECT_EQ(RegisterImageDecoder(&decoderB), 0);
  EXPECT_EQ(ImageDecoderRegistered(&decoderB), 0);
  EXPECT_EQ(RegisterImageDecoder(nullptr), 0);
}

TEST_F(RegistryTest, ThePngDecoderIsRegisteredOnce) {
  RegisterPngDecoder();
  RegisterPngDecoder();
  EXPECT_EQ(ImageDecoderRegistered(PngDecoder()), 1);
  // Once only: after it, the table has room for 99 more.
  for (int i = 0; i < ImageDecoderCapacity - 1; i++) ASSERT_EQ(RegisterImageDecoder(&decoderA), 1);
  EXPECT_EQ(RegisterImageDecoder(&decoderA), 0);
  // After a reset it can come back.
  ResetImageDecoders();
  RegisterPngDecoder();
  EXPECT_EQ(ImageDecoderRegistered(PngDecoder()), 1);
}

TEST_F(RegistryTest, EveryDecoderProbesAFileFromItsStart) {
  const char* path = "vorlune_registry_test.bin";
  ASSERT_NO_FATAL_FAILURE(WriteFile(path, "b and the rest"));
  RegisterImageDecoder(&decoderA);
  RegisterImageDecoder(&decoderB);
  EXPECT_EQ(FindImageDecoder(reinterpret_cast<intptr_t>(path), nullptr), 2);
  EXPECT_EQ(fake.positionSeen, 0);  // B saw the stream rewound after A read from it
  EXPECT_EQ(fake.valueSeen, reinterpret_cast<intptr_t>(path));
  EXPECT_EQ(DecodeCurrentImage(nullptr, 5, 0), 0);
  EXPECT_EQ(remove(path), 0) << "the registry left the file open";
}

TEST_F(RegistryTest, AFileNobodyRecognisesIsClosed) {
  const char* path = "vorlune_registry_test2.bin";
  ASSERT_NO_FATAL_FAILURE(WriteFile(path, "zzz"));
  RegisterImageDecoder(&decoderA);
  EXPECT_EQ(FindImageDecoder(reinterpret_cast<intptr_t>(path), nullptr), 0);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"probe A"}));
  EXPECT_EQ(remove(path), 0) << "the registry left the file open";
  EXPECT_EQ(FindImageDecoder(reinterpret_cast<intptr_t>(path), nullptr), 0);  // gone now
}

}  // namespace
