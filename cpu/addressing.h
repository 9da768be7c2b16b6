// The ten address fetchers, one per addressing mode whose operand lies in memory. On
// entry regPC addresses the first operand byte (the opcode fetch has already charged
// its 2 cycles). Each fetcher consumes the operand bytes, charges the mode's share of
// cycles and returns the effective address; even the immediate mode returns an address,
// that of the operand byte. The zero-page fetchers return an address below $0100.
#pragma once

#include "cpu/bus.h"

// A page crossing: adding the index to the low byte of the base carries into the high byte.
inline bool crossesPage(uint16_t base, uint8_t index) { return (base & 0xFF) + index > 0xFF; }

// #imm: the operand byte itself. No cycles.
template <class P>
inline uint16_t addrImmediate(P& c) {
    return c.regPC++;
}

// zp: one cycle.
template <class P>
inline uint16_t addrZeroPage(P& c) {
    c.cycleCount += 1;
    return busRead(c, c.regPC++);
}

// zp,X and zp,Y: two cycles; the sum wraps inside the zero page.
template <class P>
inline uint16_t addrZeroPageX(P& c) {
    c.cycleCount += 2;
    return static_cast<uint8_t>(busRead(c, c.regPC++) + c.regX);
}
template <class P>
inline uint16_t addrZeroPageY(P& c) {
    c.cycleCount += 2;
    return static_cast<uint8_t>(busRead(c, c.regPC++) + c.regY);
}

// abs: two cycles.
template <class P>
inline uint16_t addrAbsolute(P& c) {
    c.cycleCount += 2;
    uint16_t address = busReadWord(c, c.regPC);
    c.regPC += 2;
    return address;
}

// abs,X and abs,Y: two cycles, three on a page crossing or when the instruction always
// pays the indexed mode's extra cycle (stores and read-modify-write).
template <class P>
inline uint16_t addrAbsoluteIndexed(P& c, uint8_t index, bool alwaysExtraCycle) {
    uint16_t base = busReadWord(c, c.regPC);
    c.regPC += 2;
    c.cycleCount += (alwaysExtraCycle || crossesPage(base, index)) ? 3 : 2;
    return static_cast<uint16_t>(base + index);
}
template <class P>
inline uint16_t addrAbsoluteX(P& c, bool alwaysExtraCycle) {
    return addrAbsoluteIndexed(c, c.regX, alwaysExtraCycle);
}
template <class P>
inline uint16_t addrAbsoluteY(P& c, bool alwaysExtraCycle) {
    return addrAbsoluteIndexed(c, c.regY, alwaysExtraCycle);
}

// (abs), JMP only: three cycles. In the plain model the target's high byte comes from
// the next address even when the pointer ends in $FF; the 6510 does not carry into the
// pointer's high byte, so a pointer at $xxFF takes it from $xx00. Both bytes come from the
// memory the banking selects for the pointer.
template <CpuModel Model = kDefaultCpuModel, class P>
inline uint16_t addrIndirect(P& c) {
    c.cycleCount += 3;
    uint16_t pointer = busReadWord(c, c.regPC);
    c.regPC += 2;
    if constexpr (Model == CpuModel::Mos6510) {
        if (lowByte(pointer) == 0xFF) [[unlikely]]
            return static_cast<uint16_t>(busRead(c, pointer) |
                                         busRead(c, static_cast<uint16_t>(pointer - 0xFF)) << 8);
    }
    return busReadWord(c, pointer);
}

// Reads a pointer from the zero page; its high byte wraps to $00 after $FF.
inline uint16_t zeroPagePointer(uint8_t at) {
    return static_cast<uint16_t>(memory.ram[at] | memory.ram[static_cast<uint8_t>(at + 1)] << 8);
}

// (zp,X): four cycles. The pointer lies inside the zero page at (operand + X) AND $FF.
template <class P>
inline uint16_t addrIndexedIndirect(P& c) {
    c.cycleCount += 4;
    uint8_t at = static_cast<uint8_t>(busRead(c, c.regPC++) + c.regX);
    return zeroPagePointer(at);
}

// (zp),Y: three cycles, four on a page crossing or when the instruction always pays it.
template <class P>
inline uint16_t addrIndirectIndexed(P& c, bool alwaysExtraCycle) {
    uint16_t pointer = zeroPagePointer(busRead(c, c.regPC++));
    c.cycleCount += (alwaysExtraCycle || crossesPage(pointer, c.regY)) ? 4 : 3;
    return static_cast<uint16_t>(pointer + c.regY);
}
