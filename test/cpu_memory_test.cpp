// The memory map: what the processor sees at each ROM window for every value of the port
// bits, word reads across window edges, and writes under a visible ROM.
#include <gtest/gtest.h>

#include <cstring>

#include "cpu/state.h"

namespace {

enum Source : uint8_t { Ram = 0x01, Basic = 0x02, Char = 0x03, Kernal = 0x04 };

void fillSources() {
    std::memset(memory.ram, Ram, sizeof memory.ram);
    std::memset(memory.basicRom, Basic, sizeof memory.basicRom);
    std::memset(memory.charRom, Char, sizeof memory.charRom);
    std::memset(memory.kernalRom, Kernal, sizeof memory.kernalRom);
}

struct BankingRow {
    uint8_t port;  // ram[$01] AND 7
    Source basicWindow, charWindow, kernalWindow;
};

TEST(MemoryMap, EachPortValueSelectsItsViewAtEveryWindowEdge) {
    // clang-format off
    const BankingRow rows[] = {
        {0, Ram, Char, Ram},      {1, Basic, Char, Ram},  {2, Ram, Char, Kernal},
        {3, Basic, Char, Kernal}, {4, Ram, Ram, Ram},     {5, Basic, Ram, Ram},
        {6, Ram, Ram, Kernal},    {7, Basic, Ram, Kernal},
    };
    // clang-format on
    for (const auto& row : rows) {
        fillSources();
        // The high bits of the port cell never matter.
        memory.ram[0x0001] = static_cast<uint8_t>(0xF8 | row.port);
        SCOPED_TRACE(testing::Message() << "port " << int(row.port));
        EXPECT_EQ(readByte(0x9FFF), Ram);
        EXPECT_EQ(readByte(0xA000), row.basicWindow);
        EXPECT_EQ(readByte(0xBFFF), row.basicWindow);
        EXPECT_EQ(readByte(0xC000), Ram);
        EXPECT_EQ(readByte(0xCFFF), Ram);
        EXPECT_EQ(readByte(0xD000), row.charWindow);
        EXPECT_EQ(readByte(0xDFFF), row.charWindow);
        EXPECT_EQ(readByte(0xE000), row.kernalWindow);
        EXPECT_EQ(readByte(0xFFFF), row.kernalWindow);
    }
}

TEST(MemoryMap, ReadsTakeTheOffsetWithinTheirBuffer) {
    fillSources();
    memory.ram[0x0001] = 0x03;  // BASIC, character ROM and KERNAL visible
    memory.basicRom[0x1234] = 0xB1;
    memory.charRom[0x0021] = 0xC1;
    memory.kernalRom[0x1FFC] = 0xE1;
    EXPECT_EQ(readByte(0xB234), 0xB1);
    EXPECT_EQ(readByte(0xD021), 0xC1);
    EXPECT_EQ(readByte(0xFFFC), 0xE1);
}

struct WordRow {
    const char* name;
    uint8_t port;
    uint16_t address;
    uint16_t expected;
};

TEST(MemoryMap, WordReadsTakeBothBytesFromTheFirstBytesBuffer) {
    fillSources();
    memory.ram[0x9FFF] = 0x11;
    memory.ram[0xA000] = 0x22;
    memory.basicRom[0x1FFF] = 0x33;
    memory.basicRom[0x2000] = 0x44;  // the spare byte
    memory.charRom[0x0FFF] = 0x55;
    memory.charRom[0x1000] = 0x66;
    memory.ram[0xDFFF] = 0x77;
    memory.ram[0xE000] = 0x88;
    memory.kernalRom[0x1FFF] = 0x99;
    memory.kernalRom[0x2000] = 0xAA;
    memory.ram[0xFFFF] = 0xBB;
    memory.ram[0x0000] = 0xCC;
    memory.kernalRom[0x1FFC] = 0x0D;
    memory.kernalRom[0x1FFD] = 0xE0;
    // clang-format off
    const WordRow rows[] = {
        {"below BASIC, BASIC visible", 0x07, 0x9FFF, 0x2211},
        {"last BASIC byte and the spare byte", 0x07, 0xBFFF, 0x4433},
        {"last character ROM byte and its spare", 0x03, 0xDFFF, 0x6655},
        {"RAM at $DFFF, KERNAL visible at $E000", 0x07, 0xDFFF, 0x8877},
        {"last KERNAL byte and its spare", 0x07, 0xFFFF, 0xAA99},
        {"RAM at $FFFF wraps to $0000", 0x05, 0xFFFF, 0xCCBB},
        {"reset vector from the KERNAL", 0x07, 0xFFFC, 0xE00D},
    };
    // clang-format on
    for (const auto& row : rows) {
        memory.ram[0x0001] = row.port;
        // The port cell is also the low byte of the word at $0000; keep the RAM wrap case clean.
        EXPECT_EQ(readWord(row.address), row.expected) << row.name;
    }
}

TEST(MemoryMap, WritesUnderAVisibleRomLandInRamAndShowOnceTheRomIsHidden) {
    fillSources();
    memory.ram[0x0001] = 0xE7;
    writeByte(0xE000, 0x55);
    EXPECT_EQ(readByte(0xE000), Kernal);
    EXPECT_EQ(memory.ram[0xE000], 0x55);
    memory.ram[0x0001] = 0xE5;  // KERNAL hidden, BASIC still visible
    EXPECT_EQ(readByte(0xE000), 0x55);
    EXPECT_EQ(readByte(0xA000), Basic);

    memory.ram[0x0001] = 0xE3;  // character ROM visible
    writeByte(0xD021, 6);
    EXPECT_EQ(readByte(0xD021), Char);
    EXPECT_EQ(memory.ram[0xD021], 6);
    EXPECT_EQ(memory.charRom[0x021], Char);
}

TEST(MemoryMap, AStoreToThePortTakesEffectOnTheNextRead) {
    fillSources();
    memory.ram[0x0001] = 0xE7;
    EXPECT_EQ(readByte(0xA000), Basic);
    writeByte(0x0001, 0xE6);
    EXPECT_EQ(readByte(0xA000), Ram);
}

// The ROM windows are where the banking can show a ROM: with BASIC and the KERNAL visible
// and the I/O bit clear (the character ROM), every address of a window reads a buffer, and
// every other one RAM.
TEST(MemoryMap, TheRomWindowsAreWhereTheBankingShowsARom) {
    memory.ram[kPortAddress] = kPortBasic | kPortKernal;
    for (uint32_t a = 0; a < kRamSize; ++a) {
        auto address = static_cast<uint16_t>(a);
        EXPECT_EQ(inRomWindow(address), bankedLocation(address) != &memory.ram[address]) << a;
    }
    for (const RomWindow& window : kRomWindows) EXPECT_LT(window.first, window.end);
}

TEST(Flags, SetFlagUsesTheLowByteAndTestFlagAnswersOneOrZero) {
    CpuState c{};
    setFlag(c, kFlagC, 0x80);
    EXPECT_EQ(c.regP, kFlagC);
    setFlag(c, kFlagC, 0x100);  // only the low eight bits count: off
    EXPECT_EQ(c.regP, 0);
    c.regP = kFlagN;
    setFlag(c, kFlagN, 0);
    EXPECT_EQ(c.regP, 0);
    c.regP = kFlagV;
    EXPECT_EQ(testFlag(c, kFlagN | kFlagV), 1u);
    EXPECT_EQ(testFlag(c, kFlagN), 0u);
    EXPECT_EQ(toSigned(0x80), -128);
    EXPECT_EQ(toSigned(0x7F), 127);
    EXPECT_EQ(lowByte(0x1234), 0x34);
    EXPECT_EQ(highByte(0x1234), 0x12);
}

}  // namespace
