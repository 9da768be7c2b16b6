// The instruction decoder: one opcode byte to the work of one instruction in a processor
// model, generated from the single opcode table in opcodes.def.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "cpu/addressing.h"
#include "cpu/control.h"
#include "cpu/model.h"
#include "cpu/operations.h"
#include "cpu/undocumented.h"

// The addressing modes, one row each: the instruction's length in bytes and how the
// disassembler shows its operand (a printf format of the operand byte for two-byte
// instructions, of the operand word for three-byte ones, and of the branch target for
// Relative).
// clang-format off
#define BREADBIN_ADDRESSING_MODES(X)         \
    X(Implied,         1, "")                \
    X(Accumulator,     1, " A")              \
    X(Relative,        2, " $%04X")          \
    X(Immediate,       2, " #$%02X")         \
    X(ZeroPage,        2, " $%02X")          \
    X(ZeroPageX,       2, " $%02X,X")        \
    X(ZeroPageY,       2, " $%02X,Y")        \
    X(Absolute,        3, " $%04X")          \
    X(AbsoluteX,       3, " $%04X,X")        \
    X(AbsoluteY,       3, " $%04X,Y")        \
    X(Indirect,        3, " ($%04X)")        \
    X(IndexedIndirect, 2, " ($%02X,X)")      \
    X(IndirectIndexed, 2, " ($%02X),Y")
// clang-format on

enum class AddressingMode : uint8_t {
#define BREADBIN_MODE_NAME(mode, length, format) mode,
    BREADBIN_ADDRESSING_MODES(BREADBIN_MODE_NAME)
#undef BREADBIN_MODE_NAME
};

struct AddressingModeInfo {
    uint8_t length;
    std::string_view operandFormat;
};

inline constexpr AddressingModeInfo kAddressingModeInfo[] = {
#define BREADBIN_MODE_INFO(mode, length, format) {length, format},
    BREADBIN_ADDRESSING_MODES(BREADBIN_MODE_INFO)
#undef BREADBIN_MODE_INFO
};

constexpr const AddressingModeInfo& modeInfo(AddressingMode mode) {
    return kAddressingModeInfo[static_cast<int>(mode)];
}
constexpr uint8_t instructionLength(AddressingMode mode) { return modeInfo(mode).length; }

// What an operation does with the memory at its operand's address (opcodes.def).
enum class Access : uint8_t { None, Read, Write, Modify };

// The stores and the read-modify-write forms: the only instructions that store into
// their operand (pushes only reach page one).
constexpr bool writesOperand(Access access) {
    return access == Access::Write || access == Access::Modify;
}
// The indexed modes always pay their extra cycle for those, whether a page is crossed or not.
constexpr bool alwaysExtraCycle(Access access) { return writesOperand(access); }

// Which processor models have a row of opcodes.def.
enum class RowModels : uint8_t { All, Mos6510 };
constexpr bool modelHasRow(CpuModel model, RowModels rows) {
    return rows == RowModels::All || model == CpuModel::Mos6510;
}

// What an operation does to the stack and the status besides its operand, one row per
// mnemonic that does anything: the bytes it pushes into page one, and whether it loads P
// whole from the stack, so that it may clear status bit 5. (The operations in control.h
// do the work; a test runs every opcode against this table.)
struct StackEffect {
    std::string_view mnemonic;
    uint8_t pushes;
    bool loadsStatus;
};
inline constexpr StackEffect kStackEffects[] = {
    {"BRK", 3, false}, {"JSR", 2, false}, {"PHA", 1, false},
    {"PHP", 1, false}, {"PLP", 0, true},  {"RTI", 0, true},
};
constexpr StackEffect stackEffectOf(std::string_view mnemonic) {
    for (const StackEffect& effect : kStackEffects) {
        if (effect.mnemonic == mnemonic) return effect;
    }
    return {mnemonic, 0, false};
}

// What tools and tests know of an opcode in a model: its mnemonic ("" where the byte has
// no row), its addressing mode, its operand access, its length in bytes (1 for the byte
// values without a row), whether it belongs to the documented instruction set, whether it
// stops the processor (JAM), the bytes it pushes onto the stack and whether it may clear
// status bit 5 (StackEffect).
struct OpcodeInfo {
    std::string_view mnemonic;
    AddressingMode mode;
    Access access;
    uint8_t length;
    bool documented;
    bool halts;
    uint8_t stackPushes;
    bool mayClearBit5;
};

constexpr std::array<OpcodeInfo, 256> opcodeTableOf(CpuModel model) {
    std::array<OpcodeInfo, 256> table{};
    for (auto& row : table)
        row = {"", AddressingMode::Implied, Access::None, 1, false, false, 0, false};
#define OPCODE(byte, mnemonic, mode, access, models, operation) \
    if (modelHasRow(model, RowModels::models))                  \
        table[byte] = {#mnemonic,                               \
                       AddressingMode::mode,                    \
                       Access::access,                          \
                       instructionLength(AddressingMode::mode), \
                       RowModels::models == RowModels::All,     \
                       std::string_view(#mnemonic) == "JAM",    \
                       stackEffectOf(#mnemonic).pushes,         \
                       stackEffectOf(#mnemonic).loadsStatus};
#include "cpu/opcodes.def"
#undef OPCODE
    return table;
}

// The opcode table of each model; kOpcodeInfo is the default model's.
template <CpuModel Model>
inline constexpr std::array<OpcodeInfo, 256> kOpcodeTable = opcodeTableOf(Model);
inline constexpr const std::array<OpcodeInfo, 256>& kOpcodeInfo = kOpcodeTable<kDefaultCpuModel>;

constexpr const OpcodeInfo& opcodeInfo(CpuModel model, uint8_t opcode) {
    return withModel(model, [&](auto m) -> const OpcodeInfo& {
        return kOpcodeTable<decltype(m)::value>[opcode];
    });
}

// Whether an opcode stores into its operand's address.
constexpr bool storesToOperand(CpuModel model, uint8_t opcode) {
    return writesOperand(opcodeInfo(model, opcode).access);
}

// The byte of the one opcode that a mnemonic has in every model (JSR, RTS, BRK), or in
// `mode` where it has several (JMP): the table is the only place that says it. Naming a
// mnemonic with no row, or with several, fails to compile.
constexpr uint8_t opcodeOf(std::string_view mnemonic,
                           std::optional<AddressingMode> mode = std::nullopt) {
    int found = -1;
    for (std::size_t byte = 0; byte < 256; ++byte) {
        const OpcodeInfo& info = kOpcodeTable<CpuModel::Mos6510>[byte];
        if (info.mnemonic != mnemonic || (mode && info.mode != *mode)) continue;
        if (found >= 0 || !kOpcodeInfo[byte].documented) throw "not one opcode of every model";
        found = static_cast<int>(byte);
    }
    if (found < 0) throw "no such mnemonic";
    return static_cast<uint8_t>(found);
}
inline constexpr uint8_t kOpcodeBRK = opcodeOf("BRK");
inline constexpr uint8_t kOpcodeJSR = opcodeOf("JSR");
inline constexpr uint8_t kOpcodeRTS = opcodeOf("RTS");

// The access column is checked against the modes: only a memory operand can be read or
// written, and an immediate operand is never written.
static_assert([] {
    for (const OpcodeInfo& info : kOpcodeTable<CpuModel::Mos6510>) {
        bool memoryOperand = info.mode != AddressingMode::Implied &&
                             info.mode != AddressingMode::Accumulator &&
                             info.mode != AddressingMode::Relative;
        if (info.access != Access::None && !memoryOperand) return false;
        if (writesOperand(info.access) && info.mode == AddressingMode::Immediate) return false;
    }
    return true;
}());

// The fetch that opens a row: `address`, the effective address for the modes with a
// memory operand (0 for the others).
#define BREADBIN_FETCH_Implied(alwaysExtra)         constexpr uint16_t address = 0;
#define BREADBIN_FETCH_Accumulator(alwaysExtra)     constexpr uint16_t address = 0;
#define BREADBIN_FETCH_Relative(alwaysExtra)        constexpr uint16_t address = 0;
#define BREADBIN_FETCH_Immediate(alwaysExtra)       uint16_t address = addrImmediate(c);
#define BREADBIN_FETCH_ZeroPage(alwaysExtra)        uint16_t address = addrZeroPage(c);
#define BREADBIN_FETCH_ZeroPageX(alwaysExtra)       uint16_t address = addrZeroPageX(c);
#define BREADBIN_FETCH_ZeroPageY(alwaysExtra)       uint16_t address = addrZeroPageY(c);
#define BREADBIN_FETCH_Absolute(alwaysExtra)        uint16_t address = addrAbsolute(c);
#define BREADBIN_FETCH_AbsoluteX(alwaysExtra)       uint16_t address = addrAbsoluteX(c, alwaysExtra);
#define BREADBIN_FETCH_AbsoluteY(alwaysExtra)       uint16_t address = addrAbsoluteY(c, alwaysExtra);
#define BREADBIN_FETCH_Indirect(alwaysExtra)        uint16_t address = addrIndirect<Model>(c);
#define BREADBIN_FETCH_IndexedIndirect(alwaysExtra) uint16_t address = addrIndexedIndirect(c);
#define BREADBIN_FETCH_IndirectIndexed(alwaysExtra) \
    uint16_t address = addrIndirectIndexed(c, alwaysExtra);

// Instruction<Model, byte>::execute runs the row of that byte in that model: its fetcher,
// then its operation, and returns the effective address (0 without a memory operand), for
// a step policy that looks at where an instruction stored. A byte without a row in the
// model does nothing.
template <CpuModel Model, uint8_t Opcode>
struct Instruction {
    template <class P>
    [[gnu::always_inline]] static inline uint16_t execute(P&) {
        return 0;
    }
};
#define OPCODE(byte, mnemonic, mode, access, models, operation)                        \
    template <CpuModel Model>                                                          \
    struct Instruction<Model, byte> {                                                  \
        template <class P>                                                             \
        [[gnu::always_inline]] static inline uint16_t execute([[maybe_unused]] P& c) { \
            if constexpr (!modelHasRow(Model, RowModels::models)) {                    \
                return 0;                                                              \
            } else {                                                                   \
                BREADBIN_FETCH_##mode(alwaysExtraCycle(Access::access)) operation;     \
                return address;                                                        \
            }                                                                          \
        }                                                                              \
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

// Executes one instruction of the model on the register set `c` (on the flat bus), whose
// opcode has just been fetched: regPC addresses the byte after it and the fetch's 2
// cycles are charged.
template <CpuModel Model = kDefaultCpuModel>
[[gnu::always_inline]] inline void executeOpcode(CpuState& registers, uint8_t opcode) {
    Processor<Model> c{registers};
    switch (opcode) {
#define BREADBIN_CASE(byte) \
    case byte: Instruction<Model, byte>::execute(c); break;
        BREADBIN_FOR_EACH_BYTE(BREADBIN_CASE)
#undef BREADBIN_CASE
    }
    registers = c;
}

// Executes one instruction on the program-wide registers `cpu`, in the default model or
// in the one given.
void executeOpcode(uint8_t opcode);
void executeOpcode(CpuModel model, uint8_t opcode);
