// randomUnit for both hosts: the fixed-seed sequence (random.h), after any values that
// tests queued. Ignores randomUnit's argument.
#include "host/random.h"

#include <array>
#include <deque>

#include "host/host.h"

namespace {

constexpr uint64_t splitMix64(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    return z ^ (z >> 31);
}

constexpr std::array<uint64_t, 4> seededState(uint64_t seed) {
    std::array<uint64_t, 4> words{};
    for (uint64_t& word : words) word = splitMix64(seed);
    return words;
}

// The sequence starts from the default seed before anyone asks for a number.
constinit std::array<uint64_t, 4> state = seededState(kDefaultRandomSeed);
std::deque<double> queued;

uint64_t rotateLeft(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

uint64_t nextBits() {
    uint64_t result = rotateLeft(state[1] * 5, 7) * 9;
    uint64_t t = state[1] << 17;
    state[2] ^= state[0];
    state[3] ^= state[1];
    state[1] ^= state[2];
    state[0] ^= state[3];
    state[2] ^= t;
    state[3] = rotateLeft(state[3], 45);
    return result;
}

}  // namespace

void randomReseed(uint64_t seed) {
    state = seededState(seed);
    queued.clear();
}

void randomQueue(double value) { queued.push_back(value); }

// Every request gives the next value; the argument is not consulted.
double randomUnit(float /*request*/) {
    if (!queued.empty()) {
        double value = queued.front();
        queued.pop_front();
        return value;
    }
    constexpr double kTwoToMinus53 = 0x1.0p-53;
    return static_cast<double>(nextBits() >> 11) * kTwoToMinus53;
}
