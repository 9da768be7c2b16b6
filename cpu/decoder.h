// The instruction decoder: one opcode byte to the work of one instruction, generated
// from the single opcode table in opcodes.def.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "cpu/addressing.h"
#include "cpu/control.h"
#include "cpu/operations.h"

enum class AddressingMode : uint8_t {
    Implied,
    Accumulator,
    Relative,
    Immediate,
    ZeroPage,
    ZeroPageX,
    ZeroPageY,
    Absolute,
    AbsoluteX,
    AbsoluteY,
    Indirect,
    IndexedIndirect,
    IndirectIndexed,
};

// What tools and tests know of an opcode: its mnemonic ("" where the byte has no row),
// its addressing mode and its length in bytes (1 for the byte values without a row).
struct OpcodeInfo {
    std::string_view mnemonic;
    AddressingMode mode;
    uint8_t length;
    bool alwaysExtraCycle;
    bool documented;
};

constexpr uint8_t instructionLength(AddressingMode mode) {
    switch (mode) {
        case AddressingMode::Implied:
        case AddressingMode::Accumulator: return 1;
        case AddressingMode::Absolute:
        case AddressingMode::AbsoluteX:
        case AddressingMode::AbsoluteY:
        case AddressingMode::Indirect: return 3;
        default: return 2;
    }
}

inline constexpr std::array<OpcodeInfo, 256> kOpcodeInfo = [] {
    std::array<OpcodeInfo, 256> table{};
    for (auto& row : table) row = {"", AddressingMode::Implied, 1, false, false};
#define OPCODE(byte, mnemonic, mode, extra, operation)                                       \
    table[byte] = {#mnemonic, AddressingMode::mode, instructionLength(AddressingMode::mode), \
                   extra != 0, true};
#include "cpu/opcodes.def"
#undef OPCODE
    return table;
}();

// The fetch that opens a row: declares `address` for the modes with a memory operand.
#define BREADBIN_FETCH_Implied(extra)
#define BREADBIN_FETCH_Accumulator(extra)
#define BREADBIN_FETCH_Relative(extra)
#define BREADBIN_FETCH_Immediate(extra)       uint16_t address = addrImmediate(c);
#define BREADBIN_FETCH_ZeroPage(extra)        uint16_t address = addrZeroPage(c);
#define BREADBIN_FETCH_ZeroPageX(extra)       uint16_t address = addrZeroPageX(c);
#define BREADBIN_FETCH_ZeroPageY(extra)       uint16_t address = addrZeroPageY(c);
#define BREADBIN_FETCH_Absolute(extra)        uint16_t address = addrAbsolute(c);
#define BREADBIN_FETCH_AbsoluteX(extra)       uint16_t address = addrAbsoluteX(c, extra);
#define BREADBIN_FETCH_AbsoluteY(extra)       uint16_t address = addrAbsoluteY(c, extra);
#define BREADBIN_FETCH_Indirect(extra)        uint16_t address = addrIndirect(c);
#define BREADBIN_FETCH_IndexedIndirect(extra) uint16_t address = addrIndexedIndirect(c);
#define BREADBIN_FETCH_IndirectIndexed(extra) uint16_t address = addrIndirectIndexed(c, extra);

// Instruction<byte>::execute runs the row of that byte: its fetcher, then its operation.
// A byte without a row does nothing.
template <uint8_t Opcode>
struct Instruction {
    [[gnu::always_inline]] static inline void execute(CpuState&) {}
};
#define OPCODE(byte, mnemonic, mode, extra, operation)                   \
    template <>                                                          \
    struct Instruction<byte> {                                           \
        [[gnu::always_inline]] static inline void execute(CpuState& c) { \
            BREADBIN_FETCH_##mode(extra) operation;                      \
        }                                                                \
    };
#include "cpu/opcodes.def"
#undef OPCODE

// Expands X(0x00) ... X(0xFF), for code that needs one piece per byte value.
// clang-format off
#define BREADBIN_BYTES_OF_ROW(X, h)                                                             \
    X(0x##h##0) X(0x##h##1) X(0x##h##2) X(0x##h##3) X(0x##h##4) X(0x##h##5) X(0x##h##6)       \
    X(0x##h##7) X(0x##h##8) X(0x##h##9) X(0x##h##A) X(0x##h##B) X(0x##h##C) X(0x##h##D)       \
    X(0x##h##E) X(0x##h##F)
#define BREADBIN_FOR_EACH_BYTE(X)                                                               \
    BREADBIN_BYTES_OF_ROW(X, 0) BREADBIN_BYTES_OF_ROW(X, 1) BREADBIN_BYTES_OF_ROW(X, 2)       \
    BREADBIN_BYTES_OF_ROW(X, 3) BREADBIN_BYTES_OF_ROW(X, 4) BREADBIN_BYTES_OF_ROW(X, 5)       \
    BREADBIN_BYTES_OF_ROW(X, 6) BREADBIN_BYTES_OF_ROW(X, 7) BREADBIN_BYTES_OF_ROW(X, 8)       \
    BREADBIN_BYTES_OF_ROW(X, 9) BREADBIN_BYTES_OF_ROW(X, A) BREADBIN_BYTES_OF_ROW(X, B)       \
    BREADBIN_BYTES_OF_ROW(X, C) BREADBIN_BYTES_OF_ROW(X, D) BREADBIN_BYTES_OF_ROW(X, E)       \
    BREADBIN_BYTES_OF_ROW(X, F)
// clang-format on

// Executes one instruction on the register set `c`, whose opcode has just been fetched:
// regPC addresses the byte after it and the fetch's 2 cycles are charged.
[[gnu::always_inline]] inline void executeOpcode(CpuState& c, uint8_t opcode) {
    switch (opcode) {
#define BREADBIN_CASE(byte) \
    case byte: Instruction<byte>::execute(c); break;
        BREADBIN_FOR_EACH_BYTE(BREADBIN_CASE)
#undef BREADBIN_CASE
    }
}

// Whether an opcode stores into its operand's address: the stores and the memory forms
// of the read-modify-write instructions (pushes only reach page one).
constexpr bool storesToOperand(uint8_t opcode) {
    const OpcodeInfo& info = kOpcodeInfo[opcode];
    if (!info.documented || info.mode == AddressingMode::Accumulator) return false;
    for (std::string_view writer :
         {"STA", "STX", "STY", "ASL", "LSR", "ROL", "ROR", "INC", "DEC"}) {
        if (info.mnemonic == writer) return true;
    }
    return false;
}

// The effective address of the instruction at c.regPC, worked out on a copy of the
// registers, so that nothing changes; 0 for the modes without a memory operand.
inline uint16_t peekEffectiveAddress(const CpuState& c) {
    CpuState probe = c;
    uint8_t opcode = readByte(probe.regPC++);
    const OpcodeInfo& info = kOpcodeInfo[opcode];
    switch (info.mode) {
        case AddressingMode::Immediate: return addrImmediate(probe);
        case AddressingMode::ZeroPage: return addrZeroPage(probe);
        case AddressingMode::ZeroPageX: return addrZeroPageX(probe);
        case AddressingMode::ZeroPageY: return addrZeroPageY(probe);
        case AddressingMode::Absolute: return addrAbsolute(probe);
        case AddressingMode::AbsoluteX: return addrAbsoluteX(probe, info.alwaysExtraCycle);
        case AddressingMode::AbsoluteY: return addrAbsoluteY(probe, info.alwaysExtraCycle);
        case AddressingMode::Indirect: return addrIndirect(probe);
        case AddressingMode::IndexedIndirect: return addrIndexedIndirect(probe);
        case AddressingMode::IndirectIndexed:
            return addrIndirectIndexed(probe, info.alwaysExtraCycle);
        default: return 0;
    }
}

// Executes one instruction on the program-wide registers `cpu`.
void executeOpcode(uint8_t opcode);
