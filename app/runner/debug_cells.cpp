#include "app/runner/debug_cells.h"

#include <algorithm>

#include "machine/contract.h"

std::function<void(const std::string& source, const std::string& line)> consoleLine;

namespace {

constexpr uint8_t kCarriageReturn = 13;
constexpr uint8_t kLineFeed = 10;

StopwatchTimes& timesOf(std::vector<StopwatchTimes>& times, uint64_t id) {
    auto found = std::find_if(times.begin(), times.end(),
                              [&](const StopwatchTimes& t) { return t.id == id; });
    if (found != times.end()) return *found;
    return times.emplace_back(StopwatchTimes{id, 0, 0, 0, 0});
}

void add(StopwatchTimes& into, const StopwatchTimes& more) {
    if (more.count == 0) return;
    into.min = into.count ? std::min(into.min, more.min) : more.min;
    into.max = std::max(into.max, more.max);
    into.count += more.count;
    into.total += more.total;
}

void endLine(DebugCells& cells) {
    cells.keptBytes += cells.line.size() + 1;
    if (cells.lineCut) cells.line += consoleLineCut();
    cells.lineCut = false;
    if (consoleLine) consoleLine(cells.source, cells.line);
    cells.lines.push_back(std::move(cells.line));
    cells.line.clear();
}

// Ends the run's console: the line under way, then the line that says the cut.
void cutRun(DebugCells& cells) {
    if (!cells.line.empty()) endLine(cells);
    cells.line = consoleRunCut();
    endLine(cells);
    cells.runCut = true;
}

// Takes a byte of console text that is not a line end.
void addToLine(DebugCells& cells, uint8_t value) {
    if (cells.line.size() == kConsoleLineBytes) {
        cells.lineCut = true;
    } else if (cells.keptBytes + cells.line.size() + 2 > kConsoleRunBytes) {
        cutRun(cells);  // the byte and the end its line needs would pass the bound
    } else {
        cells.line += static_cast<char>(value);
    }
}

}  // namespace

std::string consoleLineCut() {
    return " [line cut at " + std::to_string(kConsoleLineBytes) + " bytes]";
}
std::string consoleRunCut() {
    return "[console cut at " + std::to_string(kConsoleRunBytes) + " bytes]";
}

void debugCellStored(DebugCells& cells, uint16_t address, uint8_t value, uint64_t cycles) {
    if (address == kStopwatchStart) {
        cells.startedAt = cycles;
    } else if (address == kStopwatchStop) {
        if (!cells.startedAt) return;
        uint64_t elapsed = cycles - *cells.startedAt;
        add(timesOf(cells.times, value), {value, 1, elapsed, elapsed, elapsed});
        cells.startedAt.reset();
    } else if (address == kDebugConsole && !cells.runCut) {
        // A line ends at a carriage return, a line feed, or both in that order.
        bool lineFeedOfReturn = value == kLineFeed && cells.afterReturn;
        cells.afterReturn = value == kCarriageReturn;
        if (lineFeedOfReturn) return;
        if (value == kCarriageReturn || value == kLineFeed) {
            if (cells.keptBytes + cells.line.size() + 1 > kConsoleRunBytes) {
                cutRun(cells);  // empty lines alone reach the bound too
            } else {
                endLine(cells);
            }
        } else {
            addToLine(cells, value);
        }
    }
}

void endConsole(DebugCells& cells) {
    if (!cells.line.empty() || cells.lineCut) endLine(cells);
}

void addTimes(std::vector<StopwatchTimes>& times, const std::vector<StopwatchTimes>& more) {
    for (const StopwatchTimes& t : more) add(timesOf(times, t.id), t);
}
