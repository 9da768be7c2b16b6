#include "app/runner/program/debug_cells.h"

#include <algorithm>

#include "machine/contract.h"

std::function<void(const std::string& source, const std::string& line)> consoleLine;

namespace {

constexpr uint8_t kConsoleReturn = 13;  // a console line ends at a return, a line feed or both
constexpr uint8_t kLineFeed = 10;

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
        addTimes(cells.times, {{value, 1, elapsed, elapsed, elapsed}});
        cells.startedAt.reset();
    } else if (address == kDebugConsole && !cells.runCut) {
        // A line ends at a carriage return, a line feed, or both in that order.
        bool lineFeedOfReturn = value == kLineFeed && cells.afterReturn;
        cells.afterReturn = value == kConsoleReturn;
        if (lineFeedOfReturn) return;
        if (value == kConsoleReturn || value == kLineFeed) {
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
