// What happens around every instruction inside a leg of the main loop (main_loop.cpp),
// as a step policy of the interpreter, in one compile-time variant per combination of
// the features a run may ask for.
//
// A leg is one call of the interpreter: up to the steps the loop gives it, ended early
// after an instruction whose consequences need the loop (see afterInstruction). Inside a
// leg the interpreter makes no call of its own, so the compiler keeps every register in
// machine registers.
#pragma once

#include <array>

#include "cpu/call.h"
#include "cpu/interpreter.h"
#include "machine/counting.h"
#include "machine/drive_port.h"
#include "machine/keyboard.h"
#include "machine/machine.h"
#include "machine/trace.h"

// The features of a leg. Each is a compile-time switch, so that what a run does not ask
// for costs it nothing; one more feature is one more field here and in stepFeatures().
// The processor model is one of them: each model has legs of its own. Every leg ends after
// a store into the debug cells, which the loop ignores unless the run watches it: the
// table that tells them costs the same either way, and legs that would not watch them
// took half as many variants again, and the build a minute of compiling more.
struct StepFeatures {
    bool window = false;   // end before an instruction that starts in the test hook's window
    bool observe = false;  // keep the trace ring and the execution counts, where they are on
    CpuModel model = kDefaultCpuModel;
    constexpr unsigned index() const {
        return unsigned{window} | observe << 1 | static_cast<unsigned>(model) << 2;
    }
    static constexpr StepFeatures fromIndex(unsigned i) {
        return {(i & 1) != 0, (i & 2) != 0, static_cast<CpuModel>(i >> 2)};
    }
};
inline constexpr unsigned kStepFeatureVariants = 8;

// How a leg ended, besides the steps it ran. In memory rather than in the interpreter's
// locals: it is touched only when a leg ends early, and as locals it would take machine
// registers that the processor's registers need.
struct LegEnd {
    uint64_t leftover;  // the steps of the leg that were not started
    bool storeSeen;     // the leg ended after a store that ends legs, here:
    uint16_t storeAddress;
    bool jammed;  // the last instruction was a JAM: the processor has stopped
    // On the C64, the cycleCount at which the leg ends before an instruction: the loop sets
    // it, and an access that changes what a chip does next lowers it to end the leg after
    // the instruction (endLegAfterThisInstruction). In the main loop, the cycleCount from
    // which a leg goes on for no more stretches.
    int32_t limit;
    bool driveRequest;  // the leg ended after a store into the drive request cell
    // In the main loop, the steps of the whole stretches that the leg went on for after the
    // one it was given (runLeg).
    uint64_t joined;
};
extern LegEnd legEnd;

// A store that ends a leg (on the minimal machine one the table below names, on the C64
// any store to the chips) notes whether it went into the drive request cell; after the leg
// the loop serves the request, as every loop does before its next instruction.
inline bool noteDriveRequestStore(uint16_t address) {
    if (address != kDriveRequest) return false;
    legEnd.driveRequest = true;
    return true;
}
inline void serveDriveRequestAfterLeg() {
    if (legEnd.driveRequest) serveDriveRequestStored();
}

// Takes the next key from the host; Escape ends the run. Returns whether a key was taken,
// so that the loop polls again at the next step.
bool pollForEscape();

inline bool inTestHookWindow(uint16_t pc) {
    return static_cast<uint16_t>(pc - kTestHookFirst) <= kTestHookLast - kTestHookFirst;
}

// Where a leg that watches the window ends before an instruction: in the test hook's
// window, and at a routine that the emulator serves in the ROM's place (drive_port.h).
inline bool loopStopsAt(uint16_t pc) { return inTestHookWindow(pc) || servedRoutineAt(pc); }
// The same, out of line: for the interpreters' loops (both machines'), where the inlined
// test took registers that the processor's registers need in every instruction (20,000,000
// cycles of the sieve under --until-input: 210.0 M host instructions in the loop inlined,
// 190.2 M called; on the C64, 287.7 M and 280.5 M for the whole run).
[[gnu::noinline]] bool loopStopsAtCalled(uint16_t pc);

// Serves the routine at c's regPC when the emulator serves it (serveRoutine), its cycles
// and its return counted as its RTS's would be where the run counts.
// (The inline test first: routine tests ask before every instruction.)
inline bool serveRoutineCounted(CpuState& c) {
    int32_t before = c.cycleCount;
    if (!servedRoutineAt(c.regPC) || !serveRoutine(c)) return false;
    if (counting.executionCounts) {
        counting.cycles += static_cast<uint64_t>(c.cycleCount - before);
        if (counting.openCallCount > 0) closeCall(c.regPC, c.regS);
    }
    return true;
}

// The addresses whose store ends a leg, one bit each: the raster register, $DC00 and the
// port that decides whether $DC00 reads RAM or the character ROM, which the loop's work
// after a step depends on; the drive request cell, whose request the loop serves after the
// leg; and the debug cells, whose stores the loop looks at where the run watches them.
// One load and one bit test (8 KiB, of which a run touches the lines of the addresses it
// stores to).
inline constexpr auto kLegEndingStores = [] {
    std::array<uint64_t, kRamSize / 64> bits{};
    auto add = [&](uint16_t address) { bits[address / 64] |= uint64_t{1} << address % 64; };
    add(kRasterRegister);
    add(kKeyboardColumnSelect);
    add(kPortAddress);
    add(kDriveRequest);
    for (unsigned a = kDebugCellsFirst; a <= kDebugCellsLast; ++a) add(static_cast<uint16_t>(a));
    return bits;
}();

inline bool storeEndsLeg(uint16_t address) {
    return (kLegEndingStores[address / 64] >> address % 64 & 1) != 0;
}

// The minimal machine's chips after a step: the keyboard stub, and the raster register,
// which reads 0 after every step.
inline void minimalChipsAfterStep() {
    updateKeyboardPort();
    writeByte(kRasterRegister, 0);
}

// Counts the instruction `Opcode` that started at `pc`, charged `cycles` and has run.
template <CpuModel Model, uint8_t Opcode>
inline void countInstruction(const CpuState& c, uint16_t pc, int32_t cycles) {
    ExecutionCount& count = counting.executionCounts[pc];
    ++count.instructions;
    count.cycles += static_cast<uint64_t>(cycles);
    ++counting.instructions;
    counting.cycles += static_cast<uint64_t>(cycles);
    if constexpr (opcodeInfo(Model, Opcode).mode == AddressingMode::Relative) {
        if (c.regPC != static_cast<uint16_t>(pc + 2)) ++count.taken;
    }
    if constexpr (Opcode == kOpcodeJSR) {
        ++counting.executionCounts[c.regPC].calls;
        openCall(pc, c.regPC, static_cast<uint8_t>(c.regS + 2), 1, static_cast<uint64_t>(cycles));
    }
    if constexpr (Opcode == kOpcodeRTS) {
        if (counting.openCallCount > 0) closeCall(c.regPC, c.regS);
    }
}

template <StepFeatures F>
struct MainLoopStep {
    uint64_t remaining;    // steps of the leg not yet started
    uint64_t quiet;        // whole stretches the leg may go on for at its end (runLeg)
    uint16_t startPc = 0;  // F.observe: the instruction under way, and the cycles before it
    int32_t startCycles = 0;

    // The window is looked at before an instruction rather than after the one before, so
    // that the test lies beside the opcode fetch's own of the same address: below $A000,
    // where the fetch reads RAM without looking at the banking, the window cannot be, and
    // the compiler leaves the test out. A leg never starts in the window (runLeg), so this
    // ends it where a check after the instruction would have.
    bool beforeInstruction(CpuState& c) {
        if (remaining == 0) [[unlikely]] {
            if (quiet == 0 || c.cycleCount >= legEnd.limit) return false;
            --quiet;
            remaining = kStepsPerHostCheck;
            legEnd.joined += kStepsPerHostCheck;
        }
        if constexpr (F.window) {
            static_assert(kTestHookFirst >= kBasicRomFirst);
            if (c.regPC >= kBasicRomFirst) [[unlikely]] {
                if (loopStopsAtCalled(c.regPC)) return false;
            }
        }
        --remaining;
        if constexpr (F.observe) {
            if (trace.ring) traceInstruction(c.regPC, c.regA, c.regX, c.regY, c.regS, c.regP);
            startPc = c.regPC;
            startCycles = c.cycleCount;
        }
        return true;
    }

    // The raster register reads 0 after every step, and the keyboard stub acts after a
    // step when $DC00 reads $FE. Within a leg only an instruction that stores into its
    // operand can change either (pushes stay in page one, and the character ROM, which
    // $DC00 reads while it is visible, never changes), and only by a store to one of the
    // three addresses they depend on: such a store ends the leg, and the loop does the
    // work after it. The loop runs a step alone when it starts with either already set.
    // (The address is the one the instruction wrote, and kLegEndingStores tells. Clearing
    // the register after every store and comparing $DC00 and the character ROM's byte
    // behind it took three memory accesses; three compares of the address were measured
    // slower than the table's load where the leg watches stores, too.)
    //
    // A store into the debug cells ends the leg too, and the loop decides whether it is
    // one the run watches.
    //
    // Status bit 5 is set at the start of every step: the leg sets it as it starts, and
    // only PLP and RTI can clear it; after one that did, the leg ends, so that the next
    // step starts a leg.
    template <uint8_t Opcode>
    void afterInstruction(CpuState& c, uint16_t address) {
        if constexpr (storesToOperand(F.model, Opcode)) {
            if (storeEndsLeg(address)) [[unlikely]] {
                legEnd.storeSeen = true;
                legEnd.storeAddress = address;
                noteDriveRequestStore(address);
                endLeg();
            }
        }
        if constexpr (opcodeInfo(F.model, Opcode).mayClearBit5) {
            if (!testFlag(c, kFlagBit5)) [[unlikely]]
                endLeg();
        }
        if constexpr (F.observe) {
            if (counting.executionCounts)
                countInstruction<F.model, Opcode>(c, startPc, c.cycleCount - startCycles);
        }
        if constexpr (opcodeInfo(F.model, Opcode).halts) {
            legEnd.jammed = true;
            endLeg();
        }
    }

    void endLeg() {
        legEnd.leftover += remaining;
        remaining = 0;
        quiet = 0;
    }
};

// Runs a leg of up to `steps` steps (at least one); returns the steps run. A leg that
// watches the window but starts in it (the loop has seen to that already) runs its first
// step without looking.
//
// A leg whose steps end a stretch may go on for up to `quietStretches` whole stretches
// more, one at a time while cpu.cycleCount is below `quietBelow` at the end of the last:
// the loop gives these where the host's check at a stretch's end could not have seen a
// frame due (runMainLoop). legEnd.joined counts their steps.
template <StepFeatures F>
uint64_t runLeg(uint64_t steps, uint64_t quietStretches, int32_t quietBelow) {
    if constexpr (F.window) {
        if (loopStopsAt(cpu.regPC)) {
            constexpr StepFeatures unwatched{false, F.observe, F.model};
            return runLeg<unwatched>(1, 0, 0);
        }
    }
    legEnd = LegEnd{};
    legEnd.limit = quietBelow;
    setFlag(cpu, kFlagBit5, 1);
    MainLoopStep<F> step{steps, quietStretches};
    runInterpreter<F.model>(step);
    return steps + legEnd.joined - step.remaining - legEnd.leftover;
}

// Each variant is compiled once, in one of four files, so that they build side by side:
// main_loop.cpp (the default model, not observing), traced_loop.cpp (observing), and the
// 6510 model's twins of both, loop_6510.cpp and traced_loop_6510.cpp.
#define BREADBIN_FOR_EACH_LEG_VARIANT(X) X(0) X(1) X(2) X(3) X(4) X(5) X(6) X(7)
#define BREADBIN_COMPILE_LEG(i) \
    template uint64_t runLeg<StepFeatures::fromIndex(i)>(uint64_t, uint64_t, int32_t);
#define BREADBIN_DECLARE_LEG(i) extern BREADBIN_COMPILE_LEG(i)
BREADBIN_FOR_EACH_LEG_VARIANT(BREADBIN_DECLARE_LEG)
#undef BREADBIN_DECLARE_LEG
