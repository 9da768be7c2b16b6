// The keyboard port stub. There is no model of the keyboard matrix: while $DC00 (the
// column select, read through the processor's banking) holds $FE, every call stores a
// random byte with exactly one bit set, or none, into $DC01.
#pragma once

#include "cpu/state.h"
#include "machine/machine.h"

inline constexpr uint8_t kScanColumnZero = 0xFE;

// The row byte for one random draw: 1 << n with n = r * 8 rounded half to even, so $00
// (n = 8) and $01 come with probability 1/16 and each other bit with 1/8.
uint8_t randomKeyRow();

// The stub's work after a step: one read and one comparison on the common path. The main
// loop calls it after every leg, which ends after a store that can make $DC00 read $FE
// (see step_loop.h).
inline void updateKeyboardPort() {
    if (readByte(kKeyboardColumnSelect) != kScanColumnZero) [[likely]]
        return;
    writeByte(kKeyboardRowData, randomKeyRow());
}
