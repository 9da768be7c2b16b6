#include "bench/bench_program.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "cpu/state.h"

uint16_t loadBenchProgram(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 3) {
        std::fprintf(stderr, "cannot read the benchmark program %s\n", path);
        std::exit(1);
    }
    auto load = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
    for (std::size_t i = 2; i < bytes.size() && load + i - 2 < kRamSize; ++i) memory.ram[load + i - 2] = bytes[i];
    return load;
}
