#include "app/runner/coverage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/runner/outputs.h"
#include "app/runner/read_file.h"
#include "cpu/decoder.h"
#include "host/output_file.h"
#include "machine/counting.h"
#include "machine/trace.h"

namespace {

constexpr std::size_t kTabSize = 8;

// `text` with its tabs turned into spaces, and without trailing white space.
std::string expandTabs(std::string_view text) {
    std::string out;
    for (char ch : text) {
        if (ch == '\t') {
            out.append(kTabSize - out.size() % kTabSize, ' ');
        } else if (ch != '\r') {
            out += ch;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool readText(const std::string& path, std::string& text, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, error)) return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

// A source file's lines, tabs expanded, read once.
struct SourceFile {
    std::vector<std::string> lines;
    std::size_t next = 0;  // where the search for the next unnumbered line starts
};

bool isHex(std::string_view text) {
    return !text.empty() && text.size() <= 4 && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c));
    });
}

}  // namespace

bool readListing(const std::string& path, std::vector<ListingLine>& out, std::string& error) {
    std::string text;
    if (!readText(path, text, error)) return false;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::map<std::string, std::string> fileNames;  // ":N" to the file's name
    std::map<std::string, SourceFile> sources;
    std::string file;
    std::size_t sourceColumn = 0;
    std::size_t found = 0;
    int number = 0;
    for (const std::string& raw : splitLines(text)) {
        ++number;
        std::string line = expandTabs(raw);
        if (line.starts_with(";Line")) {
            sourceColumn = line.find(";Source");
            continue;
        }
        if (line.starts_with(":")) {
            // ":N ;******  Processing input file: NAME", "Processing file:", "Return to file:"
            std::size_t space = line.find(' ');
            std::size_t colon = line.rfind(": ");
            if (space == std::string::npos || colon == std::string::npos || colon < space) continue;
            std::string index = line.substr(0, space);
            if (line.find("Processing") != std::string::npos) {
                // Named as given to 64tass; we take it beside the listing.
                std::filesystem::path named = folder / line.substr(colon + 2);
                fileNames[index] = std::filesystem::absolute(named).lexically_normal().string();
            }
            file = fileNames[index];
            continue;
        }
        // "[LINE]  .ADDR  BYTES  MONITOR  SOURCE": an instruction; ">ADDR" is data.
        std::size_t dot = line.find_first_not_of("0123456789 ");
        if (dot == std::string::npos || line[dot] != '.' || file.empty()) continue;
        std::size_t end = line.find(' ', dot);
        std::string address = line.substr(dot + 1, end == std::string::npos ? end : end - dot - 1);
        if (!isHex(address)) continue;
        std::string source =
            sourceColumn && line.size() > sourceColumn ? line.substr(sourceColumn) : "";
        unsigned value = 0;
        std::from_chars(address.data(), address.data() + address.size(), value, 16);
        ListingLine entry{static_cast<uint16_t>(value), file, 0, ""};
        // A label starts the line; 64tass's anonymous "-" and "+" are no names.
        if (!source.empty() &&
            (std::isalpha(static_cast<unsigned char>(source[0])) || source[0] == '_'))
            entry.label = source.substr(0, source.find(' '));
        std::string_view numbered = std::string_view(line).substr(0, dot);
        numbered = numbered.substr(0, numbered.find(' '));
        if (!numbered.empty()) {
            std::errc problem =
                std::from_chars(numbered.data(), numbered.data() + numbered.size(), entry.line).ec;
            if (problem != std::errc{} || entry.line < 1) {
                error = path + ":" + std::to_string(number) + ": the line number " +
                        cutValue(numbered) +
                        (problem != std::errc{} ? " is too large" : " names no line");
                return false;
            }
        } else {
            // Found by its text in the source file, after the line found last.
            const std::string& sourcePath = file;
            auto [place, fresh] = sources.try_emplace(file);
            SourceFile& read = place->second;
            if (fresh) {
                std::string sourceText;
                if (!readText(sourcePath, sourceText, error)) {
                    error =
                        path + ":" + std::to_string(number) +
                        ": the listing does not number this line, and its source cannot be read: " +
                        error;
                    return false;
                }
                for (const std::string& sourceLine : splitLines(sourceText))
                    read.lines.push_back(expandTabs(sourceLine));
            }
            std::size_t at = read.next;
            while (at < read.lines.size() && read.lines[at] != source) ++at;
            if (at == read.lines.size()) {
                error = path + ":" + std::to_string(number) + ": " + terminalText(source) +
                        ": not found in " + sourcePath + " after line " + std::to_string(read.next);
                return false;
            }
            entry.line = static_cast<int>(at) + 1;
            read.next = at + 1;
        }
        out.push_back(std::move(entry));
        ++found;
    }
    if (found == 0) {
        error = path + ": no instruction in it (a listing of 64tass --list=FILE --line-numbers?)";
        return false;
    }
    return true;
}

namespace {

// The bytes at an address as a run in another process saw them, for the disassembly.
std::map<uint16_t, std::array<uint8_t, 3>> bytesSeen;

void putNumber(std::string& out, uint64_t value) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>(value >> (8 * i));
}
uint64_t takeNumber(const char* at) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= uint64_t{static_cast<uint8_t>(at[i])} << (8 * i);
    return value;
}
// Encoded, each count is a tag and its fields: 'A', an address, its 3 bytes and its four
// numbers; 'C', a JSR site, its target and the three numbers of its calls.
constexpr char kAddressTag = 'A';
constexpr char kCallTag = 'C';
constexpr std::size_t kAddressEntry = 1 + 2 + 3 + 4 * 8;
constexpr std::size_t kCallEntry = 1 + 2 + 2 + 3 * 8;

void putAddress(std::string& out, uint16_t address) {
    out += static_cast<char>(address & 0xFF);
    out += static_cast<char>(address >> 8);
}
uint16_t takeAddress(const char* at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(at[0]) | static_cast<uint8_t>(at[1]) << 8);
}

// Every call count: the sites' own, then those of sites seen calling a second target.
template <class Visit>
void forEachCallCount(Visit&& visit) {
    for (std::size_t site = 0; site < kRamSize; ++site) {
        if (counting.callCounts[site].calls)
            visit(static_cast<uint16_t>(site), counting.callCounts[site]);
    }
    for (const auto& [where, count] : counting.callsElsewhere) visit(where.site, count);
}

std::array<uint8_t, 3> bytesAt(uint16_t address) {
    if (auto seen = bytesSeen.find(address); seen != bytesSeen.end()) return seen->second;
    return {readByte(address), readByte(static_cast<uint16_t>(address + 1)),
            readByte(static_cast<uint16_t>(address + 2))};
}

}  // namespace

std::string encodeCounts() {
    std::string out;
    if (!counting.executionCounts) return out;
    for (std::size_t a = 0; a < kRamSize; ++a) {
        const ExecutionCount& count = counting.executionCounts[a];
        if (!count.instructions && !count.calls) continue;
        auto address = static_cast<uint16_t>(a);
        out += kAddressTag;
        putAddress(out, address);
        for (uint8_t byte : bytesAt(address)) out += static_cast<char>(byte);
        for (uint64_t value : {count.instructions, count.cycles, count.taken, count.calls})
            putNumber(out, value);
    }
    forEachCallCount([&](uint16_t site, const CallCount& count) {
        out += kCallTag;
        putAddress(out, site);
        putAddress(out, count.target);
        for (uint64_t value : {count.calls, count.instructions, count.cycles})
            putNumber(out, value);
    });
    return out;
}

bool mergeCounts(std::string_view bytes) {
    if (!counting.executionCounts) return false;
    for (std::size_t at = 0; at < bytes.size();) {
        const char* entry = bytes.data() + at;
        if (entry[0] == kAddressTag && bytes.size() - at >= kAddressEntry) {
            uint16_t address = takeAddress(entry + 1);
            bytesSeen[address] = {static_cast<uint8_t>(entry[3]), static_cast<uint8_t>(entry[4]),
                                  static_cast<uint8_t>(entry[5])};
            ExecutionCount& count = counting.executionCounts[address];
            count.instructions += takeNumber(entry + 6);
            count.cycles += takeNumber(entry + 14);
            count.taken += takeNumber(entry + 22);
            count.calls += takeNumber(entry + 30);
            at += kAddressEntry;
        } else if (entry[0] == kCallTag && bytes.size() - at >= kCallEntry) {
            uint16_t site = takeAddress(entry + 1);
            uint16_t target = takeAddress(entry + 3);
            uint64_t calls = takeNumber(entry + 5);
            if (calls == 0) return false;  // a site's count holds at least one call
            CallCount& count = callCountOf(site, target);
            count.calls += calls;
            count.instructions += takeNumber(entry + 13);
            count.cycles += takeNumber(entry + 21);
            at += kCallEntry;
        } else {
            return false;
        }
    }
    return true;
}

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

std::string nameAt(uint16_t address, const LabelTable& labels, const std::string& listed) {
    const Label* label = routineContaining(labels, address);
    if (label && label->address == address) return label->name;
    return listed.empty() ? hexWord(address) : listed;
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
            add(place->second, entry.line, entry.address,
                nameAt(entry.address, labels, entry.label));
        }
    } else {
        // The disassembly: one line per address that ran, in address order, where
        // programs live: the ROM areas ($A000-$BFFF, $D000-$FFFF) hold the firmware.
        std::string source = path + ".s";
        SourceCounts& counts = files[source];
        order.push_back(source);
        int line = 0;
        for (std::size_t a = 0; a < kRamSize; ++a) {
            if (!counting.executionCounts[a].instructions || (a >= 0xA000 && a < 0xC000) ||
                a >= 0xD000)
                continue;
            auto address = static_cast<uint16_t>(a);
            std::array<uint8_t, 3> bytes = bytesAt(address);
            std::string name = nameAt(address, labels, "");
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

namespace {

// Where an address's costs go in a profile: its source file and line, from the listing,
// else the pseudo-source "program.prg" with the address as its line.
struct Place {
    std::string file;
    int line;
};
constexpr const char* kPseudoSource = "program.prg";

}  // namespace

bool writeProfile(const std::string& path, const std::vector<ListingLine>& listing,
                  const LabelTable& labels, const std::vector<StopwatchTimes>& stopwatch,
                  std::string& error) {
    std::map<uint16_t, const ListingLine*> listed;
    for (const ListingLine& entry : listing) listed.emplace(entry.address, &entry);
    auto placeOf = [&](uint16_t address) {
        auto found = listed.find(address);
        return found != listed.end() ? Place{found->second->file, found->second->line}
                                     : Place{kPseudoSource, address};
    };
    // Routines start at every label, every address a JSR called, and every ROM area.
    std::map<uint16_t, std::string> starts;
    for (unsigned area : {0xA000u, 0xC000u, 0xD000u, 0xE000u})
        starts[static_cast<uint16_t>(area)] = hexWord(area);
    for (const ListingLine& entry : listing) {
        if (!entry.label.empty()) starts[entry.address] = entry.label;
    }
    for (const Label& label : labels.byAddress) starts[label.address] = label.name;
    for (std::size_t a = 0; a < kRamSize; ++a) {
        auto address = static_cast<uint16_t>(a);
        if (counting.executionCounts[a].calls && !starts.count(address))
            starts[address] = nameAt(address, labels, "");
    }
    auto routineOf = [&](uint16_t address) -> std::pair<uint16_t, std::string> {
        auto found = starts.upper_bound(address);
        if (found == starts.begin()) return {0, hexWord(0)};
        --found;
        return *found;
    };
    // Each routine's own costs by address, and its calls by site.
    struct Routine {
        std::string name;
        std::vector<uint16_t> addresses;
        std::vector<std::pair<uint16_t, CallCount>> calls;
    };
    std::map<uint16_t, Routine> routines;
    uint64_t instructions = 0, cycles = 0;
    for (std::size_t a = 0; a < kRamSize; ++a) {
        if (!counting.executionCounts[a].instructions) continue;
        auto address = static_cast<uint16_t>(a);
        auto [start, name] = routineOf(address);
        routines[start].name = name;
        routines[start].addresses.push_back(address);
        instructions += counting.executionCounts[a].instructions;
        cycles += counting.executionCounts[a].cycles;
    }
    forEachCallCount([&](uint16_t site, const CallCount& count) {
        auto [start, name] = routineOf(site);
        routines[start].name = name;
        routines[start].calls.emplace_back(site, count);
    });
    std::ostringstream out;
    out << "# callgrind format\nversion: 1\ncreator: breadbin-run\npositions: line\n"
           "events: Instructions Cycles\nsummary: "
        << instructions << " " << cycles << "\n";
    for (const StopwatchTimes& t : stopwatch) {
        out << "# stopwatch " << t.id << ": count " << t.count << ", min " << t.min << ", max "
            << t.max << ", total " << t.total << " cycles\n";
    }
    for (const auto& [start, routine] : routines) {
        std::string file;
        auto at = [&](uint16_t address) {
            Place place = placeOf(address);
            if (place.file != file) out << "fl=" << (file = place.file) << "\n";
            return place.line;
        };
        out << "\n";
        at(routine.addresses.empty() ? routine.calls.front().first : routine.addresses.front());
        out << "fn=" << routine.name << "\n";
        for (uint16_t address : routine.addresses) {
            int line = at(address);
            out << line << " " << counting.executionCounts[address].instructions << " "
                << counting.executionCounts[address].cycles << "\n";
        }
        for (const auto& [site, count] : routine.calls) {
            Place target = placeOf(count.target);
            auto callee = routineOf(count.target);
            int line = at(site);
            out << "cfl=" << target.file << "\ncfn=" << callee.second << "\ncalls=" << count.calls
                << " " << target.line << "\n"
                << line << " " << count.instructions << " " << count.cycles << "\n";
        }
    }
    return writeOutputFile(path, out.str(), error);
}
