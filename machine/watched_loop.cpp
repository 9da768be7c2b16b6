// The main loop under watch, for the headless runner (see run_control.h).
#include <bit>

#include "machine/step_loop.h"

bool watchFrames;
int32_t watchedStore = -1;
bool watchInputLoop;

TraceEntry* traceRing;
uint64_t traceRingMask;
uint64_t traceNext;

namespace {
std::vector<TraceEntry> traceStorage;
std::size_t traceLength;
}  // namespace

void startTrace(std::size_t length) {
    traceLength = length;
    traceStorage.assign(length == 0 ? 0 : std::bit_ceil(length), TraceEntry{});
    traceRing = length == 0 ? nullptr : traceStorage.data();
    traceRingMask = traceStorage.empty() ? 0 : traceStorage.size() - 1;
    traceNext = 0;
}

std::vector<TraceEntry> traceEntries() {
    uint64_t kept = std::min<uint64_t>(traceNext, traceLength);
    std::vector<TraceEntry> entries;
    entries.reserve(kept);
    for (uint64_t i = traceNext - kept; i < traceNext; ++i)
        entries.push_back(traceRing[i & traceRingMask]);
    return entries;
}

uint64_t runWatched(uint64_t count, WatchEvent& event) { return runMainLoop<true>(count, event); }
