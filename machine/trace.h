// The trace of the last instructions that watched runs and routine tests ran: a ring that
// the step policies fill before each instruction, when a trace is asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One executed instruction as the trace keeps it: where it was, its bytes as the
// processor saw them, and the registers before it ran.
struct TraceEntry {
    uint16_t pc;
    uint8_t bytes[3];
    uint8_t a, x, y, s, p;
};

struct Trace {
    TraceEntry* ring = nullptr;  // a power of two long; null when no trace is kept
    uint64_t mask = 0;
    uint64_t next = 0;       // instructions traced so far
    std::size_t length = 0;  // the instructions asked for
    std::vector<TraceEntry> storage;
};
extern Trace trace;

// Keeps the last `length` instructions of watched runs from now on (0: none).
void startTrace(std::size_t length);
// The kept instructions, oldest first.
std::vector<TraceEntry> traceEntries();
// Keeps the instruction at `pc`, about to run, in the ring. Out of line: inlined into the
// handler of every opcode it made the loop take the compiler minutes to build. The
// registers come by value, so that the loop's own stay in machine registers.
[[gnu::noinline]] void traceInstruction(uint16_t pc, uint8_t a, uint8_t x, uint8_t y, uint8_t s,
                                        uint8_t p);
