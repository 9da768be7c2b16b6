// Running the routine tests of a test file: the machine boots once per file, up to the
// moment the test hook has loaded the program; that state is kept, and every test starts
// from a copy of it, so that no test sees what another left behind.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/runner/options.h"
#include "app/runner/result.h"
#include "app/runner/test_file.h"
#include "host/output_file.h"

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

// Runs the tests of a file read for a run, giving each test's result to `give` as it
// finishes, in the file's order; or gives the file's failure, or, when its program does
// not boot, a single ERROR result for the file, and no test runs.
void runTestFile(const RunnerOptions& options, const TestFileToRun& file,
                 const std::function<void(const RunResult&)>& give);

// Runs the tests of a file that has been read, the same way. The machine is booted here.
void runTests(const RunnerOptions& options, const TestFile& file,
              const std::function<void(const RunResult&)>& give);

// Whether `name` matches the shell pattern `pattern` (* any run, ? one character).
bool nameMatches(const std::string& pattern, const std::string& name);

// The summary of routine tests (--summary): a JSON array of the tests' summaries, one a
// line, made as the results come (SpooledReport).
class TestsSummary {
public:
    bool start(std::string& error) { return spool_.start(error); }
    bool add(const RunResult& result, std::string& error);
    bool write(const std::string& path, std::string& error);

private:
    SpooledReport spool_;
};
