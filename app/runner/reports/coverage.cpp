#include "app/runner/reports/coverage.h"

#include <cstdio>
#include <map>
#include <sstream>

#include "app/runner/io/output_file.h"
#include "app/runner/io/text.h"
#include "app/runner/reports/counts.h"
#include "cpu/decoder.h"
#include "cpu/disassembler.h"

namespace {

struct LineCount {
    uint64_t hits = 0;
    bool branch = false;
    bool ran = false;
    uint64_t taken = 0;
    uint64_t notTaken = 0;
};
struct FunctionCount {
    int line;
    uint64_t calls;
};
struct SourceCounts {
    std::map<int, LineCount> lines;
    std::map<std::string, FunctionCount> functions;
};

bool isBranch(uint8_t opcode) {
    return opcodeInfo(kDefaultCpuModel, opcode).mode == AddressingMode::Relative;
}

void add(SourceCounts& source, int line, uint16_t address, const std::string& name) {
    const ExecutionCount& count = counting.executionCounts[address];
    LineCount& counted = source.lines[line];
    counted.hits += count.instructions;
    if (isBranch(bytesAt(address)[0])) {
        counted.branch = true;
        counted.ran = counted.ran || count.instructions > 0;
        counted.taken += count.taken;
        counted.notTaken += count.instructions - count.taken;
    }
    if (count.calls > 0) {
        auto [function, fresh] = source.functions.try_emplace(name, FunctionCount{line, 0});
        function->second.calls += count.calls;
    }
}

std::string record(const std::string& file, const SourceCounts& source) {
    std::ostringstream out;
    out << "TN:\nSF:" << file << "\n";
    std::size_t functionsHit = 0;
    for (const auto& [name, function] : source.functions)
        out << "FN:" << function.line << "," << name << "\n";
    for (const auto& [name, function] : source.functions) {
        out << "FNDA:" << function.calls << "," << name << "\n";
        functionsHit += function.calls > 0;
    }
    out << "FNF:" << source.functions.size() << "\nFNH:" << functionsHit << "\n";
    std::size_t branches = 0, branchesHit = 0, linesHit = 0;
    for (const auto& [line, counted] : source.lines) {
        if (!counted.branch) continue;
        for (int way = 0; way < 2; ++way) {
            uint64_t times = way == 0 ? counted.taken : counted.notTaken;
            out << "BRDA:" << line << ",0," << way << ",";
            if (counted.ran) {
                out << times;
            } else {
                out << "-";
            }
            out << "\n";
            ++branches;
            branchesHit += counted.ran && times > 0;
        }
    }
    out << "BRF:" << branches << "\nBRH:" << branchesHit << "\n";
    for (const auto& [line, counted] : source.lines) {
        out << "DA:" << line << "," << counted.hits << "\n";
        linesHit += counted.hits > 0;
    }
    out << "LF:" << source.lines.size() << "\nLH:" << linesHit << "\nend_of_record\n";
    return out.str();
}

}  // namespace

bool writeCoverage(const std::string& path, const std::vector<ListingLine>& listing,
                   const LabelTable& labels, std::string& error) {
    std::map<std::string, SourceCounts> files;
    std::vector<std::string> order;  // the files in the order the listings name them
    std::string disassembly;
    if (!listing.empty()) {
        for (const ListingLine& entry : listing) {
            auto [place, fresh] = files.try_emplace(entry.file);
            if (fresh) order.push_back(entry.file);
            // A line's first address counts it; its other bytes add the instructions
            // that ran there (a C line's code is several instructions).
            for (uint32_t at = 0; at < entry.size && entry.address + at < kRamSize; ++at) {
                auto address = static_cast<uint16_t>(entry.address + at);
                if (at > 0 && !counting.executionCounts[address].instructions) continue;
                add(place->second, entry.line, address,
                    routineName(address, labels, at == 0 ? entry.label : ""));
            }
        }
    } else {
        // The disassembly: one line per address that ran, in address order, where
        // programs live: the ROM windows hold the firmware.
        std::string source = path + ".s";
        SourceCounts& counts = files[source];
        order.push_back(source);
        int line = 0;
        for (std::size_t a = 0; a < kRamSize; ++a) {
            auto address = static_cast<uint16_t>(a);
            if (!counting.executionCounts[a].instructions || inRomWindow(address)) continue;
            std::array<uint8_t, 3> bytes = bytesAt(address);
            std::string name = routineName(address, labels, "");
            std::string shown = name == hexWord(address) ? "" : name;
            char head[64];
            std::snprintf(head, sizeof head, "%04X  %-12s ", unsigned{address}, shown.c_str());
            disassembly += head + disassemble(address, bytes.data()) + "\n";
            add(counts, ++line, address, name);
        }
        if (!writeOutputFile(source, disassembly, error)) return false;
    }
    std::string text;
    for (const std::string& file : order) text += record(file, files[file]);
    return writeOutputFile(path, text, error);
}
