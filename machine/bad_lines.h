// The processor's waits on the VIC's bad lines (bad_lines.cpp).
#pragma once

#include <cstdint>

#include "machine/vic.h"

// The cycles that the instruction `opcode`, which ran `cycles` cycles from `start`, waits
// for the bad line `bad`; the same for an interrupt's entry from `start`.
uint64_t badLineWaitOfInstruction(const BadLine& bad, uint64_t start, uint8_t opcode,
                                  uint32_t cycles);
uint64_t badLineWaitOfEntry(const BadLine& bad, uint64_t start);
