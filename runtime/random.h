// RANROT-W random numbers, seeded from the tick count on first use.
#pragma once
#include <cstdint>

int32_t RandomUpTo(int32_t n);   // 0..n inclusive; INT32_MIN when n < 0
void SeedRandom(uint32_t seed);
void AutoSeedRandom();

// The generator's global state: 17 pairs of words, the two pair indices and the seeded flag.
struct RandomState {
  uint32_t buffer[17][2];
  int32_t p1;
  int32_t p2;
  uint8_t seeded;
};
extern RandomState RandomGenerator;
