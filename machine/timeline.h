// The machine's time: cycles counted from reset. Each chip is up to date with some cycle,
// says at which cycle it next needs to act, and is brought up to the cycle of an access
// before it answers; nothing polls a chip per cycle.
#pragma once

#include <cstdint>

// A cycle that never comes: no event due.
inline constexpr uint64_t kNever = UINT64_MAX;
