// The steady clock behind both hosts' clockSeconds: a reading and nothing else (no
// events, no presenting).
//
// The window's main loop reads the clock once every few hundred instructions, and a
// system clock read costs as much as a fifth of those instructions. Where the processor
// has an invariant time-stamp counter (x86-64 says so in CPUID), a reading is that
// counter, turned into seconds at the rate it is measured to run against the steady
// clock: each tenth of a second a reading is taken from both, and the rate is measured
// again from the first such pair to the latest, so the two clocks agree at every such
// reading. Until the first rate is known (a millisecond), and where there is no such
// counter, a reading is the steady clock itself. Readings never go backwards.
#include "host/clock.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#if defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace {

const std::chrono::steady_clock::time_point processStart = std::chrono::steady_clock::now();

double systemSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - processStart).count();
}

#if defined(__x86_64__)
constexpr double kFirstRateAfterSeconds = 0.001;
constexpr double kRateCheckSeconds = 0.1;

bool hasInvariantCounter() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(0x80000000, &a, &b, &c, &d) || a < 0x80000007) return false;
    __get_cpuid(0x80000007, &a, &b, &c, &d);
    return (d & (1u << 8)) != 0;
}

struct CounterClock {
    bool usable = hasInvariantCounter();
    bool anchored = false;
    uint64_t anchorTicks = 0;  // the first pair of readings
    double anchorSeconds = 0;
    double secondsPerTick = 0;  // 0 until measured
    uint64_t nextCheck = 0;     // the counter value at which the rate is measured again
    double last = 0;            // the latest reading given
};
CounterClock counter;

// Reads the steady clock beside the counter value `ticks` and measures the rate again.
double pairedReading(uint64_t ticks) {
    double seconds = systemSeconds();
    if (!counter.anchored) {
        counter = {true, true, ticks, seconds, 0, ticks, 0};
        return seconds;
    }
    double elapsed = seconds - counter.anchorSeconds;
    if (elapsed >= kFirstRateAfterSeconds && ticks > counter.anchorTicks) {
        counter.secondsPerTick = elapsed / static_cast<double>(ticks - counter.anchorTicks);
        counter.nextCheck =
            ticks + static_cast<uint64_t>(kRateCheckSeconds / counter.secondsPerTick);
    } else {
        counter.nextCheck = ticks;  // not yet: measure at the next reading
    }
    return seconds;
}
#endif

}  // namespace

double steadySeconds() {
#if defined(__x86_64__)
    if (counter.usable) {
        uint64_t ticks = __rdtsc();
        double seconds =
            counter.secondsPerTick != 0 && ticks < counter.nextCheck
                ? counter.anchorSeconds +
                      // signed: another core's counter may lag the anchor by a little
                      static_cast<double>(static_cast<int64_t>(ticks - counter.anchorTicks)) *
                          counter.secondsPerTick
                : pairedReading(ticks);
        counter.last = std::max(counter.last, seconds);
        return counter.last;
    }
#endif
    return systemSeconds();
}
