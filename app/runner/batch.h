// Several programs at once: one process per program (the machine's state is
// program-wide), as many at a time as there are processors.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/options.h"
#include "app/runner/result.h"

// Runs each program in a process of its own and reports each result, in the order given,
// as soon as it and those before it are known. SIGINT or SIGTERM ends the batch at once:
// the runs still going are killed, they and the programs not started are reported as
// errors, and `interruptedBy` holds the signal (0 otherwise). Each run dies with the
// batch. The results returned keep no details, trace or screen: those went to `report`.
using ResultReport = std::function<void(const RunResult&)>;
std::vector<RunResult> runInParallel(const RunnerOptions& options, const ResultReport& report,
                                     int& interruptedBy);

// The same for any jobs: job i is run(i) and gives its results (a test file gives one per
// test), `atOnce` at a time (0: one per processor). The results are reported in the order
// of the jobs; a job that dies or is not run gives one result named names[i].
using JobRunner = std::function<std::vector<RunResult>(std::size_t)>;
std::vector<RunResult> runJobsInParallel(const std::vector<std::string>& names, uint64_t atOnce,
                                         const JobRunner& run, const ResultReport& report,
                                         int& interruptedBy);

// Which of `count` entries this shard takes: with the entries in the order `before` gives
// (a stable sort, so equal entries keep their place), the Kth of every N.
using EntryOrder = std::function<bool(std::size_t, std::size_t)>;
std::vector<bool> shardTakes(std::size_t count, const EntryOrder& before, const Shard& shard);

// This shard's share of `programs`, in the order given: with the programs sorted by name
// byte by byte (equal names by their place), the Kth of every N.
std::vector<std::string> shareOf(const std::vector<std::string>& programs, const Shard& shard);

// The exit status of a batch: 0 when every program passed, else the largest status.
int batchStatus(const std::vector<RunResult>& results);

// A result as bytes, for the trip from a run's process to the batch.
std::string encodeResult(const RunResult& result);
// The result back from its bytes; false when they are not a whole result.
bool decodeResult(std::string_view bytes, RunResult& result);
