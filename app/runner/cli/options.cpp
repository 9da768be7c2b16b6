#include "app/runner/cli/options.h"

#include <algorithm>

#include "app/runner/io/input_file.h"
#include "app/runner/io/output_file.h"
#include "app/runner/io/text.h"
#include "machine/drive.h"

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

std::string readDriveMount(const std::string& text, bool writable,
                           const std::vector<DriveMount>& earlier, DriveMount& mount,
                           const std::string& base) {
    mount = {kFirstDriveDevice, text, writable};
    std::size_t equals = text.find('=');
    bool numbered =
        equals != std::string::npos && equals > 0 && text.find_first_not_of("0123456789") >= equals;
    if (numbered) {
        std::string device = text.substr(0, equals);
        uint64_t number = 0;
        if (!parseNumber(device, UINT64_MAX, number) || number < kFirstDriveDevice ||
            number > kLastDriveDevice)
            return quotedValue(device) + " is out of range (" + std::to_string(kFirstDriveDevice) +
                   " to " + std::to_string(kLastDriveDevice) + ")";
        mount.device = static_cast<uint8_t>(number);
        mount.path = text.substr(equals + 1);
    }
    if (mount.path.empty()) return "needs a folder or a disk image";
    for (const DriveMount& other : earlier) {
        if (other.device == mount.device)
            return "device " + std::to_string(mount.device) + " is given twice";
    }
    std::string given = mount.path;
    if (!base.empty()) mount.path = relativeTo(base, mount.path);
    Drive probe;
    std::string problem = mountDrive(probe, mount.path, writable);
    return problem.empty() ? problem : quotedValue(given) + ": " + problem;
}
