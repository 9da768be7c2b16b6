// The bare core of each processor model: opcode fetch and execution only, on a long 6502
// loop in RAM.
//
//     taskset -c 1 breadbin_cpu_bench --benchmark_repetitions=5
//         --benchmark_enable_random_interleaving=true      (one line)
#include <benchmark/benchmark.h>

#include "bench/bench_program.h"

static void BareCore(benchmark::State& state, CpuModel model) {
    benchBareCore(state, BREADBIN_SIEVE_PRG, model);
}
BENCHMARK_CAPTURE(BareCore, plain, CpuModel::Plain)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BareCore, 6510, CpuModel::Mos6510)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
