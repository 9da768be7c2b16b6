// A subroutine call as tools measure it: from the first cycle of its JSR to the last
// cycle of the RTS that returns from it. The routine tests of the runner and any tool
// that counts a routine's cycles share these, so that a routine costs the same to all.
#pragma once

#include "cpu/decoder.h"

struct CallFrame {
    uint16_t returnAddress;  // where the returning RTS lands: the byte after the JSR
    uint8_t stackPointer;    // regS before the JSR, and again once the call has returned
    uint64_t cyclesAtJsr;    // the cycles charged before the JSR began
};

inline constexpr uint16_t kJsrLength = opcodeInfo(kDefaultCpuModel, kOpcodeJSR).length;

// The call that the JSR at `pc` makes, about to run with the registers `c` after
// `cycles` cycles.
inline CallFrame callAt(const CpuState& c, uint16_t pc, uint64_t cycles) {
    return {static_cast<uint16_t>(pc + kJsrLength), c.regS, cycles};
}

// Whether the instruction `opcode`, just run, returned from the call: an RTS that landed
// on the return address with the stack where it was before the JSR. An RTS into an
// address the routine pushed itself, or one of a routine further down, is not it.
inline bool returnsFrom(const CallFrame& frame, uint8_t opcode, const CpuState& c) {
    return opcode == kOpcodeRTS && c.regPC == frame.returnAddress && c.regS == frame.stackPointer;
}

// A call's cycles once it has returned: its JSR (6), the routine, and the RTS that
// returned (interrupts that came in between included).
inline uint64_t callCycles(const CallFrame& frame, uint64_t cyclesAfterReturn) {
    return cyclesAfterReturn - frame.cyclesAtJsr;
}

// Runs a JSR to `target` as if it sat just before `returnAddress`, without its bytes in
// memory: the same pushes and the same cycles as the instruction (the opcode fetch and
// the absolute operand, 2 each, then the JSR's own 2).
inline void enterCall(CpuState& c, uint16_t target, uint16_t returnAddress) {
    c.cycleCount += 4;
    c.regPC = returnAddress;
    opJSR(c, target);
}
