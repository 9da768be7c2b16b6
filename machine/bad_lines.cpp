// The processor halted by the VIC's bad lines. The VIC asks for the bus three cycles
// before it takes it (BA low from a bad line's cycle 12); the processor goes on until its
// first read from then on and waits there until the VIC gives the bus back (cycle 55):
// writes go through, and the 6510 never writes more than three cycles in a row.
//
// Legs of the interpreter end before an instruction that starts at cycle 12 or later, so
// that an instruction's opcode fetch that falls in the VIC's cycles waits before it. The
// instruction in which cycle 12 falls is the leg's last: once it has run, the loop works out
// from the opcode table which of its cycles read (every cycle but the operand's store, a
// read-modify-write's two stores, a push, JSR's and BRK's pushes) and charges the wait of
// its first read from cycle 12 on. (Its accesses after that read are then early by the
// wait: a chip register read or written there sees the chip as it was before the wait.)
#include "machine/bad_lines.h"

#include "cpu/control.h"
#include "cpu/decoder.h"
#include "machine/c64.h"

namespace {

constexpr uint32_t kJsrPushFirst = 3;  // JSR: R R R W W R
constexpr uint32_t kBrkPushFirst = 2;  // BRK and an interrupt's entry: R R W W W R R

// Whether cycle `j` (from 0) of `cycles` of the instruction `opcode` writes.
bool writesInCycle(uint8_t opcode, uint32_t j, uint32_t cycles) {
    const OpcodeInfo& info = opcodeInfo(machineConfig.cpu, opcode);
    if (opcode == kOpcodeJSR) return j >= kJsrPushFirst && j < kJsrPushFirst + info.stackPushes;
    if (opcode == kOpcodeBRK) return j >= kBrkPushFirst && j < kBrkPushFirst + info.stackPushes;
    if (info.stackPushes > 0 || info.access == Access::Write) return j + 1 == cycles;
    if (info.access == Access::Modify) return j + 2 >= cycles;
    return false;
}

// The wait of a step of `cycles` cycles from cycle `start` whose cycle j writes where
// `writes(j)` says.
template <class Writes>
uint64_t waitOf(const BadLine& bad, uint64_t start, uint32_t cycles, Writes&& writes) {
    for (uint32_t j = 0; j < cycles; ++j) {
        uint64_t at = start + j;
        if (at >= bad.resume) break;
        if (at >= bad.baFrom && !writes(j)) return bad.resume - at;
    }
    return 0;
}

}  // namespace

uint64_t badLineWaitOfInstruction(const BadLine& bad, uint64_t start, uint8_t opcode,
                                  uint32_t cycles) {
    return waitOf(bad, start, cycles, [&](uint32_t j) { return writesInCycle(opcode, j, cycles); });
}

uint64_t badLineWaitOfEntry(const BadLine& bad, uint64_t now) {
    constexpr auto kEntry = static_cast<uint32_t>(kInterruptEntryCycles);
    return waitOf(bad, now, kEntry,
                  [](uint32_t j) { return writesInCycle(kOpcodeBRK, j, kEntry); });
}
