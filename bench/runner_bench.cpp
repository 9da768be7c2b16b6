// breadbin-run's run loop against the bare core, on the same sieve: the bare core runs
// the program straight from RAM; the runner boots the firmware, loads the sieve through
// the test hook and runs it with its emulated-time clock, exactly as the program does
// for the options given: none, --debug-exit, --until-text (a text that never shows, so
// the screen is searched after every frame) and --until-input, and none with --cpu 6510.
// Each processor model's bare core runs too, and a 200-block program loads from a
// folder and from a disk image. At the end each runner's share of its
// model's bare core (of the medians over the repetitions, and of the fastest repetitions,
// which other work on the machine slows least), the 6510 model's share of the plain one,
// and the allocations the runs make per frame (counted by this program's own operator new).
//
//     taskset -c 1 breadbin_runner_bench --benchmark_repetitions=5
//         --benchmark_enable_random_interleaving=true      (one line)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "app/runner/program/run.h"
#include "app/runner/program/start.h"
#include "app/runner/routines/routine_run.h"
#include "bench/bench_program.h"
#include "machine/counting.h"
#include "machine/drive.h"
#include "machine/program_file.h"
#include "machine/trace.h"

namespace {
std::atomic<uint64_t> allocations{0};
}

// The replacements pair malloc with free, which the compiler cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

constexpr uint64_t kRunnerCycles = 100'000'000;  // about 100 emulated seconds
constexpr const char* kAllocationsPerFrame = "allocations/frame";

void BareCore(benchmark::State& state, CpuModel model) {
    benchBareCore(state, BREADBIN_SIEVE_PRG, model);
}
BENCHMARK_CAPTURE(BareCore, plain, CpuModel::Plain)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BareCore, 6510, CpuModel::Mos6510)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// What a run allocates per frame: a run's allocations less those of a run half as long,
// over the frames between them, so that what a run allocates once (its start-up and its
// outputs) drops out.
double allocationsPerFrameOf(RunnerOptions options) {
    auto allocationsOf = [&](uint64_t cycles, double& frames) {
        options.cycleLimit = cycles;
        uint64_t before = allocations.load(std::memory_order_relaxed);
        RunResult result = runProgram(options, BREADBIN_SIEVE_PRG);
        frames = static_cast<double>(result.frames);
        return static_cast<double>(allocations.load(std::memory_order_relaxed) - before);
    };
    double shortFrames = 0;
    double longFrames = 0;
    double shortRun = allocationsOf(kRunnerCycles / 2, shortFrames);
    double longRun = allocationsOf(kRunnerCycles, longFrames);
    return longFrames > shortFrames ? (longRun - shortRun) / (longFrames - shortFrames) : 0;
}

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
    state.counters[kAllocationsPerFrame] = allocationsPerFrameOf(options);
}

// The runner's options on the minimal machine with the plain processor (the windowed
// program's), which the runs below compare among themselves and with the bare core.
RunnerOptions minimalOptions() {
    RunnerOptions options;
    options.machine = MachineConfig{};
    return options;
}

// No option: the plain loop, no watches.
void RunnerDefault(benchmark::State& state) { runnerBenchmark(state, minimalOptions()); }
BENCHMARK(RunnerDefault)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void RunnerDebugExit(benchmark::State& state) {
    RunnerOptions options = minimalOptions();
    options.debugExit = true;
    runnerBenchmark(state, options);
}
BENCHMARK(RunnerDebugExit)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void RunnerUntilText(benchmark::State& state) {
    RunnerOptions options = minimalOptions();
    options.untilTexts = {"NEVER SHOWN"};
    runnerBenchmark(state, options);
}
BENCHMARK(RunnerUntilText)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void RunnerUntilInput(benchmark::State& state) {
    RunnerOptions options = minimalOptions();
    options.untilInput = true;
    runnerBenchmark(state, options);
}
BENCHMARK(RunnerUntilInput)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The default options with --coverage or --profile (they count alike): every instruction
// counted, and every call measured.
void RunnerCounted(benchmark::State& state) {
    startCounting();
    runnerBenchmark(state, minimalOptions());
    stopCounting();
}
BENCHMARK(RunnerCounted)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void Runner6510(benchmark::State& state) {
    RunnerOptions options = minimalOptions();
    options.machine.cpu = CpuModel::Mos6510;
    runnerBenchmark(state, options);
}
BENCHMARK(Runner6510)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same program on the C64 with the plain processor: its chips, the jiffy interrupt from
// CIA 1's timer, the screen on (bad lines).
void RunnerC64(benchmark::State& state) {
    RunnerOptions options = minimalOptions();
    options.machine.kind = MachineKind::C64;
    runnerBenchmark(state, options);
}
BENCHMARK(RunnerC64)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// From power-on to the program's first instruction on each machine with the built-in
// firmware: the emulated cycles it takes (a counter), and the wall time.
void bootBenchmark(benchmark::State& state, MachineKind kind) {
    uint64_t cycles = 0;
    for (auto _ : state) {
        std::vector<uint8_t> programFile;
        std::string error;
        MachineConfig config;
        config.kind = kind;
        if (!startHeadlessMachine("", BREADBIN_SIEVE_PRG, "", kDefaultRandomSeed, false, config,
                                  programFile, error) ||
            !bootUntilProgramLoaded(kDefaultCycleLimit))
            state.SkipWithError("the firmware did not reach its input loop");
        cycles = cyclesSinceStart();
    }
    state.counters["cycles"] = static_cast<double>(cycles);
}
BENCHMARK_CAPTURE(bootBenchmark, minimal, MachineKind::Minimal)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bootBenchmark, c64, MachineKind::C64)->Unit(benchmark::kMillisecond);

// Loading a 200-block program (50,800 bytes with its load address, at $0400-$C86F) with
// LOAD"BIG",8,1 from drive 8 on a folder and on a D64 image, on the C64: the emulated
// cycles of the LOAD (the stopwatch around it; no drive timing is modelled, so they are
// the firmware's calls around the request) as a counter, and the wall time of the whole
// run, the boot included (bootBenchmark/c64 measures that share).
constexpr std::size_t kBigProgramBlocks = 200;
constexpr uint16_t kBigProgramAddress = 0x0400;

void loadBenchmark(benchmark::State& state, bool image) {
    namespace fs = std::filesystem;
    fs::path folder =
        fs::temp_directory_path() / ("breadbin-load-bench-" + std::to_string(getpid()));
    fs::create_directories(folder / "disk");
    std::vector<uint8_t> big(kBigProgramBlocks * kBlockDataBytes);
    big[0] = kBigProgramAddress & 0xFF;
    big[1] = kBigProgramAddress >> 8;
    for (std::size_t i = kLoadAddressBytes; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 7);
    fs::path drive = folder / "disk";
    if (image) {
        DiskImage disk = blankDiskImage(DiskFormat::D64, "BENCH", "01");
        const uint8_t name[] = {'B', 'I', 'G'};
        if (writeImageFile(disk, makeName(name), FileType::Prg, big))
            state.SkipWithError("the program does not fit the image");
        drive = folder / "big.d64";
        writeHostFileWhole(drive.string(), *disk.bytes);
    } else {
        writeHostFileWhole((drive / "big.prg").string(), big);
    }
    RunnerOptions options;
    options.debugExit = true;
    options.drives = {{kFirstDriveDevice, drive.string(), false}};
    uint64_t loadCycles = 0;
    for (auto _ : state) {
        RunResult result = runProgram(options, BREADBIN_LOAD_PRG);
        if (result.verdict != Verdict::Pass || result.stopwatch.size() != 1) {
            state.SkipWithError(("the load failed: " + result.message).c_str());
            break;
        }
        loadCycles = result.stopwatch.front().total;
    }
    fs::remove_all(folder);
    state.counters["load cycles"] = static_cast<double>(loadCycles);
}
BENCHMARK_CAPTURE(loadBenchmark, folder, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadBenchmark, d64, true)->Unit(benchmark::kMillisecond);

// Each runner, and what it is measured against: the bare core, or the plain run.
struct RunnerAndCore {
    const char* runner;
    const char* bareCore;
};
const RunnerAndCore kRunners[] = {
    {"RunnerDefault", "BareCore/plain"},   {"RunnerDebugExit", "BareCore/plain"},
    {"RunnerUntilText", "BareCore/plain"}, {"RunnerUntilInput", "BareCore/plain"},
    {"RunnerCounted", "RunnerDefault"},    {"Runner6510", "BareCore/6510"}};

// Routine tests: one file of 10,000 tests of a short routine (an 8-bit add, 31 cycles a
// call), read once; each iteration boots the machine once and runs every test from the
// kept state, as breadbin-run --test does.
constexpr int kRoutineTests = 10'000;

TestFile routineTestFile() {
    std::string text = "program = \"" + std::string(BREADBIN_SIEVE_PRG) +
                       "\"\n[defaults]\ncall = \"$C800\"\n"
                       // ADC $FB, STA $C900, LDA #0, ROL A, STA $C901, LDA $C900, RTS
                       "set = { \"$C800\" = [0x65, 0xFB, 0x8D, 0x00, 0xC9, 0xA9, 0x00, 0x2A, "
                       "0x8D, 0x01, 0xC9, 0xAD, 0x00, 0xC9, 0x60] }\n";
    for (int i = 0; i < kRoutineTests; ++i) {
        text += "[[test]]\nname = \"adds " + std::to_string(i) +
                "\"\nset = { a = " + std::to_string(i % 256) +
                ", c = false, \"$FB\" = 1 }\nexpect = { a = " + std::to_string((i + 1) % 256) +
                ", cycles = 31 }\n";
    }
    TestFile file;
    std::string error;
    if (!readTestFile(text, "bench.toml", {}, file, error))
        std::fprintf(stderr, "%s\n", error.c_str());
    return file;
}

void RoutineTests(benchmark::State& state) {
    static const TestFile file = routineTestFile();
    RunnerOptions options = minimalOptions();
    int64_t tests = 0;
    for (auto _ : state) {
        runTests(options, file, [&](const RunResult& result) {
            ++tests;
            if (result.verdict != Verdict::Pass) state.SkipWithError(result.message.c_str());
        });
    }
    state.counters["tests/s"] =
        benchmark::Counter(static_cast<double>(tests), benchmark::Counter::kIsRate);
}
BENCHMARK(RoutineTests)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// What starting one test from the kept state costs: the copy of the whole machine back.
void StartOneTest(benchmark::State& state) {
    static auto kept = std::make_unique<MachineSnapshot>();
    saveMachine(*kept);
    for (auto _ : state) {
        restoreMachine(*kept);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(StartOneTest);

// The console report, keeping the median rate of each benchmark (over its repetitions)
// and its allocations per frame for the summary lines.
class RateKeeper : public benchmark::ConsoleReporter {
public:
    RateKeeper() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            std::string name = run.run_name.function_name;
            bool aggregate = run.run_type == Run::RT_Aggregate;
            if (aggregate && run.aggregate_name != "median") continue;
            auto rate = run.counters.find(kInstructionRate);
            if (rate != run.counters.end() && (aggregate || !medians.count(name)))
                (aggregate ? medians[name] : singles[name]) = rate->second.value;
            if (rate != run.counters.end() && !aggregate && run.repetitions > 1)
                bests[name] = std::max(bests[name], rate->second.value);
            auto allocated = run.counters.find(kAllocationsPerFrame);
            if (allocated != run.counters.end()) allocationsPerFrame[name] = allocated->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double rate(const std::string& name) const {
        if (auto median = medians.find(name); median != medians.end()) return median->second;
        auto single = singles.find(name);
        return single == singles.end() ? 0 : single->second;
    }
    std::map<std::string, double> medians;
    std::map<std::string, double> singles;
    std::map<std::string, double> bests;  // the fastest repetition
    std::map<std::string, double> allocationsPerFrame;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RateKeeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const RunnerAndCore& pair : kRunners) {
        double bare = reporter.rate(pair.bareCore);
        double rate = reporter.rate(pair.runner);
        if (bare <= 0 || rate <= 0) continue;
        double bestBare = reporter.bests[pair.bareCore];
        std::string best =
            bestBare > 0
                ? " (" + std::to_string(100 * reporter.bests[pair.runner] / bestBare).substr(0, 4) +
                      "% best against best)"
                : "";
        std::printf("%-17s %5.1f%% of %s's instructions per second%s, %.4f allocations per frame\n",
                    pair.runner, 100 * rate / bare, pair.bareCore, best.c_str(),
                    reporter.allocationsPerFrame[pair.runner]);
    }
    auto share = [&](const char* model, const char* plain) {
        double base = reporter.rate(plain);
        double rate = reporter.rate(model);
        if (base > 0 && rate > 0)
            std::printf("%-17s %5.1f%% of %s's instructions per second\n", model, 100 * rate / base,
                        plain);
    };
    share("BareCore/6510", "BareCore/plain");
    share("Runner6510", "RunnerDefault");
    share("RunnerC64", "RunnerDefault");
}
