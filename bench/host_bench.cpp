// The host's share of the emulated steps: key polls and clock readings, on the window
// host. Run with SDL_VIDEODRIVER=dummy, or under xvfb-run for a real X window.
#include <benchmark/benchmark.h>

#include "host/host.h"

namespace {

void openTheWindowOnce() {
    static bool opened = [] {
        hostInit(0, nullptr);
        openWindow(640, 480, 32, 2, 0, 60);
        setTextRows(55, 60);
        printText("breadbin host benchmark");
        printLineEnd();
        return true;
    }();
    benchmark::DoNotOptimize(opened);
}

// The host's service, one key poll and one clock reading, with the window's events
// pumped and the page presented every 10 ms. The main loop makes these calls once every
// 256 steps (and at every step while keys are pending), so a step's share is a 256th.
void BM_PollKeyAndClock(benchmark::State& state) {
    openTheWindowOnce();
    for (auto _ : state) {
        hostService();
        benchmark::DoNotOptimize(pollKey());
        benchmark::DoNotOptimize(clockSeconds());
    }
}
BENCHMARK(BM_PollKeyAndClock);

// The same, with the whole page changed before each pair, as after every frame: the
// periodic presentation then has something to show.
void BM_PollKeyAndClockWithChangedPage(benchmark::State& state) {
    openTheWindowOnce();
    for (auto _ : state) {
        lockPixels();
        unlockPixels(-1, -1);
        hostService();
        benchmark::DoNotOptimize(pollKey());
        benchmark::DoNotOptimize(clockSeconds());
    }
}
BENCHMARK(BM_PollKeyAndClockWithChangedPage);

}  // namespace

BENCHMARK_MAIN();
