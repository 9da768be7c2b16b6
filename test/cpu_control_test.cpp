// The stack, JSR and RTS, BRK and RTI, the stack instructions, JMP, interrupt entry and
// reset. Most cases are short instruction sequences: the bytes placed in memory, the
// registers before, how many instructions run, and the registers, memory and cycles
// after. No cell outside the listed ones may change.
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

constexpr uint8_t kBit5 = kFlagBit5;

constexpr uint8_t kAllRam = 0x04;         // ram[$01]: RAM everywhere
constexpr uint8_t kKernalVisible = 0x06;  // ram[$01]: KERNAL at $E000-$FFFF
constexpr uint16_t kResetVectorAt = 0xFFFC;
constexpr uint16_t kIrqVectorAt = 0xFFFE;

// Consecutive bytes from an address.
struct Bytes {
    uint16_t at;
    std::vector<uint8_t> values;
};

struct Sequence {
    const char* name;
    std::vector<Bytes> memoryBefore;  // code, data and stack contents
    uint16_t pc;
    Registers before;
    int instructions;
    uint16_t pcAfter;
    Registers after;
    std::vector<Bytes> memoryAfter;  // the only cells allowed to change, with their new values
    int cycles;
    CpuModel model = CpuModel::Plain;
};

// A cleared machine with RAM everywhere.
void clearToRam() {
    clearMachine();
    memory.ram[0x0001] = kAllRam;
}

void place(const std::vector<Bytes>& blocks, uint8_t* ram) {
    for (const Bytes& block : blocks) {
        for (std::size_t i = 0; i < block.values.size(); ++i)
            ram[static_cast<uint16_t>(block.at + i)] = block.values[i];
    }
}

void setRegisters(const Registers& r) {
    cpu.regA = r.a;
    cpu.regX = r.x;
    cpu.regY = r.y;
    cpu.regS = r.s;
    cpu.regP = r.p;
}

void expectRegisters(const Registers& r) {
    EXPECT_EQ(hex(cpu.regA), hex(r.a)) << "A";
    EXPECT_EQ(hex(cpu.regX), hex(r.x)) << "X";
    EXPECT_EQ(hex(cpu.regY), hex(r.y)) << "Y";
    EXPECT_EQ(hex(cpu.regS), hex(r.s)) << "S";
    EXPECT_EQ(hex(cpu.regP), hex(r.p)) << "P";
}

void expectMemory(const MemoryMap& expected) {
    for (std::size_t address = 0; address < kRamSize; ++address) {
        if (memory.ram[address] != expected.ram[address]) {
            ADD_FAILURE() << "ram[" << hex(static_cast<unsigned>(address))
                          << "] = " << hex(memory.ram[address]) << ", expected "
                          << hex(expected.ram[address]);
        }
    }
}

void runSequences(const std::vector<Sequence>& table) {
    static MemoryMap expected;
    for (const Sequence& s : table) {
        SCOPED_TRACE(s.name);
        clearToRam();
        place(s.memoryBefore, memory.ram);
        setRegisters(s.before);
        cpu.regPC = s.pc;
        expected = memory;
        place(s.memoryAfter, expected.ram);

        runInstructions(static_cast<uint64_t>(s.instructions), s.model);

        EXPECT_EQ(hex(cpu.regPC), hex(s.pcAfter)) << "PC";
        expectRegisters(s.after);
        EXPECT_EQ(cpu.cycleCount, s.cycles) << "cycles";
        expectMemory(expected);
    }
}

TEST(Stack, PushesAndPullsWrapInsidePageOne) {
    // clang-format off
    runSequences({
        {"PHA at S = $00 stores at $0100 and wraps S to $FF",
         {{0xC000, {0x48}}}, 0xC000, {.a = 0x5A, .s = 0x00}, 1,
         0xC001, {.a = 0x5A, .s = 0xFF}, {{0x0100, {0x5A}}}, 3},
        {"PLA at S = $FF reads $0100 and wraps S to $00",
         {{0xC000, {0x68}}, {0x0100, {0x80}}, {0x01FF, {0x11}}}, 0xC000, {.s = 0xFF, .p = C | V | I | D}, 1,
         0xC001, {.a = 0x80, .s = 0x00, .p = N | C | V | I | D}, {}, 4},
        {"PLA of $00 sets Z and clears N",
         {{0xC000, {0x68}}, {0x01FF, {0x00}}}, 0xC000, {.a = 0x99, .s = 0xFE, .p = N}, 1,
         0xC001, {.a = 0x00, .s = 0xFF, .p = Z}, {}, 4},
        {"PHA then PLA round trip",
         {{0xC000, {0x48, 0xA9, 0x00, 0x68}}}, 0xC000, {.a = 0x81}, 3,
         0xC004, {.a = 0x81, .p = N}, {{0x01FF, {0x81}}}, 9},
        {"RTS pulls across the wrap from $FF to $00",
         {{0xC000, {0x60}}, {0x01FF, {0x33}}, {0x0100, {0x12}}}, 0xC000, {.s = 0xFE}, 1,
         0x1234, {.s = 0x00}, {}, 6},
        {"JSR at S = $00 pushes across the wrap",
         {{0xC000, {0x20, 0x00, 0xC1}}}, 0xC000, {.s = 0x00}, 1,
         0xC100, {.s = 0xFE}, {{0x0100, {0xC0}}, {0x01FF, {0x02}}}, 6},
    });
    // clang-format on
}

TEST(Stack, PhpPushesBSetAndPlpClearsIt) {
    // clang-format off
    runSequences({
        {"PHP pushes P with B set and leaves P as it was",
         {{0xC000, {0x08}}}, 0xC000, {.p = N | D | C | kBit5}, 1,
         0xC001, {.s = 0xFE, .p = N | D | C | kBit5}, {{0x01FF, {N | D | C | kBit5 | B}}}, 3},
        {"PLP clears B and takes every other bit as pulled",
         {{0xC000, {0x28}}, {0x01FF, {0xFF}}}, 0xC000, {.s = 0xFE}, 1,
         0xC001, {.s = 0xFF, .p = 0xFF & ~B}, {}, 4},
        {"PLP of $00 clears bit 5, D and I",
         {{0xC000, {0x28}}, {0x01FF, {0x00}}}, 0xC000, {.s = 0xFE, .p = 0xFF}, 1,
         0xC001, {.s = 0xFF, .p = 0x00}, {}, 4},
        {"PHP then PLP gives P back with B clear",
         {{0xC000, {0x08, 0x28}}}, 0xC000, {.p = B | kBit5 | D | I | C}, 2,
         0xC002, {.p = kBit5 | D | I | C}, {{0x01FF, {B | kBit5 | D | I | C}}}, 7},
    });
    // clang-format on
}

TEST(Subroutines, JsrPushesItsLastByteAndRtsAddsOne) {
    // clang-format off
    runSequences({
        {"JSR pushes the address of its last byte, high byte first",
         {{0xC000, {0x20, 0x00, 0xC1}}}, 0xC000, {}, 1,
         0xC100, {.s = 0xFD}, {{0x01FE, {0x02, 0xC0}}}, 6},
        {"RTS continues one past the pulled address",
         {{0xC100, {0x60}}, {0x01FE, {0x02, 0xC0}}}, 0xC100, {.s = 0xFD}, 1,
         0xC003, {}, {}, 6},
        {"JSR then RTS continue after the JSR and touch no flag",
         {{0xC000, {0x20, 0x00, 0xC1}}, {0xC100, {0x60}}}, 0xC000, {.p = N | Z | C}, 2,
         0xC003, {.p = N | Z | C}, {{0x01FE, {0x02, 0xC0}}}, 12},
        {"RTS into a pushed address minus one",
         // LDA #$12 ; PHA ; LDA #$33 ; PHA ; RTS
         {{0xC000, {0xA9, 0x12, 0x48, 0xA9, 0x33, 0x48, 0x60}}}, 0xC000, {}, 5,
         0x1234, {.a = 0x33}, {{0x01FE, {0x33, 0x12}}}, 16},
        {"A routine pulls its return address to read the inline byte after the JSR",
         {{0xC000, {0x20, 0x00, 0xC1, 0x2A, 0xEA}},  // JSR $C100 ; .byte $2A ; NOP
          {0xC100, {0x68,              // PLA            low byte of the JSR's last byte
                    0x85, 0xFB,        // STA $FB
                    0x68,              // PLA            high byte
                    0x85, 0xFC,        // STA $FC
                    0xA0, 0x01,        // LDY #1
                    0xB1, 0xFB,        // LDA ($FB),Y    the inline byte
                    0x85, 0xFD,        // STA $FD
                    0xE6, 0xFB,        // INC $FB        step over it
                    0xA5, 0xFC,        // LDA $FC
                    0x48,              // PHA
                    0xA5, 0xFB,        // LDA $FB
                    0x48,              // PHA
                    0x60}}},           // RTS
         0xC000, {}, 14,
         0xC004, {.a = 0x03, .y = 0x01}, {{0x00FB, {0x03, 0xC0, 0x2A}}, {0x01FE, {0x03, 0xC0}}}, 53},
    });
    // clang-format on
}

TEST(Jumps, AbsoluteAndIndirect) {
    // clang-format off
    runSequences({
        {"JMP absolute", {{0xC000, {0x4C, 0x34, 0x12}}}, 0xC000, {.p = Z}, 1, 0x1234, {.p = Z}, {}, 3},
        {"JMP indirect", {{0xC000, {0x6C, 0x00, 0x30}}, {0x3000, {0x34, 0x12}}}, 0xC000, {}, 1, 0x1234, {}, {}, 5},
        {"JMP indirect through $10FF takes the high byte from $1100",
         {{0xC000, {0x6C, 0xFF, 0x10}}, {0x10FF, {0x00, 0xC0}}, {0x1000, {0xD0}}}, 0xC000, {}, 1,
         0xC000, {}, {}, 5},
        {"6510: JMP indirect through $10FF takes the high byte from $1000",
         {{0xC000, {0x6C, 0xFF, 0x10}}, {0x10FF, {0x00, 0xC0}}, {0x1000, {0xD0}}}, 0xC000, {}, 1,
         0xD000, {}, {}, 5, CpuModel::Mos6510},
        {"6510: JMP indirect within a page", {{0xC000, {0x6C, 0x00, 0x30}}, {0x3000, {0x34, 0x12}}}, 0xC000, {}, 1,
         0x1234, {}, {}, 5, CpuModel::Mos6510},
        {"6510: a JAM stops the processor on itself", {{0xC000, {0x02, 0xEA}}}, 0xC000, {.a = 1, .p = C}, 3,
         0xC000, {.a = 1, .p = C}, {}, 6, CpuModel::Mos6510},
    });
    // clang-format on
}

TEST(BreakAndReturn, BrkPushesPcPlusTwoAndRtiRestores) {
    const Bytes kVector{kIrqVectorAt, {0x00, 0xC2}};
    // clang-format off
    runSequences({
        {"BRK pushes its address plus two and P with B set, sets I and jumps through $FFFE",
         {{0xC000, {0x00, 0xEA}}, kVector}, 0xC000, {.p = N | D | C | kBit5}, 1,
         0xC200, {.s = 0xFC, .p = N | D | C | kBit5 | I},
         {{0x01FD, {N | D | C | kBit5 | B, 0x02, 0xC0}}}, 7},
        {"BRK keeps B of P itself clear",
         {{0xC000, {0x00}}, kVector}, 0xC000, {.p = I}, 1,
         0xC200, {.s = 0xFC, .p = I}, {{0x01FD, {I | B, 0x02, 0xC0}}}, 7},
        {"BRK then RTI returns past the padding byte with P as pushed",
         {{0xC000, {0x00, 0xEA}}, {0xC200, {0x40}}, kVector}, 0xC000, {.p = V | Z}, 2,
         0xC002, {.p = V | Z | B}, {{0x01FD, {V | Z | B, 0x02, 0xC0}}}, 13},
        {"RTI takes P exactly as pulled and the address without adding one",
         {{0xC000, {0x40}}, {0x01FD, {0xFF, 0x34, 0x12}}}, 0xC000, {.s = 0xFC}, 1,
         0x1234, {.p = 0xFF}, {}, 6},
    });
    // clang-format on
}

TEST(Interrupts, EntryPushesPcAndPWithBClearAndSetsI) {
    struct InterruptCase {
        const char* name;
        Registers before;
        Registers after;
        uint16_t pcAfter;
        std::vector<Bytes> stackAfter;
        int cyclesAfter;
    };
    // clang-format off
    const std::vector<InterruptCase> kCases = {
        {"I clear: pushes PC and P, sets I, continues at the vector",
         {.p = N | C}, {.s = 0xFC, .p = N | C | I}, 0xC200, {{0x01FD, {N | C, 0x34, 0x12}}}, 107},
        {"B set in P is pushed clear and stays set in P",
         {.p = B | kBit5 | D | C}, {.s = 0xFC, .p = B | kBit5 | D | C | I}, 0xC200,
         {{0x01FD, {kBit5 | D | C, 0x34, 0x12}}}, 107},
        {"I set: nothing happens", {.a = 1, .x = 2, .y = 3, .s = 0x80, .p = I | Z},
         {.a = 1, .x = 2, .y = 3, .s = 0x80, .p = I | Z}, 0x1234, {}, 100},
    };
    // clang-format on
    static MemoryMap expected;
    for (const InterruptCase& c : kCases) {
        SCOPED_TRACE(c.name);
        clearToRam();
        place({{kIrqVectorAt, {0x00, 0xC2}}}, memory.ram);
        setRegisters(c.before);
        cpu.regPC = 0x1234;
        cpu.cycleCount = 100;
        expected = memory;
        place(c.stackAfter, expected.ram);

        raiseIrq(cpu);

        EXPECT_EQ(hex(cpu.regPC), hex(c.pcAfter));
        expectRegisters(c.after);
        EXPECT_EQ(cpu.cycleCount, c.cyclesAfter);
        expectMemory(expected);
    }
}

TEST(Reset, SetsIAndZeroCyclesAndLeavesTheOtherRegisters) {
    clearToRam();
    place({{kResetVectorAt, {0x34, 0x12}}}, memory.ram);
    setRegisters({.a = 0x11, .x = 0x22, .y = 0x33, .s = 0x42, .p = N | D | kBit5});
    cpu.cycleCount = 1234;
    static MemoryMap before;
    before = memory;

    cpuReset(cpu);

    EXPECT_EQ(hex(cpu.regPC), hex(0x1234));
    expectRegisters({.a = 0x11, .x = 0x22, .y = 0x33, .s = 0x42, .p = N | D | kBit5 | I});
    EXPECT_EQ(cpu.cycleCount, 0);
    expectMemory(before);
}

// Where the three ways into the vectors take their vector from: the KERNAL image when it
// is visible, the RAM beneath it otherwise.
TEST(Vectors, ComeFromTheKernalImageWhenItIsVisible) {
    enum class Entry { Brk, Irq, Reset };
    struct VectorCase {
        const char* name;
        Entry entry;
        uint8_t port;
        uint16_t pcAfter;
    };
    // clang-format off
    const VectorCase kCases[] = {
        {"BRK, KERNAL visible", Entry::Brk, kKernalVisible, 0xE123},
        {"BRK, RAM visible", Entry::Brk, kAllRam, 0x4567},
        {"interrupt, KERNAL visible", Entry::Irq, kKernalVisible, 0xE123},
        {"interrupt, RAM visible", Entry::Irq, kAllRam, 0x4567},
        {"reset, KERNAL visible", Entry::Reset, kKernalVisible, 0xE89A},
        {"reset, RAM visible", Entry::Reset, kAllRam, 0x7654},
    };
    // clang-format on
    for (const VectorCase& c : kCases) {
        SCOPED_TRACE(c.name);
        clearToRam();
        memory.ram[0x0001] = c.port;
        place({{kResetVectorAt, {0x54, 0x76, 0x67, 0x45}}}, memory.ram);
        place({{kResetVectorAt - 0xE000, {0x9A, 0xE8, 0x23, 0xE1}}}, memory.kernalRom);
        memory.ram[0xC000] = 0x00;  // BRK
        cpu.regPC = 0xC000;
        switch (c.entry) {
            case Entry::Brk: runInstructions(1); break;
            case Entry::Irq: raiseIrq(cpu); break;
            case Entry::Reset: cpuReset(cpu); break;
        }
        EXPECT_EQ(hex(cpu.regPC), hex(c.pcAfter));
    }
}

}  // namespace

namespace {

// Every opcode of every model against the table's stack effects: those with pushes move
// the stack pointer down by that many bytes and those without never move it down; those
// that may clear status bit 5 do when they pull a 0 from the stack, and no other does.
TEST(StackEffects, TheTableSaysWhatEveryOpcodeDoesToTheStackAndBit5) {
    constexpr uint8_t kTop = 0xF0;
    for (CpuModel model : {CpuModel::Plain, CpuModel::Mos6510}) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            const OpcodeInfo& info = opcodeInfo(model, static_cast<uint8_t>(byte));
            SCOPED_TRACE(std::string(cpuModelName(model)) + " " + hex(byte) + " " +
                         std::string(info.mnemonic));
            // RAM everywhere holds $FF (so that LAS, which ANDs S with memory, keeps S), the
            // stack page 0 (so that a pull of P clears bit 5), and the code its operand.
            clearMachine();
            std::memset(memory.ram, 0xFF, sizeof memory.ram);
            std::memset(&memory.ram[kStackPage], 0, 256);
            memory.ram[kPortAddress] = kAllRam;
            memory.ram[0x1000] = static_cast<uint8_t>(byte);
            memory.ram[0x1001] = 0x00;
            memory.ram[0x1002] = 0x20;
            // TXS and TAS load S from X or A AND X: both hold the stack pointer too.
            cpu.regA = cpu.regX = cpu.regS = kTop;
            cpu.regP = kBit5;
            cpu.regPC = 0x1001;
            executeOpcode(model, static_cast<uint8_t>(byte));
            if (info.stackPushes > 0) {
                EXPECT_EQ(cpu.regS, kTop - info.stackPushes);
            } else {
                EXPECT_GE(cpu.regS, kTop);
            }
            EXPECT_EQ((cpu.regP & kBit5) == 0, info.mayClearBit5);
        }
    }
}

}  // namespace
