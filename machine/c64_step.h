// What happens around every instruction inside a leg of the C64's loop (c64_loop.cpp), as
// a step policy of the interpreter on the C64's bus, in one compile-time variant per
// processor model and for runs that observe (trace, counts) or do not.
//
// A leg runs up to a cycle limit (legEnd.limit): the earliest cycle at which a chip may
// change what the processor must react to (the frame's end, an interrupt line falling). It
// ends early after an instruction whose consequences the loop must see: an access that
// changes what a chip does next (a store to the port or the I/O area, a read that releases
// a CIA's interrupt output, so that its next fall counts as an edge again), which lowers
// the limit itself; CLI, SEI, PLP and RTI where they changed flag I (whose effect on the
// interrupts' sampling the loop works out), and BRK; a JAM. The window of the test hook is
// looked at as on the minimal machine.
#pragma once

#include "machine/c64.h"
#include "machine/step_loop.h"

inline constexpr uint8_t kOpcodeCLI = opcodeOf("CLI");
inline constexpr uint8_t kOpcodeSEI = opcodeOf("SEI");
inline constexpr uint8_t kOpcodePLP = opcodeOf("PLP");
inline constexpr uint8_t kOpcodeRTI = opcodeOf("RTI");

// Whether an instruction may change flag I: the loop looks at the interrupts after it.
constexpr bool touchesInterruptMask(uint8_t opcode) {
    return opcode == kOpcodeCLI || opcode == kOpcodeSEI || opcode == kOpcodePLP ||
           opcode == kOpcodeRTI || opcode == kOpcodeBRK;
}

struct C64StepFeatures {
    bool observe = false;  // keep the trace ring and the execution counts, where they are on
    CpuModel model = kDefaultCpuModel;
    constexpr unsigned index() const {
        return unsigned{observe} | static_cast<unsigned>(model) << 1;
    }
    static constexpr C64StepFeatures fromIndex(unsigned i) {
        return {(i & 1) != 0, static_cast<CpuModel>(i >> 1)};
    }
};
inline constexpr unsigned kC64StepVariants = 4;

// What the loop needs to know of a leg's last instruction, besides the registers: where it
// started (cycleCount before it), and flag I before it, which is I as the leg started (only
// an instruction that ends the leg changes I).
struct C64LegEnd {
    int32_t start;
    bool maskBefore;
};

template <C64StepFeatures F>
struct C64LegStep {
    uint64_t remaining;  // steps of the leg not yet started
    bool window;         // end before an instruction that starts in the test hook's window
    bool mask;           // flag I as the leg began (only an instruction that ends it changes I)
    int32_t start = 0;
    uint16_t startPc = 0;

    bool beforeInstruction(CpuState& c) {
        if (remaining == 0 || c.cycleCount >= legEnd.limit) [[unlikely]]
            return false;
        if (c.regPC >= kBasicRomFirst) [[unlikely]] {
            if (window && loopStopsAtCalled(c.regPC)) return false;
        }
        --remaining;
        start = c.cycleCount;
        if constexpr (F.observe) {
            if (trace.ring) traceInstruction(c.regPC, c.regA, c.regX, c.regY, c.regS, c.regP);
            startPc = c.regPC;
        }
        return true;
    }

    template <uint8_t Opcode>
    void afterInstruction(CpuState& c, uint16_t) {
        // BRK ends the leg for the NMI that may take it over; the others when they changed
        // flag I. (The firmware idles in CLI and JMP with I clear: ending the leg at each CLI
        // there ran the chips' work for every two instructions.)
        if constexpr (Opcode == kOpcodeBRK) {
            endLeg();
        } else if constexpr (touchesInterruptMask(Opcode)) {
            if (((c.regP & kFlagI) != 0) != mask) endLeg();
        }
        if constexpr (F.observe) {
            if (counting.executionCounts)
                countInstruction<F.model, Opcode>(c, startPc, c.cycleCount - start);
        }
        if constexpr (opcodeInfo(F.model, Opcode).halts) {
            legEnd.jammed = true;
            endLeg();
        }
    }

    void endLeg() {
        legEnd.leftover += remaining;
        remaining = 0;
    }
};

// Runs a leg of up to `steps` steps that starts no instruction at or past `limit`; returns
// the steps run, and what the loop needs of the last one in `last`.
template <C64StepFeatures F>
uint64_t runC64Leg(uint64_t steps, int32_t limit, bool window, C64LegEnd& last) {
    legEnd = LegEnd{};
    legEnd.limit = limit;
    setFlag(cpu, kFlagBit5, 1);
    bool maskBefore = (cpu.regP & kFlagI) != 0;
    C64LegStep<F> step{steps, window, maskBefore};
    runInterpreter<F.model, C64Bus>(step);
    last = {step.start, maskBefore};
    return steps - step.remaining - legEnd.leftover;
}

// The C64 loop's work between legs, for a loop with a step policy of its own (the routine
// tests'): the frame's end when the leg before reached it (counted and drawn as the main
// loop's, returns whether it came); before a leg, the port's fade, the interrupt the last
// poll saw (with `interrupts`; without, none is taken) and a bad line's wait, returning the
// cycleCount at which the leg must end; after a leg that ran an instruction, the wait of a
// last instruction that a bad line's cycle 12 fell in, and its poll.
bool c64FrameEnds();
int32_t prepareC64Leg(bool interrupts);
void finishC64Leg(const C64LegEnd& last);

#define BREADBIN_FOR_EACH_C64_LEG_VARIANT(X) X(0) X(1) X(2) X(3)
#define BREADBIN_DECLARE_C64_LEG(i)                                                            \
    extern template uint64_t runC64Leg<C64StepFeatures::fromIndex(i)>(uint64_t, int32_t, bool, \
                                                                      C64LegEnd&);
BREADBIN_FOR_EACH_C64_LEG_VARIANT(BREADBIN_DECLARE_C64_LEG)
#undef BREADBIN_DECLARE_C64_LEG
