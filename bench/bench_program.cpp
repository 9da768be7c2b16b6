#include "bench/bench_program.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "cpu/interpreter.h"

uint16_t loadBenchProgram(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    if (bytes.size() < 3) {
        std::fprintf(stderr, "cannot read the benchmark program %s\n", path);
        std::exit(1);
    }
    auto load = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
    for (std::size_t i = 2; i < bytes.size() && load + i - 2 < kRamSize; ++i)
        memory.ram[load + i - 2] = bytes[i];
    return load;
}

bool sieveCountIsRight() {
    return memory.ram[kSieveResult] + 256 * memory.ram[kSieveResult + 1] == kSievePrimes;
}

void reportInstructionRate(benchmark::State& state, uint64_t instructions) {
    state.counters[kInstructionRate] =
        benchmark::Counter(static_cast<double>(instructions), benchmark::Counter::kIsRate);
}

void benchBareCore(benchmark::State& state, const char* path, CpuModel model) {
    constexpr uint64_t kBatch = 10'000'000;
    cpu = CpuState{};
    memory = MemoryMap{};
    memory.ram[0x0001] = 0xE7;
    cpu.regPC = loadBenchProgram(path);
    for (auto _ : state) runInstructions(kBatch, model);
    if (!sieveCountIsRight()) state.SkipWithError("the sieve gave a wrong count of primes");
    reportInstructionRate(state, kBatch * state.iterations());
}
