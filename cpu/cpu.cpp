#include "cpu/interpreter.h"

CpuState cpu;
MemoryMap memory;

namespace {
struct CountedSteps {
    uint64_t remaining;
    bool beforeInstruction(CpuState&) { return remaining-- != 0; }
    template <uint8_t Opcode>
    void afterInstruction(CpuState&, uint16_t) {}
};
}  // namespace

void runInstructions(uint64_t count) {
    CountedSteps steps{count};
    runInterpreter(steps);
}

void executeOpcode(uint8_t opcode) { executeOpcode(cpu, opcode); }
