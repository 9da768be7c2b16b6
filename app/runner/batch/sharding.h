// Sharding: this job's share of a batch, when CI splits it across N jobs (--shard K/N or a
// test runner's environment), the Kth of every N entries in the order of their names, so
// that the N jobs cover the batch with no overlap and no gap.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr uint64_t kMaxShards = 1'000'000;

// This job's share of the programs (--shard K/N): the Kth of every N, counted from 1.
struct Shard {
    uint64_t index = 1;
    uint64_t count = 1;
    bool given = false;  // from --shard or the test runner's environment
};

// Reads K/N, 1 <= K <= N <= kMaxShards.
bool parseShard(std::string_view text, Shard& shard);
// "K/N" of a shard that was given, else "".
std::string shardText(const Shard& shard);

// The names of the environment that a test runner such as Bazel sets for sharding: the
// number of shards, this shard's index from 0, and a file to touch to say that the
// program shards.
inline constexpr const char* kTotalShardsVariable = "TEST_TOTAL_SHARDS";
inline constexpr const char* kShardIndexVariable = "TEST_SHARD_INDEX";
inline constexpr const char* kShardStatusFileVariable = "TEST_SHARD_STATUS_FILE";
// The process's environment variable `name`, null when it is not set.
const char* environmentVariable(const char* name);
// Without --shard (shard.given), takes the shard from those variables (`get` reads one,
// null when it is not set) and touches the status file. False, with a message, when they make no
// sense or the file cannot be touched.
bool shardFromEnvironment(Shard& shard, std::string& error,
                          const char* (*get)(const char*) = environmentVariable);

// Which of `count` entries this shard takes: with the entries in the order `before` gives
// (a stable sort, so equal entries keep their place), the Kth of every N.
using EntryOrder = std::function<bool(std::size_t, std::size_t)>;
std::vector<bool> shardTakes(std::size_t count, const EntryOrder& before, const Shard& shard);

// This shard's share of `programs`, in the order given: with the programs sorted by name
// byte by byte (equal names by their place), the Kth of every N.
std::vector<std::string> shareOf(const std::vector<std::string>& programs, const Shard& shard);
