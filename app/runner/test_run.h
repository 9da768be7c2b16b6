// Running the routine tests of a test file: the machine boots once per file, up to the
// moment the test hook has loaded the program; that state is kept, and every test starts
// from a copy of it, so that no test sees what another left behind.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/runner/options.h"
#include "app/runner/result.h"
#include "app/runner/test_file.h"

// The test files that `paths` name: each file as given, each folder's *.toml in name
// order. False, with one line in `error`, for a path that is neither, or a folder without
// a test file.
bool expandTestFiles(const std::vector<std::string>& paths, std::vector<std::string>& files,
                     std::string& error);

// A test file read for a run: the tests that --filter lets through, or, when the file
// cannot be read or is wrong, the single ERROR result that stands for all of them.
struct TestFileToRun {
    TestFile file;  // its path always set
    std::optional<RunResult> failure;
};
TestFileToRun readTestFileToRun(const RunnerOptions& options, const std::string& path);

// Keeps this shard's share of the tests of `files`: with the tests in order of their
// file's path (byte by byte, equal paths in the order given) and then of their place in
// it, the Kth of every N, a file that failed counting as one test. A file left without
// tests is dropped, except that one which had none goes to the first shard alone.
void keepShareOfTests(std::vector<TestFileToRun>& files, const Shard& shard);

// Runs the tests of a file read for a run: one result per test, in the file's order; or
// the file's failure, or, when its program does not boot, a single ERROR result for the
// file, and no test runs.
std::vector<RunResult> runTestFile(const RunnerOptions& options, const TestFileToRun& file);

// Runs the tests of a file that has been read. The machine is booted here.
std::vector<RunResult> runTests(const RunnerOptions& options, const TestFile& file);

// Whether `name` matches the shell pattern `pattern` (* any run, ? one character).
bool nameMatches(const std::string& pattern, const std::string& name);

// The summary of routine tests: a JSON array of the tests' summaries, one a line.
std::string testsSummaryJson(const std::vector<RunResult>& results);
