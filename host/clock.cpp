// The steady clock behind both hosts' clockSeconds: a reading and nothing else (no
// events, no presenting).
//
// The window's main loop reads the clock once every few hundred instructions, and a
// system clock read costs as much as a fifth of those instructions. Where the processor
// has an invariant time-stamp counter (x86-64 says so in CPUID), a reading is that
// counter, turned into seconds at the rate it is measured to run against the steady
// clock: each tenth of a second a reading is taken from both, and the rate is measured
// again from the first such pair to the latest, so the two clocks agree at every such
// reading. A pair counts only when the counter, read just before and just after the steady
// clock, moved by little between the two: a thread preempted or interrupted there would
// pin the counter to a clock reading milliseconds away, and the rate measured from such a
// pair is wrong by as much. Until the first rate is known (a millisecond), and where there
// is no such counter, a reading is the steady clock itself. Readings never go backwards.
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
// A pair is the tightest of a few tries, and none wider than this many ticks: a steady
// clock read costs a hundred or so, a preemption millions.
constexpr int kPairTries = 8;
constexpr uint64_t kWidestPairTicks = 20'000;

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

// A steady clock reading and the counter value at the same moment (the middle of the
// counter's readings around it); false when every try was too wide to trust.
bool readPair(uint64_t& ticks, double& seconds) {
    uint64_t narrowest = kWidestPairTicks + 1;
    for (int i = 0; i < kPairTries; ++i) {
        uint64_t before = __rdtsc();
        double reading = systemSeconds();
        uint64_t width = __rdtsc() - before;
        if (width < narrowest) {
            narrowest = width;
            ticks = before + width / 2;
            seconds = reading;
        }
    }
    return narrowest <= kWidestPairTicks;
}

// Reads the steady clock beside the counter and measures the rate again.
double pairedReading() {
    uint64_t ticks = 0;
    double seconds = 0;
    if (!readPair(ticks, seconds)) {
        counter.nextCheck = 0;  // not now: measure at the next reading
        return systemSeconds();
    }
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
                : pairedReading();
        counter.last = std::max(counter.last, seconds);
        return counter.last;
    }
#endif
    return systemSeconds();
}
