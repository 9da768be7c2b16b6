// The opcode charts of the documented 6502 (the plain model) and of the 6510 with its
// undocumented opcodes, typed here from the published timings and kept apart from the
// core's own table: mnemonic, addressing mode, length and cycles for every byte value.
// Each opcode is executed in its model to measure what it really costs and how far it
// moves regPC, and every opcode with a memory operand is checked to reach the cell its
// mode names.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "cpu/decoder.h"
#include "cpu/interpreter.h"
#include "cpu_fixture.h"

namespace {

using namespace cpu_fixture;

constexpr AddressingMode ___ = AddressingMode::Implied;  // byte values without an instruction
constexpr AddressingMode IMP = AddressingMode::Implied;
constexpr AddressingMode ACC = AddressingMode::Accumulator;
constexpr AddressingMode REL = AddressingMode::Relative;
constexpr AddressingMode IMM = AddressingMode::Immediate;
constexpr AddressingMode ZP_ = AddressingMode::ZeroPage;
constexpr AddressingMode ZPX = AddressingMode::ZeroPageX;
constexpr AddressingMode ZPY = AddressingMode::ZeroPageY;
constexpr AddressingMode ABS = AddressingMode::Absolute;
constexpr AddressingMode ABX = AddressingMode::AbsoluteX;
constexpr AddressingMode ABY = AddressingMode::AbsoluteY;
constexpr AddressingMode IND = AddressingMode::Indirect;
constexpr AddressingMode IZX = AddressingMode::IndexedIndirect;
constexpr AddressingMode IZY = AddressingMode::IndirectIndexed;

// Rows are the high nibble of the opcode, columns the low nibble.
// clang-format off
constexpr std::string_view kMnemonic[256] = {
    // x0   x1     x2     x3     x4     x5     x6     x7     x8     x9     xA     xB     xC     xD     xE     xF
    "BRK", "ORA", "",    "",    "",    "ORA", "ASL", "",    "PHP", "ORA", "ASL", "",    "",    "ORA", "ASL", "",  // 0x
    "BPL", "ORA", "",    "",    "",    "ORA", "ASL", "",    "CLC", "ORA", "",    "",    "",    "ORA", "ASL", "",  // 1x
    "JSR", "AND", "",    "",    "BIT", "AND", "ROL", "",    "PLP", "AND", "ROL", "",    "BIT", "AND", "ROL", "",  // 2x
    "BMI", "AND", "",    "",    "",    "AND", "ROL", "",    "SEC", "AND", "",    "",    "",    "AND", "ROL", "",  // 3x
    "RTI", "EOR", "",    "",    "",    "EOR", "LSR", "",    "PHA", "EOR", "LSR", "",    "JMP", "EOR", "LSR", "",  // 4x
    "BVC", "EOR", "",    "",    "",    "EOR", "LSR", "",    "CLI", "EOR", "",    "",    "",    "EOR", "LSR", "",  // 5x
    "RTS", "ADC", "",    "",    "",    "ADC", "ROR", "",    "PLA", "ADC", "ROR", "",    "JMP", "ADC", "ROR", "",  // 6x
    "BVS", "ADC", "",    "",    "",    "ADC", "ROR", "",    "SEI", "ADC", "",    "",    "",    "ADC", "ROR", "",  // 7x
    "",    "STA", "",    "",    "STY", "STA", "STX", "",    "DEY", "",    "TXA", "",    "STY", "STA", "STX", "",  // 8x
    "BCC", "STA", "",    "",    "STY", "STA", "STX", "",    "TYA", "STA", "TXS", "",    "",    "STA", "",    "",  // 9x
    "LDY", "LDA", "LDX", "",    "LDY", "LDA", "LDX", "",    "TAY", "LDA", "TAX", "",    "LDY", "LDA", "LDX", "",  // Ax
    "BCS", "LDA", "",    "",    "LDY", "LDA", "LDX", "",    "CLV", "LDA", "TSX", "",    "LDY", "LDA", "LDX", "",  // Bx
    "CPY", "CMP", "",    "",    "CPY", "CMP", "DEC", "",    "INY", "CMP", "DEX", "",    "CPY", "CMP", "DEC", "",  // Cx
    "BNE", "CMP", "",    "",    "",    "CMP", "DEC", "",    "CLD", "CMP", "",    "",    "",    "CMP", "DEC", "",  // Dx
    "CPX", "SBC", "",    "",    "CPX", "SBC", "INC", "",    "INX", "SBC", "NOP", "",    "CPX", "SBC", "INC", "",  // Ex
    "BEQ", "SBC", "",    "",    "",    "SBC", "INC", "",    "SED", "SBC", "",    "",    "",    "SBC", "INC", "",  // Fx
};
// clang-format on

// clang-format off
constexpr AddressingMode kMode[256] = {
    // x0 x1  x2   x3   x4   x5   x6   x7   x8   x9   xA   xB   xC   xD   xE   xF
    IMP, IZX, ___, ___, ___, ZP_, ZP_, ___, IMP, IMM, ACC, ___, ___, ABS, ABS, ___,  // 0x
    REL, IZY, ___, ___, ___, ZPX, ZPX, ___, IMP, ABY, ___, ___, ___, ABX, ABX, ___,  // 1x
    ABS, IZX, ___, ___, ZP_, ZP_, ZP_, ___, IMP, IMM, ACC, ___, ABS, ABS, ABS, ___,  // 2x
    REL, IZY, ___, ___, ___, ZPX, ZPX, ___, IMP, ABY, ___, ___, ___, ABX, ABX, ___,  // 3x
    IMP, IZX, ___, ___, ___, ZP_, ZP_, ___, IMP, IMM, ACC, ___, ABS, ABS, ABS, ___,  // 4x
    REL, IZY, ___, ___, ___, ZPX, ZPX, ___, IMP, ABY, ___, ___, ___, ABX, ABX, ___,  // 5x
    IMP, IZX, ___, ___, ___, ZP_, ZP_, ___, IMP, IMM, ACC, ___, IND, ABS, ABS, ___,  // 6x
    REL, IZY, ___, ___, ___, ZPX, ZPX, ___, IMP, ABY, ___, ___, ___, ABX, ABX, ___,  // 7x
    ___, IZX, ___, ___, ZP_, ZP_, ZP_, ___, IMP, ___, IMP, ___, ABS, ABS, ABS, ___,  // 8x
    REL, IZY, ___, ___, ZPX, ZPX, ZPY, ___, IMP, ABY, IMP, ___, ___, ABX, ___, ___,  // 9x
    IMM, IZX, IMM, ___, ZP_, ZP_, ZP_, ___, IMP, IMM, IMP, ___, ABS, ABS, ABS, ___,  // Ax
    REL, IZY, ___, ___, ZPX, ZPX, ZPY, ___, IMP, ABY, IMP, ___, ABX, ABX, ABY, ___,  // Bx
    IMM, IZX, ___, ___, ZP_, ZP_, ZP_, ___, IMP, IMM, IMP, ___, ABS, ABS, ABS, ___,  // Cx
    REL, IZY, ___, ___, ___, ZPX, ZPX, ___, IMP, ABY, ___, ___, ___, ABX, ABX, ___,  // Dx
    IMM, IZX, ___, ___, ZP_, ZP_, ZP_, ___, IMP, IMM, IMP, ___, ABS, ABS, ABS, ___,  // Ex
    REL, IZY, ___, ___, ___, ZPX, ZPX, ___, IMP, ABY, ___, ___, ___, ABX, ABX, ___,  // Fx
};
// clang-format on

// Bytes per instruction; the byte values without an instruction are one byte long.
// clang-format off
constexpr uint8_t kLength[256] = {
    // 1 2 3 4 5 6 7 8 9 A B C D E F
    1, 2, 1, 1, 1, 2, 2, 1, 1, 2, 1, 1, 1, 3, 3, 1,  // 0x
    2, 2, 1, 1, 1, 2, 2, 1, 1, 3, 1, 1, 1, 3, 3, 1,  // 1x
    3, 2, 1, 1, 2, 2, 2, 1, 1, 2, 1, 1, 3, 3, 3, 1,  // 2x
    2, 2, 1, 1, 1, 2, 2, 1, 1, 3, 1, 1, 1, 3, 3, 1,  // 3x
    1, 2, 1, 1, 1, 2, 2, 1, 1, 2, 1, 1, 3, 3, 3, 1,  // 4x
    2, 2, 1, 1, 1, 2, 2, 1, 1, 3, 1, 1, 1, 3, 3, 1,  // 5x
    1, 2, 1, 1, 1, 2, 2, 1, 1, 2, 1, 1, 3, 3, 3, 1,  // 6x
    2, 2, 1, 1, 1, 2, 2, 1, 1, 3, 1, 1, 1, 3, 3, 1,  // 7x
    1, 2, 1, 1, 2, 2, 2, 1, 1, 1, 1, 1, 3, 3, 3, 1,  // 8x
    2, 2, 1, 1, 2, 2, 2, 1, 1, 3, 1, 1, 1, 3, 1, 1,  // 9x
    2, 2, 2, 1, 2, 2, 2, 1, 1, 2, 1, 1, 3, 3, 3, 1,  // Ax
    2, 2, 1, 1, 2, 2, 2, 1, 1, 3, 1, 1, 3, 3, 3, 1,  // Bx
    2, 2, 1, 1, 2, 2, 2, 1, 1, 2, 1, 1, 3, 3, 3, 1,  // Cx
    2, 2, 1, 1, 1, 2, 2, 1, 1, 3, 1, 1, 1, 3, 3, 1,  // Dx
    2, 2, 1, 1, 2, 2, 2, 1, 1, 2, 1, 1, 3, 3, 3, 1,  // Ex
    2, 2, 1, 1, 1, 2, 2, 1, 1, 3, 1, 1, 1, 3, 3, 1,  // Fx
};
// clang-format on

// Cycles in all: no page crossed, branch not taken. Stores and read-modify-write forms
// pay their indexed mode's extra cycle always, so it is already in their figure.
// clang-format off
constexpr uint8_t kCycles[256] = {
    // 1 2 3 4 5 6 7 8 9 A B C D E F
    7, 6, 2, 2, 2, 3, 5, 2, 3, 2, 2, 2, 2, 4, 6, 2,  // 0x
    2, 5, 2, 2, 2, 4, 6, 2, 2, 4, 2, 2, 2, 4, 7, 2,  // 1x
    6, 6, 2, 2, 3, 3, 5, 2, 4, 2, 2, 2, 4, 4, 6, 2,  // 2x
    2, 5, 2, 2, 2, 4, 6, 2, 2, 4, 2, 2, 2, 4, 7, 2,  // 3x
    6, 6, 2, 2, 2, 3, 5, 2, 3, 2, 2, 2, 3, 4, 6, 2,  // 4x
    2, 5, 2, 2, 2, 4, 6, 2, 2, 4, 2, 2, 2, 4, 7, 2,  // 5x
    6, 6, 2, 2, 2, 3, 5, 2, 4, 2, 2, 2, 5, 4, 6, 2,  // 6x
    2, 5, 2, 2, 2, 4, 6, 2, 2, 4, 2, 2, 2, 4, 7, 2,  // 7x
    2, 6, 2, 2, 3, 3, 3, 2, 2, 2, 2, 2, 4, 4, 4, 2,  // 8x
    2, 6, 2, 2, 4, 4, 4, 2, 2, 5, 2, 2, 2, 5, 2, 2,  // 9x
    2, 6, 2, 2, 3, 3, 3, 2, 2, 2, 2, 2, 4, 4, 4, 2,  // Ax
    2, 5, 2, 2, 4, 4, 4, 2, 2, 4, 2, 2, 4, 4, 4, 2,  // Bx
    2, 6, 2, 2, 3, 3, 5, 2, 2, 2, 2, 2, 4, 4, 6, 2,  // Cx
    2, 5, 2, 2, 2, 4, 6, 2, 2, 4, 2, 2, 2, 4, 7, 2,  // Dx
    2, 6, 2, 2, 3, 3, 5, 2, 2, 2, 2, 2, 4, 4, 6, 2,  // Ex
    2, 5, 2, 2, 2, 4, 6, 2, 2, 4, 2, 2, 2, 4, 7, 2,  // Fx
};
// clang-format on

// 'p': one cycle more when the indexed address crosses a page; 'b': a branch.
// clang-format off
constexpr std::string_view kSurcharge[16] = {
    "................",  // 0x
    "bp.......p...p..",  // 1x
    "................",  // 2x
    "bp.......p...p..",  // 3x
    "................",  // 4x
    "bp.......p...p..",  // 5x
    "................",  // 6x
    "bp.......p...p..",  // 7x
    "................",  // 8x
    "b...............",  // 9x
    "................",  // Ax
    "bp.......p..ppp.",  // Bx
    "................",  // Cx
    "bp.......p...p..",  // Dx
    "................",  // Ex
    "bp.......p...p..",  // Fx
};
// clang-format on

// The 6510's chart: every byte value is an instruction.
// clang-format off
constexpr std::string_view kMnemonic6510[256] = {
    // x0   x1     x2     x3     x4     x5     x6     x7     x8     x9     xA     xB      xC     xD     xE     xF
    "BRK", "ORA", "JAM", "SLO", "NOP", "ORA", "ASL", "SLO", "PHP", "ORA", "ASL", "ANC",  "NOP", "ORA", "ASL", "SLO",  // 0x
    "BPL", "ORA", "JAM", "SLO", "NOP", "ORA", "ASL", "SLO", "CLC", "ORA", "NOP", "SLO",  "NOP", "ORA", "ASL", "SLO",  // 1x
    "JSR", "AND", "JAM", "RLA", "BIT", "AND", "ROL", "RLA", "PLP", "AND", "ROL", "ANC",  "BIT", "AND", "ROL", "RLA",  // 2x
    "BMI", "AND", "JAM", "RLA", "NOP", "AND", "ROL", "RLA", "SEC", "AND", "NOP", "RLA",  "NOP", "AND", "ROL", "RLA",  // 3x
    "RTI", "EOR", "JAM", "SRE", "NOP", "EOR", "LSR", "SRE", "PHA", "EOR", "LSR", "ALR",  "JMP", "EOR", "LSR", "SRE",  // 4x
    "BVC", "EOR", "JAM", "SRE", "NOP", "EOR", "LSR", "SRE", "CLI", "EOR", "NOP", "SRE",  "NOP", "EOR", "LSR", "SRE",  // 5x
    "RTS", "ADC", "JAM", "RRA", "NOP", "ADC", "ROR", "RRA", "PLA", "ADC", "ROR", "ARR",  "JMP", "ADC", "ROR", "RRA",  // 6x
    "BVS", "ADC", "JAM", "RRA", "NOP", "ADC", "ROR", "RRA", "SEI", "ADC", "NOP", "RRA",  "NOP", "ADC", "ROR", "RRA",  // 7x
    "NOP", "STA", "NOP", "SAX", "STY", "STA", "STX", "SAX", "DEY", "NOP", "TXA", "ANE",  "STY", "STA", "STX", "SAX",  // 8x
    "BCC", "STA", "JAM", "SHA", "STY", "STA", "STX", "SAX", "TYA", "STA", "TXS", "TAS",  "SHY", "STA", "SHX", "SHA",  // 9x
    "LDY", "LDA", "LDX", "LAX", "LDY", "LDA", "LDX", "LAX", "TAY", "LDA", "TAX", "LXA",  "LDY", "LDA", "LDX", "LAX",  // Ax
    "BCS", "LDA", "JAM", "LAX", "LDY", "LDA", "LDX", "LAX", "CLV", "LDA", "TSX", "LAS",  "LDY", "LDA", "LDX", "LAX",  // Bx
    "CPY", "CMP", "NOP", "DCP", "CPY", "CMP", "DEC", "DCP", "INY", "CMP", "DEX", "SBX",  "CPY", "CMP", "DEC", "DCP",  // Cx
    "BNE", "CMP", "JAM", "DCP", "NOP", "CMP", "DEC", "DCP", "CLD", "CMP", "NOP", "DCP",  "NOP", "CMP", "DEC", "DCP",  // Dx
    "CPX", "SBC", "NOP", "ISC", "CPX", "SBC", "INC", "ISC", "INX", "SBC", "NOP", "USBC", "CPX", "SBC", "INC", "ISC",  // Ex
    "BEQ", "SBC", "JAM", "ISC", "NOP", "SBC", "INC", "ISC", "SED", "SBC", "NOP", "ISC",  "NOP", "SBC", "INC", "ISC",  // Fx
};
// clang-format on

// clang-format off
constexpr AddressingMode kMode6510[256] = {
    // x0 x1  x2   x3   x4   x5   x6   x7   x8   x9   xA   xB   xC   xD   xE   xF
    IMP, IZX, IMP, IZX, ZP_, ZP_, ZP_, ZP_, IMP, IMM, ACC, IMM, ABS, ABS, ABS, ABS,  // 0x
    REL, IZY, IMP, IZY, ZPX, ZPX, ZPX, ZPX, IMP, ABY, IMP, ABY, ABX, ABX, ABX, ABX,  // 1x
    ABS, IZX, IMP, IZX, ZP_, ZP_, ZP_, ZP_, IMP, IMM, ACC, IMM, ABS, ABS, ABS, ABS,  // 2x
    REL, IZY, IMP, IZY, ZPX, ZPX, ZPX, ZPX, IMP, ABY, IMP, ABY, ABX, ABX, ABX, ABX,  // 3x
    IMP, IZX, IMP, IZX, ZP_, ZP_, ZP_, ZP_, IMP, IMM, ACC, IMM, ABS, ABS, ABS, ABS,  // 4x
    REL, IZY, IMP, IZY, ZPX, ZPX, ZPX, ZPX, IMP, ABY, IMP, ABY, ABX, ABX, ABX, ABX,  // 5x
    IMP, IZX, IMP, IZX, ZP_, ZP_, ZP_, ZP_, IMP, IMM, ACC, IMM, IND, ABS, ABS, ABS,  // 6x
    REL, IZY, IMP, IZY, ZPX, ZPX, ZPX, ZPX, IMP, ABY, IMP, ABY, ABX, ABX, ABX, ABX,  // 7x
    IMM, IZX, IMM, IZX, ZP_, ZP_, ZP_, ZP_, IMP, IMM, IMP, IMM, ABS, ABS, ABS, ABS,  // 8x
    REL, IZY, IMP, IZY, ZPX, ZPX, ZPY, ZPY, IMP, ABY, IMP, ABY, ABX, ABX, ABY, ABY,  // 9x
    IMM, IZX, IMM, IZX, ZP_, ZP_, ZP_, ZP_, IMP, IMM, IMP, IMM, ABS, ABS, ABS, ABS,  // Ax
    REL, IZY, IMP, IZY, ZPX, ZPX, ZPY, ZPY, IMP, ABY, IMP, ABY, ABX, ABX, ABY, ABY,  // Bx
    IMM, IZX, IMM, IZX, ZP_, ZP_, ZP_, ZP_, IMP, IMM, IMP, IMM, ABS, ABS, ABS, ABS,  // Cx
    REL, IZY, IMP, IZY, ZPX, ZPX, ZPX, ZPX, IMP, ABY, IMP, ABY, ABX, ABX, ABX, ABX,  // Dx
    IMM, IZX, IMM, IZX, ZP_, ZP_, ZP_, ZP_, IMP, IMM, IMP, IMM, ABS, ABS, ABS, ABS,  // Ex
    REL, IZY, IMP, IZY, ZPX, ZPX, ZPX, ZPX, IMP, ABY, IMP, ABY, ABX, ABX, ABX, ABX,  // Fx
};
// clang-format on

// The 6510's lengths follow from its modes.
constexpr std::array<uint8_t, 256> kLength6510 = [] {
    std::array<uint8_t, 256> length{};
    for (unsigned op = 0; op < 256; ++op) {
        AddressingMode m = kMode6510[op];
        length[op] = m == IMP || m == ACC                           ? 1
                     : m == ABS || m == ABX || m == ABY || m == IND ? 3
                                                                    : 2;
    }
    return length;
}();

// Cycles in all, as for the plain chart. A JAM costs the 2 cycles of its fetch and stays
// where it is.
// clang-format off
constexpr uint8_t kCycles6510[256] = {
    // 1 2 3 4 5 6 7 8 9 A B C D E F
    7, 6, 2, 8, 3, 3, 5, 5, 3, 2, 2, 2, 4, 4, 6, 6,  // 0x
    2, 5, 2, 8, 4, 4, 6, 6, 2, 4, 2, 7, 4, 4, 7, 7,  // 1x
    6, 6, 2, 8, 3, 3, 5, 5, 4, 2, 2, 2, 4, 4, 6, 6,  // 2x
    2, 5, 2, 8, 4, 4, 6, 6, 2, 4, 2, 7, 4, 4, 7, 7,  // 3x
    6, 6, 2, 8, 3, 3, 5, 5, 3, 2, 2, 2, 3, 4, 6, 6,  // 4x
    2, 5, 2, 8, 4, 4, 6, 6, 2, 4, 2, 7, 4, 4, 7, 7,  // 5x
    6, 6, 2, 8, 3, 3, 5, 5, 4, 2, 2, 2, 5, 4, 6, 6,  // 6x
    2, 5, 2, 8, 4, 4, 6, 6, 2, 4, 2, 7, 4, 4, 7, 7,  // 7x
    2, 6, 2, 6, 3, 3, 3, 3, 2, 2, 2, 2, 4, 4, 4, 4,  // 8x
    2, 6, 2, 6, 4, 4, 4, 4, 2, 5, 2, 5, 5, 5, 5, 5,  // 9x
    2, 6, 2, 6, 3, 3, 3, 3, 2, 2, 2, 2, 4, 4, 4, 4,  // Ax
    2, 5, 2, 5, 4, 4, 4, 4, 2, 4, 2, 4, 4, 4, 4, 4,  // Bx
    2, 6, 2, 8, 3, 3, 5, 5, 2, 2, 2, 2, 4, 4, 6, 6,  // Cx
    2, 5, 2, 8, 4, 4, 6, 6, 2, 4, 2, 7, 4, 4, 7, 7,  // Dx
    2, 6, 2, 8, 3, 3, 5, 5, 2, 2, 2, 2, 4, 4, 6, 6,  // Ex
    2, 5, 2, 8, 4, 4, 6, 6, 2, 4, 2, 7, 4, 4, 7, 7,  // Fx
};
// clang-format on

// 'p' and 'b' as for the plain chart; 'j': a JAM.
// clang-format off
constexpr std::string_view kSurcharge6510[16] = {
    "..j.............",  // 0x
    "bpj......p..pp..",  // 1x
    "..j.............",  // 2x
    "bpj......p..pp..",  // 3x
    "..j.............",  // 4x
    "bpj......p..pp..",  // 5x
    "..j.............",  // 6x
    "bpj......p..pp..",  // 7x
    "................",  // 8x
    "b.j.............",  // 9x
    "................",  // Ax
    "bpjp.....p.ppppp",  // Bx
    "................",  // Cx
    "bpj......p..pp..",  // Dx
    "................",  // Ex
    "bpj......p..pp..",  // Fx
};
// clang-format on

// One model's chart.
struct Chart {
    CpuModel model;
    const std::string_view* mnemonic;
    const AddressingMode* mode;
    const uint8_t* length;
    const uint8_t* cycles;
    const std::string_view* surcharge;

    char surchargeOf(uint8_t opcode) const { return surcharge[opcode >> 4][opcode & 0x0F]; }
    bool hasRow(uint8_t opcode) const { return !mnemonic[opcode].empty(); }
    bool changesFlow(uint8_t opcode) const {
        std::string_view m = mnemonic[opcode];
        return m == "JMP" || m == "JSR" || m == "RTS" || m == "RTI" || m == "BRK" || m == "JAM" ||
               mode[opcode] == REL;
    }
    std::string describe(unsigned opcode) const {
        return std::string(cpuModelName(model)) + " opcode " + hex(opcode) + " " +
               std::string(mnemonic[opcode]);
    }
};

const Chart kCharts[] = {
    {CpuModel::Plain, kMnemonic, kMode, kLength, kCycles, kSurcharge},
    {CpuModel::Mos6510, kMnemonic6510, kMode6510, kLength6510.data(), kCycles6510, kSurcharge6510},
};
const Chart& kPlainChart = kCharts[0];

bool documented(uint8_t opcode) { return kPlainChart.hasRow(opcode); }

constexpr uint16_t kCodeAt = 0x0800;
constexpr uint8_t kOperandLow = 0x20;   // zero-page operand, and low byte of the absolute one
constexpr uint8_t kOperandHigh = 0x40;  // the absolute operand is $4020
constexpr uint8_t kIndexStaysInPage = 0x10;
constexpr uint8_t kIndexCrossesPage = 0xF0;

// Runs `opcode` once at kCodeAt in `model` with both index registers set to `index`. Every
// byte of page zero holds $20 at even and $30 at odd addresses, so each pointer there is
// $3020 or $2030 and crosses a page exactly when the index does.
void runOnce(uint8_t opcode, uint8_t index, CpuModel model = CpuModel::Plain) {
    clearMachine();
    for (unsigned at = 0; at < 0x100; ++at) memory.ram[at] = (at & 1) ? 0x30 : 0x20;
    memory.ram[kCodeAt] = opcode;
    memory.ram[kCodeAt + 1] = kOperandLow;
    memory.ram[kCodeAt + 2] = kOperandHigh;
    cpu.regPC = kCodeAt;
    cpu.regS = 0xFF;
    cpu.regX = index;
    cpu.regY = index;
    runInstructions(1, model);
}

TEST(OpcodeChart, HasTheDocumentedCountOfInstructions) {
    int count = 0;
    for (unsigned op = 0; op < 256; ++op) count += documented(static_cast<uint8_t>(op));
    EXPECT_EQ(count, 151);
}

TEST(OpcodeChart, CoreTableAgreesOnMnemonicModeAndLength) {
    for (const Chart& chart : kCharts) {
        for (unsigned op = 0; op < 256; ++op) {
            auto opcode = static_cast<uint8_t>(op);
            SCOPED_TRACE(chart.describe(op));
            const OpcodeInfo& info = opcodeInfo(chart.model, opcode);
            EXPECT_EQ(info.mnemonic, chart.mnemonic[op]);
            EXPECT_EQ(info.length, chart.length[op]);
            EXPECT_EQ(info.documented, documented(opcode));
            EXPECT_EQ(info.halts, chart.surchargeOf(opcode) == 'j');
            if (chart.hasRow(opcode)) {
                EXPECT_EQ(info.mode, chart.mode[op]);
            }
        }
    }
}

// The access column: exactly the stores and the memory forms of the read-modify-write
// instructions change memory outside page one, and they are what the core's table says
// stores into its operand. Every cell holds $55 and the registers other values, so a
// store always changes the cell it reaches.
TEST(OpcodeChart, ExactlyTheRowsThatStoreToTheirOperandChangeMemory) {
    constexpr uint8_t kFill = 0x55;
    for (const Chart& chart : kCharts) {
        for (unsigned op = 0; op < 256; ++op) {
            auto opcode = static_cast<uint8_t>(op);
            SCOPED_TRACE(chart.describe(op));
            clearMachine();
            std::memset(memory.ram, kFill, sizeof memory.ram);
            const uint8_t code[3] = {opcode, kOperandLow, kOperandHigh};
            std::memcpy(&memory.ram[kCodeAt], code, sizeof code);
            cpu.regPC = kCodeAt;
            cpu.regS = 0xFF;
            cpu.regA = 0xAA;
            cpu.regX = kIndexStaysInPage;
            cpu.regY = kIndexStaysInPage;
            runInstructions(1, chart.model);
            bool changed = false;
            for (unsigned at = 0; at < kRamSize; ++at) {
                bool stackOrCode = (at >> 8) == 1 || (at >= kCodeAt && at < kCodeAt + 3u);
                if (!stackOrCode && memory.ram[at] != kFill) changed = true;
            }
            std::string_view m = chart.mnemonic[op];
            bool store = m == "STA" || m == "STX" || m == "STY" || m == "SAX" || m == "SHA" ||
                         m == "SHX" || m == "SHY" || m == "TAS";
            bool modify = (m == "ASL" || m == "LSR" || m == "ROL" || m == "ROR" || m == "INC" ||
                           m == "DEC" || m == "SLO" || m == "RLA" || m == "SRE" || m == "RRA" ||
                           m == "DCP" || m == "ISC") &&
                          chart.mode[op] != ACC;
            EXPECT_EQ(changed, store || modify);
            EXPECT_EQ(storesToOperand(chart.model, opcode), store || modify);
        }
    }
}

TEST(OpcodeTiming, EveryOpcodeCostsItsPublishedCyclesAndAdvancesByItsLength) {
    for (const Chart& chart : kCharts) {
        for (unsigned op = 0; op < 256; ++op) {
            auto opcode = static_cast<uint8_t>(op);
            if (chart.surchargeOf(opcode) == 'b') continue;  // the branches have their own test
            for (uint8_t index : {kIndexStaysInPage, kIndexCrossesPage}) {
                bool crossing = index == kIndexCrossesPage;
                SCOPED_TRACE(chart.describe(op) + (crossing ? ", page crossed" : ", same page"));
                runOnce(opcode, index, chart.model);
                int expected = chart.cycles[op] + (crossing && chart.surchargeOf(opcode) == 'p');
                EXPECT_EQ(cpu.cycleCount, expected);
                if (!chart.changesFlow(opcode)) {
                    EXPECT_EQ(cpu.regPC, kCodeAt + chart.length[op]);
                }
                if (chart.surchargeOf(opcode) == 'j') {
                    EXPECT_EQ(cpu.regPC, kCodeAt) << "a JAM stays where it is";
                }
            }
        }
    }
}

struct BranchTiming {
    const char* name;
    uint16_t at;
    uint8_t offset;
    bool taken;
    uint16_t target;
    int cycles;
};

TEST(OpcodeTiming, BranchesReachTheirTargetInTwoThreeOrFourCycles) {
    // The flag each branch tests, and whether it branches when the flag is set.
    struct Branch {
        uint8_t opcode;
        uint8_t flag;
        bool whenSet;
    };
    // clang-format off
    const Branch kBranches[] = {
        {0x10, kFlagN, false}, {0x30, kFlagN, true}, {0x50, kFlagV, false}, {0x70, kFlagV, true},
        {0x90, kFlagC, false}, {0xB0, kFlagC, true}, {0xD0, kFlagZ, false}, {0xF0, kFlagZ, true},
    };
    // clang-format on
    // clang-format off
    const BranchTiming kCases[] = {
        {"not taken", 0x1000, 0x10, false, 0x1002, 2},
        {"taken within the page", 0x1000, 0x10, true, 0x1012, 3},
        {"taken back onto the previous page", 0x1000, 0x80, true, 0x0F82, 4},
        {"taken forward onto the next page", 0x10F0, 0x7F, true, 0x1171, 4},
        {"taken to the last byte of the page after the branch", 0x10FC, 0x01, true, 0x10FF, 3},
        {"taken back from the next page", 0x1100, 0xFD, true, 0x10FF, 4},
        {"at the page's last two bytes, taken within the next page", 0x10FE, 0x10, true, 0x1110, 3},
        {"at the page's last two bytes, taken back onto its own page", 0x10FE, 0xF0, true, 0x10F0, 4},
        {"taken past $FFFF", 0xFFF0, 0x7F, true, 0x0071, 4},
    };
    // clang-format on
    for (const Branch& branch : kBranches) {
        for (const BranchTiming& c : kCases) {
            for (const Chart& chart : kCharts) {
                SCOPED_TRACE(chart.describe(branch.opcode) + " " + c.name);
                clearMachine();
                memory.ram[c.at] = branch.opcode;
                memory.ram[static_cast<uint16_t>(c.at + 1)] = c.offset;
                cpu.regPC = c.at;
                cpu.regP = (c.taken == branch.whenSet) ? branch.flag : 0;
                runInstructions(1, chart.model);
                EXPECT_EQ(cpu.regPC, c.target);
                EXPECT_EQ(cpu.cycleCount, c.cycles);
            }
        }
    }
}

TEST(OpcodeTiming, UndocumentedBytesAreOneByteNoOpsOfTwoCycles) {
    static MemoryMap before;
    for (unsigned op = 0; op < 256; ++op) {
        if (documented(static_cast<uint8_t>(op))) continue;
        SCOPED_TRACE("opcode " + hex(op));
        runOnce(static_cast<uint8_t>(op), 0x37);
        cpu.regA = 0x5A;
        cpu.regP = kFlagN | kFlagV | kFlagC;
        cpu.regPC = kCodeAt;
        cpu.cycleCount = 0;
        CpuState registers = cpu;
        before = memory;
        runInstructions(1);
        EXPECT_EQ(cpu.regPC, kCodeAt + 1);
        EXPECT_EQ(cpu.cycleCount, 2);
        EXPECT_EQ(cpu.regA, registers.regA);
        EXPECT_EQ(cpu.regX, registers.regX);
        EXPECT_EQ(cpu.regY, registers.regY);
        EXPECT_EQ(cpu.regS, registers.regS);
        EXPECT_EQ(cpu.regP, registers.regP);
        EXPECT_EQ(std::memcmp(&before, &memory, sizeof memory), 0) << "memory changed";
    }
}

// What one instruction leaves behind: the registers and the cell it worked on.
struct Outcome {
    uint8_t a, x, y, s, p, cell;
    bool otherCellsUntouched;
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* out) {
    *out << "A=" << hex(o.a) << " X=" << hex(o.x) << " Y=" << hex(o.y) << " S=" << hex(o.s)
         << " P=" << hex(o.p) << " cell=" << hex(o.cell)
         << (o.otherCellsUntouched ? "" : " (another cell changed)");
}

constexpr uint8_t kOperandValue = 0xC3;
constexpr uint8_t kIndexX = 0x05;
constexpr uint8_t kIndexY = 0x0A;

// Runs `opcode` with its operand value in the one cell its mode names and zero in every
// other cell it could reach by mistake: a wrong index register, a missing wrap inside
// page zero or a pointer read from page one.
Outcome runOnItsCell(const Chart& chart, uint8_t opcode) {
    static MemoryMap before;
    clearMachine();
    uint16_t operand = 0;
    uint16_t cell = 0;
    switch (chart.mode[opcode]) {
        // clang-format off
        case IMM: operand = kOperandValue; cell = kCodeAt + 1; break;
        case ZP_: operand = 0x80; cell = 0x80; break;
        case ZPX: operand = 0xFE; cell = static_cast<uint8_t>(0xFE + kIndexX); break;
        case ZPY: operand = 0xFE; cell = static_cast<uint8_t>(0xFE + kIndexY); break;
        case ABS: operand = 0x1234; cell = 0x1234; break;
        case ABX: operand = 0x12FD; cell = 0x12FD + kIndexX; break;
        case ABY: operand = 0x12FD; cell = 0x12FD + kIndexY; break;
        // clang-format on
        case IZX:  // the pointer sits at (operand + X) AND $FF
            operand = 0xFE;
            memory.ram[0x03] = 0x45;
            memory.ram[0x04] = 0x23;
            cell = 0x2345;
            break;
        case IZY:  // the pointer sits at $FF and $00
            operand = 0xFF;
            memory.ram[0xFF] = 0xF8;
            memory.ram[0x00] = 0x33;
            cell = 0x33F8 + kIndexY;
            break;
        default: ADD_FAILURE() << "no memory operand"; break;
    }
    memory.ram[kCodeAt] = opcode;
    memory.ram[kCodeAt + 1] = lowByte(operand);
    memory.ram[kCodeAt + 2] = highByte(operand);
    memory.ram[cell] = kOperandValue;
    cpu.regPC = kCodeAt;
    cpu.regA = 0x5A;
    cpu.regX = kIndexX;
    cpu.regY = kIndexY;
    cpu.regS = 0xFF;
    cpu.regP = kFlagC | kFlagV;
    before = memory;
    runInstructions(1, chart.model);
    uint8_t result = memory.ram[cell];
    before.ram[cell] = result;
    bool untouched = std::memcmp(&before, &memory, sizeof memory) == 0;
    return {cpu.regA, cpu.regX, cpu.regY, cpu.regS, cpu.regP, result, untouched};
}

// The zero-page form of the chart's instruction, if it has one.
std::optional<uint8_t> zeroPageFormOf(const Chart& chart, std::string_view mnemonic) {
    for (unsigned op = 0; op < 256; ++op) {
        if (chart.mnemonic[op] == mnemonic && chart.mode[op] == ZP_)
            return static_cast<uint8_t>(op);
    }
    return std::nullopt;
}

// The instructions without a zero-page form (the immediate-only ones, SHA, SHX, SHY,
// TAS, LAS, USBC) have tables of their own in the operations tests.
TEST(OpcodeWiring, EveryModeReachesItsCellAndActsLikeTheZeroPageForm) {
    int compared = 0;
    for (const Chart& chart : kCharts) {
        for (unsigned op = 0; op < 256; ++op) {
            auto opcode = static_cast<uint8_t>(op);
            AddressingMode mode = chart.mode[op];
            bool memoryOperand = mode != IMP && mode != ACC && mode != REL && mode != IND;
            std::string_view m = chart.mnemonic[op];
            if (!chart.hasRow(opcode) || !memoryOperand || m == "JMP" || m == "JSR") continue;
            std::optional<uint8_t> zeroPageForm = zeroPageFormOf(chart, m);
            if (!zeroPageForm) {
                EXPECT_NE(chart.model, CpuModel::Plain) << m << " has no zero-page form";
                continue;
            }
            SCOPED_TRACE(chart.describe(op));
            Outcome reference = runOnItsCell(chart, *zeroPageForm);
            Outcome outcome = runOnItsCell(chart, opcode);
            EXPECT_EQ(outcome, reference);
            EXPECT_TRUE(outcome.otherCellsUntouched);
            ++compared;
        }
    }
    EXPECT_GT(compared, 0);
}

}  // namespace
