#include "runtime/random.h"

#include "runtime/platform.h"

RandomState RandomGenerator = {};

namespace {

const int Pairs = 17;
const int Lag = 10;
const uint32_t SeedMultiplier = 2891336453u;
const int DiscardedSteps = 31;

uint32_t RotateLeft(uint32_t x, int bits) { return (x << bits) | (x >> (32 - bits)); }

// One step; the new pair is (z, y) and the value is y * 2^32 + z.
void Step(uint32_t* high, uint32_t* low) {
  RandomState& r = RandomGenerator;
  // The state is a public record; indices written from outside must not reach past the buffer.
  if (static_cast<uint32_t>(r.p1) >= Pairs || static_cast<uint32_t>(r.p2) >= Pairs) {
    r.p1 = 0;
    r.p2 = Lag;
  }
  uint32_t y = RotateLeft(r.buffer[r.p1][0], 19) + r.buffer[r.p2][0];
  uint32_t z = RotateLeft(r.buffer[r.p1][1], 27) + r.buffer[r.p2][1];
  r.buffer[r.p1][0] = z;
  r.buffer[r.p1][1] = y;
  if (--r.p1 < 0) r.p1 = Pairs - 1;
  if (--r.p2 < 0) r.p2 = Pairs - 1;
  *high = y;
  *low = z;
}

}  // namespace

void AutoSeedRandom() {
  RandomGenerator.seeded = 1;
  SeedRandom(GetTickCount());
}

void SeedRandom(uint32_t seed) {
  if (!RandomGenerator.seeded) AutoSeedRandom();
  uint32_t x = seed;
  for (int k = 0; k < Pairs; ++k)
    for (int w = 0; w < 2; ++w) {
      x = x * SeedMultiplier + 1;
      RandomGenerator.buffer[k][w] = x;
    }
  RandomGenerator.p1 = 0;
  RandomGenerator.p2 = Lag;
  uint32_t high, low;
  for (int i = 0; i < DiscardedSteps; ++i) Step(&high, &low);
}

int32_t RandomUpTo(int32_t n) {
  if (!RandomGenerator.seeded) AutoSeedRandom();
  uint32_t y, z;
  Step(&y, &z);
  if (n < 0) return INT32_MIN;
  uint32_t m = static_cast<uint32_t>(n) + 1;
  uint32_t carry = static_cast<uint32_t>((static_cast<uint64_t>(z) * m) >> 32);
  return static_cast<int32_t>((static_cast<uint64_t>(y) * m + carry) >> 32);
}
