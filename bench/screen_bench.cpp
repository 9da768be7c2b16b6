// The text-screen renderer on the headless host: one drawTextScreen call per iteration,
// a full screen of varied codes, colours and glyphs.
#include <benchmark/benchmark.h>

#include <cstring>

#include "host/headless.h"
#include "host/host.h"
#include "machine/machine.h"
#include "machine/screen.h"

namespace {

constexpr int kGlyphBytes = 2048;

// A screen where neighbouring cells differ in code and colour, glyphs of every bit
// pattern, and a background that is not black.
void fillScreen() {
    headlessReset();
    openWindow(kWindowWidth, kWindowHeight, kWindowBitsPerPixel, kWindowPages, kWindowFlags,
               kWindowRefreshRate);
    framebuffer = pixelMemory();
    std::memset(&memory, 0, sizeof memory);
    for (int cell = 0; cell < kScreenCells; ++cell) {
        memory.ram[kScreenMatrix + cell] = static_cast<uint8_t>(cell * 73 + cell / 40);
        memory.ram[kColourMemory + cell] = static_cast<uint8_t>(cell * 5 + cell / 7);
    }
    for (int i = 0; i < kGlyphBytes; ++i)
        memory.charRom[i] = static_cast<uint8_t>(i * 151 + (i >> 3));
    memory.ram[kBackgroundColour] = 6;
}

void BM_DrawTextScreen(benchmark::State& state) {
    fillScreen();
    for (auto _ : state) {
        drawTextScreen();
        benchmark::DoNotOptimize(framebuffer[0]);
        benchmark::ClobberMemory();
    }
    state.counters["strips/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kScreenCells * kGlyphRows,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DrawTextScreen)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
