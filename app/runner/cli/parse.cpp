#include "app/runner/cli/parse.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "app/runner/cli/command_line.h"
#include "app/runner/io/input_file.h"
#include "app/runner/io/output_file.h"
#include "app/runner/io/text.h"
#include "machine/drive.h"

namespace {

// The address options once the labels are known.
bool resolveAddresses(const CommandLine& later, RunnerOptions& options, std::string& error) {
    std::string problem;
    // Each text of an option read by `parse` into `values`, or the first one's problem.
    auto readEach = [&](const char* name, const std::vector<std::string>& texts, auto parse,
                        auto& values) {
        for (const std::string& text : texts) {
            if (!parse(text, values.emplace_back(), options.map.labels, &problem)) {
                error = std::string(name) + ": " + problem;
                return false;
            }
        }
        return true;
    };
    if (!readEach("--dump", later.dumps, parseMemoryRange, options.dumps) ||
        !readEach("--expect", later.expectations, parseExpectation, options.expectations))
        return false;
    if (later.start == "load") {
        options.startAtLoad = true;
    } else if (!later.start.empty()) {
        uint16_t address = 0;
        if (!parseAddress(later.start, options.map.labels, address, problem)) {
            error = "--start: " + problem;
            return false;
        }
        options.startAt = address;
    }
    return true;
}

// --type and --input, read into the run's input steps; only the C64 has a keyboard matrix
// (and a SID for --sid-log).
bool readInput(const CommandLine& later, RunnerOptions& options, std::string& error) {
    if (later.typed && !parseTypedText(*later.typed, {}, options.input.emplace_back(), error)) {
        error = "--type: " + error;
        return false;
    }
    for (const std::string& path : later.inputFiles) {
        std::string text;
        if (!readTextFile(path, text, error)) {
            error = "--input: " + error;
            return false;
        }
        if (!parseInputScript(text, path, options.input, error)) {
            error = "--input: " + error;
            return false;
        }
    }
    if (!options.sidLogFile.empty() && options.machine.kind != MachineKind::C64) {
        error = "--sid-log needs --machine c64: the minimal machine has no SID";
        return false;
    }
    if (!options.input.empty() && options.machine.kind != MachineKind::C64) {
        error = std::string(later.typed ? "--type" : "--input") +
                " needs --machine c64: the minimal machine has no keyboard matrix";
        return false;
    }
    return true;
}

// An option given to a run it does not apply to (its row's RunKinds) is refused.
bool optionsFitTheRun(const CommandLine& later, const RunnerOptions& options, std::string& error) {
    unsigned run = !options.testFiles.empty()    ? kTests
                   : options.programs.size() > 1 ? kSeveralPrograms
                                                 : kOneProgram;
    for (auto [option, kinds] : later.runs) {
        if (option->count() == 0 || (kinds & run)) continue;
        error = option->get_name();
        error += run == kTests ? " is for running programs; a test file says how its tests run"
                 : run == kSeveralPrograms ? " is for one program; with several, use --junit"
                                           : " is for routine tests: give --test too";
        return false;
    }
    return true;
}

// What makes two output paths one file: the path with its links and its . and .. resolved,
// and for a file that exists, its device and inode (a hard link has a path of its own).
// Devices and FIFOs are left out: several outputs may go to /dev/null.
struct FileIdentity {
    bool shared = false;  // not a file of its own
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity& other) const {
        return path == other.path || (inode != 0 && device == other.device && inode == other.inode);
    }
};

FileIdentity identityOf(const std::string& path) {
    FileIdentity identity;
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) identity.shared = true;
        identity.device = info.st_dev;
        identity.inode = info.st_ino;
    }
    std::error_code ignored;
    identity.path =
        std::filesystem::weakly_canonical(std::filesystem::absolute(path), ignored).string();
    return identity;
}

// Two outputs that name one file would overwrite each other: refused before anything runs.
bool outputsDistinct(const RunnerOptions& options, std::string& error) {
    std::vector<OutputFileOption> outputs = outputFiles(options);
    std::vector<FileIdentity> identities;
    for (const OutputFileOption& output : outputs) identities.push_back(identityOf(output.path));
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (identities[i].shared || !(identities[i] == identities[j])) continue;
            error = std::string(outputs[j].option) + " and " + std::string(outputs[i].option) +
                    " both write " + outputs[j].path;
            return false;
        }
    }
    return true;
}

// A disk image as PROGRAM is drive 8: --autostart needs one, and a drive 8 of the options
// must be that image (mounted as the option says, writable or not).
bool drivesFitThePrograms(const RunnerOptions& options, std::string& error) {
    bool images = false;
    for (const std::string& program : options.programs) {
        if (!isDiskImageFile(program)) continue;
        images = true;
        for (const DriveMount& drive : options.drives) {
            std::error_code ignored;
            if (drive.device != kFirstDriveDevice ||
                std::filesystem::equivalent(drive.path, program, ignored))
                continue;
            error = "drive 8 is " + quotedValue(drive.path) + ", and the disk image PROGRAM " +
                    quotedValue(program) + " would be drive 8 too";
            return false;
        }
    }
    if (!options.autostart.empty() && !images) {
        error = "--autostart picks a file of a disk image: give a disk image (D64, D81) as PROGRAM";
        return false;
    }
    return true;
}

}  // namespace

namespace {

ParseOutcome parseLine(const std::vector<std::string_view>& arguments, RunnerOptions& options,
                       std::string& error) {
    // --help and --version win over the rest of the line, whatever else it holds.
    for (std::string_view argument : arguments) {
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h") return ParseOutcome::Help;
    }
    for (std::string_view argument : arguments) {
        if (argument == "--") break;
        if (argument == "--version") return ParseOutcome::Version;
    }
    CLI::App app;
    CommandLine later;
    describeCommandLine(app, options, later);
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& problem) {
        error = cutValue(problem.what(), kLibraryMessageBytes);
        if (dynamic_cast<const CLI::ExtrasError*>(&problem)) error += " (see --help)";
        // CLI11 names a flag given a value without its dashes.
        constexpr std::string_view kFlagValue = " was given a disallowed flag override";
        if (error.ends_with(kFlagValue))
            error = "--" + error.substr(0, error.size() - kFlagValue.size()) + " takes no value";
        std::replace(error.begin(), error.end(), '\n', ' ');
        return ParseOutcome::Error;
    }
    for (const std::string& path : options.labelFiles) {
        if (!readLabelFile(path, options.map.labels, error)) return ParseOutcome::Error;
    }
    for (const std::string& path : options.debugInfoFiles) {
        if (!readDebugInfoFile(path, options.map, error)) return ParseOutcome::Error;
    }
    if (!options.listingFiles.empty() && options.coverageFile.empty() &&
        options.profileFile.empty()) {
        error = "--listing places the counts of --coverage or --profile: give one of them too";
        return ParseOutcome::Error;
    }
    if (!resolveAddresses(later, options, error)) return ParseOutcome::Error;
    if (!readInput(later, options, error)) return ParseOutcome::Error;
    // Several programs run in processes of their own: their per-program outputs would land
    // in one file, so a batch reports through its lines and --junit only.
    if (!optionsFitTheRun(later, options, error)) return ParseOutcome::Error;
    for (const std::string& program : options.programs) {
        if (program == kStandardOutput || program.empty()) {
            error = "PROGRAM " + quotedValue(program) + " is not a file name";
            return ParseOutcome::Error;
        }
    }
    if (!outputsDistinct(options, error)) return ParseOutcome::Error;
    if (!drivesFitThePrograms(options, error)) return ParseOutcome::Error;
    return ParseOutcome::Run;
}

}  // namespace

ParseOutcome parseOptions(const std::vector<std::string_view>& arguments, RunnerOptions& options,
                          std::string& error) {
    ParseOutcome outcome = parseLine(arguments, options, error);
    // A message quotes values as given: their line ends and control bytes become escapes,
    // so that it stays one line wherever it is shown.
    if (outcome == ParseOutcome::Error) error = terminalText(error);
    return outcome;
}
