// One run of one program on the headless machine, from the files to the verdict and the
// outputs that the options ask for.
#pragma once

#include <string>

#include "app/runner/options.h"
#include "app/runner/result.h"

// Runs `program` (empty: tests/start from --dir, or none) to a stop and writes the outputs.
RunResult runProgram(const RunnerOptions& options, const std::string& program);

// Empties `path` for writing, or says in `error` why it cannot be written ("" and "-" pass).
bool prepareOutputFile(const std::string& path, std::string& error);
// Writes `text` to `path`, or to standard output for "-".
bool writeOutput(const std::string& path, const std::string& text, std::string& error);
