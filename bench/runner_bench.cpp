// breadbin-run's run loop against the bare core, on the same sieve: the bare core runs
// the program straight from RAM; the runner boots the firmware, loads the sieve through
// the test hook and runs it with its emulated-time clock, exactly as the program does
// for the options given. At the end the runner's share of the bare core's speed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include "app/runner/run.h"
#include "bench/bench_program.h"

namespace {

constexpr uint64_t kRunnerCycles = 100'000'000;  // about 100 emulated seconds

void BareCore(benchmark::State& state) { benchBareCore(state, BREADBIN_SIEVE_PRG); }
BENCHMARK(BareCore)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One whole run per iteration, start-up included, with the options of the benchmark.
void runnerBenchmark(benchmark::State& state, RunnerOptions options) {
    options.cycleLimit = kRunnerCycles;
    uint64_t instructions = 0;
    for (auto _ : state) {
        RunResult result = runProgram(options, BREADBIN_SIEVE_PRG);
        instructions += result.instructions;
        if (result.verdict == Verdict::Error) state.SkipWithError(result.message.c_str());
    }
    if (!sieveCountIsRight()) state.SkipWithError("the sieve gave a wrong count of primes");
    reportInstructionRate(state, instructions);
}

// The default options: the plain loop, no watches.
void RunnerDefault(benchmark::State& state) { runnerBenchmark(state, RunnerOptions{}); }
BENCHMARK(RunnerDefault)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The watched loop, as for --debug-exit.
void RunnerDebugExit(benchmark::State& state) {
    RunnerOptions options;
    options.debugExit = true;
    runnerBenchmark(state, options);
}
BENCHMARK(RunnerDebugExit)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The console report, keeping the best rate of each benchmark for the summary line.
class RateKeeper : public benchmark::ConsoleReporter {
public:
    RateKeeper() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            auto rate = run.counters.find(kInstructionRate);
            if (run.run_type != Run::RT_Iteration || rate == run.counters.end() ||
                run.error_occurred)
                continue;
            double& best = bestRates[run.run_name.function_name];
            best = std::max(best, rate->second.value);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> bestRates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RateKeeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    double bare = reporter.bestRates["BareCore"];
    for (const char* name : {"RunnerDefault", "RunnerDebugExit"}) {
        double rate = reporter.bestRates[name];
        if (bare > 0 && rate > 0)
            std::printf("%s: %.0f%% of the bare core's instructions per second\n", name,
                        100 * rate / bare);
    }
}
