// Loading the benchmark loop program straight into RAM, for the speed benchmarks.
#pragma once

#include <cstdint>

inline constexpr uint16_t kSieveResult = 0x00F5;  // primes found in the last pass
inline constexpr uint16_t kSievePrimes = 1028;     // primes below 8192

// Reads a program file (two-byte load address, then data) into RAM and returns its load
// address; ends the process with a message when the file cannot be read.
uint16_t loadBenchProgram(const char* path);
