// Running the routine tests of a test file: the machine boots once per file, up to the
// moment the test hook has loaded the program; that state is kept, and every test starts
// from a copy of it, so that no test sees what another left behind.
#pragma once

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

// Reads and runs the test file at `path`: one result per test that --filter lets through,
// in the file's order; or, when the file cannot be read, is wrong or its program does not
// boot, a single ERROR result for the file, and no test runs.
std::vector<RunResult> runTestFile(const RunnerOptions& options, const std::string& path);

// Runs the tests of a file that has been read. The machine is booted here.
std::vector<RunResult> runTests(const RunnerOptions& options, const TestFile& file);

// Whether `name` matches the shell pattern `pattern` (* any run, ? one character).
bool nameMatches(const std::string& pattern, const std::string& name);

// The summary of routine tests: a JSON array of the tests' summaries, one a line.
std::string testsSummaryJson(const std::vector<RunResult>& results);
