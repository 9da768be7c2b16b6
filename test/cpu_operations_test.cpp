// Loads and stores in every addressing mode, arithmetic, logic, compares, BIT, shifts and
// rotates, increments and decrements, transfers and the flag instructions. Each family is
// one table: the instruction's bytes, the registers and memory before, and the registers
// and memory after. Every register is compared, and no cell outside the listed ones may
// change.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cpu/interpreter.h"
#include "cpu_fixture.h"

namespace {

using namespace cpu_fixture;

constexpr uint16_t kCodeAt = 0x0200;

struct Cell {
    uint16_t address;
    uint8_t value;
};

struct InstructionCase {
    const char* name;
    std::vector<uint8_t> code;  // one instruction, at kCodeAt unless `at` says otherwise
    Registers before;
    std::vector<Cell> memoryBefore;
    Registers after;
    std::vector<Cell> memoryAfter;  // the only cells allowed to change, with their new values
    uint16_t at = kCodeAt;
};

// Runs the case's one instruction in `model` and compares registers, regPC and memory.
void runCase(const InstructionCase& c, CpuModel model) {
    static MemoryMap expected;
    SCOPED_TRACE(c.name);
    clearMachine();
    for (std::size_t i = 0; i < c.code.size(); ++i)
        memory.ram[static_cast<uint16_t>(c.at + i)] = c.code[i];
    for (const Cell& cell : c.memoryBefore) memory.ram[cell.address] = cell.value;
    cpu.regA = c.before.a;
    cpu.regX = c.before.x;
    cpu.regY = c.before.y;
    cpu.regS = c.before.s;
    cpu.regP = c.before.p;
    cpu.regPC = c.at;
    expected = memory;
    for (const Cell& cell : c.memoryAfter) expected.ram[cell.address] = cell.value;

    runInstructions(1, model);

    EXPECT_EQ(hex(cpu.regA), hex(c.after.a)) << "A";
    EXPECT_EQ(hex(cpu.regX), hex(c.after.x)) << "X";
    EXPECT_EQ(hex(cpu.regY), hex(c.after.y)) << "Y";
    EXPECT_EQ(hex(cpu.regS), hex(c.after.s)) << "S";
    EXPECT_EQ(hex(cpu.regP), hex(c.after.p)) << "P";
    EXPECT_EQ(cpu.regPC, static_cast<uint16_t>(c.at + c.code.size())) << "PC";
    for (std::size_t address = 0; address < kRamSize; ++address) {
        if (memory.ram[address] != expected.ram[address]) {
            ADD_FAILURE() << "ram[" << hex(static_cast<unsigned>(address))
                          << "] = " << hex(memory.ram[address]) << ", expected "
                          << hex(expected.ram[address]);
        }
    }
}

void runTable(const std::vector<InstructionCase>& table, CpuModel model = CpuModel::Plain) {
    for (const InstructionCase& c : table) runCase(c, model);
}

TEST(Loads, ReadEveryModeWithItsWrappingRules) {
    // clang-format off
    runTable({
        {"LDA #$80 sets N and clears Z", {0xA9, 0x80}, {.p = Z}, {}, {.a = 0x80, .p = N}, {}},
        {"LDA #$00 sets Z and clears N", {0xA9, 0x00}, {.a = 0x12, .p = N | C}, {}, {.p = Z | C}, {}},
        {"LDA zp", {0xA5, 0x10}, {.p = N | Z}, {{0x0010, 0x42}}, {.a = 0x42}, {}},
        {"LDA zp,X wraps inside page zero",
         {0xB5, 0xF0}, {.x = 0x20}, {{0x0010, 0x37}, {0x0110, 0x99}}, {.a = 0x37, .x = 0x20}, {}},
        {"LDA abs", {0xAD, 0x34, 0x12}, {}, {{0x1234, 0x81}}, {.a = 0x81, .p = N}, {}},
        {"LDA abs,X crossing a page",
         {0xBD, 0xF0, 0x12}, {.x = 0x20}, {{0x1310, 0x55}, {0x1210, 0x66}}, {.a = 0x55, .x = 0x20}, {}},
        {"LDA abs,X wraps past $FFFF", {0xBD, 0xFF, 0xFF}, {.x = 0x01}, {{0x0000, 0x3C}}, {.a = 0x3C, .x = 0x01}, {}},
        {"LDA abs,Y wraps past $FFFF",
         {0xB9, 0xF0, 0xFF}, {.y = 0x20}, {{0x0010, 0x44}}, {.a = 0x44, .y = 0x20}, {}},
        {"LDA (zp,X) reads its pointer inside page zero",
         {0xA1, 0xF0}, {.x = 0x20},
         {{0x0010, 0x00}, {0x0011, 0xC0}, {0x0110, 0x00}, {0x0111, 0xD0}, {0xC000, 0x71}, {0xD000, 0x72}},
         {.a = 0x71, .x = 0x20}, {}},
        {"LDA (zp,X) takes the pointer's high byte from $00 after $FF",
         {0xA1, 0xFF}, {}, {{0x00FF, 0x34}, {0x0000, 0x12}, {0x0100, 0x56}, {0x1234, 0x73}, {0x5634, 0x74}},
         {.a = 0x73}, {}},
        {"LDA (zp),Y adds Y to the pointer across a page",
         {0xB1, 0x40}, {.y = 0x20}, {{0x0040, 0xF0}, {0x0041, 0x12}, {0x1310, 0x8F}}, {.a = 0x8F, .y = 0x20, .p = N},
         {}},
        {"LDA (zp),Y with the pointer at $FF takes its high byte from $00",
         {0xB1, 0xFF}, {.y = 0x0F}, {{0x00FF, 0xF0}, {0x0000, 0x12}, {0x0100, 0x34}, {0x12FF, 0x21}, {0x34FF, 0x22}},
         {.a = 0x21, .y = 0x0F}, {}},
        {"LDA (zp),Y wraps past $FFFF",
         {0xB1, 0x40}, {.y = 0x20}, {{0x0040, 0xF0}, {0x0041, 0xFF}, {0x0010, 0x23}}, {.a = 0x23, .y = 0x20}, {}},
        {"LDA #imm at $FFFF takes its operand from $0000", {0xA9, 0x77}, {}, {}, {.a = 0x77}, {}, 0xFFFF},
        {"LDX #$00 sets Z", {0xA2, 0x00}, {.x = 0x80, .p = N}, {}, {.p = Z}, {}},
        {"LDX zp", {0xA6, 0x20}, {}, {{0x0020, 0x90}}, {.x = 0x90, .p = N}, {}},
        {"LDX zp,Y wraps inside page zero", {0xB6, 0xFF}, {.y = 0x02}, {{0x0001, 0x31}, {0x0101, 0x32}},
         {.x = 0x31, .y = 0x02}, {}},
        {"LDX abs", {0xAE, 0x00, 0x30}, {}, {{0x3000, 0x01}}, {.x = 0x01}, {}},
        {"LDX abs,Y", {0xBE, 0x00, 0x30}, {.y = 0x05}, {{0x3005, 0xF0}}, {.x = 0xF0, .y = 0x05, .p = N}, {}},
        {"LDY #$7F clears N", {0xA0, 0x7F}, {.p = N}, {}, {.y = 0x7F}, {}},
        {"LDY zp", {0xA4, 0x20}, {}, {{0x0020, 0x00}}, {.p = Z}, {}},
        {"LDY zp,X wraps inside page zero", {0xB4, 0x80}, {.x = 0x90}, {{0x0010, 0x45}, {0x0110, 0x46}},
         {.x = 0x90, .y = 0x45}, {}},
        {"LDY abs", {0xAC, 0x00, 0x30}, {}, {{0x3000, 0x99}}, {.y = 0x99, .p = N}, {}},
        {"LDY abs,X", {0xBC, 0xFE, 0x30}, {.x = 0x03}, {{0x3101, 0x02}}, {.x = 0x03, .y = 0x02}, {}},
    });
    // clang-format on
}

TEST(Stores, WriteEveryModeAndChangeNoFlag) {
    constexpr uint8_t kAll = N | V | D | I | Z | C;
    // clang-format off
    runTable({
        {"STA zp of $00 keeps every flag", {0x85, 0x10}, {.p = N | C}, {{0x0010, 0xAA}}, {.p = N | C}, {{0x0010, 0x00}}},
        {"STA zp,X wraps inside page zero", {0x95, 0xF0}, {.a = 0x11, .x = 0x20}, {}, {.a = 0x11, .x = 0x20},
         {{0x0010, 0x11}}},
        {"STA abs", {0x8D, 0x34, 0x12}, {.a = 0x80, .p = Z}, {}, {.a = 0x80, .p = Z}, {{0x1234, 0x80}}},
        {"STA abs,X", {0x9D, 0xF0, 0x12}, {.a = 0x22, .x = 0x20}, {}, {.a = 0x22, .x = 0x20}, {{0x1310, 0x22}}},
        {"STA abs,Y wraps past $FFFF", {0x99, 0xF0, 0xFF}, {.a = 0x33, .y = 0x20, .p = kAll}, {},
         {.a = 0x33, .y = 0x20, .p = kAll}, {{0x0010, 0x33}}},
        {"STA (zp,X) reads its pointer inside page zero", {0x81, 0xF0}, {.a = 0x44, .x = 0x20},
         {{0x0010, 0x00}, {0x0011, 0xC0}, {0x0110, 0x00}, {0x0111, 0xD0}}, {.a = 0x44, .x = 0x20},
         {{0xC000, 0x44}}},
        {"STA (zp),Y with the pointer at $FF takes its high byte from $00", {0x91, 0xFF}, {.a = 0x55, .y = 0x01},
         {{0x00FF, 0x00}, {0x0000, 0xC0}, {0x0100, 0xD0}}, {.a = 0x55, .y = 0x01}, {{0xC001, 0x55}}},
        {"STX zp", {0x86, 0x10}, {.x = 0x00, .p = N}, {{0x0010, 0xAA}}, {.p = N}, {{0x0010, 0x00}}},
        {"STX zp,Y wraps inside page zero", {0x96, 0xFF}, {.x = 0x66, .y = 0x11}, {}, {.x = 0x66, .y = 0x11},
         {{0x0010, 0x66}}},
        {"STX abs", {0x8E, 0x00, 0x30}, {.x = 0x77}, {}, {.x = 0x77}, {{0x3000, 0x77}}},
        {"STY zp", {0x84, 0x10}, {.y = 0x88}, {}, {.y = 0x88}, {{0x0010, 0x88}}},
        {"STY zp,X wraps inside page zero", {0x94, 0xFF}, {.x = 0x11, .y = 0x99}, {}, {.x = 0x11, .y = 0x99},
         {{0x0010, 0x99}}},
        {"STY abs", {0x8C, 0x00, 0x30}, {.y = 0xAB, .p = Z | V}, {}, {.y = 0xAB, .p = Z | V}, {{0x3000, 0xAB}}},
    });
    // clang-format on
}

TEST(AddAndSubtract, SetCarryOverflowAndIgnoreTheDecimalFlag) {
    // clang-format off
    runTable({
        {"ADC $FF + $01 carries out to zero", {0x69, 0x01}, {.a = 0xFF}, {}, {.a = 0x00, .p = Z | C}, {}},
        {"ADC $50 + $50 overflows to negative", {0x69, 0x50}, {.a = 0x50}, {}, {.a = 0xA0, .p = N | V}, {}},
        {"ADC $7F + $01 overflows", {0x69, 0x01}, {.a = 0x7F}, {}, {.a = 0x80, .p = N | V}, {}},
        {"ADC $80 + $FF carries and overflows", {0x69, 0xFF}, {.a = 0x80}, {}, {.a = 0x7F, .p = V | C}, {}},
        {"ADC adds the incoming carry", {0x69, 0x01}, {.a = 0x01, .p = C}, {}, {.a = 0x03}, {}},
        {"ADC $FF + $00 + carry clears N and V", {0x69, 0x00}, {.a = 0xFF, .p = C | N | V}, {}, {.a = 0x00, .p = Z | C},
         {}},
        {"ADC with D set adds in binary", {0x69, 0x01}, {.a = 0x09, .p = D}, {}, {.a = 0x0A, .p = D}, {}},
        {"ADC $99 + $01 with D set stays binary", {0x69, 0x01}, {.a = 0x99, .p = D}, {}, {.a = 0x9A, .p = D | N}, {}},
        {"ADC zp", {0x65, 0x10}, {.a = 0x10}, {{0x0010, 0x20}}, {.a = 0x30}, {}},
        {"SBC $05 - $03", {0xE9, 0x03}, {.a = 0x05, .p = C}, {}, {.a = 0x02, .p = C}, {}},
        {"SBC $03 - $05 borrows", {0xE9, 0x05}, {.a = 0x03, .p = C}, {}, {.a = 0xFE, .p = N}, {}},
        {"SBC $00 - $00 with a borrow in", {0xE9, 0x00}, {.a = 0x00}, {}, {.a = 0xFF, .p = N}, {}},
        {"SBC $7F - $FF overflows", {0xE9, 0xFF}, {.a = 0x7F, .p = C}, {}, {.a = 0x80, .p = N | V}, {}},
        {"SBC $80 - $01 overflows", {0xE9, 0x01}, {.a = 0x80, .p = C}, {}, {.a = 0x7F, .p = V | C}, {}},
        {"SBC $80 - $00 with a borrow in overflows", {0xE9, 0x00}, {.a = 0x80}, {}, {.a = 0x7F, .p = V | C}, {}},
        {"SBC of equal values sets Z and C", {0xE9, 0x42}, {.a = 0x42, .p = C | N | V}, {}, {.a = 0x00, .p = Z | C},
         {}},
        {"SBC with D set subtracts in binary", {0xE9, 0x01}, {.a = 0x10, .p = D | C}, {}, {.a = 0x0F, .p = D | C},
         {}},
        {"SBC zp", {0xE5, 0x10}, {.a = 0x30, .p = C}, {{0x0010, 0x10}}, {.a = 0x20, .p = C}, {}},
    });
    // clang-format on
}

TEST(Logic, CombinesBitsAndSetsNZ) {
    // clang-format off
    runTable({
        {"AND #$0F of $F0 is zero", {0x29, 0x0F}, {.a = 0xF0, .p = N | C | V}, {}, {.a = 0x00, .p = Z | C | V}, {}},
        {"AND #$81 of $FF is negative", {0x29, 0x81}, {.a = 0xFF}, {}, {.a = 0x81, .p = N}, {}},
        {"ORA #$80 of $01", {0x09, 0x80}, {.a = 0x01, .p = Z}, {}, {.a = 0x81, .p = N}, {}},
        {"ORA #$00 of $00 is zero", {0x09, 0x00}, {}, {}, {.p = Z}, {}},
        {"EOR #$FF of $FF is zero", {0x49, 0xFF}, {.a = 0xFF, .p = N}, {}, {.a = 0x00, .p = Z}, {}},
        {"EOR #$FF of $0F", {0x49, 0xFF}, {.a = 0x0F}, {}, {.a = 0xF0, .p = N}, {}},
        {"AND zp", {0x25, 0x10}, {.a = 0x3C}, {{0x0010, 0x0F}}, {.a = 0x0C}, {}},
        {"ORA zp", {0x05, 0x10}, {.a = 0x30}, {{0x0010, 0x03}}, {.a = 0x33}, {}},
        {"EOR zp", {0x45, 0x10}, {.a = 0x33}, {{0x0010, 0x30}}, {.a = 0x03}, {}},
    });
    // clang-format on
}

TEST(Compares, SetNZCFromTheDifferenceAndKeepTheRegister) {
    // clang-format off
    runTable({
        {"CMP equal", {0xC9, 0x10}, {.a = 0x10, .p = N}, {}, {.a = 0x10, .p = Z | C}, {}},
        {"CMP less", {0xC9, 0x20}, {.a = 0x10, .p = C | Z}, {}, {.a = 0x10, .p = N}, {}},
        {"CMP greater keeps V", {0xC9, 0x01}, {.a = 0x80, .p = V}, {}, {.a = 0x80, .p = V | C}, {}},
        {"CMP is unsigned: $01 against $FF", {0xC9, 0xFF}, {.a = 0x01}, {}, {.a = 0x01}, {}},
        {"CMP zp", {0xC5, 0x10}, {.a = 0x40}, {{0x0010, 0x40}}, {.a = 0x40, .p = Z | C}, {}},
        {"CPX $00 against $FF", {0xE0, 0xFF}, {.x = 0x00, .p = C}, {}, {.x = 0x00}, {}},
        {"CPX zp equal", {0xE4, 0x10}, {.x = 0x90}, {{0x0010, 0x90}}, {.x = 0x90, .p = Z | C}, {}},
        {"CPX abs greater", {0xEC, 0x00, 0x30}, {.x = 0x90}, {{0x3000, 0x20}}, {.x = 0x90, .p = C}, {}},
        {"CPY less", {0xC0, 0x81}, {.y = 0x01}, {}, {.y = 0x01, .p = N}, {}},
        {"CPY zp", {0xC4, 0x10}, {.y = 0x05}, {{0x0010, 0x05}}, {.y = 0x05, .p = Z | C}, {}},
        {"CPY abs", {0xCC, 0x00, 0x30}, {.y = 0xFF}, {{0x3000, 0x00}}, {.y = 0xFF, .p = N | C}, {}},
    });
    // clang-format on
}

TEST(BitTest, CopiesBitsSevenAndSixAndTestsTheMask) {
    // clang-format off
    runTable({
        {"BIT zp of $C0 with A = $00", {0x24, 0x10}, {.p = C}, {{0x0010, 0xC0}}, {.p = N | V | Z | C}, {}},
        {"BIT zp of $01 with A = $01 clears N V Z", {0x24, 0x10}, {.a = 0x01, .p = N | V | Z}, {{0x0010, 0x01}},
         {.a = 0x01}, {}},
        {"BIT abs of $40 with A = $40", {0x2C, 0x00, 0x30}, {.a = 0x40}, {{0x3000, 0x40}}, {.a = 0x40, .p = V}, {}},
        {"BIT abs of $80 with A = $7F", {0x2C, 0x00, 0x30}, {.a = 0x7F}, {{0x3000, 0x80}}, {.a = 0x7F, .p = N | Z},
         {}},
    });
    // clang-format on
}

TEST(ShiftsAndRotates, MoveBitsThroughCarryInAccumulatorAndMemory) {
    // clang-format off
    runTable({
        {"ASL A of $80", {0x0A}, {.a = 0x80}, {}, {.a = 0x00, .p = Z | C}, {}},
        {"ASL A of $41", {0x0A}, {.a = 0x41, .p = C}, {}, {.a = 0x82, .p = N}, {}},
        {"LSR A of $01", {0x4A}, {.a = 0x01}, {}, {.a = 0x00, .p = Z | C}, {}},
        {"LSR A of $80 clears N", {0x4A}, {.a = 0x80, .p = N}, {}, {.a = 0x40}, {}},
        {"ROL A of $80 with C set", {0x2A}, {.a = 0x80, .p = C}, {}, {.a = 0x01, .p = C}, {}},
        {"ROL A of $40 with C clear", {0x2A}, {.a = 0x40}, {}, {.a = 0x80, .p = N}, {}},
        {"ROR A of $00 with C set", {0x6A}, {.a = 0x00, .p = C}, {}, {.a = 0x80, .p = N}, {}},
        {"ROR A of $01 with C clear", {0x6A}, {.a = 0x01}, {}, {.a = 0x00, .p = Z | C}, {}},
        {"ASL zp", {0x06, 0x10}, {}, {{0x0010, 0xC0}}, {.p = N | C}, {{0x0010, 0x80}}},
        {"ASL zp,X", {0x16, 0xF0}, {.x = 0x20}, {{0x0010, 0x01}}, {.x = 0x20}, {{0x0010, 0x02}}},
        {"ASL abs", {0x0E, 0x00, 0x30}, {}, {{0x3000, 0x80}}, {.p = Z | C}, {{0x3000, 0x00}}},
        {"ASL abs,X", {0x1E, 0xFF, 0x30}, {.x = 0x01}, {{0x3100, 0x21}}, {.x = 0x01}, {{0x3100, 0x42}}},
        {"LSR zp", {0x46, 0x10}, {.p = N}, {{0x0010, 0x03}}, {.p = C}, {{0x0010, 0x01}}},
        {"LSR zp,X", {0x56, 0x10}, {.x = 0x01}, {{0x0011, 0x80}}, {.x = 0x01}, {{0x0011, 0x40}}},
        {"LSR abs", {0x4E, 0x00, 0x30}, {}, {{0x3000, 0x01}}, {.p = Z | C}, {{0x3000, 0x00}}},
        {"LSR abs,X", {0x5E, 0x00, 0x30}, {.x = 0x02}, {{0x3002, 0xFE}}, {.x = 0x02}, {{0x3002, 0x7F}}},
        {"ROL zp with C set", {0x26, 0x10}, {.p = C}, {{0x0010, 0x80}}, {.p = C}, {{0x0010, 0x01}}},
        {"ROL zp,X", {0x36, 0x10}, {.x = 0x01}, {{0x0011, 0x7F}}, {.x = 0x01, .p = N}, {{0x0011, 0xFE}}},
        {"ROL abs", {0x2E, 0x00, 0x30}, {}, {{0x3000, 0x80}}, {.p = Z | C}, {{0x3000, 0x00}}},
        {"ROL abs,X with C set", {0x3E, 0x00, 0x30}, {.x = 0x02, .p = C}, {{0x3002, 0x00}}, {.x = 0x02},
         {{0x3002, 0x01}}},
        {"ROR zp with C set", {0x66, 0x10}, {.p = C}, {{0x0010, 0x00}}, {.p = N}, {{0x0010, 0x80}}},
        {"ROR zp,X", {0x76, 0x10}, {.x = 0x01}, {{0x0011, 0x03}}, {.x = 0x01, .p = C}, {{0x0011, 0x01}}},
        {"ROR abs", {0x6E, 0x00, 0x30}, {}, {{0x3000, 0x01}}, {.p = Z | C}, {{0x3000, 0x00}}},
        {"ROR abs,X with C set", {0x7E, 0x00, 0x30}, {.x = 0x02, .p = C}, {{0x3002, 0x02}}, {.x = 0x02, .p = N},
         {{0x3002, 0x81}}},
    });
    // clang-format on
}

TEST(IncrementsAndDecrements, WrapAndSetNZButKeepCarry) {
    // clang-format off
    runTable({
        {"INC zp of $FF wraps to zero and keeps C", {0xE6, 0x10}, {.p = C | N}, {{0x0010, 0xFF}}, {.p = Z | C},
         {{0x0010, 0x00}}},
        {"INC zp,X of $7F keeps C and V", {0xF6, 0x10}, {.x = 0x01, .p = V | C}, {{0x0011, 0x7F}},
         {.x = 0x01, .p = N | V | C}, {{0x0011, 0x80}}},
        {"INC abs of $FF leaves C clear", {0xEE, 0x00, 0x30}, {}, {{0x3000, 0xFF}}, {.p = Z}, {{0x3000, 0x00}}},
        {"INC abs,X", {0xFE, 0xFF, 0x30}, {.x = 0x01}, {{0x3100, 0x00}}, {.x = 0x01}, {{0x3100, 0x01}}},
        {"DEC zp of $00 wraps to $FF", {0xC6, 0x10}, {.p = C | Z}, {}, {.p = N | C}, {{0x0010, 0xFF}}},
        {"DEC zp,X of $01", {0xD6, 0x10}, {.x = 0x01}, {{0x0011, 0x01}}, {.x = 0x01, .p = Z}, {{0x0011, 0x00}}},
        {"DEC abs of $00 leaves C clear", {0xCE, 0x00, 0x30}, {}, {}, {.p = N}, {{0x3000, 0xFF}}},
        {"DEC abs,X", {0xDE, 0x00, 0x30}, {.x = 0x02}, {{0x3002, 0x10}}, {.x = 0x02}, {{0x3002, 0x0F}}},
        {"INX of $FF", {0xE8}, {.x = 0xFF, .p = C}, {}, {.x = 0x00, .p = Z | C}, {}},
        {"DEX of $00", {0xCA}, {.x = 0x00, .p = Z}, {}, {.x = 0xFF, .p = N}, {}},
        {"INY of $7F", {0xC8}, {.y = 0x7F}, {}, {.y = 0x80, .p = N}, {}},
        {"DEY of $01", {0x88}, {.y = 0x01, .p = V}, {}, {.y = 0x00, .p = Z | V}, {}},
    });
    // clang-format on
}

TEST(Transfers, CopyRegistersAndTxsLeavesTheFlags) {
    // clang-format off
    runTable({
        {"TAX", {0xAA}, {.a = 0x80, .x = 0x01}, {}, {.a = 0x80, .x = 0x80, .p = N}, {}},
        {"TAY of zero", {0xA8}, {.a = 0x00, .y = 0x01, .p = N}, {}, {.p = Z}, {}},
        {"TXA", {0x8A}, {.a = 0x00, .x = 0x7F, .p = Z}, {}, {.a = 0x7F, .x = 0x7F}, {}},
        {"TYA", {0x98}, {.a = 0x12, .y = 0xFE}, {}, {.a = 0xFE, .y = 0xFE, .p = N}, {}},
        {"TSX of $FF", {0xBA}, {.s = 0xFF}, {}, {.x = 0xFF, .s = 0xFF, .p = N}, {}},
        {"TSX of $00", {0xBA}, {.x = 0x44, .s = 0x00}, {}, {.s = 0x00, .p = Z}, {}},
        {"TXS of $00 keeps N and Z", {0x9A}, {.x = 0x00, .s = 0xFF, .p = N}, {}, {.s = 0x00, .p = N}, {}},
        {"TXS of $80 keeps Z", {0x9A}, {.x = 0x80, .s = 0xFF, .p = Z}, {}, {.x = 0x80, .s = 0x80, .p = Z}, {}},
    });
    // clang-format on
}

TEST(FlagInstructions, ChangeOnlyTheirOwnFlag) {
    constexpr uint8_t kAll = N | V | D | I | Z | C;
    // clang-format off
    runTable({
        {"CLC", {0x18}, {.p = kAll}, {}, {.p = kAll & ~C}, {}},
        {"SEC", {0x38}, {}, {}, {.p = C}, {}},
        {"CLI", {0x58}, {.p = kAll}, {}, {.p = kAll & ~I}, {}},
        {"SEI", {0x78}, {}, {}, {.p = I}, {}},
        {"CLV", {0xB8}, {.p = kAll}, {}, {.p = kAll & ~V}, {}},
        {"CLD", {0xD8}, {.p = kAll}, {}, {.p = kAll & ~D}, {}},
        {"SED", {0xF8}, {}, {}, {.p = D}, {}},
        {"NOP", {0xEA}, {.a = 1, .x = 2, .y = 3, .p = kAll}, {}, {.a = 1, .x = 2, .y = 3, .p = kAll}, {}},
    });
    // clang-format on
}

constexpr uint8_t kKernalVisible = 0x06;  // KERNAL at $E000, RAM elsewhere
constexpr uint8_t kBasicVisible = 0x05;   // BASIC at $A000, RAM elsewhere

TEST(VisibleRom, ReadModifyWriteReadsTheRomAndWritesTheRamBeneath) {
    struct RomCase {
        const char* name;
        uint8_t port;
        uint8_t* romByte;
        std::vector<uint8_t> code;
        uint16_t address;
        uint8_t romValue;
        uint8_t written;
        uint8_t flags;
    };
    // clang-format off
    const RomCase kCases[] = {
        {"INC $E000 under the KERNAL", kKernalVisible, &memory.kernalRom[0], {0xEE, 0x00, 0xE0}, 0xE000, 0x41, 0x42, 0},
        {"ASL $A010 under BASIC", kBasicVisible, &memory.basicRom[0x10], {0x0E, 0x10, 0xA0}, 0xA010, 0xC1, 0x82,
         N | C},
        {"DEC $FFFF,X under the KERNAL", kKernalVisible, &memory.kernalRom[0x1FFF], {0xDE, 0xFE, 0xFF}, 0xFFFF, 0x01,
         0x00, Z},
    };
    // clang-format on
    for (const RomCase& c : kCases) {
        SCOPED_TRACE(c.name);
        clearMachine();
        memory.ram[0x0001] = c.port;
        *c.romByte = c.romValue;
        memory.ram[c.address] = 0x77;  // what RAM held beneath the ROM before
        for (std::size_t i = 0; i < c.code.size(); ++i) memory.ram[kCodeAt + i] = c.code[i];
        cpu.regPC = kCodeAt;
        cpu.regX = 0x01;
        runInstructions(1);
        EXPECT_EQ(hex(memory.ram[c.address]), hex(c.written));
        EXPECT_EQ(hex(readByte(c.address)), hex(c.romValue)) << "the ROM view must not change";
        EXPECT_EQ(hex(cpu.regP), hex(c.flags));
    }
}

TEST(VisibleRom, SuppliesOpcodesOperandsAndPointers) {
    clearMachine();
    memory.ram[0x0001] = kKernalVisible;
    // In the KERNAL image at $E100: LDA $E200 ; JMP ($E202). RAM beneath holds other bytes.
    const uint8_t program[] = {0xAD, 0x00, 0xE2, 0x6C, 0x02, 0xE2};
    std::memcpy(&memory.kernalRom[0x100], program, sizeof program);
    memory.kernalRom[0x200] = 0x5A;
    memory.kernalRom[0x202] = 0x34;
    memory.kernalRom[0x203] = 0x12;
    for (uint16_t at = 0xE100; at < 0xE110; ++at) memory.ram[at] = 0xEA;
    memory.ram[0xE200] = 0xA5;
    memory.ram[0xE202] = 0x78;
    memory.ram[0xE203] = 0x56;
    cpu.regPC = 0xE100;
    runInstructions(1);
    EXPECT_EQ(hex(cpu.regA), hex(0x5A));
    EXPECT_EQ(cpu.regPC, 0xE103);
    runInstructions(1);
    EXPECT_EQ(cpu.regPC, 0x1234);
}

// ---- The 6510 model

// The undocumented opcodes: one case per family and flag rule, the unstable ones with the
// constant and the high byte they take. Lengths, cycles and every addressing mode are in
// the timing tests.
TEST(Undocumented6510, CombineTheirOperationsAsTheChipDoes) {
    // clang-format off
    runTable({
        {"SLO shifts the cell left and ORs it into A", {0x07, 0x80}, {.a = 0x01}, {{0x80, 0x81}}, {.a = 0x03, .p = C}, {{0x80, 0x02}}},
        {"RLA rotates the cell left through C and ANDs it into A", {0x27, 0x80}, {.a = 0x0F, .p = C}, {{0x80, 0x80}}, {.a = 0x01, .p = C}, {{0x80, 0x01}}},
        {"SRE shifts the cell right and EORs it into A", {0x47, 0x80}, {.a = 0x01}, {{0x80, 0x03}}, {.a = 0x00, .p = Z | C}, {{0x80, 0x01}}},
        {"RRA rotates right, then adds with the carry shifted out", {0x67, 0x80}, {.a = 0x10}, {{0x80, 0x03}}, {.a = 0x12}, {{0x80, 0x01}}},
        {"RRA takes the old carry into bit 7 and adds the cell", {0x67, 0x80}, {.a = 0x10, .p = C}, {{0x80, 0x02}}, {.a = 0x91, .p = N}, {{0x80, 0x81}}},
        {"RRA adds in decimal with D set", {0x67, 0x80}, {.a = 0x09, .p = D}, {{0x80, 0x02}}, {.a = 0x10, .p = D}, {{0x80, 0x01}}},
        {"DCP decrements the cell and compares A with it", {0xC7, 0x80}, {.a = 0x10}, {{0x80, 0x11}}, {.a = 0x10, .p = Z | C}, {{0x80, 0x10}}},
        {"DCP of $00 wraps to $FF and compares", {0xC7, 0x80}, {.a = 0x10, .p = C}, {{0x80, 0x00}}, {.a = 0x10}, {{0x80, 0xFF}}},
        {"ISC increments the cell and subtracts it", {0xE7, 0x80}, {.a = 0x20, .p = C}, {{0x80, 0x0F}}, {.a = 0x10, .p = C}, {{0x80, 0x10}}},
        {"ISC subtracts in decimal with D set", {0xE7, 0x80}, {.a = 0x20, .p = D | C}, {{0x80, 0x08}}, {.a = 0x11, .p = D | C}, {{0x80, 0x09}}},
        {"SAX stores A AND X and changes no flag", {0x87, 0x80}, {.a = 0xF0, .x = 0x3C, .p = N}, {}, {.a = 0xF0, .x = 0x3C, .p = N}, {{0x80, 0x30}}},
        {"LAX loads A and X", {0xA7, 0x80}, {.p = Z}, {{0x80, 0x80}}, {.a = 0x80, .x = 0x80, .p = N}, {}},
        {"ANC ANDs and copies N into C", {0x0B, 0x81}, {.a = 0xF0}, {}, {.a = 0x80, .p = N | C}, {}},
        {"ANC $2B clears C with N", {0x2B, 0x0F}, {.a = 0xF0, .p = C}, {}, {.a = 0x00, .p = Z}, {}},
        {"ALR ANDs and shifts right", {0x4B, 0x03}, {.a = 0xFF, .p = N}, {}, {.a = 0x01, .p = C}, {}},
        {"ARR ANDs and rotates right; C from bit 6, V from bits 6 and 5", {0x6B, 0xC0}, {.a = 0xFF, .p = C}, {}, {.a = 0xE0, .p = N | C}, {}},
        {"ARR sets V when bits 6 and 5 differ", {0x6B, 0x80}, {.a = 0xFF}, {}, {.a = 0x40, .p = V | C}, {}},
        {"ARR rotates the old C into bit 7 and clears C and V", {0x6B, 0x00}, {.a = 0xFF, .p = C | V}, {}, {.a = 0x80, .p = N}, {}},
        {"SBX subtracts from A AND X without borrow", {0xCB, 0x10}, {.a = 0xF0, .x = 0x3C}, {}, {.a = 0xF0, .x = 0x20, .p = C}, {}},
        {"SBX below zero clears C and wraps", {0xCB, 0x10}, {.a = 0x0F, .x = 0x0F, .p = C | V}, {}, {.a = 0x0F, .x = 0xFF, .p = N | V}, {}},
        {"SBX ignores D", {0xCB, 0x01}, {.a = 0x10, .x = 0x10, .p = D}, {}, {.a = 0x10, .x = 0x0F, .p = D | C}, {}},
        {"USBC subtracts as SBC does", {0xEB, 0x01}, {.a = 0x10, .p = C}, {}, {.a = 0x0F, .p = C}, {}},
        {"USBC subtracts in decimal with D set", {0xEB, 0x01}, {.a = 0x10, .p = D | C}, {}, {.a = 0x09, .p = D | C}, {}},
        {"ANE ORs A with $EE before the ANDs", {0x8B, 0xFF}, {.a = 0x00, .x = 0xFF}, {}, {.a = 0xEE, .x = 0xFF, .p = N}, {}},
        {"ANE with A = $FF is X AND M", {0x8B, 0x0F}, {.a = 0xFF, .x = 0x3C}, {}, {.a = 0x0C, .x = 0x3C}, {}},
        {"LXA ORs A with $EE and loads A and X", {0xAB, 0x7F}, {.a = 0x01, .x = 0x55}, {}, {.a = 0x6F, .x = 0x6F}, {}},
        {"SHA abs,Y stores A AND X AND (high byte + 1)", {0x9F, 0x00, 0x12}, {.a = 0xFF, .x = 0xF3, .y = 0x10}, {}, {.a = 0xFF, .x = 0xF3, .y = 0x10}, {{0x1210, 0x13}}},
        {"SHA abs,Y across a page stores to the high byte it computed", {0x9F, 0xF0, 0x12}, {.a = 0xF1, .x = 0xFF, .y = 0x20}, {}, {.a = 0xF1, .x = 0xFF, .y = 0x20}, {{0x1110, 0x11}}},
        {"SHA (zp),Y takes the pointer's high byte", {0x93, 0x20}, {.a = 0x37, .x = 0xFF, .y = 0x05}, {{0x20, 0x00}, {0x21, 0x12}}, {.a = 0x37, .x = 0xFF, .y = 0x05}, {{0x1205, 0x13}}},
        {"SHX stores X AND (high byte + 1)", {0x9E, 0x00, 0x34}, {.x = 0xFF, .y = 0x01}, {}, {.x = 0xFF, .y = 0x01}, {{0x3401, 0x35}}},
        {"SHY stores Y AND (high byte + 1)", {0x9C, 0x00, 0x34}, {.x = 0x01, .y = 0xFF}, {}, {.x = 0x01, .y = 0xFF}, {{0x3401, 0x35}}},
        {"TAS sets S to A AND X and stores S AND (high byte + 1)", {0x9B, 0x00, 0x34}, {.a = 0xF7, .x = 0x3F, .y = 0x01, .p = Z}, {}, {.a = 0xF7, .x = 0x3F, .y = 0x01, .s = 0x37, .p = Z}, {{0x3401, 0x35}}},
        {"LAS loads M AND S into A, X and S", {0xBB, 0x00, 0x34}, {.y = 0x01, .s = 0x3F}, {{0x3401, 0xF5}}, {.a = 0x35, .x = 0x35, .y = 0x01, .s = 0x35}, {}},
        {"LAS sets N", {0xBB, 0x00, 0x34}, {.y = 0x01, .s = 0xFF}, {{0x3401, 0x80}}, {.a = 0x80, .x = 0x80, .y = 0x01, .s = 0x80, .p = N}, {}},
        {"NOP zp reads and changes nothing", {0x04, 0x80}, {.a = 0x12, .p = N | C}, {{0x80, 0x00}}, {.a = 0x12, .p = N | C}, {}},
        {"NOP abs,X changes nothing", {0x1C, 0x00, 0x34}, {.x = 0x01, .p = Z}, {}, {.x = 0x01, .p = Z}, {}},
        {"NOP #imm changes nothing", {0x80, 0xFF}, {.p = V}, {}, {.p = V}, {}},
        {"one-byte NOP changes nothing", {0x1A}, {.a = 0x01}, {}, {.a = 0x01}, {}},
        {"ADC with D set corrects both digits", {0x69, 0x01}, {.a = 0x09, .p = D}, {}, {.a = 0x10, .p = D}, {}},
        {"ADC $99 + $01 with D set: $00, C, N from the digits, Z from the binary sum", {0x69, 0x01}, {.a = 0x99, .p = D}, {}, {.a = 0x00, .p = D | N | C}, {}},
        {"SBC with D set borrows a decimal digit", {0xE9, 0x01}, {.a = 0x10, .p = D | C}, {}, {.a = 0x09, .p = D | C}, {}},
    }, CpuModel::Mos6510);
    // clang-format on
}

// What the NMOS chip computes in decimal mode, written from its published description
// (the steps of the digit-wise addition and subtraction and the intermediate results the
// flags come from), apart from the core's code.
struct DecimalResult {
    uint8_t a;
    uint8_t flags;  // N V Z C
};

DecimalResult referenceDecimalAdd(int a, int b, int carry) {
    // The low digits and the carry; past 9 the digit is corrected and carries.
    int low = (a & 0x0F) + (b & 0x0F) + carry;
    if (low >= 0x0A) low = ((low + 0x06) & 0x0F) + 0x10;
    // The high digits and the low digit's result: N and V come from this sum taken with
    // signed high digits, before the high digit is corrected.
    int sum = (a & 0xF0) + (b & 0xF0) + low;
    int signedSum = static_cast<int8_t>(a & 0xF0) + static_cast<int8_t>(b & 0xF0) + low;
    bool n = (signedSum & 0x80) != 0;
    bool v = signedSum < -128 || signedSum > 127;
    if (sum >= 0xA0) sum += 0x60;
    bool c = sum >= 0x100;
    bool z = ((a + b + carry) & 0xFF) == 0;  // as in binary
    return {static_cast<uint8_t>(sum),
            static_cast<uint8_t>((n ? N : 0) | (v ? V : 0) | (z ? Z : 0) | (c ? C : 0))};
}

DecimalResult referenceDecimalSubtract(int a, int b, int carry) {
    int low = (a & 0x0F) - (b & 0x0F) + carry - 1;
    if (low < 0) low = ((low - 0x06) & 0x0F) - 0x10;
    int result = (a & 0xF0) - (b & 0xF0) + low;
    if (result < 0) result -= 0x60;
    // The flags are those of the binary subtraction.
    int difference = a - b + carry - 1;
    int signedDifference = static_cast<int8_t>(a) - static_cast<int8_t>(b) + carry - 1;
    bool n = (difference & 0x80) != 0;
    bool v = signedDifference < -128 || signedDifference > 127;
    bool z = (difference & 0xFF) == 0;
    bool c = difference >= 0;
    return {static_cast<uint8_t>(result),
            static_cast<uint8_t>((n ? N : 0) | (v ? V : 0) | (z ? Z : 0) | (c ? C : 0))};
}

// ARR with D set: AND, then rotate right with C into bit 7. N is the old C, Z the rotated
// value's, V whether bit 6 changed in the rotation. The low digit of the AND is corrected
// by 6 when it plus its bit 0 is over 5 (without carry); the high digit the same way,
// which also sets C.
DecimalResult referenceDecimalArr(int a, int m, int carry) {
    int t = a & m;
    int r = (t >> 1) | (carry << 7);
    bool n = carry != 0;
    bool z = r == 0;
    bool v = ((t ^ r) & 0x40) != 0;
    if ((t & 0x0F) + (t & 0x01) > 5) r = (r & 0xF0) | ((r + 6) & 0x0F);
    bool c = (t & 0xF0) + (t & 0x10) > 0x50;
    if (c) r += 0x60;
    return {static_cast<uint8_t>(r),
            static_cast<uint8_t>((n ? N : 0) | (v ? V : 0) | (z ? Z : 0) | (c ? C : 0))};
}

// Runs the immediate instruction `opcode` once with D set for every operand pair and both
// carries, through the 6510 model's one-instruction entry, and compares with `reference`.
void expectDecimalEverywhere(uint8_t opcode, DecimalResult (*reference)(int, int, int)) {
    constexpr uint16_t kOperandAt = 0x0201;
    int mismatches = 0;
    for (int a = 0; a < 256; ++a) {
        for (int m = 0; m < 256; ++m) {
            for (int carry = 0; carry < 2; ++carry) {
                memory.ram[kOperandAt] = static_cast<uint8_t>(m);
                cpu.regA = static_cast<uint8_t>(a);
                cpu.regP = static_cast<uint8_t>(D | I | carry);
                cpu.regPC = kOperandAt;
                executeOpcode(CpuModel::Mos6510, opcode);
                DecimalResult expected = reference(a, m, carry);
                DecimalResult got = {cpu.regA, static_cast<uint8_t>(cpu.regP & (N | V | Z | C))};
                bool keptDAndI = (cpu.regP & (D | I)) == (D | I);
                if ((got.a != expected.a || got.flags != expected.flags || !keptDAndI) &&
                    mismatches++ < 10) {
                    ADD_FAILURE() << hex(opcode) << " with A=" << hex(a) << " M=" << hex(m)
                                  << " C=" << carry << ": A=" << hex(got.a) << " NVZC flags "
                                  << hex(got.flags) << ", expected A=" << hex(expected.a)
                                  << " flags " << hex(expected.flags)
                                  << (keptDAndI ? "" : "; D or I changed");
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Decimal6510, AdcMatchesTheChipForEveryOperandPairAndCarry) {
    clearMachine();
    expectDecimalEverywhere(0x69, referenceDecimalAdd);
}

TEST(Decimal6510, SbcMatchesTheChipForEveryOperandPairAndCarry) {
    clearMachine();
    expectDecimalEverywhere(0xE9, referenceDecimalSubtract);
    expectDecimalEverywhere(0xEB, referenceDecimalSubtract);  // USBC
}

TEST(Decimal6510, ArrMatchesTheChipForEveryOperandPairAndCarry) {
    clearMachine();
    expectDecimalEverywhere(0x6B, referenceDecimalArr);
}

}  // namespace
