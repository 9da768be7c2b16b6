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

// One job of a batch: its name (a program, or a test file), and the routine tests it runs,
// in order; a job without tests gives one result, named by the job. The names stand in
// for the results that a job cut short never gave.
struct BatchJob {
    std::string name;
    std::vector<std::string> tests;
};

// Where a job gives its results, one at a time, as it finishes each.
using ResultReport = std::function<void(const RunResult&)>;
// Runs job `index`, giving its results to `give` (in the job's own process).
using JobRunner = std::function<void(std::size_t index, const ResultReport& give)>;

// Runs each job in a process of its own, `atOnce` at a time (0: one per processor), and
// reports each result, in the order of the jobs and of each job's results, as soon as it
// and those before it are known, keeping none. A job that dies, or that SIGINT or
// SIGTERM cut short (the batch kills its runs and starts no more), is reported as far as
// it came, and each result it did not give is an ERROR named after it. Every run dies with
// the batch. Returns the signal that interrupted the batch, 0 otherwise; SIGINT and
// SIGTERM stay held back afterwards (holdInterruptions), so that the caller's reports are
// written whatever further signals arrive.
int runJobsInParallel(const std::vector<BatchJob>& jobs, uint64_t atOnce, const JobRunner& run,
                      const ResultReport& report);

// Holds SIGINT and SIGTERM back from now on.
void holdInterruptions();
// Lets them go, once the reports are written: the process then ends as `interruptedBy`
// (when not 0) would have ended it, or by a signal that came while they were held;
// otherwise returns `status`.
int releaseInterruptions(int interruptedBy, int status);

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
