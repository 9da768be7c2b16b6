// Running the routine tests of a test file: the machine boots once per file, up to the
// moment the test hook has loaded the program; that state is kept, and every test starts
// from a copy of it, so that no test sees what another left behind.
#pragma once

#include <functional>

#include "app/runner/cli/options.h"
#include "app/runner/reports/result.h"
#include "app/runner/routines/routine_file.h"

// Runs the tests of a file read for a run, giving each test's result to `give` as it
// finishes, in the file's order; or gives the file's failure, or, when its program does
// not boot, a single ERROR result for the file, and no test runs.
void runTestFile(const RunnerOptions& options, const TestFileToRun& file,
                 const std::function<void(const RunResult&)>& give);

// Runs the tests of a file that has been read, the same way. The machine is booted here.
void runTests(const RunnerOptions& options, const TestFile& file,
              const std::function<void(const RunResult&)>& give);
