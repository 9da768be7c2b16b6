#include "app/runner/reports/trace.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/runner/io/text.h"
#include "cpu/decoder.h"
#include "cpu/disassembler.h"

std::string traceLine(const TraceEntry& entry, CpuModel model, const LabelTable& labels,
                      const LineIndex* places) {
    constexpr int kLabelWidth = 16;
    constexpr int kPlaceWidth = 16;
    std::size_t length = opcodeInfo(model, entry.bytes[0]).length;
    std::string bytes;
    for (std::size_t i = 0; i < 3; ++i)
        bytes += i < length ? formatted("%02X ", unsigned{entry.bytes[i]}) : "   ";
    std::string where = formatted("%04X  ", unsigned{entry.pc});
    if (!labels.byAddress.empty())
        where = formatted("%04X %-*s ", unsigned{entry.pc}, kLabelWidth,
                          labelFor(labels, entry.pc).c_str());
    if (places) where += formatted("%-*s ", kPlaceWidth, shortPlace((*places)[entry.pc]).c_str());
    return where + bytes + formatted(" %-14s", disassemble(entry.pc, entry.bytes, model).c_str()) +
           formatted("A=%02X X=%02X Y=%02X S=%02X P=%02X", unsigned{entry.a}, unsigned{entry.x},
                     unsigned{entry.y}, unsigned{entry.s}, unsigned{entry.p});
}

void keepTrace(RunResult& result, CpuModel model, const SourceMap& map) {
    std::vector<TraceEntry> entries = traceEntries();
    result.trace = "last " + std::to_string(entries.size()) +
                   (entries.size() == 1 ? " instruction:\n" : " instructions:\n");
    // Places once the map has lines, blank where it has none; labels once one of the
    // lines has one (the firmware's labels alone leave a trace of a program without labels
    // as it was).
    LineIndex index = map.lines.empty() ? LineIndex{} : indexLines(map.lines);
    bool named = std::any_of(entries.begin(), entries.end(), [&](const TraceEntry& entry) {
        return routineContaining(map.labels, entry.pc) != nullptr;
    });
    const LabelTable none;
    for (const TraceEntry& entry : entries) {
        result.trace +=
            traceLine(entry, model, named ? map.labels : none, index.empty() ? nullptr : &index) +
            "\n";
    }
}
