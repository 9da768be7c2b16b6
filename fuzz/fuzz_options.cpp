// The runner's command line: any arguments (the input split at NUL bytes), and the same
// bytes as the sharding variables of a test runner's environment. Either the line is
// refused with a one-line message, or what it set holds together.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/batch/sharding.h"
#include "app/runner/cli/options.h"
#include "app/runner/cli/parse.h"
#include "fuzz_machine.h"

namespace {
std::vector<std::string> variables;
const char* variable(const char* name) {
    std::size_t at = std::string_view(name) == kTotalShardsVariable  ? 0
                     : std::string_view(name) == kShardIndexVariable ? 1
                                                                     : 2;
    return at < variables.size() ? variables[at].c_str() : nullptr;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> pieces;
    for (std::size_t start = 0;;) {
        std::size_t end = text.find('\0', start);
        pieces.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::vector<std::string_view> arguments(pieces.begin(), pieces.end());
    RunnerOptions options;
    std::string error;
    ParseOutcome outcome = parseOptions(arguments, options, error);
    require((outcome == ParseOutcome::Error) == !error.empty());
    require(error.find('\n') == std::string::npos);
    if (outcome != ParseOutcome::Run) return 0;
    require(effectiveCycleLimit(options) || effectiveFrameLimit(options));
    for (const std::string& program : options.programs) require(!program.empty());
    for (const MemoryRange& range : options.dumps)
        require(range.length >= 1 && range.address + range.length <= kRamSize);

    variables.assign(pieces.begin(), pieces.begin() + std::min<std::size_t>(pieces.size(), 2));
    if (!shardFromEnvironment(options.shard, error, variable)) return 0;
    require(options.shard.index >= 1 && options.shard.index <= options.shard.count);
    // Shares of every shard of a small count together hold each program once.
    if (options.shard.count > 8) return 0;
    std::vector<std::string> all;
    for (uint64_t k = 1; k <= options.shard.count; ++k) {
        std::vector<std::string> share = shareOf(options.programs, {k, options.shard.count, true});
        all.insert(all.end(), share.begin(), share.end());
    }
    std::vector<std::string> given = options.programs;
    std::sort(all.begin(), all.end());
    std::sort(given.begin(), given.end());
    require(all == given);
    return 0;
}
