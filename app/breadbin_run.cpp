// breadbin-run: runs 6502 test programs on the emulated machine without a display, for
// CI. It stops on a verdict or a limit, reports why and where, and writes the screen as
// text or PNG, a JSON summary, hex dumps and a JUnit report; see --help.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/batch.h"
#include "app/runner/junit.h"
#include "app/runner/options.h"
#include "app/runner/outputs.h"
#include "app/runner/run.h"

namespace {

constexpr std::string_view kProgramName = "breadbin-run";

int usageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", kProgramName.data(), terminalText(message).c_str());
    return kStatusError;
}

void printResultLine(const RunResult& result) {
    std::printf("%s\n", resultLine(result).c_str());
    std::fflush(stdout);
}

// One program, in this process. Standard output carries only the outputs that ask for
// it, so the result line and the details go to standard error.
RunResult runOne(const RunnerOptions& options) {
    RunResult result =
        runProgram(options, options.programs.empty() ? std::string() : options.programs.front());
    if (result.verdict == Verdict::Error) {
        std::fprintf(stderr, "%s: %s\n", kProgramName.data(), terminalText(result.message).c_str());
    } else {
        std::fprintf(stderr, "%s\n%s", resultLine(result).c_str(), result.details.c_str());
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    RunnerOptions options;
    std::string error;
    switch (parseOptions(arguments, options, error)) {
        case ParseOutcome::Error: return usageError(error);
        case ParseOutcome::Help: std::fputs(helpText().c_str(), stdout); return kStatusPass;
        case ParseOutcome::Version:
            std::printf("%s %s\n", kProgramName.data(), BREADBIN_VERSION);
            return kStatusPass;
        case ParseOutcome::Run: break;
    }
    if (!prepareOutputFile(options.junitFile, error)) return usageError(error);

    std::vector<RunResult> results;
    if (options.programs.size() > 1) {
        results = runInParallel(options, printResultLine);
    } else {
        results.push_back(runOne(options));
    }
    if (!options.junitFile.empty() &&
        !writeOutput(options.junitFile, junitReport(results), error)) {
        return usageError(error);
    }
    return options.programs.size() > 1 ? batchStatus(results) : results.front().status();
}
