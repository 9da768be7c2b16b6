// The processor halted by the VIC's bad lines. The VIC asks for the bus three cycles
// before it takes it (BA low from a bad line's cycle 12); the processor goes on until its
// first read from then on and waits there until the VIC gives the bus back (cycle 55):
// writes go through, and the 6510 never writes more than three cycles in a row.
//
// Legs of the interpreter end before an instruction that could reach cycle 12, and the
// loop runs those near a bad line one at a time: for each, it works out from the opcode
// table which of its cycles read (every cycle but the operand's store, a read-modify-
// write's two stores, a push, JSR's and BRK's pushes), and from a dry run (the same
// instruction on a bus that changes nothing) how many cycles it takes; the wait is charged
// before the instruction, so that its accesses from the waiting read on fall where they
// would. (An access before that read in the same instruction is then late by the wait:
// only fetches of the instruction's own bytes come before a read that waits.)
#include "machine/bad_lines.h"

#include "machine/c64.h"
#include "machine/step_loop.h"

namespace {

// The C64's bus as the processor would see it, changing nothing: the dry run's.
struct DryC64Bus {
    static constexpr bool kSeesDummyWrites = false;
    static uint8_t read(const CpuState&, uint16_t address) { return peekC64(address); }
    static uint16_t readWord(const CpuState& c, uint16_t address) {
        return static_cast<uint16_t>(read(c, address) | read(c, static_cast<uint16_t>(address + 1))
                                                            << 8);
    }
    static void write(const CpuState&, uint16_t, uint8_t) {}
};

struct OneStep {
    bool started = false;
    bool beforeInstruction(CpuState&) {
        if (started) return false;
        started = true;
        return true;
    }
    template <uint8_t Opcode>
    void afterInstruction(CpuState&, uint16_t) {}
};

// The cycles of the instruction at regPC, and its opcode.
uint32_t dryRunCycles(uint8_t& opcode) {
    CpuState saved = cpu;
    withModel(machineConfig.cpu, [](auto m) {
        OneStep step;
        runInterpreter<decltype(m)::value, DryC64Bus>(step);
    });
    auto cycles = static_cast<uint32_t>(cpu.cycleCount - saved.cycleCount);
    opcode = cpu.currentOpcode;
    cpu = saved;
    return cycles;
}

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

bool nearBadLine(const BadLine& bad, uint64_t now) {
    return bad.baFrom != kNever && now + kLongestStepCycles > bad.baFrom && now < bad.resume;
}

uint64_t badLineWaitOfInstruction(const BadLine& bad, uint64_t now) {
    uint8_t opcode = 0;
    uint32_t cycles = dryRunCycles(opcode);
    return waitOf(bad, now, cycles, [&](uint32_t j) { return writesInCycle(opcode, j, cycles); });
}

uint64_t badLineWaitOfEntry(const BadLine& bad, uint64_t now) {
    constexpr auto kEntry = static_cast<uint32_t>(kInterruptEntryCycles);
    return waitOf(bad, now, kEntry,
                  [](uint32_t j) { return writesInCycle(kOpcodeBRK, j, kEntry); });
}
