// The steady clock behind both hosts' clockSeconds: a reading and nothing else (no
// events, no presenting).
#include "host/clock.h"

#include <chrono>

namespace {
const std::chrono::steady_clock::time_point processStart = std::chrono::steady_clock::now();
}

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - processStart).count();
}
