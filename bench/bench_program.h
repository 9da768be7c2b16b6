// The benchmark loop program (a sieve in our own 6502 assembly) and the bare core's
// benchmark on it, which the other speed benchmarks run beside their own so that one run
// gives both figures.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "cpu/model.h"

inline constexpr uint16_t kSieveResult = 0x00F5;  // primes found in the last pass
inline constexpr uint16_t kSievePrimes = 1028;    // primes below 8192
inline constexpr const char* kInstructionRate = "instructions/s";

// Reads a program file (two-byte load address, then data) into RAM and returns its load
// address; ends the process with a message when the file cannot be read.
uint16_t loadBenchProgram(const char* path);

// Whether the sieve's last pass found the right count of primes.
bool sieveCountIsRight();

// Reports `instructions` over the benchmark's time as instructions per second.
void reportInstructionRate(benchmark::State& state, uint64_t instructions);

// The bare core of the processor model: opcode fetch and execution only, on the sieve in
// RAM at `path`.
void benchBareCore(benchmark::State& state, const char* path, CpuModel model);
