#include "machine/counting.h"

#include "cpu/call.h"

Counting counting;

void startCounting() {
    counting.countStorage.assign(kRamSize, ExecutionCount{});
    counting.callStorage.assign(kRamSize, CallCount{});
    counting.openCallStorage.assign(kMaxOpenCalls, OpenCall{});
    counting.executionCounts = counting.countStorage.data();
    counting.callCounts = counting.callStorage.data();
    counting.openCalls = counting.openCallStorage.data();
    counting.callsElsewhere.clear();
    counting.openCallCount = 0;
    counting.instructions = counting.cycles = 0;
}

void stopCounting() { counting = Counting{}; }

void openCall(uint16_t site, uint16_t target, uint8_t stackPointer, uint64_t jsrInstructions,
              uint64_t jsrCycles) {
    if (counting.openCallCount == kMaxOpenCalls) return;
    counting.openCalls[counting.openCallCount++] = {site,
                                                    target,
                                                    static_cast<uint16_t>(site + kJsrLength),
                                                    stackPointer,
                                                    counting.instructions - jsrInstructions,
                                                    counting.cycles - jsrCycles};
}

CallCount& callCountOf(uint16_t site, uint16_t target) {
    CallCount* count = &counting.callCounts[site];
    if (count->calls == 0) count->target = target;
    if (count->target != target) {
        count = &counting.callsElsewhere[{site, target}];
        count->target = target;
    }
    return *count;
}

void closeCall(uint16_t pc, uint8_t stackPointer) {
    for (std::size_t i = counting.openCallCount; i-- > 0;) {
        const OpenCall& call = counting.openCalls[i];
        if (call.returnAddress != pc || call.stackPointer != stackPointer) continue;
        CallCount& count = callCountOf(call.site, call.target);
        ++count.calls;
        count.instructions += counting.instructions - call.instructionsAt;
        count.cycles += counting.cycles - call.cyclesAt;
        counting.openCallCount = i;
        return;
    }
}
