// The processor's waits on the VIC's bad lines (bad_lines.cpp).
#pragma once

#include <cstdint>

#include "machine/vic.h"

// The most cycles a step takes (an instruction, an interrupt's entry): a leg ends before a
// step that starts within this many cycles of a bad line's cycle 12.
inline constexpr uint64_t kLongestStepCycles = 8;

// Whether a step that starts at `now` may meet the bad line `bad`.
bool nearBadLine(const BadLine& bad, uint64_t now);
// The cycles the instruction at regPC, starting at `now`, waits for the bad line; the same
// for an interrupt's entry.
uint64_t badLineWaitOfInstruction(const BadLine& bad, uint64_t now);
uint64_t badLineWaitOfEntry(const BadLine& bad, uint64_t now);
