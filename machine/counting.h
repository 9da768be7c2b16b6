// What ran where, for coverage and profiles: per address the instructions, cycles, taken
// branches and calls; per JSR site the calls and what they cost in all. Watched runs and
// routine tests add to the counts while counting is on; nothing clears them but
// startCounting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

// What ran at one address: the instructions that started there, the cycles they charged
// (an interrupt's entry belongs to none), for a conditional branch the times it was
// taken, and the JSRs that called it.
struct ExecutionCount {
    uint64_t instructions;
    uint64_t cycles;
    uint64_t taken;
    uint64_t calls;
};

// A JSR site's calls: the routine called, how often, and what the calls ran in all, from
// the first cycle of the JSR to the last of the RTS that returned (what a routine test's
// expect.cycles counts, interrupts that came in between included).
struct CallCount {
    uint16_t target;
    uint64_t calls;
    uint64_t instructions;
    uint64_t cycles;
};
struct CallSite {
    uint16_t site;
    uint16_t target;
    bool operator<(const CallSite& other) const {
        return site != other.site ? site < other.site : target < other.target;
    }
};

// A call under way: its site and target, where its RTS lands, regS before the JSR, and
// the totals when it began.
struct OpenCall {
    uint16_t site;
    uint16_t target;
    uint16_t returnAddress;
    uint8_t stackPointer;
    uint64_t instructionsAt;
    uint64_t cyclesAt;
};
inline constexpr std::size_t kMaxOpenCalls = 1024;  // deeper calls are not measured

struct Counting {
    ExecutionCount* executionCounts = nullptr;  // one per address while counting, else null
    // One per JSR site while counting, else null; a site seen calling a second target (code
    // that changes its own JSRs) keeps the first, and the rest go to callsElsewhere.
    CallCount* callCounts = nullptr;
    std::map<CallSite, CallCount> callsElsewhere;
    OpenCall* openCalls = nullptr;  // the calls under way, innermost last
    std::size_t openCallCount = 0;
    // The totals the calls are measured by (the cycles of interrupts' entries among them).
    uint64_t instructions = 0;
    uint64_t cycles = 0;
    std::vector<ExecutionCount> countStorage;
    std::vector<CallCount> callStorage;
    std::vector<OpenCall> openCallStorage;
};
extern Counting counting;

// Turns counting on, every count 0; and off.
void startCounting();
void stopCounting();
// A call begins: the JSR at `site` (or a routine test's call, as if from there) to
// `target`, with regS `stackPointer` before it; the JSR's instructions (1, or 0 for a
// test's call) and cycles are counted already.
void openCall(uint16_t site, uint16_t target, uint8_t stackPointer, uint64_t jsrInstructions,
              uint64_t jsrCycles);
// After an RTS to `pc` with regS `stackPointer`: closes the call it returned from, and any
// calls inside it that never returned.
void closeCall(uint16_t pc, uint8_t stackPointer);
// The count of the calls from `site` to `target`: the site's own, or, for a site seen
// calling another target first, one in callsElsewhere.
CallCount& callCountOf(uint16_t site, uint16_t target);
