#include "app/runner/batch/sharding.h"

#include <algorithm>
#include <cstdlib>

#include "app/runner/io/output_file.h"
#include "app/runner/io/text.h"

bool parseShard(std::string_view text, Shard& shard) {
    std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) return false;
    uint64_t index = 0;
    uint64_t count = 0;
    if (!parseNumber(text.substr(0, slash), kMaxShards, index)) return false;
    if (!parseNumber(text.substr(slash + 1), kMaxShards, count)) return false;
    if (index < 1 || index > count) return false;
    shard = {index, count, true};
    return true;
}

const char* environmentVariable(const char* name) { return std::getenv(name); }

std::string shardText(const Shard& shard) {
    return shard.given ? std::to_string(shard.index) + "/" + std::to_string(shard.count) : "";
}

bool shardFromEnvironment(Shard& shard, std::string& error, const char* (*get)(const char*)) {
    const char* total = get(kTotalShardsVariable);
    if (shard.given || !total) return true;
    const char* index = get(kShardIndexVariable);
    uint64_t count = 0;
    uint64_t from0 = 0;
    if (!parseNumber(total, kMaxShards, count) || count < 1 || !index ||
        !parseNumber(index, kMaxShards, from0) || from0 >= count) {
        error = std::string(kTotalShardsVariable) + "=" + quotedValue(total) + " and " +
                kShardIndexVariable + "=" + quotedValue(index ? index : "") +
                " are not a shard (an index from 0 below the number of shards)";
        return false;
    }
    shard = {from0 + 1, count, true};
    if (const char* status = get(kShardStatusFileVariable); status && *status) {
        std::string why;
        if (!touchFile(status, why)) {
            error =
                std::string("cannot touch ") + kShardStatusFileVariable + " " + status + ": " + why;
            return false;
        }
    }
    return true;
}

std::vector<bool> shardTakes(std::size_t count, const EntryOrder& before, const Shard& shard) {
    std::vector<std::size_t> ordered(count);
    for (std::size_t i = 0; i < count; ++i) ordered[i] = i;
    std::stable_sort(ordered.begin(), ordered.end(), before);
    std::vector<bool> taken(count, false);
    for (std::size_t place = shard.index - 1; place < count; place += shard.count)
        taken[ordered[place]] = true;
    return taken;
}

std::vector<std::string> shareOf(const std::vector<std::string>& programs, const Shard& shard) {
    std::vector<bool> taken = shardTakes(
        programs.size(), [&](std::size_t a, std::size_t b) { return programs[a] < programs[b]; },
        shard);
    std::vector<std::string> share;
    for (std::size_t i = 0; i < programs.size(); ++i) {
        if (taken[i]) share.push_back(programs[i]);
    }
    return share;
}
