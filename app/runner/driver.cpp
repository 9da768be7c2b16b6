#include "app/runner/driver.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <tuple>

#include "app/runner/batch/pool.h"
#include "app/runner/cli/help.h"
#include "app/runner/cli/options.h"
#include "app/runner/cli/parse.h"
#include "app/runner/io/output_file.h"
#include "app/runner/io/text.h"
#include "app/runner/program/debug_cells.h"
#include "app/runner/program/firmware_labels.h"
#include "app/runner/program/run.h"
#include "app/runner/reports/coverage.h"
#include "app/runner/reports/junit.h"
#include "app/runner/reports/profile.h"
#include "app/runner/reports/summary.h"
#include "app/runner/routines/routine_run.h"
#include "machine/counting.h"

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

// --coverage and --profile: the lines of the source map and the listings read, and
// counting on, before anything runs.
bool startCounts(const RunnerOptions& options, std::vector<ListingLine>& listing,
                 std::string& error) {
    if (options.coverageFile.empty() && options.profileFile.empty()) return true;
    listing = options.map.lines;
    for (const std::string& path : options.listingFiles) {
        if (!readListing(path, listing, error)) return false;
    }
    startCounting();
    return true;
}

// The lines that test files' own debug-info files add to those counted, each line once
// however many files name it.
void addTestFileLines(const RunnerOptions& options, const std::vector<TestFileToRun>& files,
                      std::vector<ListingLine>& listing) {
    if (options.coverageFile.empty() && options.profileFile.empty()) return;
    std::set<std::tuple<uint16_t, std::string, int>> known;
    for (const ListingLine& line : listing) known.emplace(line.address, line.file, line.line);
    for (const TestFileToRun& read : files) {
        const std::vector<ListingLine>& lines = read.file.map.lines;
        // A file's map starts with the command line's lines.
        for (std::size_t i = std::min(options.map.lines.size(), lines.size()); i < lines.size();
             ++i) {
            if (known.emplace(lines[i].address, lines[i].file, lines[i].line).second)
                listing.push_back(lines[i]);
        }
    }
}

// Writes the tracefile and the profile once every run has ended, or says why not.
int finishCounts(const RunnerOptions& options, const std::vector<ListingLine>& listing,
                 const std::vector<StopwatchTimes>& stopwatch, int status) {
    std::string error;
    if (!options.coverageFile.empty() &&
        !writeCoverage(options.coverageFile, listing,
                       shownLabels(options.map.labels, options.romDir), error)) {
        complain(error);
        status = kStatusError;
    }
    if (!options.profileFile.empty() &&
        !writeProfile(options.profileFile, listing, shownLabels(options.map.labels, options.romDir),
                      stopwatch, error)) {
        complain(error);
        status = kStatusError;
    }
    return status;
}

// What a batch reports as its results come, keeping none of them: a line per result (its
// mismatches and trace after it), the JUnit report and the tests' summary on their way,
// the status, and the stopwatch's timings added up.
struct Reports {
    const RunnerOptions& options;
    bool batch;        // several programs, or test files
    std::FILE* lines;  // where the result lines go
    JunitReport junit;
    TestsSummary summary;  // for test files
    std::string error;     // the first report that could not be kept
    int status = kStatusPass;
    std::vector<StopwatchTimes> stopwatch;

    // Result lines go to standard output, unless an output claims it.
    Reports(const RunnerOptions& runOptions, bool isBatch)
        : options(runOptions),
          batch(isBatch),
          lines(claimsStandardOutput(runOptions) ? stderr : stdout) {}
    bool tests() const { return !options.testFiles.empty(); }

    bool start() {
        return (options.junitFile.empty() || junit.start(error)) &&
               (!tests() || options.summaryFile.empty() || summary.start(error));
    }

    void add(const RunResult& result) {
        // One program's error is the one line the run prints, on standard error.
        if (result.verdict == Verdict::Error && !batch) {
            complain(result.message);
        } else {
            put(lines, resultLine(result) + "\n" + result.details + result.trace);
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
            junit.write(options.junitFile, junitSuiteName(shardText(options.shard)), error);
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
    if (!shardFromEnvironment(options.shard, error)) return usageError(error);
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
        addTestFileLines(options, files, listing);
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

int runBreadbinRun(const std::vector<std::string_view>& arguments, std::string_view version) {
    // The debug console's lines, as the runs write them.
    consoleLine = [](const std::string& source, const std::string& line) {
        put(stderr, terminalText(source + ": " + line) + "\n");
    };
    RunnerOptions options;
    std::string error;
    switch (parseOptions(arguments, options, error)) {
        case ParseOutcome::Error: return usageError(error);
        case ParseOutcome::Help: put(stdout, helpText()); return finish(kStatusPass);
        case ParseOutcome::Version:
            put(stdout, std::string(kProgramName) + " " + std::string(version) + "\n");
            return finish(kStatusPass);
        case ParseOutcome::Run: break;
    }
    return runAll(options);
}
