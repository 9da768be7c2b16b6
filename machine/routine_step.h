// A routine test's run: the call of one routine (or a run to the debug exit) on the machine
// as it stands, with a step policy of its own beside the main loop's (step_loop.h), over
// the same helpers: the trace ring, the execution counts, the minimal machine's chips after
// a step, the C64's legs up to its chips' next event, the drive requests served after the
// leg their store ends. The policy ends the run when the call returns, on BRK, on a write
// outside what the test may write, at the debug exit of a test that runs to it, on a JAM
// and when the test's cycles run out; it ends a leg at a store into the debug cells, which
// the caller reports; and it answers the calls of mocked routines. What the test file says
// (registers, expectations) is the caller's.
#pragma once

#include <bitset>

#include "machine/c64_step.h"
#include "machine/contract.h"

enum class RoutineOutcome : uint8_t { Running, Returned, DebugExit, Brk, Jam, BadWrite };

// A mocked routine: where it is, and how often it was called.
struct RoutineMock {
    uint16_t address;
    uint64_t calls;
};

// The mocked routine at `address` among the `count` of `mocks`, if one is.
inline RoutineMock* mockAt(RoutineMock* mocks, std::size_t count, uint16_t address) {
    for (std::size_t i = 0; i < count; ++i) {
        if (mocks[i].address == address) return &mocks[i];
    }
    return nullptr;
}

// Whether the step at `pc` is one the test answers itself: a mocked routine's, or a
// routine's that the emulator serves now.
[[gnu::noinline]] bool detourAt(uint16_t pc, RoutineMock* mocks, std::size_t mockCount);

// What a routine test's run keeps between legs, and what it ended with.
struct RoutineRun {
    // Set by the caller before the first leg.
    CallFrame frame;
    bool runToExit;  // run until the debug exit, not until the call returns
    RoutineMock* mocks;
    std::size_t mockCount;
    // Sets the registers of the mock `index` has been called with (its return values).
    void (*answerMock)(CpuState& c, std::size_t index, const void* context);
    const void* mockContext;
    const std::bitset<kRamSize>* writable;  // null: any write is allowed

    // What the run came to.
    RoutineOutcome outcome;
    uint16_t badWrite;    // a write outside the test's writes, and the instruction that made it
    uint16_t badWriteAt;  // (or the address an interrupt came at)
    bool cellStored;      // the last leg ended at a store into a debug cell: where, and what
    uint16_t cellAddress;
    uint8_t cellValue;

    // Kept by the policy from leg to leg.
    uint64_t remaining;   // steps left in this leg
    uint64_t leftover;    // the steps a debug cell's store left of its leg,
    bool resume;          // which go on in the next call
    int32_t cycleEnd;     // the leg ends once cycleCount reaches this
    uint16_t pc;          // the address of the instruction under way
    int32_t startCycles;  // the cycles charged before it
    bool detours;         // a step may be one the test answers itself (runRoutine sets it)
    bool detour;          // the leg ended before such a step

    // Fails the test at a write to `address` outside its writes, made at `at`. (The
    // unchecked index: test() checks it, and its throw would be copied into every store.)
    void checkWrite(uint16_t address, uint16_t at) {
        if (writable && !(*writable)[address] && outcome == RoutineOutcome::Running) {
            outcome = RoutineOutcome::BadWrite;
            badWrite = address;
            badWriteAt = at;
        }
    }
    // The same for the `count` bytes just pushed below the stack pointer, now `s`.
    void checkPushes(uint8_t s, unsigned count, uint16_t at) {
        for (unsigned i = 1; i <= count; ++i)
            checkWrite(static_cast<uint16_t>(kStackPage + static_cast<uint8_t>(s + i)), at);
    }
};

template <CpuModel Model, class Bus>
struct RoutineStep : RoutineRun {
    static constexpr bool kC64 = std::is_same_v<Bus, C64Bus>;

    // A step that the test answers itself (a mocked routine, or one the emulator serves in
    // the ROM's place) ends the leg before it, and the loop takes it (takeDetour) and goes
    // on with the leg: its work, inlined here, would be copied into every instruction's
    // dispatch and more than double the time the loop takes to compile.
    bool beforeInstruction(CpuState& c) {
        if (outcome != RoutineOutcome::Running || remaining == 0 || c.cycleCount >= cycleEnd)
            return false;
        if constexpr (kC64) {
            if (c.cycleCount >= legEnd.limit) return false;
        }
        if (detours && detourAt(c.regPC, mocks, mockCount)) [[unlikely]] {
            detour = true;
            return false;
        }
        --remaining;
        setFlag(c, kFlagBit5, 1);
        pc = c.regPC;
        startCycles = c.cycleCount;
        if (trace.ring) traceInstruction(c.regPC, c.regA, c.regX, c.regY, c.regS, c.regP);
        return true;
    }

    template <uint8_t Opcode>
    void afterInstruction(CpuState& c, uint16_t address) {
        if constexpr (storesToOperand(Model, Opcode)) {
            if (runToExit && address == kDebugExitRegister) outcome = RoutineOutcome::DebugExit;
            if (static_cast<uint16_t>(address - kDebugCellsFirst) <=
                kDebugConsole - kDebugCellsFirst) {
                cellStored = true;
                cellAddress = address;
                leftover = remaining;
                remaining = 0;
            }
            if constexpr (!kC64) {
                // (On the C64 the store to the chips ends the leg itself.)
                if (noteDriveRequestStore(address)) [[unlikely]] {
                    leftover = remaining;
                    remaining = 0;
                }
            }
            checkWrite(address, pc);
        }
        // A BRK ends the test as a BRK, before its pushes are looked at.
        if constexpr (Opcode == kOpcodeBRK) outcome = RoutineOutcome::Brk;
        if constexpr (opcodeInfo(Model, Opcode).stackPushes > 0)
            checkPushes(c.regS, opcodeInfo(Model, Opcode).stackPushes, pc);
        if (counting.executionCounts)
            countInstruction<Model, Opcode>(c, pc, c.cycleCount - startCycles);
        if constexpr (opcodeInfo(Model, Opcode).halts) outcome = RoutineOutcome::Jam;
        if constexpr (Opcode == kOpcodeRTS) {
            if (!runToExit && returnsFrom(frame, Opcode, c)) outcome = RoutineOutcome::Returned;
        }
        if constexpr (kC64) {
            // Flag I changed: the loop looks at the interrupts afresh.
            if constexpr (touchesInterruptMask(Opcode)) remaining = 0;
        } else {
            minimalChipsAfterStep();
        }
    }
};

// Takes the step that ended a leg with `detour`: the routine the emulator serves, or the
// mocked routine, which returns at once with its registers set: one step, an RTS's work and
// cycles.
void takeDetour(RoutineRun& run);

// Runs the interpreter for a leg of `step`, taking the steps that detour from it.
template <CpuModel Model, class Bus>
void runRoutineLeg(RoutineStep<Model, Bus>& step) {
    for (;;) {
        step.detour = false;
        runInterpreter<Model, Bus>(step);
        if (!step.detour) return;
        takeDetour(step);
    }
}

// Runs the routine of `run` from where the registers are until it ends (run.outcome),
// stores into a debug cell (run.cellStored: the caller reports it, clears it and calls
// again), or has run `maxCycles` cycles since its call began. With `interrupts`, they come
// as the machine brings them: the minimal machine's frame interrupt between legs of the
// main loop's length, the C64's chips' lines as the processor takes them (their pushes are
// writes of the test); without, none is taken (the C64's chips run all the same).
void runRoutine(RoutineRun& run, uint64_t maxCycles, bool interrupts);
