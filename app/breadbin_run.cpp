// breadbin-run: runs 6502 test programs on the emulated machine without a display, for
// CI. It stops on a verdict or a limit, reports why and where, and writes the screen as
// text or PNG, a JSON summary, hex dumps and a JUnit report; see --help.
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
#include "machine/counting.h"
#include "machine/trace.h"

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

// --coverage and --profile: the listings read and counting on, before anything runs.
bool startCounts(const RunnerOptions& options, std::vector<ListingLine>& listing,
                 std::string& error) {
    if (options.coverageFile.empty() && options.profileFile.empty()) return true;
    for (const std::string& path : options.listingFiles) {
        if (!readListing(path, listing, error)) return false;
    }
    startCounting();
    return true;
}

// Writes the tracefile and the profile once every run has ended, or says why not.
int finishCounts(const RunnerOptions& options, const std::vector<ListingLine>& listing,
                 const std::vector<StopwatchTimes>& stopwatch, int status) {
    std::string error;
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

// What a batch reports as its results come, keeping none of them: a line per result (its
// mismatches and trace after it), the JUnit report and the tests' summary on their way,
// the status, and the stopwatch's timings added up.
struct Reports {
    const RunnerOptions& options;
    bool batch;  // several programs, or test files: their lines go to standard output
    JunitReport junit;
    TestsSummary summary;  // for test files
    std::string error;     // the first report that could not be kept
    int status = kStatusPass;
    std::vector<StopwatchTimes> stopwatch;

    Reports(const RunnerOptions& runOptions, bool isBatch) : options(runOptions), batch(isBatch) {}
    bool tests() const { return !options.testFiles.empty(); }

    bool start() {
        return (options.junitFile.empty() || junit.start(error)) &&
               (!tests() || options.summaryFile.empty() || summary.start(error));
    }

    void add(const RunResult& result) {
        // One program's error is the one line the run prints.
        if (result.verdict == Verdict::Error && !batch) {
            complain(result.message);
        } else {
            put(batch ? stdout : stderr, resultLine(result) + "\n" + result.details + result.trace);
        }
        if (!options.junitFile.empty() && error.empty()) junit.add(result, error);
        if (tests() && !options.summaryFile.empty() && error.empty()) summary.add(result, error);
        status = std::max(status, result.status());
        addTimes(stopwatch, result.stopwatch);
    }

    // Writes the reports kept on their way, or says why not.
    int finish() {
        if (error.empty() && tests() && !options.summaryFile.empty())
            summary.write(options.summaryFile, error);
        if (error.empty() && !options.junitFile.empty())
            junit.write(options.junitFile, junitSuiteName(options.shard), error);
        if (error.empty()) return status;
        complain(error);
        return kStatusError;
    }
};

// The jobs of a run of test files: each file as a job of its tests, read here so that a
// shard takes its share of the tests and a filter that lets none through is said.
bool testFileJobs(const RunnerOptions& options, const std::vector<std::string>& paths,
                  std::vector<TestFileToRun>& files, std::vector<BatchJob>& jobs,
                  std::string& error) {
    for (const std::string& path : paths) files.push_back(readTestFileToRun(options, path));
    // A filter that lets no test through is a mistake, not a pass with nothing run (a file
    // that cannot be read fails the run anyway, with its own line).
    if (!options.filter.empty() && std::all_of(files.begin(), files.end(), [](const auto& read) {
            return !read.failure && read.file.tests.empty();
        })) {
        error = "--filter " + quotedValue(options.filter) + " matches no test";
        return false;
    }
    keepShareOfTests(files, options.shard);
    for (const TestFileToRun& read : files) {
        BatchJob& job = jobs.emplace_back(BatchJob{read.file.path, {}});
        if (read.failure) continue;
        for (const TestCase& test : read.file.tests) job.tests.push_back(test.name);
    }
    return true;
}

// A run of programs or of test files, from the jobs to the exit status. One program runs
// in this process; anything else is a batch, each job in a process of its own.
int runAll(RunnerOptions& options) {
    std::string error;
    std::vector<TestFileToRun> files;
    std::vector<BatchJob> jobs;
    bool tests = !options.testFiles.empty();
    std::vector<std::string> paths;
    if (tests && !expandTestFiles(options.testFiles, paths, error)) return usageError(error);
    if (!shardFromTheEnvironment(options, error)) return usageError(error);
    for (const OutputFileOption& output : outputFiles(options)) {
        if (!checkOutputFile(output.path, error)) return usageError(error);
    }
    std::vector<ListingLine> listing;
    if (!startCounts(options, listing, error)) return usageError(error);
    // Without a PROGRAM the run of the firmware (or of --dir's tests/start) is the list's
    // one entry.
    bool batch = tests || options.programs.size() > 1;
    if (tests) {
        if (!testFileJobs(options, paths, files, jobs, error)) return usageError(error);
    } else {
        if (options.programs.empty()) options.programs.emplace_back();
        for (const std::string& program : shareOf(options.programs, options.shard))
            jobs.push_back({program, {}});
    }
    Reports reports(options, batch);
    if (!reports.start()) return usageError(reports.error);
    int interruptedBy = 0;
    if (!batch && jobs.size() == 1) {
        reports.add(runProgram(options, jobs.front().name));
    } else {
        holdInterruptions();
        auto run = [&](std::size_t i, const ResultReport& give) {
            if (tests) return runTestFile(options, files[i], give);
            give(runProgram(options, jobs[i].name));
        };
        interruptedBy = runJobsInParallel(jobs, options.jobs, run,
                                          [&](const RunResult& result) { reports.add(result); });
    }
    int status = reports.finish();
    status = finishCounts(options, listing, reports.stopwatch, status);
    return releaseInterruptions(interruptedBy, finish(status));
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
    return runAll(options);
}
