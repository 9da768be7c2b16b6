// The whole main loop against the bare core, in one run: the key poll, the clock, the
// test hook, the instruction, the frame check with drawing and interrupt, the keyboard
// stub and the raster register, with the real clock, on our firmware with the sieve
// loaded by the test hook. Linked twice: with the headless host (breadbin_machine_bench)
// and with the window host (breadbin_window_bench, run under Xvfb or on a desktop).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "bench/bench_program.h"
#include "machine/machine.h"

namespace {

constexpr uint64_t kBatch = 10'000'000;

void BareCore(benchmark::State& state) {
    benchBareCore(state, BREADBIN_SIEVE_PRG, CpuModel::Plain);
}
BENCHMARK(BareCore)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The machine starts once, in the benchmark's folder (our firmware, the sieve as
// tests/start), and runs until the test hook has loaded the sieve.
void startOnce() {
    static bool started = [] {
        if (chdir(BREADBIN_SIEVE_FOLDER) != 0) {
            std::perror(BREADBIN_SIEVE_FOLDER);
            std::exit(1);
        }
        startMachine(0, nullptr);
        while (!machine.loop.testProgramLoaded) runSteps(1000);
        return true;
    }();
    benchmark::DoNotOptimize(started);
}

void MainLoop(benchmark::State& state) {
    startOnce();
    for (auto _ : state) runSteps(kBatch);
    if (!sieveCountIsRight()) state.SkipWithError("the sieve gave a wrong count of primes");
    reportInstructionRate(state, kBatch * state.iterations());
}
BENCHMARK(MainLoop)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
