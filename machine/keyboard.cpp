#include "machine/keyboard.h"

#include <cmath>

#include "host/host.h"

namespace {
constexpr float kNextRandom = 1.0f;  // asks the host for the next value of its sequence
constexpr double kRowBits = 8.0;
}  // namespace

uint8_t randomKeyRow() {
    // nearbyint rounds to nearest with ties to even under the default rounding mode.
    auto n = static_cast<int>(std::nearbyint(randomUnit(kNextRandom) * kRowBits));
    return static_cast<uint8_t>((1 << n) & 0xFF);
}
