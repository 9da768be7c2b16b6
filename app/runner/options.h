// The runner's command line: what to run, when to stop, what to write, and how numbers
// are read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/labels.h"
#include "host/output_file.h"
#include "host/random.h"
#include "machine/config.h"
#include "machine/contract.h"

// One cell the run must leave holding a value (--expect ADDR=BYTE).
struct MemoryExpectation {
    uint16_t address;
    uint8_t value;
};

// A stretch of RAM to print in hex at the end (--dump ADDR:LEN).
struct MemoryRange {
    uint16_t address;
    uint32_t length;  // 1 to the end of the address space
};

inline constexpr uint64_t kDefaultLimitSeconds = 60;  // how long a run lasts when no limit is given
inline constexpr uint64_t kDefaultCycleLimit = kDefaultLimitSeconds * kCyclesPerSecond;
// On the wall clock the default is counted in frames: those that come in that time.
inline constexpr uint64_t kDefaultRealtimeFrameLimit =
    kDefaultLimitSeconds * 1000 / kFrameIntervalMs;
inline constexpr uint64_t kMaxCycleLimit = uint64_t{1} << 48;
inline constexpr uint64_t kMaxFrameLimit = uint64_t{1} << 32;
inline constexpr uint64_t kMaxTraceLength = 1'000'000;
inline constexpr uint64_t kMaxJobs = 1024;
inline constexpr uint64_t kMaxShards = 1'000'000;

// This job's share of the programs (--shard K/N): the Kth of every N, counted from 1.
struct Shard {
    uint64_t index = 1;
    uint64_t count = 1;
    bool given = false;  // from --shard or the test runner's environment
};

struct RunnerOptions {
    std::string romDir;                 // empty: the built-in firmware
    std::vector<std::string> programs;  // none: "tests/start" from romDir, or no program
    std::optional<uint64_t> frameLimit;
    std::optional<uint64_t> cycleLimit;
    std::vector<std::string> untilTexts;  // any of them on screen passes
    std::vector<std::string> failTexts;   // any of them on screen fails
    bool debugExit = false;
    bool untilInput = false;
    bool realtime = false;
    uint64_t seed = kDefaultRandomSeed;  // the sequence every run of the machine starts with
    std::string screenTextFile;          // "" none, "-" standard output
    std::string screenshotFile;
    std::string summaryFile;
    std::string junitFile;
    std::string coverageFile;  // an lcov tracefile of every run, "" none
    std::string profileFile;   // a callgrind profile of every run, "" none
    std::vector<std::string> listingFiles;
    uint64_t traceLength = 0;
    std::vector<MemoryRange> dumps;
    std::vector<MemoryExpectation> expectations;
    uint64_t jobs = 0;      // 0: one per processor
    MachineConfig machine;  // --machine, --cpu, --cia
    Shard shard;
    std::vector<std::string> labelFiles;
    LabelTable labels;                   // read from labelFiles
    std::optional<uint16_t> startAt;     // --start ADDR: where the program starts
    bool startAtLoad = false;            // --start load: at its load address, upstart or not
    std::vector<std::string> testFiles;  // --test: test files and folders of them
    std::string filter;                  // --filter: the tests whose names match, all if ""
};

// A file that a run writes, and the option that names it.
struct OutputFileOption {
    std::string_view option;  // "--summary"; the disassembly of --coverage is "--coverage"
    std::string path;
};
// Every output file the options name, standard output left out.
std::vector<OutputFileOption> outputFiles(const RunnerOptions& options);

enum class ParseOutcome : uint8_t { Run, Help, Version, Error };

// Reads the command line (without the program name); on Error, `error` names the culprit.
ParseOutcome parseOptions(const std::vector<std::string_view>& arguments, RunnerOptions& options,
                          std::string& error);
// The --help text: usage, every option with its default, the exit statuses.
std::string helpText();

// Reads an unsigned number up to `max`: $C000 or 0xC000 in hex, decimal otherwise.
bool parseNumber(std::string_view text, uint64_t max, uint64_t& value);
// Reads ADDR:LEN, a range within the 64 KiB address space; ADDR may be a label or label+N
// of `labels` (parseAddress). On failure `problem`, when given, says what is wrong.
bool parseMemoryRange(std::string_view text, MemoryRange& range, const LabelTable& labels = {},
                      std::string* problem = nullptr);
// Reads ADDR=BYTE, ADDR as for parseMemoryRange.
bool parseExpectation(std::string_view text, MemoryExpectation& expectation,
                      const LabelTable& labels = {}, std::string* problem = nullptr);
// Reads K/N, 1 <= K <= N <= kMaxShards.
bool parseShard(std::string_view text, Shard& shard);

// The names of the environment that a test runner such as Bazel sets for sharding: the
// number of shards, this shard's index from 0, and a file to touch to say that the
// program shards.
inline constexpr const char* kTotalShardsVariable = "TEST_TOTAL_SHARDS";
inline constexpr const char* kShardIndexVariable = "TEST_SHARD_INDEX";
inline constexpr const char* kShardStatusFileVariable = "TEST_SHARD_STATUS_FILE";
// Without --shard, takes the shard from those variables (`get` reads one, null when it is
// not set) and touches the status file. False, with a message, when they make no sense
// or the file cannot be touched.
bool shardFromEnvironment(RunnerOptions& options, const char* (*get)(const char*),
                          std::string& error);

// Without --frames and --cycles a run lasts 60 seconds: of emulated cycles, or with
// --realtime of frames (which then follow the wall clock).

// The cycle limit in force.
std::optional<uint64_t> effectiveCycleLimit(const RunnerOptions& options);
// The frame limit in force.
std::optional<uint64_t> effectiveFrameLimit(const RunnerOptions& options);
