#include "app/runner/cli/options.h"

#include <algorithm>

#include "app/runner/io/output_file.h"

std::vector<OutputFileOption> outputOptions(const RunnerOptions& options) {
    bool disassembly = !options.coverageFile.empty() && options.listingFiles.empty();
    std::vector<OutputFileOption> outputs;
    for (auto [option, path] :
         {std::pair{"--screen-text", options.screenTextFile},
          std::pair{"--screenshot", options.screenshotFile},
          std::pair{"--summary", options.summaryFile}, std::pair{"--junit", options.junitFile},
          std::pair{"--coverage", options.coverageFile},
          std::pair{"--coverage", disassembly ? options.coverageFile + ".s" : std::string()},
          std::pair{"--profile", options.profileFile},
          std::pair{"--sid-log", options.sidLogFile}}) {
        if (!path.empty()) outputs.push_back({option, path});
    }
    return outputs;
}

std::vector<OutputFileOption> outputFiles(const RunnerOptions& options) {
    std::vector<OutputFileOption> outputs = outputOptions(options);
    std::erase_if(outputs,
                  [](const OutputFileOption& output) { return output.path == kStandardOutput; });
    return outputs;
}

bool claimsStandardOutput(const RunnerOptions& options) {
    std::vector<OutputFileOption> outputs = outputOptions(options);
    return !options.dumps.empty() ||
           std::any_of(outputs.begin(), outputs.end(), [](const OutputFileOption& output) {
               return output.path == kStandardOutput;
           });
}

std::optional<uint64_t> effectiveCycleLimit(const RunnerOptions& options) {
    if (options.cycleLimit) return options.cycleLimit;
    if (options.frameLimit || options.realtime) return std::nullopt;
    return kDefaultCycleLimit;
}

std::optional<uint64_t> effectiveFrameLimit(const RunnerOptions& options) {
    if (options.frameLimit) return options.frameLimit;
    if (options.cycleLimit || !options.realtime) return std::nullopt;
    return kDefaultRealtimeFrameLimit;
}
