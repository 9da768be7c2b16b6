// The random sequence behind randomUnit: xoshiro256** seeded through splitmix64, giving
// 53-bit doubles in [0, 1). It starts from a fixed seed, so every run sees the same
// sequence; tests may reseed it or queue exact values that come out first.
#pragma once

#include <cstdint>

inline constexpr uint64_t kDefaultRandomSeed = 0x6272656164626E21;  // "breadbn!"

// Restarts the sequence from `seed` and drops any queued values.
void randomReseed(uint64_t seed);
// Queues a value that randomUnit returns, in order, before the sequence goes on.
void randomQueue(double value);
