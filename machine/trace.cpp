#include "machine/trace.h"

#include <algorithm>
#include <bit>

#include "machine/machine.h"

Trace trace;

void startTrace(std::size_t length) {
    trace.length = length;
    trace.storage.assign(length == 0 ? 0 : std::bit_ceil(length), TraceEntry{});
    trace.ring = length == 0 ? nullptr : trace.storage.data();
    trace.mask = trace.storage.empty() ? 0 : trace.storage.size() - 1;
    trace.next = 0;
}

std::vector<TraceEntry> traceEntries() {
    uint64_t kept = std::min<uint64_t>(trace.next, trace.length);
    std::vector<TraceEntry> entries;
    entries.reserve(kept);
    for (uint64_t i = trace.next - kept; i < trace.next; ++i)
        entries.push_back(trace.ring[i & trace.mask]);
    return entries;
}

void traceInstruction(uint16_t pc, uint8_t a, uint8_t x, uint8_t y, uint8_t s, uint8_t p) {
    trace.ring[trace.next++ & trace.mask] = {pc,
                                             {peekByte(pc), peekByte(static_cast<uint16_t>(pc + 1)),
                                              peekByte(static_cast<uint16_t>(pc + 2))},
                                             a,
                                             x,
                                             y,
                                             s,
                                             p};
}
