// The main loop on the headless host: start-up, the key poll, the test hook, the frame
// timing and what happens around every instruction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "machine/counting.h"
#include "machine/trace.h"
#include "machine_fixture.h"

namespace {

class MainLoop : public testing::Test {
protected:
    TemporaryFolder folder;
};

TEST_F(MainLoop, StartUpLoadsTheRomsSetsThePortAndResets) {
    writeRoms(nopKernal());
    startHeadless();
    EXPECT_EQ(headlessStatusLines(),
              (std::vector<std::string>{"kernal.rom loaded 8192 bytes long",
                                        "basic.rom loaded 8192 bytes long",
                                        "chargen.rom loaded 4096 bytes long", ""}));
    EXPECT_EQ(memory.ram[0x0000], 0x2F);
    EXPECT_EQ(memory.ram[0x0001], 0xE7);
    EXPECT_EQ(cpu.regPC, kTestResetAt);
    EXPECT_EQ(cpu.regP, kFlagI | kFlagBit5);
    EXPECT_EQ(cpu.regS, 0);
    EXPECT_EQ(cpu.cycleCount, 0);
    EXPECT_EQ(machine.loop.frameDeadline, 520);  // 0.5 s on the clock, plus the frame period
    EXPECT_FALSE(machine.loop.testProgramLoaded);
    EXPECT_EQ(framebuffer[0], 0u);
}

TEST_F(MainLoop, EscapeAsTheFirstKeyEndsTheRunWithStatusZero) {
    writeRoms(nopKernal());
    startHeadless();
    EXPECT_EXIT(
        {
            headlessPushKey(kEscapeKey);
            runSteps(1);
            std::exit(3);  // not reached: the poll before the first instruction ends the run
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(MainLoop, EscapeBehindOtherKeysEndsTheRunWhenItsTurnComes) {
    writeRoms(nopKernal());
    startHeadless();
    EXPECT_EXIT(
        {
            headlessPushKey("A");
            headlessPushKey(kCloseRequestKey);
            headlessPushKey(kEscapeKey);
            runSteps(2);
            if (cpu.regPC != kTestResetAt + 2) std::exit(4);
            runSteps(1);
            std::exit(3);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(MainLoop, OtherKeysAndTheCloseRequestChangeNothing) {
    writeRoms(nopKernal(kTestResetAt,
                        {0xA9, 0x42, 0x85, 0x10, 0xE6, 0x10}));  // LDA #$42, STA $10, INC $10
    startHeadless();
    runSteps(3);
    CpuState quietCpu = cpu;
    auto quietMemory = std::make_unique<MemoryMap>(memory);

    startHeadless();
    for (const char* key : {"A", "Return", "Left Shift", "close-request", "F1"})
        headlessPushKey(key);
    runSteps(3);
    EXPECT_TRUE(cpu == quietCpu);
    EXPECT_EQ(std::memcmp(&memory, quietMemory.get(), sizeof memory), 0);
    EXPECT_EQ(memory.ram[0x10], 0x43);
}

// Status bit 5 reads 1 at the start of every step: after a PLP of $00 it is clear until
// the next step, whose PHP pushes it set; the same when the steps come one at a time.
TEST_F(MainLoop, EveryStepStartsWithStatusBitFiveSet) {
    // LDA #0, PHA, PLP, PHP, PLA, STA $10
    writeRoms(nopKernal(kTestResetAt, {0xA9, 0x00, 0x48, 0x28, 0x08, 0x68, 0x85, 0x10}));
    for (uint64_t stepsPerCall : {1, 2, 6}) {
        startHeadless();
        for (uint64_t done = 0; done < 3; done += stepsPerCall)
            runSteps(std::min<uint64_t>(stepsPerCall, 3 - done));
        EXPECT_EQ(cpu.regP & kFlagBit5, 0) << "PLP leaves it as pulled, " << stepsPerCall;
        runSteps(3);
        EXPECT_EQ(memory.ram[0x10], kFlagBit5 | kFlagB) << stepsPerCall;
        EXPECT_NE(cpu.regP & kFlagBit5, 0);
    }
}

TEST_F(MainLoop, TestHookFiresInsideItsWindowOnly) {
    struct Row {
        uint16_t pc;
        bool fires;
    };
    const Row rows[] = {{0xE5C9, false}, {0xE5CA, true}, {0xE683, true}, {0xE684, false}};
    writeRoms(nopKernal());
    writeFile("tests/start", {0x00, 0xC0, 0xE8, 0xE8});  // INX, INX at $C000
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.pc);
        startHeadless();
        cpu.regPC = row.pc;
        runSteps(1);
        EXPECT_EQ(machine.loop.testProgramLoaded, row.fires);
        // When it fires, the same step runs the program's first instruction.
        EXPECT_EQ(cpu.regPC, row.fires ? 0xC001 : row.pc + 1);
        EXPECT_EQ(cpu.regX, row.fires ? 1 : 0);
        EXPECT_EQ(memory.ram[0xC000], row.fires ? 0xE8 : 0);
    }
}

TEST_F(MainLoop, TestHookFiresOnlyOnce) {
    writeRoms(nopKernal());
    writeFile("tests/start",
              {0x00, 0xC0, 0x4C, 0xD0, 0xE5});  // JMP $E5D0, back into the input loop
    startHeadless();
    cpu.regPC = 0xE5D0;
    runSteps(1);
    ASSERT_TRUE(machine.loop.testProgramLoaded);
    EXPECT_EQ(cpu.regPC, 0xE5D0);
    memory.ram[0xC001] = 0xE0;  // a reload would put $D0 back
    runSteps(6);
    EXPECT_EQ(cpu.regPC, 0xE5D6) << "the NOPs of the input loop run; nothing is loaded again";
    EXPECT_EQ(memory.ram[0xC001], 0xE0);
}

TEST_F(MainLoop, AMissingTestProgramLeavesTheFirmwareRunning) {
    writeRoms(nopKernal());
    startHeadless();
    cpu.regPC = 0xE5CA;
    runSteps(2);
    EXPECT_TRUE(machine.loop.testProgramLoaded);
    EXPECT_EQ(cpu.regPC, 0xE5CC);
    auto lines = headlessStatusLines();
    EXPECT_EQ(lines.back(), "tests/start: program file not found, nothing loaded");
}

TEST_F(MainLoop, AFrameComesOnlyWhenTheClockPassesTheDeadline) {
    writeRoms(nopKernal());
    startHeadless(0.5);
    ASSERT_EQ(machine.loop.frameDeadline, 520);
    int64_t locks = headlessLockCount();

    headlessSetClock(0.520);  // equal to the deadline: no frame
    runSteps(1);
    EXPECT_EQ(headlessLockCount(), locks);
    EXPECT_EQ(cpu.cycleCount, 2);
    EXPECT_EQ(cpu.regPC, kTestResetAt + 1);

    headlessSetClock(0.521);  // one millisecond more: the frame, and the interrupt with it
    cpu.regP = kFlagBit5;     // I clear
    runSteps(1);
    EXPECT_EQ(headlessLockCount(), locks + 8000);
    EXPECT_EQ(cpu.cycleCount, 0 + 7) << "cleared by the frame, then the interrupt entry's 7";
    EXPECT_EQ(cpu.regPC, kTestIrqAt);
    EXPECT_EQ(machine.loop.frameDeadline, 541);
    EXPECT_EQ(cpu.regS, 0xFD);

    runSteps(1);  // the RTI of the handler
    EXPECT_EQ(cpu.regPC, kTestResetAt + 2);
    EXPECT_EQ(headlessLockCount(), locks + 8000);
}

// The deadline is a fresh reading plus 20 ms and must be exceeded in whole milliseconds,
// so a clock that moves on steadily sees a frame every 21 ms: kFrameIntervalMs, which the
// runner's limits, its help and the firmware's demo count with.
TEST_F(MainLoop, FramesComeOneFrameIntervalApart) {
    writeRoms(nopKernal(kTestResetAt, {0x4C, 0x00, 0xE0}));  // JMP $E000
    startHeadless(0.5);
    std::vector<int> frameTimes;
    for (int ms = 0; ms <= 300; ++ms) {
        headlessSetClock(0.5 + ms / 1000.0);
        uint64_t before = machine.loop.framesDrawn;
        runSteps(kStepsPerHostCheck);
        if (machine.loop.framesDrawn != before) frameTimes.push_back(ms);
    }
    ASSERT_GE(frameTimes.size(), 2u);
    EXPECT_EQ(frameTimes.front(), 21);
    for (std::size_t i = 1; i < frameTimes.size(); ++i)
        EXPECT_EQ(frameTimes[i] - frameTimes[i - 1], 21) << "frame " << i;
    EXPECT_EQ(kFrameIntervalMs, 21u);
}

// With drawing turned off a frame still counts, interrupts and sets the next deadline;
// only the pixel memory stays untouched.
TEST_F(MainLoop, AFrameWithDrawingOffInterruptsWithoutTouchingThePixels) {
    writeRoms(nopKernal());
    startHeadless(0.5);
    int64_t locks = headlessLockCount();
    uint64_t frames = machine.loop.framesDrawn;
    drawFrames = false;
    headlessSetClock(0.521);
    cpu.regP = kFlagBit5;  // I clear
    runSteps(1);
    drawFrames = true;
    EXPECT_EQ(headlessLockCount(), locks);
    EXPECT_EQ(machine.loop.framesDrawn, frames + 1);
    EXPECT_EQ(cpu.regPC, kTestIrqAt);
    EXPECT_EQ(machine.loop.frameDeadline, 541);
}

TEST_F(MainLoop, CycleCountStartsAfreshAfterAFrame) {
    writeRoms(nopKernal());
    startHeadless(0.5);
    runSteps(10);
    EXPECT_EQ(cpu.cycleCount, 20);
    headlessSetClock(0.6);
    runSteps(1);  // I is set: the frame is drawn, the interrupt is lost
    EXPECT_EQ(cpu.cycleCount, 0);
    EXPECT_EQ(cpu.regPC, kTestResetAt + 11);
    runSteps(1);
    EXPECT_EQ(cpu.cycleCount, 2);
}

// The same program run one step per run and as one long run, where the loop does the
// work around the instructions inside a stretch.
TEST_F(MainLoop, RasterRegisterReadsZeroAfterEveryStep) {
    // LDA $D012 (sees what was there before), LDA #$55, STA $D012, LDY $D012,
    // INC $D012, LDX $D012, LDA #$66, STA ($FB),Y (to $D012), LDA $D012
    const Bytes code = {0xAD, 0x12, 0xD0, 0xA9, 0x55, 0x8D, 0x12, 0xD0, 0xAC, 0x12, 0xD0, 0xEE,
                        0x12, 0xD0, 0xAE, 0x12, 0xD0, 0xA9, 0x66, 0x91, 0xFB, 0xAD, 0x12, 0xD0};
    constexpr int kSteps = 9;
    for (bool oneRun : {false, true}) {
        SCOPED_TRACE(oneRun ? "one run of nine steps" : "nine runs of one step");
        writeRoms(nopKernal(kTestResetAt, code));
        startHeadless();
        memory.ram[0xD012] = 0x99;  // set from outside, as a loaded program could
        memory.ram[0xFB] = 0x12;
        memory.ram[0xFC] = 0xD0;
        if (oneRun) {
            runSteps(kSteps);
        } else {
            for (int step = 0; step < kSteps; ++step) {
                runSteps(1);
                EXPECT_EQ(memory.ram[0xD012], 0) << "after step " << step;
            }
        }
        EXPECT_EQ(memory.ram[0xD012], 0);
        EXPECT_EQ(cpu.regY, 0) << "the load right after the store saw 0";
        EXPECT_EQ(cpu.regX, 0) << "the load right after the increment saw 0";
        EXPECT_EQ(cpu.regA, 0) << "the load right after the indirect store saw 0";
        EXPECT_EQ(cpu.regPC, kTestResetAt + code.size());
    }
}

// The keyboard stub acts after every step while $DC00 reads $FE, also inside a long
// run: each action draws one random number, and the row byte shows the last one drawn.
// $DC00 reads the character ROM's byte at $C00 while that ROM is visible.
TEST_F(MainLoop, KeyboardStubActsAfterEveryStepWhileTheColumnIsSelected) {
    // LDA #$FE, STA $DC00, NOP, NOP, LDA #$FF, STA $DC00, NOP
    const Bytes selectThenRelease = {0xA9, 0xFE, 0x8D, 0x00, 0xDC, 0xEA, 0xEA,
                                     0xA9, 0xFF, 0x8D, 0x00, 0xDC, 0xEA};
    // LDX #$10, LDA #$FE, STA $DBF0,X, NOP, NOP, LDA #$FF, STA $DBF0,X, NOP
    const Bytes indexedSelectThenRelease = {0xA2, 0x10, 0xA9, 0xFE, 0x9D, 0xF0, 0xDB, 0xEA,
                                            0xEA, 0xA9, 0xFF, 0x9D, 0xF0, 0xDB, 0xEA};
    // LDA #$E3, STA $01 (character ROM in), NOP, NOP, LDA #$E7, STA $01 (out again), NOP
    const Bytes characterRomInThenOut = {0xA9, 0xE3, 0x85, 0x01, 0xEA, 0xEA,
                                         0xA9, 0xE7, 0x85, 0x01, 0xEA};
    struct Case {
        const char* name;
        Bytes code;
        uint8_t columnBefore;  // $DC00 as the run starts
        uint8_t charRomAtC00;  // what $DC00 reads while the character ROM is visible
        uint64_t steps;
        uint8_t rowAfter;  // bit n: the (n+1)th number was the last one drawn
    };
    // clang-format off
    const Case cases[] = {
        {"selected by the program, released four steps later", selectThenRelease, 0xFF, 0x00, 7, 0x08},
        {"the same through an indexed store", indexedSelectThenRelease, 0xFF, 0x00, 8, 0x08},
        {"selected before the run, three steps", {0xEA, 0xEA, 0xEA}, 0xFE, 0x00, 3, 0x04},
        {"never selected", {0xEA, 0xEA, 0xEA}, 0xFF, 0x00, 3, 0x00},
        {"read from the character ROM for four steps", characterRomInThenOut, 0xFF, 0xFE, 7, 0x08},
        {"a character ROM that does not read $FE", characterRomInThenOut, 0xFF, 0xFD, 7, 0x00},
    };
    // clang-format on
    for (const Case& c : cases) {
        for (bool oneRun : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (oneRun ? ", one run" : ", one step per run"));
            writeRoms(nopKernal(kTestResetAt, c.code));
            startHeadless();
            memory.ram[0xDC00] = c.columnBefore;
            memory.ram[0xDC01] = 0x00;
            memory.charRom[0xC00] = c.charRomAtC00;
            for (int n = 0; n < 8; ++n) headlessQueueRandom(n / 8.0);  // n-th draw selects bit n
            if (oneRun) {
                runSteps(c.steps);
            } else {
                for (uint64_t step = 0; step < c.steps; ++step) runSteps(1);
            }
            EXPECT_EQ(memory.ram[0xDC01], c.rowAfter);
        }
    }
}

TEST_F(MainLoop, StatusBitFiveIsSetBeforeEveryInstruction) {
    // LDA #$00, PHA, PLP (P = 0, bit 5 clear), PHP
    writeRoms(nopKernal(kTestResetAt, {0xA9, 0x00, 0x48, 0x28, 0x08}));
    startHeadless();
    cpu.regS = 0xFF;
    runSteps(3);
    EXPECT_EQ(cpu.regP, 0) << "PLP loaded the byte as pulled; the next step sets bit 5 again";
    runSteps(1);
    EXPECT_EQ(memory.ram[0x01FF], kFlagBit5 | kFlagB)
        << "PHP pushed the status with bit 5 forced on";
}

TEST_F(MainLoop, LongRunsConsultTheHostBetweenStretches) {
    // Frames keep coming in a long run, and a key pushed before it is taken at its first step.
    writeRoms(nopKernal(kTestResetAt, {0x4C, 0x00, 0xE0}));  // JMP $E000
    startHeadless(0.5);
    headlessPushKey("A");
    runSteps(100000);
    EXPECT_EQ(headlessLockCount(), 0) << "the clock stood still";
    headlessSetClock(1.0);
    runSteps(100000);
    EXPECT_EQ(headlessLockCount(), 8000) << "one frame, then the new deadline is 20 ms away";
    EXPECT_EQ(machine.loop.frameDeadline, 1020);
}

}  // namespace
