// The bare core: opcode fetch and execution only, on a long 6502 loop in RAM.
#include <benchmark/benchmark.h>

#include "bench/bench_program.h"

static void BareCore(benchmark::State& state) { benchBareCore(state, BREADBIN_SIEVE_PRG); }
BENCHMARK(BareCore)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
