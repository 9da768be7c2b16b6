// Loads, stores, transfers, arithmetic, logic, compares, BIT, shifts, rotates,
// increments and decrements. An operation with a memory operand takes the effective
// address from a fetcher; the accumulator and register forms take none. Values are
// unsigned bytes; sums and differences are formed wider so carry and borrow show before
// truncation. The plain model never consults the decimal flag: its ADC and SBC are always
// binary. The 6510 model adds and subtracts in decimal when D is set, as the NMOS chip does.
#pragma once

#include "cpu/bus.h"

// A + M + C in binary; sets N Z C V. V when A and M agree in sign and the sum does not.
inline void addBinary(CpuState& c, unsigned m) {
    unsigned sum = c.regA + m + testFlag(c, kFlagC);
    setFlag(c, kFlagV, (~(c.regA ^ m) & (c.regA ^ sum) & 0x80));
    setFlag(c, kFlagC, sum > 0xFF);
    c.regA = static_cast<uint8_t>(sum);
    setNZ(c, c.regA);
}

// A + M + C in decimal, as the NMOS chip adds: digit by digit, a low digit past 9
// corrected by 6 and carried into the high digit, a high digit past 9 corrected and
// carried out. Z comes from the binary sum, N and V from the digits before the high
// digit's correction. Digits past 9 in the operands ($0F, $FF) take the same steps.
inline void addDecimal(CpuState& c, unsigned m) {
    unsigned carry = testFlag(c, kFlagC);
    unsigned low = (c.regA & 0x0F) + (m & 0x0F) + carry;
    unsigned high = (c.regA >> 4) + (m >> 4);
    if (low > 9) {
        low = (low + 6) & 0x0F;
        high += 1;
    }
    unsigned uncorrected = high << 4 | low;
    setFlag(c, kFlagZ, ((c.regA + m + carry) & 0xFF) == 0);
    setFlag(c, kFlagN, uncorrected & 0x80);
    setFlag(c, kFlagV, (~(c.regA ^ m) & (c.regA ^ uncorrected) & 0x80));
    setFlag(c, kFlagC, high > 9);
    if (high > 9) high += 6;
    c.regA = static_cast<uint8_t>(high << 4 | low);
}

// A - M - (1 - C) in binary; sets N Z C V. C means no borrow; V when A and M differ in
// sign and the difference's sign differs from A's.
inline void subtractBinary(CpuState& c, int m) {
    int diff = c.regA - m - (1 - static_cast<int>(testFlag(c, kFlagC)));
    setFlag(c, kFlagV, ((c.regA ^ m) & (c.regA ^ diff) & 0x80));
    setFlag(c, kFlagC, diff >= 0);
    c.regA = static_cast<uint8_t>(diff);
    setNZ(c, c.regA);
}

// A - M - (1 - C) in decimal: the flags are the binary subtraction's; the result is
// formed digit by digit, a digit that borrowed corrected by 6.
inline void subtractDecimal(CpuState& c, int m) {
    int low = (c.regA & 0x0F) - (m & 0x0F) - (1 - static_cast<int>(testFlag(c, kFlagC)));
    int high = (c.regA >> 4) - (m >> 4);
    if (low < 0) {
        low = (low - 6) & 0x0F;
        high -= 1;
    }
    if (high < 0) high -= 6;
    subtractBinary(c, m);
    c.regA = static_cast<uint8_t>(high << 4 | low);
}

// ADC and SBC on a value, in the arithmetic of the model.
template <CpuModel Model>
inline void addWithCarry(CpuState& c, uint8_t m) {
    if constexpr (Model == CpuModel::Mos6510) {
        if (c.regP & kFlagD) [[unlikely]]
            return addDecimal(c, m);
    }
    addBinary(c, m);
}
template <CpuModel Model>
inline void subtractWithBorrow(CpuState& c, uint8_t m) {
    if constexpr (Model == CpuModel::Mos6510) {
        if (c.regP & kFlagD) [[unlikely]]
            return subtractDecimal(c, m);
    }
    subtractBinary(c, m);
}

// ADC: A = A + M + C; sets N Z C V.
template <CpuModel Model = kDefaultCpuModel, class P>
inline void opADC(P& c, uint16_t address) {
    addWithCarry<Model>(c, busRead(c, address));
}

// SBC: A = A - M - (1 - C); sets N Z C V.
template <CpuModel Model = kDefaultCpuModel, class P>
inline void opSBC(P& c, uint16_t address) {
    subtractWithBorrow<Model>(c, busRead(c, address));
}

// AND, ORA, EOR: A = A op M; sets N Z.
template <class P>
inline void opAND(P& c, uint16_t address) {
    setNZ(c, c.regA &= busRead(c, address));
}
template <class P>
inline void opORA(P& c, uint16_t address) {
    setNZ(c, c.regA |= busRead(c, address));
}
template <class P>
inline void opEOR(P& c, uint16_t address) {
    setNZ(c, c.regA ^= busRead(c, address));
}

// CMP, CPX, CPY: R - M; sets N Z C (C when R >= M). R is unchanged.
inline void compareValues(CpuState& c, uint8_t r, uint8_t m) {
    setFlag(c, kFlagC, r >= m);
    setNZ(c, static_cast<uint8_t>(r - m));
}
template <class P>
inline void compareWith(P& c, uint8_t r, uint16_t address) {
    compareValues(c, r, busRead(c, address));
}
template <class P>
inline void opCMP(P& c, uint16_t address) {
    compareWith(c, c.regA, address);
}
template <class P>
inline void opCPX(P& c, uint16_t address) {
    compareWith(c, c.regX, address);
}
template <class P>
inline void opCPY(P& c, uint16_t address) {
    compareWith(c, c.regY, address);
}

// BIT: N = bit 7 of M, V = bit 6 of M, Z = (A AND M) = 0; A and C are unchanged.
template <class P>
inline void opBIT(P& c, uint16_t address) {
    uint8_t m = busRead(c, address);
    c.regP = static_cast<uint8_t>((c.regP & ~(kFlagN | kFlagV | kFlagZ)) | (m & (kFlagN | kFlagV)) |
                                  ((c.regA & m) == 0 ? kFlagZ : 0));
}

// The shift and rotate results, shared by the memory and accumulator forms; each sets
// C from the bit shifted out and N Z from the result. The rotates take the incoming
// carry before C changes.
inline uint8_t shiftLeft(CpuState& c, uint8_t v) {
    setFlag(c, kFlagC, v & 0x80);
    uint8_t r = static_cast<uint8_t>(v << 1);
    setNZ(c, r);
    return r;
}
inline uint8_t shiftRight(CpuState& c, uint8_t v) {
    setFlag(c, kFlagC, v & 0x01);
    uint8_t r = static_cast<uint8_t>(v >> 1);
    setNZ(c, r);
    return r;
}
inline uint8_t rotateLeft(CpuState& c, uint8_t v) {
    unsigned carryIn = testFlag(c, kFlagC);
    setFlag(c, kFlagC, v & 0x80);
    uint8_t r = static_cast<uint8_t>(v << 1 | carryIn);
    setNZ(c, r);
    return r;
}
inline uint8_t rotateRight(CpuState& c, uint8_t v) {
    unsigned carryIn = testFlag(c, kFlagC);
    setFlag(c, kFlagC, v & 0x01);
    uint8_t r = static_cast<uint8_t>(v >> 1 | carryIn << 7);
    setNZ(c, r);
    return r;
}

// Read-modify-write in memory: reads M once (a ROM byte where a ROM is visible), writes
// the result into RAM and costs 2 cycles of its own. The chip writes twice, M unchanged
// in the cycle after the read and the result in the last cycle; a bus that sees the
// first write gets it too. Returns the result.
template <uint8_t (*Modify)(CpuState&, uint8_t), class P>
inline uint8_t modifyMemory(P& c, uint16_t address) {
    uint8_t m = busRead(c, address);
    c.cycleCount += 1;
    if constexpr (BusOf<P>::kSeesDummyWrites) busWrite(c, address, m);
    c.cycleCount += 1;
    uint8_t r = Modify(c, m);
    busWrite(c, address, r);
    return r;
}

inline uint8_t increment(CpuState& c, uint8_t v) {
    uint8_t r = static_cast<uint8_t>(v + 1);
    setNZ(c, r);
    return r;
}
inline uint8_t decrement(CpuState& c, uint8_t v) {
    uint8_t r = static_cast<uint8_t>(v - 1);
    setNZ(c, r);
    return r;
}

// ASL, LSR, ROL, ROR on memory: M = shifted M; sets N Z C; 2 cycles.
template <class P>
inline void opASL(P& c, uint16_t address) {
    modifyMemory<shiftLeft>(c, address);
}
template <class P>
inline void opLSR(P& c, uint16_t address) {
    modifyMemory<shiftRight>(c, address);
}
template <class P>
inline void opROL(P& c, uint16_t address) {
    modifyMemory<rotateLeft>(c, address);
}
template <class P>
inline void opROR(P& c, uint16_t address) {
    modifyMemory<rotateRight>(c, address);
}

// ASL A, LSR A, ROL A, ROR A: A = shifted A; sets N Z C.
inline void opASLA(CpuState& c) { c.regA = shiftLeft(c, c.regA); }
inline void opLSRA(CpuState& c) { c.regA = shiftRight(c, c.regA); }
inline void opROLA(CpuState& c) { c.regA = rotateLeft(c, c.regA); }
inline void opRORA(CpuState& c) { c.regA = rotateRight(c, c.regA); }

// INC, DEC: M = M +/- 1; sets N Z; 2 cycles. C and V keep their values.
template <class P>
inline void opINC(P& c, uint16_t address) {
    modifyMemory<increment>(c, address);
}
template <class P>
inline void opDEC(P& c, uint16_t address) {
    modifyMemory<decrement>(c, address);
}

// INX, DEX, INY, DEY: register +/- 1; sets N Z.
inline void opINX(CpuState& c) { c.regX = increment(c, c.regX); }
inline void opDEX(CpuState& c) { c.regX = decrement(c, c.regX); }
inline void opINY(CpuState& c) { c.regY = increment(c, c.regY); }
inline void opDEY(CpuState& c) { c.regY = decrement(c, c.regY); }

// LDA, LDX, LDY: R = M; sets N Z.
template <class P>
inline void opLDA(P& c, uint16_t address) {
    setNZ(c, c.regA = busRead(c, address));
}
template <class P>
inline void opLDX(P& c, uint16_t address) {
    setNZ(c, c.regX = busRead(c, address));
}
template <class P>
inline void opLDY(P& c, uint16_t address) {
    setNZ(c, c.regY = busRead(c, address));
}

// STA, STX, STY: M = R; no flags.
template <class P>
inline void opSTA(P& c, uint16_t address) {
    busWrite(c, address, c.regA);
}
template <class P>
inline void opSTX(P& c, uint16_t address) {
    busWrite(c, address, c.regX);
}
template <class P>
inline void opSTY(P& c, uint16_t address) {
    busWrite(c, address, c.regY);
}

// TAX, TAY, TSX, TXA, TYA: copy; sets N Z. TXS: S = X; no flags.
inline void opTAX(CpuState& c) { setNZ(c, c.regX = c.regA); }
inline void opTAY(CpuState& c) { setNZ(c, c.regY = c.regA); }
inline void opTSX(CpuState& c) { setNZ(c, c.regX = c.regS); }
inline void opTXA(CpuState& c) { setNZ(c, c.regA = c.regX); }
inline void opTYA(CpuState& c) { setNZ(c, c.regA = c.regY); }
inline void opTXS(CpuState& c) { c.regS = c.regX; }
