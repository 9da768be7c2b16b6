// breadbin-run: runs 6502 test programs on the emulated machine without a display, for
// CI. It stops on a verdict or a limit, reports why and where, and writes the screen as
// text or PNG, a JSON summary, hex dumps and a JUnit report; see --help.
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/batch.h"
#include "app/runner/coverage.h"
#include "app/runner/debug_cells.h"
#include "app/runner/junit.h"
#include "app/runner/options.h"
#include "app/runner/outputs.h"
#include "app/runner/run.h"
#include "app/runner/test_run.h"
#include "host/output_file.h"
#include "machine/run_control.h"

namespace {

constexpr std::string_view kProgramName = "breadbin-run";

// The first failure to write each standard stream, as its reason; "" while none failed.
std::string lostOutput;
std::string lostError;

// Writes `text` to standard output or error at once, noting a failure.
void put(std::FILE* stream, std::string_view text) {
    bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    written = std::fflush(stream) == 0 && written;
    std::string& lost = stream == stdout ? lostOutput : lostError;
    if (!written && lost.empty()) lost = errno ? std::strerror(errno) : "write error";
}

void complain(const std::string& message) {
    put(stderr, std::string(kProgramName) + ": " + terminalText(message) + "\n");
}

// The exit status, once both streams are known to have taken everything: output that was
// lost is an error, said on standard error while it can take a line.
int finish(int status) {
    put(stdout, "");
    if (!lostOutput.empty()) {
        complain("cannot write standard output: " + lostOutput);
        status = kStatusError;
    }
    if (!lostError.empty()) status = kStatusError;
    return status;
}

int usageError(const std::string& message) {
    complain(message);
    return finish(kStatusError);
}

// Writes the JUnit report kept in `junit` to `path` (none when ""), or says why not.
int writeJunit(JunitReport& junit, const std::string& path, std::string_view suiteName,
               std::string& junitError, int status) {
    if (path.empty()) return status;
    if (junitError.empty() && junit.write(path, suiteName, junitError)) return status;
    complain(junitError);
    return kStatusError;
}

// Ends as the signal that interrupted the batch would have (none when 0): the caller asked.
int endBy(int interruptedBy, int status) {
    if (interruptedBy) {
        signal(interruptedBy, SIG_DFL);
        raise(interruptedBy);
    }
    return status;
}

// --coverage and --profile: the listings read, the outputs' paths checked and counting
// on, before anything runs.
bool startCounts(const RunnerOptions& options, std::vector<ListingLine>& listing,
                 std::string& error) {
    if (options.coverageFile.empty() && options.profileFile.empty()) return true;
    for (const std::string& path : options.listingFiles) {
        if (!readListing(path, listing, error)) return false;
    }
    bool disassembly = !options.coverageFile.empty() && options.listingFiles.empty();
    for (const std::string& output : {options.coverageFile, options.profileFile,
                                      disassembly ? options.coverageFile + ".s" : std::string()}) {
        if (!checkOutputFile(output, error)) return false;
    }
    startCounting();
    return true;
}

// Writes the tracefile and the profile once every run has ended, or says why not.
int finishCounts(const RunnerOptions& options, const std::vector<ListingLine>& listing,
                 const std::vector<RunResult>& results, int status) {
    std::string error;
    std::vector<StopwatchTimes> stopwatch;
    for (const RunResult& result : results) addTimes(stopwatch, result.stopwatch);
    if (!options.coverageFile.empty() &&
        !writeCoverage(options.coverageFile, listing, options.labels, error)) {
        complain(error);
        status = kStatusError;
    }
    if (!options.profileFile.empty() &&
        !writeProfile(options.profileFile, listing, options.labels, stopwatch, error)) {
        complain(error);
        status = kStatusError;
    }
    return status;
}

// Takes the shard from a test runner's environment when --shard is not given.
bool shardFromTheEnvironment(RunnerOptions& options, std::string& error) {
    auto environment = [](const char* name) -> const char* { return std::getenv(name); };
    return shardFromEnvironment(options, environment, error);
}

// The routine tests of the test files: one line per test on standard output, files in
// parallel, the tests of a file in order. The files are read here, so that a shard takes
// its share of their tests.
int runTestFiles(RunnerOptions& options) {
    std::vector<std::string> paths;
    std::string error;
    if (!expandTestFiles(options.testFiles, paths, error)) return usageError(error);
    if (!shardFromTheEnvironment(options, error)) return usageError(error);
    for (const std::string* output : {&options.summaryFile, &options.junitFile}) {
        if (!checkOutputFile(*output, error)) return usageError(error);
    }
    std::vector<ListingLine> listing;
    if (!startCounts(options, listing, error)) return usageError(error);
    std::vector<TestFileToRun> files;
    for (const std::string& path : paths) files.push_back(readTestFileToRun(options, path));
    // A filter that lets no test through is a mistake, not a pass with nothing run (a file
    // that cannot be read fails the run anyway, with its own line).
    if (!options.filter.empty() && std::all_of(files.begin(), files.end(), [](const auto& read) {
            return !read.failure && read.file.tests.empty();
        }))
        return usageError("--filter " + quotedValue(options.filter) + " matches no test");
    keepShareOfTests(files, options.shard);
    JunitReport junit;
    if (!options.junitFile.empty() && !junit.start(error)) return usageError(error);
    std::string junitError;
    auto report = [&](const RunResult& result) {
        put(stdout, resultLine(result) + "\n" + result.details + result.trace);
        if (!options.junitFile.empty() && junitError.empty()) junit.add(result, junitError);
    };
    std::vector<RunResult> results;
    int interruptedBy = 0;
    if (files.size() > 1) {
        std::vector<std::string> names;
        for (const TestFileToRun& read : files) names.push_back(read.file.path);
        auto run = [&](std::size_t i) { return runTestFile(options, files[i]); };
        results = runJobsInParallel(names, options.jobs, run, report, interruptedBy);
    } else if (!files.empty()) {
        results = runTestFile(options, files.front());
        for (const RunResult& result : results) report(result);
    }
    int status = batchStatus(results);
    if (!options.summaryFile.empty() &&
        !writeOutputFile(options.summaryFile, testsSummaryJson(results), error)) {
        complain(error);
        status = kStatusError;
    }
    status =
        writeJunit(junit, options.junitFile, junitSuiteName(options.shard), junitError, status);
    status = finishCounts(options, listing, results, status);
    return endBy(interruptedBy, finish(status));
}

}  // namespace

int main(int argc, char** argv) {
    // The debug console's lines, as the runs write them.
    consoleLine = [](const std::string& source, const std::string& line) {
        put(stderr, terminalText(source + ": " + line) + "\n");
    };
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    RunnerOptions options;
    std::string error;
    switch (parseOptions(arguments, options, error)) {
        case ParseOutcome::Error: return usageError(error);
        case ParseOutcome::Help: put(stdout, helpText()); return finish(kStatusPass);
        case ParseOutcome::Version:
            put(stdout, std::string(kProgramName) + " " + BREADBIN_VERSION + "\n");
            return finish(kStatusPass);
        case ParseOutcome::Run: break;
    }
    if (!options.testFiles.empty()) return runTestFiles(options);
    if (!shardFromTheEnvironment(options, error)) return usageError(error);
    if (!checkOutputFile(options.junitFile, error)) return usageError(error);
    std::vector<ListingLine> listing;
    if (!startCounts(options, listing, error)) return usageError(error);
    JunitReport junit;
    if (!options.junitFile.empty() && !junit.start(error)) return usageError(error);

    // Several programs run as a batch, each in a process of its own, their result lines
    // on standard output; one runs in this process, its line on standard error, since
    // standard output carries only the outputs that ask for it. Without a PROGRAM the
    // run of the firmware (or of --dir's tests/start) is the list's one entry.
    bool batch = options.programs.size() > 1;
    if (options.programs.empty()) options.programs.emplace_back();
    options.programs = shareOf(options.programs, options.shard);
    std::string junitError;
    auto report = [&](const RunResult& result) {
        if (result.verdict == Verdict::Error && !batch) {
            complain(result.message);
        } else {
            put(batch ? stdout : stderr, resultLine(result) + "\n" + result.details + result.trace);
        }
        if (!options.junitFile.empty() && junitError.empty()) junit.add(result, junitError);
    };

    std::vector<RunResult> results;
    int interruptedBy = 0;
    if (batch) {
        results = runInParallel(options, report, interruptedBy);
    } else if (!options.programs.empty()) {
        results.push_back(runProgram(options, options.programs.front()));
        report(results.back());
    }
    int status = batchStatus(results);
    if (!batch && !results.empty()) status = results.front().status();
    status =
        writeJunit(junit, options.junitFile, junitSuiteName(options.shard), junitError, status);
    status = finishCounts(options, listing, results, status);
    return endBy(interruptedBy, finish(status));
}
