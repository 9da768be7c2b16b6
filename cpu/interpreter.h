// The interpreter loop, shared by the bare core and the machine's main loop, compiled
// once for each processor model and step policy it is run with. It copies
// the program-wide registers into a local register set, so that the compiler can keep
// them in machine registers (a byte store into RAM would otherwise force them to be
// reloaded), runs instructions until the step policy says stop, and stores them back.
//
// A step policy is a small struct whose fields become locals of the loop too:
//     bool beforeInstruction(CpuState& c);  // before the opcode fetch; false ends the run
//     template <uint8_t Opcode>
//     void afterInstruction(CpuState& c, uint16_t address);
// afterInstruction runs once the instruction has completed. It knows its opcode, so that
// work which only some opcodes need costs nothing around the others, and it is handed
// the effective address that the instruction's fetcher computed (0 without a memory
// operand): where a store went, without decoding the instruction again.
//
// The loop fetches the opcode (2 cycles, regPC advanced) and dispatches through a table
// of label addresses, each handler ending in its own copy of the next dispatch so the
// branch predictor sees one indirect jump per opcode. Built with
// BREADBIN_DISPATCH_SWITCH it uses one switch instead, for comparison.
#pragma once

#include "cpu/decoder.h"

// Everything the loop calls is inlined into it (flatten), so that the registers stay in
// locals. Sanitizer builds leave that to the compiler: instrumented, one flattened loop
// takes the compiler many minutes.
#if defined(BREADBIN_NO_FLATTEN)
#define BREADBIN_INTERPRETER_ATTRIBUTES gnu::noinline
#else
#define BREADBIN_INTERPRETER_ATTRIBUTES gnu::noinline, gnu::flatten
#endif

template <CpuModel Model, class Bus = FlatBus, class Step>
[[BREADBIN_INTERPRETER_ATTRIBUTES]] void runInterpreter(Step& policy) {
    Processor<Model, Bus> c{cpu};
    Step step = policy;

#if defined(BREADBIN_DISPATCH_SWITCH)
#define BREADBIN_CASE(byte) \
    case byte: step.template afterInstruction<byte>(c, Instruction<Model, byte>::execute(c)); break;
    while (step.beforeInstruction(c)) {
        c.cycleCount += 2;
        c.currentOpcode = busRead(c, c.regPC);
        c.regPC = static_cast<uint16_t>(c.regPC + 1);
        switch (c.currentOpcode) { BREADBIN_FOR_EACH_BYTE(BREADBIN_CASE) }
    }
#undef BREADBIN_CASE
#else
#define BREADBIN_LABEL_ADDRESS(byte) &&handler_##byte,
    static const void* const kHandlers[256] = {BREADBIN_FOR_EACH_BYTE(BREADBIN_LABEL_ADDRESS)};
#undef BREADBIN_LABEL_ADDRESS

#define BREADBIN_DISPATCH()                            \
    do {                                               \
        if (!step.beforeInstruction(c)) goto finished; \
        c.cycleCount += 2;                             \
        c.currentOpcode = busRead(c, c.regPC);         \
        c.regPC = static_cast<uint16_t>(c.regPC + 1);  \
        goto* kHandlers[c.currentOpcode];              \
    } while (0)

    BREADBIN_DISPATCH();
#define BREADBIN_HANDLER(byte)                                                           \
    handler_##byte                                                                       \
        : step.template afterInstruction<byte>(c, Instruction<Model, byte>::execute(c)); \
    BREADBIN_DISPATCH();
    BREADBIN_FOR_EACH_BYTE(BREADBIN_HANDLER)
#undef BREADBIN_HANDLER
#undef BREADBIN_DISPATCH
finished:
#endif
    cpu = c;
    policy = step;
}

// The bare core: fetch and execute `count` instructions of the model, nothing around them.
void runInstructions(uint64_t count, CpuModel model = kDefaultCpuModel);
