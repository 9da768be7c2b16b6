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

void runInstructions(uint64_t count, CpuModel model) {
    CountedSteps steps{count};
    withModel(model, [&](auto m) { runInterpreter<decltype(m)::value>(steps); });
}

void executeOpcode(uint8_t opcode) { executeOpcode(cpu, opcode); }

void executeOpcode(CpuModel model, uint8_t opcode) {
    withModel(model, [&](auto m) { executeOpcode<decltype(m)::value>(cpu, opcode); });
}
