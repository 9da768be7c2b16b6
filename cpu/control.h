// The stack, the branches, JSR and RTS, BRK and RTI, the stack instructions, reset and
// the entry into the maskable interrupt. On entry to an instruction's operation regPC
// addresses the byte after the opcode.
#pragma once

#include "cpu/bus.h"

inline constexpr uint16_t kStackPage = 0x0100;
inline constexpr uint16_t kResetVector = 0xFFFC;
inline constexpr uint16_t kIrqVector = 0xFFFE;
inline constexpr int32_t kInterruptEntryCycles = 7;  // the entry's pushes and vector, no fetch

// The stack lives in page one and grows down; regS addresses the next free byte and
// wraps within the page in both directions.
inline void pushByte(CpuState& c, uint8_t value) {
    writeByte(static_cast<uint16_t>(kStackPage + c.regS), value);
    c.regS = static_cast<uint8_t>(c.regS - 1);
}
inline uint8_t pullByte(CpuState& c) {
    c.regS = static_cast<uint8_t>(c.regS + 1);
    return memory.ram[kStackPage + c.regS];  // page one is RAM under every banking
}
inline void pushWord(CpuState& c, uint16_t value) {
    pushByte(c, highByte(value));
    pushByte(c, lowByte(value));
}
inline uint16_t pullWord(CpuState& c) {
    uint8_t low = pullByte(c);
    return static_cast<uint16_t>(low | pullByte(c) << 8);
}

// A taken branch: 1 cycle, 1 more when the target lies on another page than the
// instruction after the branch.
template <class P>
inline void branchRelative(P& c) {
    c.cycleCount += 1;
    uint16_t next = static_cast<uint16_t>(c.regPC + 1);
    uint16_t target = static_cast<uint16_t>(next + toSigned(busRead(c, c.regPC)));
    if ((target ^ next) & 0xFF00) c.cycleCount += 1;
    c.regPC = target;
}
// BMI BVS BCS BEQ: branch when the flag is set; otherwise skip the offset byte.
template <class P>
inline void branchIfSet(P& c, uint8_t mask) {
    if (testFlag(c, mask)) {
        branchRelative(c);
    } else {
        c.regPC += 1;
    }
}
// BPL BVC BCC BNE: branch when the flag is clear; otherwise skip the offset byte.
template <class P>
inline void branchIfClear(P& c, uint8_t mask) {
    if (!testFlag(c, mask)) {
        branchRelative(c);
    } else {
        c.regPC += 1;
    }
}

// JSR: push the address of the JSR's last byte, high byte first; PC = target. 2 cycles.
// RTS adds the one back, so a routine may pull its return address to read inline data,
// and a jump table may push an address minus one and return into it.
inline void opJSR(CpuState& c, uint16_t target) {
    c.cycleCount += 2;
    pushWord(c, static_cast<uint16_t>(c.regPC - 1));
    c.regPC = target;
}

// RTS: PC = pulled address + 1. 4 cycles.
inline void opRTS(CpuState& c) {
    c.cycleCount += 4;
    c.regPC = static_cast<uint16_t>(pullWord(c) + 1);
}

// BRK: push BRK address + 2 and P with B set; set I; PC = word at $FFFE. 5 cycles.
// The pushed copy holds I as it was before the BRK; regP keeps its own B.
template <class P>
inline void opBRK(P& c) {
    c.cycleCount += 5;
    pushWord(c, static_cast<uint16_t>(c.regPC + 1));
    pushByte(c, c.regP | kFlagB);
    setFlag(c, kFlagI, 1);
    c.regPC = busReadWord(c, kIrqVector);
}

// RTI: P = pulled byte exactly as pulled, then PC = pulled address. 4 cycles.
inline void opRTI(CpuState& c) {
    c.cycleCount += 4;
    c.regP = pullByte(c);
    c.regPC = pullWord(c);
}

// PHA: push A. PHP: push P with B set; regP is unchanged. 1 cycle each.
inline void opPHA(CpuState& c) {
    c.cycleCount += 1;
    pushByte(c, c.regA);
}
inline void opPHP(CpuState& c) {
    c.cycleCount += 1;
    pushByte(c, c.regP | kFlagB);
}

// PLA: A = pulled byte; sets N Z. PLP: P = pulled byte with B clear. 2 cycles each.
inline void opPLA(CpuState& c) {
    c.cycleCount += 2;
    c.regA = pullByte(c);
    setNZ(c, c.regA);
}
inline void opPLP(CpuState& c) {
    c.cycleCount += 2;
    c.regP = pullByte(c) & static_cast<uint8_t>(~kFlagB);
}

// Reset: cycleCount = 0, set I, PC = word at $FFFC. Nothing is pushed.
template <class P>
inline void cpuReset(P& c) {
    c.cycleCount = 0;
    setFlag(c, kFlagI, 1);
    c.regPC = busReadWord(c, kResetVector);
}

// Interrupt entry: push PC and P with B clear, so that a handler can tell an interrupt
// from a BRK; set I; PC = word at the vector. 7 cycles, with no opcode fetch.
template <class P>
inline void enterInterrupt(P& c, uint16_t vector) {
    c.cycleCount += kInterruptEntryCycles;
    pushWord(c, c.regPC);
    pushByte(c, c.regP & static_cast<uint8_t>(~kFlagB));
    setFlag(c, kFlagI, 1);
    c.regPC = busReadWord(c, vector);
}

// The frame interrupt: taken through $FFFE when I is clear, otherwise lost.
template <class P>
inline void raiseIrq(P& c) {
    if (!testFlag(c, kFlagI)) enterInterrupt(c, kIrqVector);
}
