#include "app/runner/reports/profile.h"

#include <filesystem>
#include <map>
#include <sstream>

#include "app/runner/io/output_file.h"
#include "app/runner/io/text.h"
#include "app/runner/reports/counts.h"

namespace {

// Where an address's costs go in a profile: its source file and line, from the listing,
// else the pseudo-source "program.prg" with the address as its line.
struct Place {
    std::string file;
    int line;
};
constexpr const char* kPseudoSource = "program.prg";
// The caller of routine tests' calls, which no JSR made: they count as calls from a site
// where no instruction ran.
constexpr const char* kTestsCaller = "(routine tests)";

// A routine's own costs by address, and its calls by site.
struct Routine {
    std::string name;
    std::vector<uint16_t> addresses;
    std::vector<std::pair<uint16_t, CallCount>> calls;
};

// A source's name in the profile: relative to the working folder when it lies inside it.
// callgrind_annotate shortens the files of costs (fl=) so but not those of calls (cfl=),
// and would show a routine twice under two names.
std::string profileName(const std::string& file, const std::filesystem::path& folder) {
    std::filesystem::path path(file);
    if (!path.is_absolute() || folder.empty()) return file;
    std::filesystem::path relative = path.lexically_relative(folder);
    if (relative.empty() || *relative.begin() == "..") return file;
    return relative.string();
}

// The profile's map of the program: where each address's costs go, and the routine it
// lies in.
struct ProfileMap {
    LineIndex listed;
    std::map<uint16_t, std::string> starts;  // where each routine starts, and its name
    std::filesystem::path folder;            // the working folder, "" when unknown

    // Routines start at every label (of `labels` or the listing), every address a JSR
    // called, and at either end of every ROM window.
    ProfileMap(const std::vector<ListingLine>& listing, const LabelTable& labels)
        : listed(indexLines(listing)) {
        std::error_code unknown;
        folder = std::filesystem::current_path(unknown);
        for (const RomWindow& window : kRomWindows) {
            for (uint32_t edge : {uint32_t{window.first}, window.end}) {
                if (edge < kRamSize) starts[static_cast<uint16_t>(edge)] = hexWord(edge);
            }
        }
        for (const ListingLine& entry : listing) {
            if (!entry.label.empty()) starts[entry.address] = entry.label;
        }
        for (const Label& label : labels.byAddress) starts[label.address] = label.name;
        for (std::size_t a = 0; a < kRamSize; ++a) {
            auto address = static_cast<uint16_t>(a);
            if (counting.executionCounts[a].calls && !starts.count(address))
                starts[address] = routineName(address, labels, "");
        }
    }

    Place placeOf(uint16_t address) const {
        const ListingLine* line = listed[address];
        return line ? Place{profileName(line->file, folder), line->line}
                    : Place{kPseudoSource, address};
    }

    std::pair<uint16_t, std::string> routineOf(uint16_t address) const {
        auto found = starts.upper_bound(address);
        if (found == starts.begin()) return {0, hexWord(0)};
        --found;
        return *found;
    }
};

// One routine's lines of the profile: its own costs per line, then its calls.
void writeRoutine(std::ostringstream& out, const Routine& routine, const ProfileMap& map) {
    std::string file;
    auto at = [&](uint16_t address) {
        Place place = map.placeOf(address);
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
        Place target = map.placeOf(count.target);
        auto callee = map.routineOf(count.target);
        int line = at(site);
        out << "cfl=" << target.file << "\ncfn=" << callee.second << "\ncalls=" << count.calls
            << " " << target.line << "\n"
            << line << " " << count.instructions << " " << count.cycles << "\n";
    }
}

}  // namespace

bool writeProfile(const std::string& path, const std::vector<ListingLine>& listing,
                  const LabelTable& labels, const std::vector<StopwatchTimes>& stopwatch,
                  std::string& error) {
    ProfileMap map(listing, labels);
    std::map<uint16_t, Routine> routines;
    uint64_t instructions = 0, cycles = 0;
    for (std::size_t a = 0; a < kRamSize; ++a) {
        if (!counting.executionCounts[a].instructions) continue;
        auto address = static_cast<uint16_t>(a);
        auto [start, name] = map.routineOf(address);
        routines[start].name = name;
        routines[start].addresses.push_back(address);
        instructions += counting.executionCounts[a].instructions;
        cycles += counting.executionCounts[a].cycles;
    }
    Routine tests{kTestsCaller, {}, {}};
    forEachCallCount([&](uint16_t site, const CallCount& count) {
        if (!counting.executionCounts[site].instructions) {
            tests.calls.emplace_back(site, count);
            return;
        }
        auto [start, name] = map.routineOf(site);
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
    if (!tests.calls.empty()) writeRoutine(out, tests, map);
    for (const auto& [start, routine] : routines) writeRoutine(out, routine, map);
    return writeOutputFile(path, out.str(), error);
}
