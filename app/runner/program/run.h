// One run of one program on the headless machine, from the files to the verdict and the
// outputs that the options ask for.
#pragma once

#include <string>

#include "app/runner/cli/options.h"
#include "app/runner/reports/result.h"

// Runs `program` (empty: tests/start from --dir, or none) to a stop and writes the outputs.
RunResult runProgram(const RunnerOptions& options, const std::string& program);
