// Several programs at once: one process per program (the machine's state is
// program-wide), as many at a time as there are processors.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/runner/options.h"
#include "app/runner/result.h"

// Runs each program in a process of its own; reports the results in the order given.
std::vector<RunResult> runInParallel(const RunnerOptions& options,
                                     void (*report)(const RunResult&));

// The exit status of a batch: 0 when every program passed, else the largest status.
int batchStatus(const std::vector<RunResult>& results);

// A result as bytes, for the trip from a run's process to the batch.
std::string encodeResult(const RunResult& result);
// The result back from its bytes; false when they are not a whole result.
bool decodeResult(std::string_view bytes, RunResult& result);
