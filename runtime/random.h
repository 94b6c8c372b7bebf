// RANROT-W random numbers, seeded from the tick count on first use.
#pragma once
#include <cstdint>

int32_t RandomUpTo(int32_t n);   // 0..n inclusive; INT32_MIN when n < 0
void SeedRandom(uint32_t seed);
void AutoSeedRandom();
