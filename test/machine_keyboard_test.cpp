// The keyboard port stub: which random value gives which row byte (rounding half to
// even), when it stays quiet without drawing a number, and that it looks at $DC00 the
// way the processor sees it.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>

#include "host/headless.h"
#include "host/host.h"
#include "machine/keyboard.h"

namespace {

constexpr uint8_t kUntouchedRow = 0x5A;  // what $DC01 holds before the stub runs
constexpr uint16_t kColumnSelectInCharRom = kKeyboardColumnSelect - 0xD000;

class KeyboardPort : public testing::Test {
protected:
    void SetUp() override {
        headlessReset();
        std::memset(&memory, 0, sizeof memory);
        memory.ram[0x0001] = kPortAtPowerUp;
        memory.ram[kKeyboardRowData] = kUntouchedRow;
    }
    void TearDown() override { headlessReset(); }
};

TEST_F(KeyboardPort, RandomValueSelectsOneBitRoundingHalfToEven) {
    struct Row {
        double random;
        uint8_t rowByte;
    };
    // clang-format off
    const Row rows[] = {
        {0.0, 0x01},
        {1.0 / 16, 0x01},                         // r * 8 = 0.5: the tie goes to 0
        {std::nextafter(1.0 / 16, 1.0), 0x02},    // just above the tie
        {0.125, 0x02},
        {0.1875, 0x04},                           // 1.5 rounds up to 2
        {0.3125, 0x04},                           // 2.5 rounds down to 2
        {0.4375, 0x10},                           // 3.5 rounds up to 4
        {0.5, 0x10},
        {0.875, 0x80},
        {std::nextafter(7.5 / 8, 0.0), 0x80},     // just below 7.5
        {7.5 / 8, 0x00},                          // 7.5 rounds to 8: no bit at all
        {0.99, 0x00},
        {std::nextafter(1.0, 0.0), 0x00},
    };
    // clang-format on
    memory.ram[kKeyboardColumnSelect] = kScanColumnZero;
    for (const Row& row : rows) {
        memory.ram[kKeyboardRowData] = kUntouchedRow;
        headlessQueueRandom(row.random);
        updateKeyboardPort();
        EXPECT_EQ(memory.ram[kKeyboardRowData], row.rowByte) << "random " << row.random;
    }
}

// Any other column select leaves $DC01 alone and draws no random number: the value
// queued while it was quiet is the one the next scan gets.
TEST_F(KeyboardPort, OtherColumnSelectsLeaveTheRowAndTheSequenceAlone) {
    for (uint8_t select :
         {uint8_t{0xFF}, uint8_t{0x00}, uint8_t{0xFD}, uint8_t{0x7E}, uint8_t{0xFC}}) {
        SCOPED_TRACE(testing::Message() << "select " << std::hex << int{select});
        SetUp();
        headlessQueueRandom(0.5);
        memory.ram[kKeyboardColumnSelect] = select;
        updateKeyboardPort();
        EXPECT_EQ(memory.ram[kKeyboardRowData], kUntouchedRow);
        memory.ram[kKeyboardColumnSelect] = kScanColumnZero;
        updateKeyboardPort();
        EXPECT_EQ(memory.ram[kKeyboardRowData], 0x10) << "the queued 0.5 was still first";
    }
}

// With the character ROM banked in, the processor sees charRom[$C00] at $DC00, and so
// does the stub; the row byte still lands in RAM.
TEST_F(KeyboardPort, ColumnSelectIsReadThroughTheBanking) {
    struct Row {
        const char* what;
        uint8_t port;
        uint8_t ramSelect;
        uint8_t charRomSelect;
        bool scans;
    };
    // clang-format off
    const Row rows[] = {
        {"I/O visible, RAM selects", kPortAtPowerUp, kScanColumnZero, 0xFF, true},
        {"I/O visible, ROM byte ignored", kPortAtPowerUp, 0xFF, kScanColumnZero, false},
        {"character ROM visible, ROM selects", kPortAtPowerUp & ~kPortIo, 0xFF, kScanColumnZero, true},
        {"character ROM visible, RAM ignored", kPortAtPowerUp & ~kPortIo, kScanColumnZero, 0x00, false},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        memory.ram[0x0001] = row.port;
        memory.ram[kKeyboardColumnSelect] = row.ramSelect;
        memory.charRom[kColumnSelectInCharRom] = row.charRomSelect;
        headlessQueueRandom(0.25);  // r * 8 = 2: $04
        updateKeyboardPort();
        EXPECT_EQ(memory.ram[kKeyboardRowData], row.scans ? 0x04 : kUntouchedRow);
    }
}

// Over many draws of the host's own sequence every value comes up, each row byte has at
// most one bit set, and $00 and $01 come about half as often as the others.
TEST_F(KeyboardPort, RowBytesFollowTheStubsOdds) {
    constexpr int kDraws = 80000;
    int counts[9] = {};
    memory.ram[kKeyboardColumnSelect] = kScanColumnZero;
    for (int i = 0; i < kDraws; ++i) {
        updateKeyboardPort();
        uint8_t row = memory.ram[kKeyboardRowData];
        ASSERT_EQ(row & (row - 1), 0) << "more than one bit in " << int{row};
        counts[row == 0 ? 8 : std::countr_zero(row)]++;
    }
    for (int slot = 0; slot < 9; ++slot) {
        double share = (slot == 0 || slot == 8) ? 1.0 / 16 : 1.0 / 8;
        EXPECT_NEAR(counts[slot], share * kDraws, 0.1 * share * kDraws) << "slot " << slot;
    }
}

}  // namespace
