// The bare core: opcode fetch and execution only, on a long 6502 loop in RAM.
#include <benchmark/benchmark.h>

#include "bench/bench_program.h"
#include "cpu/interpreter.h"

static void BareCore(benchmark::State& state) {
    constexpr uint64_t kBatch = 10'000'000;
    cpu = CpuState{};
    memory.ram[0x0001] = 0xE7;
    cpu.regPC = loadBenchProgram(BREADBIN_SIEVE_PRG);
    for (auto _ : state) runInstructions(kBatch);
    if (memory.ram[kSieveResult] + 256 * memory.ram[kSieveResult + 1] != kSievePrimes) {
        state.SkipWithError("the sieve gave a wrong count of primes");
    }
    state.counters["instructions/s"] =
        benchmark::Counter(static_cast<double>(kBatch * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BareCore)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
