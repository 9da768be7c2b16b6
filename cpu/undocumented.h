// The operations of the undocumented opcodes, as the NMOS 6510 runs them; only the 6510
// model's rows (opcodes.def) call them. The read-modify-write combinations are a memory
// operation followed by an accumulator one on the value written; the others combine the
// registers in ways the documented set does not.
#pragma once

#include "cpu/operations.h"

// ANE and LXA OR the accumulator with a constant that differs from chip to chip and with
// temperature; $EE and $FF are what most machines of this kind show. We take $EE: a
// program that gets the same result with $EE and with $FF does not depend on the
// constant, and $EE, which clears bits 0 and 4, is the one that shows when it does.
inline constexpr uint8_t kUnstableMagic = 0xEE;

// SLO: M = M << 1, A = A OR M; sets N Z C.
template <class P>
inline void opSLO(P& c, uint16_t address) {
    setNZ(c, c.regA |= modifyMemory<shiftLeft>(c, address));
}
// RLA: M = M rotated left through C, A = A AND M; sets N Z C.
template <class P>
inline void opRLA(P& c, uint16_t address) {
    setNZ(c, c.regA &= modifyMemory<rotateLeft>(c, address));
}
// SRE: M = M >> 1, A = A XOR M; sets N Z C.
template <class P>
inline void opSRE(P& c, uint16_t address) {
    setNZ(c, c.regA ^= modifyMemory<shiftRight>(c, address));
}
// RRA: M = M rotated right through C, then ADC of M with the carry the rotation left;
// sets N Z C V.
template <class P>
inline void opRRA(P& c, uint16_t address) {
    addWithCarry<CpuModel::Mos6510>(c, modifyMemory<rotateRight>(c, address));
}
// DCP: M = M - 1, then CMP of A with M; sets N Z C.
template <class P>
inline void opDCP(P& c, uint16_t address) {
    compareValues(c, c.regA, modifyMemory<decrement>(c, address));
}
// ISC: M = M + 1, then SBC of M; sets N Z C V.
template <class P>
inline void opISC(P& c, uint16_t address) {
    subtractWithBorrow<CpuModel::Mos6510>(c, modifyMemory<increment>(c, address));
}

// SAX: M = A AND X; no flags.
template <class P>
inline void opSAX(P& c, uint16_t address) {
    busWrite(c, address, static_cast<uint8_t>(c.regA & c.regX));
}
// LAX: A = X = M; sets N Z.
template <class P>
inline void opLAX(P& c, uint16_t address) {
    setNZ(c, c.regA = c.regX = busRead(c, address));
}

// ANC: A = A AND M; sets N Z, and C as N.
template <class P>
inline void opANC(P& c, uint16_t address) {
    setNZ(c, c.regA &= busRead(c, address));
    setFlag(c, kFlagC, c.regA & 0x80);
}
// ALR: A = (A AND M) >> 1; sets N Z C.
template <class P>
inline void opALR(P& c, uint16_t address) {
    c.regA = shiftRight(c, c.regA & busRead(c, address));
}
// ARR: A = (A AND M) rotated right through C. In binary N Z come from the result, C from
// its bit 6 and V from bit 6 XOR bit 5. With D set N Z and V are taken the same way
// before the result is corrected as a pair of decimal digits: the low digit by 6 when it
// exceeds 4 (counting its bit 0 twice, as the chip does), the high digit by 6 with C set
// when it exceeds 4 the same way, C clear otherwise.
template <class P>
inline void opARR(P& c, uint16_t address) {
    unsigned masked = c.regA & busRead(c, address);
    unsigned r = masked >> 1 | testFlag(c, kFlagC) << 7;
    setNZ(c, static_cast<uint8_t>(r));
    if (!(c.regP & kFlagD)) [[likely]] {
        setFlag(c, kFlagC, r & 0x40);
        setFlag(c, kFlagV, (r ^ r << 1) & 0x40);
        c.regA = static_cast<uint8_t>(r);
        return;
    }
    setFlag(c, kFlagV, (masked ^ r) & 0x40);
    if ((masked & 0x0F) + (masked & 0x01) > 0x05) r = (r & 0xF0) | ((r + 0x06) & 0x0F);
    bool highCarries = (masked & 0xF0) + (masked & 0x10) > 0x50;
    setFlag(c, kFlagC, highCarries);
    if (highCarries) r += 0x60;
    c.regA = static_cast<uint8_t>(r);
}
// SBX: X = (A AND X) - M, without borrow in or out of C; sets N Z C as CMP does.
template <class P>
inline void opSBX(P& c, uint16_t address) {
    uint8_t both = c.regA & c.regX;
    uint8_t m = busRead(c, address);
    compareValues(c, both, m);
    c.regX = static_cast<uint8_t>(both - m);
}

// ANE: A = (A OR the constant) AND X AND M; sets N Z.
template <class P>
inline void opANE(P& c, uint16_t address) {
    setNZ(c, c.regA = (c.regA | kUnstableMagic) & c.regX & busRead(c, address));
}
// LXA: A = X = (A OR the constant) AND M; sets N Z.
template <class P>
inline void opLXA(P& c, uint16_t address) {
    setNZ(c, c.regA = c.regX = (c.regA | kUnstableMagic) & busRead(c, address));
}

// The stores of SHA, SHX, SHY and TAS: `value` AND (the high byte of the base address,
// before indexing, + 1). When the index crossed a page, the stored value is also the
// high byte of the address written. Returns that address.
template <class P>
inline uint16_t storeAndHigh(P& c, uint16_t address, uint8_t index, uint8_t value) {
    auto base = static_cast<uint16_t>(address - index);
    auto stored = static_cast<uint8_t>(value & (highByte(base) + 1));
    if (highByte(base) != highByte(address))
        address = static_cast<uint16_t>(stored << 8 | lowByte(address));
    busWrite(c, address, stored);
    return address;
}
template <class P>
inline uint16_t opSHA(P& c, uint16_t address) {
    return storeAndHigh(c, address, c.regY, c.regA & c.regX);
}
template <class P>
inline uint16_t opSHX(P& c, uint16_t address) {
    return storeAndHigh(c, address, c.regY, c.regX);
}
template <class P>
inline uint16_t opSHY(P& c, uint16_t address) {
    return storeAndHigh(c, address, c.regX, c.regY);
}
template <class P>
inline uint16_t opTAS(P& c, uint16_t address) {
    c.regS = c.regA & c.regX;
    return storeAndHigh(c, address, c.regY, c.regS);
}
// LAS: A = X = S = M AND S; sets N Z.
template <class P>
inline void opLAS(P& c, uint16_t address) {
    setNZ(c, c.regA = c.regX = c.regS = busRead(c, address) & c.regS);
}

// JAM: the processor stops. regPC goes back to the JAM, so that the processor, run on,
// meets it again and again; the machine's loop ends its run there.
inline void opJAM(CpuState& c) { c.regPC = static_cast<uint16_t>(c.regPC - 1); }
