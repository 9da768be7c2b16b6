// The machine's execution counts (machine/counting.h) beyond one process: the bytes
// each counted address held, the trip of the counts from a run's process to the batch,
// and what the coverage and profile writers share.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/runner/source_map/labels.h"
#include "cpu/state.h"
#include "machine/counting.h"

// The counts that are not zero, with the bytes at their addresses, for the trip from a
// run's process to the batch; and the batch adding them to its own counts.
std::string encodeCounts();
bool mergeCounts(std::string_view bytes);

// The bytes at `address` as the run that counted it saw them: read in this process, or
// brought by mergeCounts from the process that ran it.
std::array<uint8_t, 3> bytesAt(uint16_t address);

// Every call count: the sites' own, then those of sites seen calling a second target.
template <class Visit>
void forEachCallCount(Visit&& visit) {
    for (std::size_t site = 0; site < kRamSize; ++site) {
        if (counting.callCounts[site].calls)
            visit(static_cast<uint16_t>(site), counting.callCounts[site]);
    }
    for (const auto& [where, count] : counting.callsElsewhere) visit(where.site, count);
}

// A routine's name: its label in `labels`, else the one the listing gave it (`listed`),
// else its address.
std::string routineName(uint16_t address, const LabelTable& labels, const std::string& listed);
