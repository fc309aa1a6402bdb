// The engine's Mersenne Twister (MT19937). Until seeded it runs from seed
// 4357; window creation reseeds it from the millisecond time.
#pragma once
#include <cstdint>

int SeedRandom(uint32_t seed);
uint32_t GetRandomBits32();
// A uniformly drawn whole number 0..max inclusive; max <= 0 gives 0.
int GetRandomUpTo(int max);
