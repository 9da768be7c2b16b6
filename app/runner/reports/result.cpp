#include "app/runner/reports/result.h"

#include <algorithm>

#include "app/runner/io/text.h"

namespace {

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

}  // namespace

void addTimes(std::vector<StopwatchTimes>& times, const std::vector<StopwatchTimes>& more) {
    for (const StopwatchTimes& t : more) add(timesOf(times, t.id), t);
}

int RunResult::status() const {
    bool statusByte = stop == StopReason::DebugExit || stop == StopReason::InputLoop;
    if (verdict == Verdict::Fail && statusByte && exitByte > 0 && test.empty()) return exitByte;
    if (verdict == Verdict::Error && !test.empty()) return kStatusFail;
    return verdictInfo(verdict).status;
}

RunResult badInput(std::string program, std::string message) {
    RunResult result;
    result.program = std::move(program);
    result.message = std::move(message);
    return result;
}

std::string resultLine(const RunResult& result) {
    return std::string(verdictInfo(result.verdict).word) + " " + terminalText(result.program) +
           ": " + terminalText(result.message);
}

int batchStatus(const std::vector<RunResult>& results) {
    int status = kStatusPass;
    for (const RunResult& result : results) status = std::max(status, result.status());
    return status;
}
