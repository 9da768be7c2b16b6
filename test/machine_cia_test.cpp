// The CIA on its own, cycle by cycle: the timers' counts, loads and underflows in every
// mode, the interrupt register and output on both generations, the time of day and its
// alarm, the timers' outputs on port B and the serial register. Cycles are counted from
// the chip's reset; a register read or written "in cycle X" sees the chip as it is at the
// end of that cycle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine/cia.h"

namespace {

constexpr uint64_t kWrite = 100;  // the cycle of the write that sets a case going

uint16_t counterA(Cia& cia, uint64_t cycle) {
    uint8_t low = peekCia(cia, kCiaTimerALow, cycle);
    return static_cast<uint16_t>(low | peekCia(cia, kCiaTimerAHigh, cycle) << 8);
}
uint16_t counterB(Cia& cia, uint64_t cycle) {
    uint8_t low = peekCia(cia, kCiaTimerBLow, cycle);
    return static_cast<uint16_t>(low | peekCia(cia, kCiaTimerBHigh, cycle) << 8);
}

// A timer set going in cycle kWrite, then read in every cycle after.
struct TimerCase {
    const char* name;
    uint16_t latchA, latchB;
    uint8_t controlA, controlB;  // written in cycle kWrite, B before A
    std::vector<uint16_t> a;     // timer A in cycles kWrite + 1, + 2, ...
    std::vector<uint16_t> b;     // timer B likewise (empty: not looked at)
};

TEST(Cia, TimersCountLoadAndUnderflowCycleByCycle) {
    // clang-format off
    const std::vector<TimerCase> cases = {
        // Force load and start: the latch in the next cycle, the following count swallowed,
        // then down by one a cycle; at 0 with a count on its way the timer reloads and the
        // next count is swallowed again: the period is latch + 1 and 0 never shows.
        {"continuous, force load", 2, 0, 0x11, 0x00, {2, 2, 1, 2, 2, 1, 2, 2, 1}, {}},
        {"continuous, latch 1", 1, 0, 0x11, 0x00, {1, 1, 1, 1, 1, 1}, {}},
        {"continuous, latch 5", 5, 0, 0x11, 0x00, {5, 5, 4, 3, 2, 1, 5, 5, 4}, {}},
        // Started without a load from the value it holds ($0004 after the high-byte write
        // of the set-up): the first count arrives two cycles after the write.
        {"start without a load", 4, 0, 0x01, 0x00, {4, 3, 2, 1, 4, 4, 3}, {}},
        // One-shot: at the underflow it reloads and stops.
        {"one-shot", 3, 0, 0x19, 0x00, {3, 3, 2, 1, 3, 3, 3, 3}, {}},
        // Timer B counting timer A's underflows (every third cycle): it rests at 0 until a
        // count is on its way, then reloads.
        {"timer B counts timer A's underflows", 2, 2, 0x11, 0x51,
         {2, 2, 1, 2, 2, 1, 2, 2, 1, 2, 2, 1, 2, 2, 1},
         {2, 2, 2, 2, 1, 1, 1, 0, 0, 2, 2, 2, 2, 1, 1}},
        // Timer B counting cycles, A stopped.
        {"timer B counts cycles", 9, 3, 0x00, 0x11, {9, 9, 9, 9}, {3, 3, 2, 1, 3, 3, 2}},
        // CNT edges: nothing drives CNT on the C64, so such a timer never moves.
        {"timer A counting CNT edges", 3, 0, 0x31, 0x00, {3, 3, 3, 3, 3}, {}},
    };
    // clang-format on
    for (CiaModel model : {CiaModel::Mos6526, CiaModel::Mos8521}) {
        for (const TimerCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " on the " + std::string(ciaModelName(model)));
            Cia cia = resetCia(model, 0);
            writeCia(cia, kCiaTimerALow, static_cast<uint8_t>(c.latchA), 10);
            writeCia(cia, kCiaTimerAHigh, static_cast<uint8_t>(c.latchA >> 8), 11);
            writeCia(cia, kCiaTimerBLow, static_cast<uint8_t>(c.latchB), 12);
            writeCia(cia, kCiaTimerBHigh, static_cast<uint8_t>(c.latchB >> 8), 13);
            writeCia(cia, kCiaControlB, c.controlB, kWrite);
            writeCia(cia, kCiaControlA, c.controlA, kWrite);
            for (std::size_t i = 0; i < std::max(c.a.size(), c.b.size()); ++i) {
                uint64_t cycle = kWrite + 1 + i;
                if (i < c.a.size()) {
                    EXPECT_EQ(counterA(cia, cycle), c.a[i]) << "A, cycle +" << i + 1;
                }
                if (i < c.b.size()) {
                    EXPECT_EQ(counterB(cia, cycle), c.b[i]) << "B, cycle +" << i + 1;
                }
            }
        }
    }
}

TEST(Cia, AOneShotTimerClearsItsStartBitAtTheUnderflow) {
    Cia cia = resetCia(CiaModel::Mos6526, 0);
    writeCia(cia, kCiaTimerALow, 3, 10);
    writeCia(cia, kCiaTimerAHigh, 0, 11);
    writeCia(cia, kCiaControlA, 0x19, kWrite);  // force load, one-shot, start
    EXPECT_EQ(peekCia(cia, kCiaControlA, kWrite + 4), 0x09) << "before the underflow";
    EXPECT_EQ(peekCia(cia, kCiaControlA, kWrite + 5), 0x08) << "stopped by it; load never kept";
    EXPECT_EQ(peekCia(cia, kCiaInterruptControl, kWrite + 5) & kCiaTimerAFlag, kCiaTimerAFlag);
}

TEST(Cia, WritingTheHighByteLoadsAStoppedTimerOnly) {
    Cia cia = resetCia(CiaModel::Mos6526, 0);
    writeCia(cia, kCiaTimerALow, 0x34, 10);
    writeCia(cia, kCiaTimerAHigh, 0x12, 11);
    EXPECT_EQ(counterA(cia, 12), 0x1234) << "stopped: the counter takes the latch";
    writeCia(cia, kCiaControlA, 0x01, 20);  // running from $1234
    writeCia(cia, kCiaTimerALow, 0x00, 30);
    writeCia(cia, kCiaTimerAHigh, 0x50, 31);
    EXPECT_EQ(counterA(cia, 32), 0x1234 - (32 - 21)) << "running: the counter goes on";
    writeCia(cia, kCiaControlA, 0x11, 40);  // a force load takes the new latch
    EXPECT_EQ(counterA(cia, 41), 0x5000);
}

// The interrupt flags latch whether masked or not; a read returns them with bit 7 when the
// output is low, and clears them and the output. The 6526's output falls one cycle after
// the flag, the 8521's in the cycle of the flag.
TEST(Cia, TheInterruptRegisterLatchesFlagsAndTheOutputFollowsTheMask) {
    for (CiaModel model : {CiaModel::Mos6526, CiaModel::Mos8521}) {
        SCOPED_TRACE(ciaModelName(model));
        uint64_t delay = model == CiaModel::Mos6526 ? 1 : 0;
        Cia cia = resetCia(model, 0);
        writeCia(cia, kCiaTimerALow, 2, 10);
        writeCia(cia, kCiaTimerAHigh, 0, 11);
        writeCia(cia, kCiaControlA, 0x19, kWrite);  // one-shot, underflow in kWrite + 4
        EXPECT_EQ(nextCiaEvent(cia), kNever) << "masked: the output never falls";
        EXPECT_EQ(readCia(cia, kCiaInterruptControl, kWrite + 10), kCiaTimerAFlag);
        EXPECT_EQ(readCia(cia, kCiaInterruptControl, kWrite + 11), 0) << "the read cleared it";

        writeCia(cia, kCiaInterruptControl, 0x81, kWrite + 20);  // timer A on
        writeCia(cia, kCiaControlA, 0x19, kWrite + 30);          // underflow in kWrite + 34
        EXPECT_EQ(nextCiaEvent(cia), kWrite + 34 + delay);
        EXPECT_FALSE(ciaOutputLowAt(cia, kWrite + 33 + delay));
        advanceCia(cia, kWrite + 40);
        EXPECT_TRUE(ciaOutputLowAt(cia, kWrite + 34 + delay));
        EXPECT_FALSE(ciaOutputLowAt(cia, kWrite + 33 + delay));
        EXPECT_EQ(readCia(cia, kCiaInterruptControl, kWrite + 40), 0x81);
        EXPECT_FALSE(ciaOutputLowAt(cia, kWrite + 40)) << "released by the read";
        EXPECT_TRUE(ciaOutputLowAt(cia, kWrite + 39)) << "it was low before";

        // A flag already set brings the output down as soon as its mask bit is set.
        writeCia(cia, kCiaInterruptControl, 0x01, kWrite + 50);  // timer A off
        writeCia(cia, kCiaControlA, 0x19, kWrite + 51);
        advanceCia(cia, kWrite + 60);
        EXPECT_EQ(nextCiaEvent(cia), kNever);
        writeCia(cia, kCiaInterruptControl, 0x81, kWrite + 70);
        EXPECT_EQ(nextCiaEvent(cia), kWrite + 70 + delay);
    }
}

// A read in the very cycle of the flag: the 8521 has pulled its output and the read
// releases it at once; the 6526 has not yet, so its output never falls. The 6526 also
// loses timer B's flag to such a read; the 8521 reports it.
TEST(Cia, AReadInTheCycleOfTheFlagAcknowledgesItAtOnce) {
    for (CiaModel model : {CiaModel::Mos6526, CiaModel::Mos8521}) {
        SCOPED_TRACE(ciaModelName(model));
        Cia cia = resetCia(model, 0);
        writeCia(cia, kCiaTimerBLow, 2, 10);
        writeCia(cia, kCiaTimerBHigh, 0, 11);
        writeCia(cia, kCiaInterruptControl, 0x82, 12);  // timer B on
        writeCia(cia, kCiaControlB, 0x19, kWrite);      // one-shot, underflow in kWrite + 4
        uint8_t read = readCia(cia, kCiaInterruptControl, kWrite + 4);
        if (model == CiaModel::Mos6526) {
            EXPECT_EQ(read, 0) << "timer B's flag lost, the output not yet down";
        } else {
            EXPECT_EQ(read, 0x82);
        }
        advanceCia(cia, kWrite + 10);
        EXPECT_FALSE(ciaOutputLowAt(cia, kWrite + 4));
        EXPECT_FALSE(ciaOutputLowAt(cia, kWrite + 5));
        EXPECT_EQ(readCia(cia, kCiaInterruptControl, kWrite + 10), 0) << "nothing left over";
    }
}

TEST(Cia, TheTimersDriveTheirPortBPinsWhenAskedTo) {
    Cia cia = resetCia(CiaModel::Mos6526, 0);
    writeCia(cia, kCiaTimerALow, 2, 10);
    writeCia(cia, kCiaTimerAHigh, 0, 11);
    writeCia(cia, kCiaTimerBLow, 3, 12);
    writeCia(cia, kCiaTimerBHigh, 0, 13);
    // Timer A toggles PB6 (high when started), timer B pulses PB7 for one cycle.
    writeCia(cia, kCiaControlB, 0x13, kWrite);  // force load, start, PB on, pulse
    writeCia(cia, kCiaControlA, 0x17, kWrite);  // force load, start, PB on, toggle
    std::vector<uint8_t> pins;
    for (uint64_t cycle = kWrite + 1; cycle <= kWrite + 12; ++cycle)
        pins.push_back(peekCia(cia, kCiaPortB, cycle) & 0xC0);
    // A underflows in +4, +7, +10; B in +5, +9.
    const std::vector<uint8_t> expected = {0x40, 0x40, 0x40, 0x00, 0x80, 0x00,
                                           0x40, 0x40, 0xC0, 0x00, 0x00, 0x00};
    EXPECT_EQ(pins, expected);
    EXPECT_EQ(peekCia(cia, kCiaPortA, kWrite + 12), 0xFF) << "inputs, pulled up";
}

TEST(Cia, PortsReadTheirOutputsAndWhatDrivesTheirPins) {
    Cia cia = resetCia(CiaModel::Mos6526, 0);
    writeCia(cia, kCiaDirectionA, 0x0F, 1);
    writeCia(cia, kCiaPortA, 0x05, 2);
    EXPECT_EQ(peekCia(cia, kCiaPortA, 3), 0xF5) << "inputs read 1 through the pull-ups";
    cia.inputA = 0x7E;  // something outside pulls bits 0 and 7 low
    EXPECT_EQ(peekCia(cia, kCiaPortA, 4), 0x74) << "a low from either side wins";
    EXPECT_EQ(peekCia(cia, kCiaDirectionA, 5), 0x0F);
}

// The time of day counts tenths from the 50 Hz pin (six periods a tenth while CRA bit 7 is
// clear, five while it is set; the pin's periods end at multiples of kTodPinCycles from
// reset), reads in BCD, latches on a read of the hours until the tenths are read, stops on
// a write of the hours and starts on a write of the tenths.
TEST(Cia, TheTimeOfDayCountsLatchesAndRaisesItsAlarm) {
    auto tick = [](uint64_t k) { return k * kTodPinCycles; };
    Cia cia = resetCia(CiaModel::Mos6526, 0);
    EXPECT_EQ(peekCia(cia, kCiaTodHours, 1), 0x01) << "1:00:00.0 after reset";
    EXPECT_EQ(peekCia(cia, kCiaTodTenths, tick(12)), 0x00)
        << "stopped until the tenths are written";
    writeCia(cia, kCiaControlA, 0x80, tick(12) + 1);  // 50 Hz: five pin periods a tenth
    writeCia(cia, kCiaTodHours, 0x91, tick(12) + 2);  // 11 PM: stops the clock
    writeCia(cia, kCiaTodMinutes, 0x59, tick(12) + 3);
    writeCia(cia, kCiaTodSeconds, 0x59, tick(12) + 4);
    writeCia(cia, kCiaTodTenths, 0x08, tick(12) + 5);  // starts it: 11:59:59.8 PM
    EXPECT_EQ(peekCia(cia, kCiaTodTenths, tick(17) - 1), 0x08);
    EXPECT_EQ(peekCia(cia, kCiaTodTenths, tick(17)), 0x09);
    // The next tenth turns 11:59:59.9 PM over to 12:00:00.0 AM.
    EXPECT_EQ(readCia(cia, kCiaTodHours, tick(22)), 0x12);
    EXPECT_EQ(peekCia(cia, kCiaTodTenths, tick(27)), 0x00) << "latched; the clock says .1";
    EXPECT_EQ(readCia(cia, kCiaTodTenths, tick(32)), 0x00) << "still latched";
    EXPECT_EQ(peekCia(cia, kCiaTodTenths, tick(32)), 0x02) << "the read let go";

    // The alarm: set with CRB bit 7, raised when the clock reaches it, 12:00:00.5.
    writeCia(cia, kCiaControlB, 0x80, tick(32) + 1);
    writeCia(cia, kCiaTodHours, 0x12, tick(32) + 2);
    writeCia(cia, kCiaTodMinutes, 0x00, tick(32) + 3);
    writeCia(cia, kCiaTodSeconds, 0x00, tick(32) + 4);
    writeCia(cia, kCiaTodTenths, 0x05, tick(32) + 5);
    writeCia(cia, kCiaInterruptControl, 0x84, tick(32) + 6);
    EXPECT_EQ(peekCia(cia, kCiaTodHours, tick(32) + 7), 0x12) << "the alarm's writes set no time";
    EXPECT_EQ(nextCiaEvent(cia), tick(37) + 1) << "looked at at the clock's next tick";
    EXPECT_EQ(readCia(cia, kCiaInterruptControl, tick(47) - 1) & kCiaAlarmFlag, 0);
    EXPECT_EQ(readCia(cia, kCiaInterruptControl, tick(47) + 1), 0x84);
}

TEST(Cia, TheTimeOfDayGoesRoundTheTwelveHours) {
    struct Row {
        uint8_t before, after;
    };
    const Row rows[] = {{0x09, 0x10}, {0x11, 0x92}, {0x91, 0x12}, {0x12, 0x01}, {0x92, 0x81}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << unsigned{row.before});
        Cia cia = resetCia(CiaModel::Mos6526, 0);
        writeCia(cia, kCiaControlA, 0x80, 1);
        writeCia(cia, kCiaTodHours, row.before, 2);
        writeCia(cia, kCiaTodMinutes, 0x59, 3);
        writeCia(cia, kCiaTodSeconds, 0x59, 4);
        writeCia(cia, kCiaTodTenths, 0x09, 5);
        EXPECT_EQ(peekCia(cia, kCiaTodHours, 5 * kTodPinCycles - 1), row.before);
        EXPECT_EQ(peekCia(cia, kCiaTodHours, 5 * kTodPinCycles), row.after);
    }
}

// In output mode the serial register shifts a byte out on sixteen underflows of timer A
// and then raises its flag; a byte written meanwhile follows.
TEST(Cia, TheSerialRegisterShiftsOutOnTimerAUnderflows) {
    Cia cia = resetCia(CiaModel::Mos6526, 0);
    writeCia(cia, kCiaTimerALow, 1, 10);
    writeCia(cia, kCiaTimerAHigh, 0, 11);
    writeCia(cia, kCiaControlA, 0x51, kWrite);  // serial out, force load, start: period 2
    writeCia(cia, kCiaSerialData, 0xA5, kWrite);
    // Underflows in kWrite + 3, + 5, ...: the sixteenth in kWrite + 33.
    EXPECT_EQ(peekCia(cia, kCiaInterruptControl, kWrite + 32) & kCiaSerialFlag, 0);
    EXPECT_EQ(peekCia(cia, kCiaInterruptControl, kWrite + 33) & kCiaSerialFlag, kCiaSerialFlag);
    EXPECT_EQ(peekCia(cia, kCiaSerialData, kWrite + 33), 0xA5);
}

// Long stretches are skipped in one step: the counts come out as a cycle-by-cycle run's.
TEST(Cia, SkippingLongStretchesCountsAsStepping) {
    for (uint16_t latch : std::vector<uint16_t>{0, 1, 2, 1000, 0x4025}) {
        SCOPED_TRACE(latch);
        Cia skipped = resetCia(CiaModel::Mos8521, 0);
        Cia stepped = skipped;
        for (Cia* cia : {&skipped, &stepped}) {
            writeCia(*cia, kCiaTimerALow, static_cast<uint8_t>(latch), 1);
            writeCia(*cia, kCiaTimerAHigh, static_cast<uint8_t>(latch >> 8), 2);
            writeCia(*cia, kCiaTimerBLow, 7, 3);
            writeCia(*cia, kCiaTimerBHigh, 0, 4);
            writeCia(*cia, kCiaControlB, 0x51, 5);
            writeCia(*cia, kCiaControlA, 0x11, 5);
        }
        constexpr uint64_t kEnd = 200'000;
        advanceCia(skipped, kEnd);
        for (uint64_t cycle = 6; cycle <= kEnd; ++cycle) advanceCia(stepped, cycle);
        EXPECT_EQ(counterA(skipped, kEnd), counterA(stepped, kEnd));
        EXPECT_EQ(counterB(skipped, kEnd), counterB(stepped, kEnd));
        EXPECT_EQ(skipped.flags, stepped.flags);
    }
}

}  // namespace
