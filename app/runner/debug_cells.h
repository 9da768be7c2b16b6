// The debug cells beside the debug register, as a run of breadbin-run sees them: the
// stopwatch and the console (machine/contract.h has their addresses). They are RAM like
// any other: a store lands there and a read gives it back; the runner only watches.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The timings of one stopwatch id: how many, the shortest, the longest and all together,
// in cycles.
struct StopwatchTimes {
    uint64_t id = 0;
    uint64_t count = 0;
    uint64_t min = 0;
    uint64_t max = 0;
    uint64_t total = 0;
    bool operator==(const StopwatchTimes&) const = default;
};

// What the console keeps of a run: the first kConsoleLineBytes bytes of a line, the rest
// of the line dropped and its cut said at its end; and the first kConsoleRunBytes bytes
// of the run (each line end counted as one), after which a last line says the cut and
// nothing more is kept. So a run that writes without end costs neither memory nor pages
// of output.
inline constexpr std::size_t kConsoleLineBytes = 4096;
inline constexpr std::size_t kConsoleRunBytes = 262144;
// How a cut line ends, and the line that ends a cut run.
std::string consoleLineCut();
std::string consoleRunCut();

// What a run's stores to the cells came to.
struct DebugCells {
    std::string source;                 // the run's name for its console lines
    std::optional<uint64_t> startedAt;  // the stopwatch's start, in cycles since start-up
    std::vector<StopwatchTimes> times;  // by id, in the order first stopped
    std::string line;                   // the console line being written
    bool afterReturn = false;           // the last byte ended a line with a carriage return
    bool lineCut = false;               // the line being written has lost bytes
    bool runCut = false;                // the console keeps nothing more
    std::size_t keptBytes = 0;          // of the finished lines, each with its end
    std::vector<std::string> lines;     // the console's finished lines
};

// Where each console line goes as it ends, with its run's name (breadbin-run: to
// standard error); nowhere when null.
extern std::function<void(const std::string& source, const std::string& line)> consoleLine;

// Takes a store of `value` into cell `address` (a stopwatch cell or the console), `cycles`
// after start-up, once the storing instruction has run. A stop without a start records
// nothing.
void debugCellStored(DebugCells& cells, uint16_t address, uint8_t value, uint64_t cycles);
// Ends the run's console: a last line without its line end is a line too.
void endConsole(DebugCells& cells);

// Adds `more` to `times`, id by id.
void addTimes(std::vector<StopwatchTimes>& times, const std::vector<StopwatchTimes>& more);
