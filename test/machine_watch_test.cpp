// Watched runs of the main loop on the headless host, with small KERNAL images of the
// test's own: the store, input-loop and frame events, the trace of the last
// instructions and the count of steps run.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "machine/counting.h"
#include "machine/trace.h"
#include "machine/watch.h"
#include "machine_fixture.h"

namespace {

constexpr uint16_t kWatched = 0xD7FF;

// JMP $E000: a KERNAL that spins at its reset address.
const Bytes kSpin = {0x4C, 0x00, 0xE0};

class WatchedRun : public testing::Test {
protected:
    void SetUp() override { startTrace(0); }
    void TearDown() override { startTrace(0); }
    // Starts the machine on a KERNAL with `code` at its reset address.
    static void start(const Bytes& code) {
        writeRoms(nopKernal(kTestResetAt, code));
        startHeadless();
    }

    TemporaryFolder folder;
    Watch watch;
    WatchReport report;
};

struct StoreCase {
    const char* name;
    Bytes code;
    uint64_t stepsToStore;  // instructions up to and including the store
    uint8_t stored;
};

TEST_F(WatchedRun, AStoreToTheWatchedAddressEndsTheRunRightAfterTheStoringInstruction) {
    // clang-format off
    const std::vector<StoreCase> cases = {
        {"STA absolute", {0xA9, 0x05, 0x8D, 0xFF, 0xD7, 0xEA}, 2, 0x05},
        {"INC absolute", {0xEE, 0xFF, 0xD7, 0xEA}, 1, 0x01},
        {"STA absolute,X", {0xA2, 0x0F, 0xA9, 0x09, 0x9D, 0xF0, 0xD7, 0xEA}, 3, 0x09},
        // LDA #$F0, STA $20, LDA #$D7, STA $21, LDY #$0F, LDA #$07, STA ($20),Y
        {"STA (zp),Y",
         {0xA9, 0xF0, 0x85, 0x20, 0xA9, 0xD7, 0x85, 0x21, 0xA0, 0x0F, 0xA9, 0x07, 0x91, 0x20, 0xEA},
         7,
         0x07},
    };
    // clang-format on
    for (const StoreCase& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.code);
        watch.stores = Watch::Stores{kWatched, kWatched};
        EXPECT_EQ(runWatched(watch, 100, report), c.stepsToStore);
        EXPECT_EQ(report.event, WatchEvent::StoreSeen);
        EXPECT_EQ(report.storeAddress, kWatched);
        EXPECT_EQ(report.storeValue, c.stored);
        EXPECT_EQ(memory.ram[kWatched], c.stored);
        // The run ends after the storing instruction, before the next one.
        uint16_t afterStore = static_cast<uint16_t>(kTestResetAt + c.code.size() - 1);
        EXPECT_EQ(cpu.regPC, afterStore);
    }
}

TEST_F(WatchedRun, StoresElsewhereAndReadsOfTheWatchedAddressDoNotEndTheRun) {
    // STA $D7FE, STA $D800, LDA $D7FF, INC $D7FE, then JMP back to the start.
    start(
        {0x8D, 0xFE, 0xD7, 0x8D, 0x00, 0xD8, 0xAD, 0xFF, 0xD7, 0xEE, 0xFE, 0xD7, 0x4C, 0x00, 0xE0});
    watch.stores = Watch::Stores{kWatched, kWatched};
    EXPECT_EQ(runWatched(watch, 50, report), 50u);
    EXPECT_EQ(report.event, WatchEvent::None);
}

TEST_F(WatchedRun, WithNoStoreWatchedNoInstructionEndsTheRun) {
    // A frame watch alone must not stop after every instruction.
    start({0xA9, 0x01, 0x85, 0x10, 0x4C, 0x00, 0xE0});  // LDA #1, STA $10, JMP $E000
    watch.frames = true;
    EXPECT_EQ(runWatched(watch, 30, report), 30u);
    EXPECT_EQ(report.event, WatchEvent::None);
}

TEST_F(WatchedRun, TheInputLoopEventComesOnlyAfterTheHookHasFired) {
    // The KERNAL jumps into the hook's window at $E600; the program jumps straight back.
    start({0x4C, 0x00, 0xE6});
    headlessProvideFile(kTestProgramFile, {0x00, 0xC0, 0x4C, 0x00, 0xE6});
    watch.inputLoop = true;
    // Step 1 jumps to $E600; at step 2 the hook fires there (no event) and the program's
    // JMP runs; the run stops before step 3, back in the window.
    EXPECT_EQ(runWatched(watch, 100, report), 2u);
    EXPECT_EQ(report.event, WatchEvent::InputLoopReached);
    EXPECT_TRUE(machine.loop.testProgramLoaded);
    EXPECT_EQ(cpu.regPC, 0xE600);
    // Still there: the next watched run stops before its first step.
    EXPECT_EQ(runWatched(watch, 100, report), 0u);
    EXPECT_EQ(report.event, WatchEvent::InputLoopReached);
}

TEST_F(WatchedRun, TheInputLoopEventComesAtTheFirstStepInTheWindowHoweverTheProgramGetsThere) {
    struct Entry {
        const char* name;
        Bytes program;       // at $C000, after the hook has fired at $E600
        Bytes kernalAtE5C8;  // over the NOPs just below the window
        uint64_t steps;
        uint16_t pc;
    };
    // clang-format off
    const std::vector<Entry> entries = {
        // JMP $E5C5: five NOPs run up to the window's first address.
        {"falling through", {0x4C, 0xC5, 0xE5}, {}, 2 + 5, kTestHookFirst},
        // JMP $E5C5: three NOPs, then the LDA $1234 at $E5C8 ends past the first address.
        {"an instruction across its start", {0x4C, 0xC5, 0xE5}, {0xAD, 0x34, 0x12}, 2 + 3 + 1,
         kTestHookFirst + 1},
        // LDA #$E5, PHA, LDA #$FF, PHA, RTS to $E600.
        {"returning", {0xA9, 0xE5, 0x48, 0xA9, 0xFF, 0x48, 0x60}, {}, 1 + 5, 0xE600},
    };
    // clang-format on
    static_assert(kTestHookFirst == 0xE5CA);
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.name);
        Bytes kernal = nopKernal(kTestResetAt, {0x4C, 0x00, 0xE6});  // JMP $E600
        std::copy(entry.kernalAtE5C8.begin(), entry.kernalAtE5C8.end(),
                  kernal.begin() + (0xE5C8 - kTestResetAt));
        writeRoms(kernal);
        startHeadless();
        Bytes file = {0x00, 0xC0};
        file.insert(file.end(), entry.program.begin(), entry.program.end());
        headlessProvideFile(kTestProgramFile, file);
        watch.inputLoop = true;
        EXPECT_EQ(runWatched(watch, 100, report), entry.steps);
        EXPECT_EQ(report.event, WatchEvent::InputLoopReached);
        EXPECT_EQ(cpu.regPC, entry.pc);
    }
}

TEST_F(WatchedRun, AProgramThatNeverReturnsGivesNoInputLoopEvent) {
    start({0x4C, 0x00, 0xE6});
    headlessProvideFile(kTestProgramFile, {0x00, 0xC0, 0x4C, 0x00, 0xC0});  // JMP $C000
    watch.inputLoop = true;
    EXPECT_EQ(runWatched(watch, 500, report), 500u);
    EXPECT_EQ(report.event, WatchEvent::None);
    EXPECT_EQ(cpu.regPC, 0xC000);
}

TEST_F(WatchedRun, AFrameEndsTheRunAtTheCheckThatDrawsIt) {
    start(kSpin);
    watch.frames = true;
    // The clock stands at 0.5 s, before the deadline: no frame however long the run (four
    // whole stretches).
    EXPECT_EQ(runWatched(watch, 1024, report), 1024u);
    EXPECT_EQ(report.event, WatchEvent::None);
    EXPECT_EQ(machine.loop.framesDrawn, 0u);

    headlessAdvanceClock(0.021);
    // The loop looks at the clock after each stretch of kStepsPerHostCheck (256) steps.
    EXPECT_EQ(runWatched(watch, 1000, report), 256u);
    EXPECT_EQ(report.event, WatchEvent::FrameDrawn);
    EXPECT_EQ(machine.loop.framesDrawn, 1u);

    // The next deadline is 20 ms on: the clock has not moved, so no frame.
    EXPECT_EQ(runWatched(watch, 1000, report), 1000u);
    EXPECT_EQ(report.event, WatchEvent::None);
    EXPECT_EQ(machine.loop.framesDrawn, 1u);
}

// A watched store ends a run inside a stretch, and the stretch goes on in the next call:
// frames come on the same steps as unwatched, even when a store falls on the last step of
// every stretch (the runner's calls end on the grid of stretches).
TEST_F(WatchedRun, FramesFallWhereTheyWouldUnwatchedWhereverTheProgramStores) {
    // JMP $E003; STA $D7FE; JMP $E003: a store on every even step, the last of each stretch.
    const Bytes storeLoop = {0x4C, 0x03, 0xE0, 0x8D, 0xFE, 0xD7, 0x4C, 0x03, 0xE0};
    auto stepsToFirstFrame = [&](bool watched) {
        start(storeLoop);
        headlessAdvanceClock(0.021);
        watch = {};
        if (watched) watch.stores = Watch::Stores{kDebugCellsFirst, kDebugCellsLast};
        uint64_t steps = 0;
        while (machine.loop.framesDrawn == 0 && steps < 100 * kStepsPerHostCheck) {
            uint64_t rest = kStepsPerHostCheck - steps % kStepsPerHostCheck;
            if (watched) {
                steps += runWatched(watch, rest, report);
            } else {
                runSteps(rest);
                steps += rest;
            }
        }
        return steps;
    };
    EXPECT_EQ(stepsToFirstFrame(false), kStepsPerHostCheck);
    EXPECT_EQ(stepsToFirstFrame(true), kStepsPerHostCheck);
}

// Where the host's clock follows the cycles, a run that says so lets the loop leave out the
// clock readings that cannot see a frame due: the frames fall on the same steps and cycles
// as where it looks after every stretch, watched stores cutting the calls or not.
TEST_F(WatchedRun, AClockThatFollowsTheCyclesBringsTheFramesOnTheSameSteps) {
    // CLI; loop: INC $0400,X; INX; STA $D7FE; JMP loop (frames raise the interrupt: RTI).
    const Bytes program = {0x58, 0xFE, 0x00, 0x04, 0xE8, 0x8D, 0xFE, 0xD7, 0x4C, 0x01, 0xE0};
    struct Frame {
        uint64_t steps;
        uint64_t cycles;
        bool operator==(const Frame&) const = default;
    };
    auto framesOf = [&](bool follows, bool storesWatched) {
        writeRoms(nopKernal(kTestResetAt, program));
        headlessReset();
        headlessFollowClock(emulatedSeconds);
        startMachine(0, nullptr);
        watch = {};
        watch.frames = true;
        watch.clockFollowsCycles = follows;
        if (storesWatched) watch.stores = Watch::Stores{kDebugCellsFirst, kDebugCellsLast};
        std::vector<Frame> frames;
        uint64_t steps = 0;
        while (frames.size() < 12 && steps < 10'000'000) {
            uint64_t offGrid = steps % kStepsPerHostCheck;
            steps += runWatched(
                watch, offGrid ? kStepsPerHostCheck - offGrid : 16 * kStepsPerHostCheck, report);
            // (A frame at the end of a call that a store ended comes with the store's event.)
            if (machine.loop.framesDrawn > frames.size())
                frames.push_back({steps, cyclesSinceStart()});
        }
        return frames;
    };
    std::vector<Frame> looking = framesOf(false, false);
    ASSERT_EQ(looking.size(), 12u);
    EXPECT_EQ(framesOf(true, false), looking);
    EXPECT_EQ(framesOf(true, true), looking);
    EXPECT_EQ(framesOf(false, true), looking);
}

// A clock that stands still brings no frame, and the cycles of the frame under way grow; past
// kCycleCountFold they are added to the earlier frames', so that the count never overflows.
TEST_F(WatchedRun, TheCycleCountIsFoldedBeforeItCanOverflow) {
    start(kSpin);
    cpu.cycleCount = kCycleCountFold - 3;
    uint64_t before = cyclesSinceStart();
    runWatched(watch, kStepsPerHostCheck, report);
    EXPECT_EQ(cyclesSinceStart(), before + 3 * kStepsPerHostCheck);
    EXPECT_EQ(cpu.cycleCount, 0) << "folded at the end of the stretch";
    EXPECT_EQ(machine.loop.framesDrawn, 0u);
}

TEST_F(WatchedRun, WithoutTheFrameWatchFramesComeButDoNotEndTheRun) {
    start(kSpin);
    headlessAdvanceClock(0.021);
    EXPECT_EQ(runWatched(watch, 1000, report), 1000u);
    EXPECT_EQ(report.event, WatchEvent::None);
    EXPECT_EQ(machine.loop.framesDrawn, 1u);
}

TEST_F(WatchedRun, TheTraceKeepsTheLastInstructionsInOrderWithTheirBytesAndRegisters) {
    // LDA #$01, LDX #$02, LDY #$03, STA $10, INX, JMP $E000
    start({0xA9, 0x01, 0xA2, 0x02, 0xA0, 0x03, 0x85, 0x10, 0xE8, 0x4C, 0x00, 0xE0});
    startTrace(3);
    ASSERT_EQ(runWatched(watch, 5, report), 5u);
    std::vector<TraceEntry> entries = traceEntries();
    ASSERT_EQ(entries.size(), 3u);
    struct Expected {
        uint16_t pc;
        uint8_t bytes[3];
        uint8_t a, x, y;
    };
    // clang-format off
    const Expected expected[] = {
        {0xE004, {0xA0, 0x03, 0x85}, 0x01, 0x02, 0x00},  // LDY #$03, before it ran
        {0xE006, {0x85, 0x10, 0xE8}, 0x01, 0x02, 0x03},  // STA $10
        {0xE008, {0xE8, 0x4C, 0x00}, 0x01, 0x02, 0x03},  // INX
    };
    // clang-format on
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i].pc, expected[i].pc);
        EXPECT_EQ(entries[i].bytes[0], expected[i].bytes[0]);
        EXPECT_EQ(entries[i].bytes[1], expected[i].bytes[1]);
        EXPECT_EQ(entries[i].bytes[2], expected[i].bytes[2]);
        EXPECT_EQ(entries[i].a, expected[i].a);
        EXPECT_EQ(entries[i].x, expected[i].x);
        EXPECT_EQ(entries[i].y, expected[i].y);
        EXPECT_EQ(entries[i].s, cpu.regS);
        EXPECT_EQ(entries[i].p & (kFlagI | kFlagBit5), kFlagI | kFlagBit5);
    }
    // The flags before INX are those LDY #$03 left: neither zero nor negative.
    EXPECT_EQ(entries[2].p & (kFlagZ | kFlagN), 0);
    EXPECT_EQ(cpu.regX, 0x03);
}

TEST_F(WatchedRun, TheTraceHoldsFewerEntriesWhileFewerInstructionsRanAndNoneWhenOff) {
    start(kSpin);
    startTrace(8);
    runWatched(watch, 2, report);
    std::vector<TraceEntry> entries = traceEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].pc, kTestResetAt);
    EXPECT_EQ(entries[1].pc, kTestResetAt);

    startTrace(0);
    runWatched(watch, 2, report);
    EXPECT_TRUE(traceEntries().empty());
}

TEST_F(WatchedRun, ARunWithoutEventsReturnsTheStepsAskedForAndCountsTheirCycles) {
    start(kSpin);
    for (uint64_t steps : {1u, 37u, 256u, 1000u}) {
        SCOPED_TRACE(steps);
        uint64_t cyclesBefore = cyclesSinceStart();
        EXPECT_EQ(runWatched(watch, steps, report), steps);
        EXPECT_EQ(report.event, WatchEvent::None);
        EXPECT_EQ(cyclesSinceStart() - cyclesBefore, 3 * steps);  // JMP takes 3 cycles
    }
}

}  // namespace
