// The disassembler, one row per addressing mode and per kind of byte a model has no
// instruction for, in both processor models.
#include <gtest/gtest.h>

#include "cpu/disassembler.h"

namespace {

TEST(Disassembler, ShowsEveryAddressingModeAndTheBytesWithoutAnInstruction) {
    struct Case {
        uint16_t pc;
        uint8_t bytes[3];
        const char* text;
        CpuModel model = CpuModel::Plain;
    };
    // clang-format off
    const Case cases[] = {
        {0xC000, {0xEA, 0, 0}, "NOP"},
        {0xC000, {0x0A, 0, 0}, "ASL A"},
        {0xC000, {0xA9, 0x01, 0}, "LDA #$01"},
        {0xC000, {0xA5, 0x20, 0}, "LDA $20"},
        {0xC000, {0xB5, 0x20, 0}, "LDA $20,X"},
        {0xC000, {0xB6, 0x20, 0}, "LDX $20,Y"},
        {0xC000, {0x8D, 0xFF, 0xD7}, "STA $D7FF"},
        {0xC000, {0xBD, 0x00, 0x04}, "LDA $0400,X"},
        {0xC000, {0xB9, 0x00, 0x04}, "LDA $0400,Y"},
        {0xC000, {0x6C, 0xFC, 0xFF}, "JMP ($FFFC)"},
        {0xC000, {0xA1, 0x20, 0}, "LDA ($20,X)"},
        {0xC000, {0x91, 0x20, 0}, "STA ($20),Y"},
        {0xC010, {0xD0, 0xFE, 0}, "BNE $C010"},  // branch to itself
        {0xC010, {0xF0, 0x10, 0}, "BEQ $C022"},
        {0xFFF0, {0x10, 0x7F, 0}, "BPL $0071"},  // the target wraps
        {0xC000, {0x02, 0, 0}, "??? ($02)"},
        {0xC000, {0xA7, 0x10, 0}, "??? ($A7)"},
        {0xC000, {0x02, 0, 0}, "JAM", CpuModel::Mos6510},
        {0xC000, {0xA7, 0x10, 0}, "LAX $10", CpuModel::Mos6510},
        {0xC000, {0x1C, 0x34, 0x12}, "NOP $1234,X", CpuModel::Mos6510},
        {0xC000, {0xEB, 0x01, 0}, "USBC #$01", CpuModel::Mos6510},
        {0xC000, {0x93, 0x20, 0}, "SHA ($20),Y", CpuModel::Mos6510},
        {0xC000, {0x6C, 0xFF, 0x10}, "JMP ($10FF)", CpuModel::Mos6510},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(disassemble(c.pc, c.bytes, c.model), c.text);
    }
}

}  // namespace
