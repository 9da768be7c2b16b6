// What the processor tests share: short flag names for their tables, a register set
// with the stack pointer at the top of page one, a hex spelling for messages, and a
// cleared machine.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cpu/state.h"

namespace cpu_fixture {

inline constexpr uint8_t N = kFlagN;
inline constexpr uint8_t V = kFlagV;
inline constexpr uint8_t B = kFlagB;
inline constexpr uint8_t D = kFlagD;
inline constexpr uint8_t I = kFlagI;
inline constexpr uint8_t Z = kFlagZ;
inline constexpr uint8_t C = kFlagC;

struct Registers {
    uint8_t a = 0;
    uint8_t x = 0;
    uint8_t y = 0;
    uint8_t s = 0xFF;
    uint8_t p = 0;
};

inline std::string hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "$%02X", value);
    return text;
}

// All memory and every register zero: with ram[$01] = 0 no ROM is visible.
inline void clearMachine() {
    std::memset(&memory, 0, sizeof memory);
    cpu = CpuState{};
}

}  // namespace cpu_fixture
