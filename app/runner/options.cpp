#include "app/runner/options.h"

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "app/runner/outputs.h"
#include "app/runner/run.h"
#include "cpu/undocumented.h"

// The command line is described once, in describeCommandLine: CLI11 reads the arguments
// with it, and the help lists its options, their values and their defaults from it.
// CLI11 reads --opt value and --opt=value, short options with their value attached (-j4),
// repeated options and '--'; the values themselves are read here, so that numbers take
// $hex and 0xhex and every complaint names its option in one line.

namespace {

std::string withThousands(uint64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

bool readHexDigits(std::string_view digits, uint64_t& value) {
    if (digits.empty()) return false;
    auto [end, problem] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    return problem == std::errc{} && end == digits.data() + digits.size();
}

// Reads a number option's value within [min, max], or throws what is wrong with it.
uint64_t readNumber(const std::string& name, std::string_view text, uint64_t min, uint64_t max) {
    uint64_t value = 0;
    bool parsed = parseNumber(text, UINT64_MAX, value);
    if (!parsed) {
        // Digits alone that do not fit are a number out of range, not a malformed one.
        bool hex = text.starts_with('$') || text.starts_with("0x") || text.starts_with("0X");
        std::string_view digits = text.substr(hex ? (text[0] == '$' ? 1 : 2) : 0);
        const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
        if (digits.empty() || digits.find_first_not_of(allowed) != std::string_view::npos)
            throw CLI::ValidationError(
                name, quotedValue(text) + " is not a number (decimal, $hex or 0xhex)");
    }
    if (!parsed || value < min || value > max)
        throw CLI::ValidationError(name, quotedValue(text) + " is out of range (" +
                                             std::to_string(min) + " to " + std::to_string(max) +
                                             ")");
    return value;
}

std::string notEmpty(const std::string& name, const std::string& value, const char* what) {
    if (value.empty()) throw CLI::ValidationError(name, std::string("needs ") + what);
    return value;
}

// An option with one value, read by `take`.
CLI::Option* valueOption(CLI::App& app, const std::string& name, const char* value,
                         std::string help, std::function<void(const std::string&)> take) {
    return app.add_option_function<std::string>(name, std::move(take), std::move(help))
        ->type_name(value);
}

// An option that may be given again and again, each value read by `take` in turn.
CLI::Option* repeatedOption(CLI::App& app, const std::string& name, const char* value,
                            std::string help, std::function<void(const std::string&)> take) {
    auto takeEach = [take = std::move(take)](const std::vector<std::string>& values) {
        for (const std::string& one : values) take(one);
    };
    return app.add_option_function<std::vector<std::string>>(name, takeEach, std::move(help))
        ->type_name(value)
        ->type_size(1)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// A number option with its range.
CLI::Option* numberOption(CLI::App& app, const std::string& name, std::string help, uint64_t min,
                          uint64_t max, std::function<void(uint64_t)> store) {
    std::string longName = name.substr(name.rfind(',') + 1);  // "-j,--jobs": --jobs
    return valueOption(app, name, "N", std::move(help),
                       [longName, min, max, store = std::move(store)](const std::string& text) {
                           store(readNumber(longName, text, min, max));
                       });
}

CLI::Option* flagOption(CLI::App& app, const std::string& name, bool& flag, std::string help) {
    return app.add_flag(name, flag, std::move(help))->disable_flag_override();
}

// The names of a choice's rows: "plain or 6510", "minimal or c64".
template <class Value, std::size_t N>
std::string choiceNames(const NamedChoice<Value> (&rows)[N]) {
    std::string names;
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0) names += i + 1 == N ? " or " : ", ";
        names += rows[i].name;
    }
    return names;
}

// What an option that takes one of `rows` says of each.
template <class Value, std::size_t N>
std::string choiceHelp(std::string help, const NamedChoice<Value> (&rows)[N]) {
    for (const NamedChoice<Value>& row : rows)
        help += " " + std::string(row.name) + ", " + std::string(row.description) + ";";
    help.pop_back();
    return help;
}

// An option whose value names one of `rows` (`what` says what they are), read into
// `target`, whose value before the command line is the default the help shows.
template <class Value, std::size_t N>
CLI::Option* choiceOption(CLI::App& app, const std::string& name, const char* value,
                          std::string help, const char* what, const NamedChoice<Value> (&rows)[N],
                          Value& target) {
    return valueOption(app, name, value, choiceHelp(std::move(help), rows),
                       [name, what, &rows, &target](const std::string& v) {
                           std::optional<Value> chosen = choiceNamed(rows, v);
                           if (!chosen)
                               throw CLI::ValidationError(name, quotedValue(v) + " is not " + what +
                                                                    " (" + choiceNames(rows) + ")");
                           target = *chosen;
                       })
        ->default_str(std::string(choiceName(rows, target)));
}

// What --cpu says of the models besides their rows: the constant the unstable opcodes take.
std::string unstableConstantHelp() {
    char constant[8];
    std::snprintf(constant, sizeof constant, "$%02X", unsigned{kUnstableMagic});
    return std::string("; in the 6510 model ANE and LXA take ") + constant + " as their constant";
}

// The options that take an address, kept as given until the label files are read.
struct AddressTexts {
    std::vector<std::string> dumps;
    std::vector<std::string> expectations;
    std::string start;
};

// Every option of the command line, reading into `options` and `later`.
void describeCommandLine(CLI::App& app, RunnerOptions& options, AddressTexts& later) {
    app.set_help_flag();  // --help and --version are ours, below
    valueOption(app, "--dir", "DIR",
                "read kernal.rom, basic.rom, chargen.rom (and tests/start when no PROGRAM is "
                "given) from DIR",
                [&](const std::string& v) { options.romDir = notEmpty("--dir", v, "a folder"); })
        ->default_str("the open firmware built into this program");
    numberOption(app, "--frames",
                 "stop after N frames (one per " + std::to_string(kFrameIntervalMs) +
                     " ms of emulated time)",
                 1, kMaxFrameLimit, [&](uint64_t n) { options.frameLimit = n; });
    numberOption(app, "--cycles", "stop once N cycles have run", 1, kMaxCycleLimit,
                 [&](uint64_t n) { options.cycleLimit = n; })
        ->default_str(
            "with neither --frames nor --cycles: " + std::to_string(kDefaultLimitSeconds) +
            " emulated seconds (" + std::to_string(kDefaultCycleLimit) + " cycles), or " +
            std::to_string(kDefaultRealtimeFrameLimit) + " frames with --realtime");
    repeatedOption(app, "--until-text", "TEXT",
                   "pass when TEXT shows on the screen, looked for after each frame (repeatable)",
                   [&](const std::string& v) {
                       options.untilTexts.push_back(notEmpty("--until-text", v, "a text"));
                   });
    repeatedOption(app, "--fail-text", "TEXT", "fail when TEXT shows on the screen (repeatable)",
                   [&](const std::string& v) {
                       options.failTexts.push_back(notEmpty("--fail-text", v, "a text"));
                   });
    flagOption(app, "--debug-exit", options.debugExit,
               "a write to " + hexWord(kDebugExitRegister) +
                   " ends the run: the byte written is the exit status (0 passes)");
    flagOption(app, "--until-input", options.untilInput,
               "pass when the program is back in the firmware's input loop (" +
                   hexWord(kTestHookFirst) + "-" + hexWord(kTestHookLast) + ")");
    flagOption(app, "--realtime", options.realtime, "frames follow the wall clock")
        ->default_str("emulated time, " + std::to_string(kCyclesPerSecond) +
                      " cycles a second, the same every run");
    char seed[32];
    std::snprintf(seed, sizeof seed, "0x%016llX", static_cast<unsigned long long>(options.seed));
    numberOption(app, "--seed", "seed of the keyboard stub's random bits", 0, UINT64_MAX,
                 [&](uint64_t n) { options.seed = n; })
        ->default_str(seed);
    valueOption(app, "--screen-text", "FILE|-", "write the final screen as 25 lines of text",
                [&](const std::string& v) {
                    options.screenTextFile = notEmpty("--screen-text", v, "a file name");
                });
    valueOption(app, "--screenshot", "FILE.png", "write the final frame (640 x 480) as a PNG",
                [&](const std::string& v) {
                    if (v == kStandardOutput)
                        throw CLI::ValidationError("--screenshot",
                                                   "needs a file name, not standard output");
                    options.screenshotFile = notEmpty("--screenshot", v, "a file name");
                });
    valueOption(app, "--summary", "FILE|-",
                "write a JSON summary: stop reason, counts, registers, flags, hash of RAM and "
                "registers",
                [&](const std::string& v) {
                    options.summaryFile = notEmpty("--summary", v, "a file name");
                });
    valueOption(app, "--coverage", "FILE.info",
                "count what every run (or test) runs, and write it as an lcov tracefile on "
                "the lines of the --listing files, or of a disassembly of what ran outside the ROM "
                "areas, written to FILE.info.s",
                [&](const std::string& v) {
                    options.coverageFile = notEmpty("--coverage", v, "a file name");
                });
    valueOption(app, "--profile", "FILE",
                "count what every run (or test) runs, and write it as a callgrind profile of "
                "instructions and cycles per routine, with every JSR's calls (callgrind_annotate "
                "and KCachegrind read it)",
                [&](const std::string& v) {
                    options.profileFile = notEmpty("--profile", v, "a file name");
                });
    repeatedOption(app, "--listing", "FILE",
                   "a 64tass listing (--list=FILE --line-numbers) that places the counts of "
                   "--coverage and --profile on source lines (repeatable)",
                   [&](const std::string& v) {
                       options.listingFiles.push_back(notEmpty("--listing", v, "a file name"));
                   });
    numberOption(app, "--trace",
                 "print the last N instructions when the run fails or reaches a limit", 1,
                 kMaxTraceLength, [&](uint64_t n) { options.traceLength = n; });
    repeatedOption(app, "--dump", "ADDR:LEN",
                   "print LEN bytes of RAM from ADDR at the end, in hex (repeatable)",
                   [&](const std::string& v) { later.dumps.push_back(v); });
    repeatedOption(app, "--expect", "ADDR=BYTE",
                   "fail unless RAM at ADDR holds BYTE at the end (repeatable)",
                   [&](const std::string& v) { later.expectations.push_back(v); });
    valueOption(app, "--start", "ADDR|load",
                "start the program at ADDR, or with 'load' at its load address",
                [&](const std::string& v) { later.start = notEmpty("--start", v, "an address"); })
        ->default_str(
            "a BASIC upstart (a program at $0801 whose first line is SYS N) at N, "
            "any other program at its load address");
    repeatedOption(app, "--labels", "FILE",
                   "read labels (al C:0837 .name, or name = $0837) for any ADDR and for "
                   "traces and summaries (repeatable)",
                   [&](const std::string& v) {
                       options.labelFiles.push_back(notEmpty("--labels", v, "a file name"));
                   });
    repeatedOption(app, "--test", "FILE.toml|DIR",
                   "run the routine tests of a test file, or of every *.toml in DIR "
                   "(repeatable)",
                   [&](const std::string& v) {
                       options.testFiles.push_back(notEmpty("--test", v, "a file or folder"));
                   });
    valueOption(
        app, "--filter", "PATTERN",
        "with --test: only the tests whose names match PATTERN (* and ? as in the "
        "shell)",
        [&](const std::string& v) { options.filter = notEmpty("--filter", v, "a pattern"); });
    valueOption(
        app, "--junit", "FILE", "write a JUnit XML report, one testcase per program",
        [&](const std::string& v) { options.junitFile = notEmpty("--junit", v, "a file name"); });
    choiceOption(app, "--machine", "MACHINE", "the machine:", "a machine", kMachineKinds,
                 options.machine.kind);
    choiceOption(app, "--cpu", "MODEL", "the processor model:", "a processor model", kCpuModels,
                 options.machine.cpu)
        ->description(choiceHelp("the processor model:", kCpuModels) + unstableConstantHelp());
    choiceOption(app, "--cia", "MODEL", "with --machine c64, the CIAs' generation:", "a CIA model",
                 kCiaModels, options.machine.cia);
    numberOption(app, "-j,--jobs", "programs run at once", 1, kMaxJobs, [&](uint64_t n) {
        options.jobs = n;
    })->default_str("one per processor");
    valueOption(app, "--shard", "K/N",
                "run the Kth of every N PROGRAMs (1 <= K <= N), taken in the order of their "
                "names, byte by byte, or with --test the Kth of every N tests, in the order "
                "of their files' names and then of their place, so that N jobs share a batch "
                "with no overlap and no gap",
                [&](const std::string& v) {
                    if (!parseShard(v, options.shard))
                        throw CLI::ValidationError(
                            "--shard", quotedValue(v) + " is not K/N with 1 <= K <= N <= " +
                                           std::to_string(kMaxShards));
                })
        ->default_str(std::string("from ") + kTotalShardsVariable + " and " + kShardIndexVariable +
                      " when they are set, else all");
    static bool ignored;  // --help and --version are found before CLI11 reads the line
    app.add_flag("-h,--help", ignored, "show this help and exit");
    app.add_flag("--version", ignored, "show the version and exit");
    app.add_option("PROGRAM", options.programs, "program files to run")->type_name("PROGRAM");
}

// Wraps `text` into lines of at most `width` characters.
std::vector<std::string> wrapped(const std::string& text, std::size_t width) {
    std::vector<std::string> lines(1);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(start, end - start);
        if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width)
            lines.emplace_back();
        if (!lines.back().empty()) lines.back() += ' ';
        lines.back() += word;
        start = end + 1;
    }
    return lines;
}

// The address options once the labels are known.
bool resolveAddresses(const AddressTexts& later, RunnerOptions& options, std::string& error) {
    std::string problem;
    for (const std::string& text : later.dumps) {
        MemoryRange range{};
        if (!parseMemoryRange(text, range, options.labels, &problem)) {
            error = "--dump: " + problem;
            return false;
        }
        options.dumps.push_back(range);
    }
    for (const std::string& text : later.expectations) {
        MemoryExpectation expectation{};
        if (!parseExpectation(text, expectation, options.labels, &problem)) {
            error = "--expect: " + problem;
            return false;
        }
        options.expectations.push_back(expectation);
    }
    if (later.start == "load") {
        options.startAtLoad = true;
    } else if (!later.start.empty()) {
        uint16_t address = 0;
        if (!parseAddress(later.start, options.labels, address, problem)) {
            error = "--start: " + problem;
            return false;
        }
        options.startAt = address;
    }
    return true;
}

// With --test the options that shape one program's run do not apply: each test says
// how it runs, and the results are the tests' lines, --summary and --junit.
bool testFileOptionsFit(const RunnerOptions& options, std::string& error) {
    for (auto [given, name] :
         {std::pair{!options.programs.empty(), "PROGRAM"},
          std::pair{options.frameLimit.has_value(), "--frames"},
          std::pair{options.cycleLimit.has_value(), "--cycles"},
          std::pair{!options.untilTexts.empty(), "--until-text"},
          std::pair{!options.failTexts.empty(), "--fail-text"},
          std::pair{options.debugExit, "--debug-exit"},
          std::pair{options.untilInput, "--until-input"}, std::pair{options.realtime, "--realtime"},
          std::pair{!options.screenTextFile.empty(), "--screen-text"},
          std::pair{!options.screenshotFile.empty(), "--screenshot"},
          std::pair{!options.dumps.empty(), "--dump"},
          std::pair{!options.expectations.empty(), "--expect"},
          std::pair{options.startAt || options.startAtLoad, "--start"}}) {
        if (given) {
            error =
                std::string(name) + " is for running programs; a test file says how its tests run";
            return false;
        }
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

}  // namespace

std::vector<OutputFileOption> outputFiles(const RunnerOptions& options) {
    bool disassembly = !options.coverageFile.empty() && options.listingFiles.empty();
    std::vector<OutputFileOption> outputs;
    for (auto [option, path] :
         {std::pair{"--screen-text", options.screenTextFile},
          std::pair{"--screenshot", options.screenshotFile},
          std::pair{"--summary", options.summaryFile}, std::pair{"--junit", options.junitFile},
          std::pair{"--coverage", options.coverageFile},
          std::pair{"--coverage", disassembly ? options.coverageFile + ".s" : std::string()},
          std::pair{"--profile", options.profileFile}}) {
        if (!path.empty() && path != kStandardOutput) outputs.push_back({option, path});
    }
    return outputs;
}

bool parseNumber(std::string_view text, uint64_t max, uint64_t& value) {
    uint64_t parsed = 0;
    bool ok = false;
    if (text.starts_with('$')) {
        ok = readHexDigits(text.substr(1), parsed);
    } else if (text.starts_with("0x") || text.starts_with("0X")) {
        ok = readHexDigits(text.substr(2), parsed);
    } else if (!text.empty()) {
        auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), parsed, 10);
        ok = problem == std::errc{} && end == text.data() + text.size();
    }
    // from_chars takes no sign for unsigned numbers, but hex digits after the prefix could
    // still hold one ("$-1"): it fails there too, so a parsed value is always unsigned.
    if (!ok || parsed > max) return false;
    value = parsed;
    return true;
}

bool parseMemoryRange(std::string_view text, MemoryRange& range, const LabelTable& labels,
                      std::string* problem) {
    std::string why = quotedValue(text) + " is not ADDR:LEN within $0000-$FFFF";
    std::size_t colon = text.find(':');
    uint16_t address = 0;
    uint64_t length = 0;
    bool ok = colon != std::string_view::npos &&
              parseAddress(text.substr(0, colon), labels, address, why) &&
              parseNumber(text.substr(colon + 1), 0x10000, length) && length != 0 &&
              address + length <= 0x10000;
    if (!ok) {
        if (problem) *problem = why;
        return false;
    }
    range = {address, static_cast<uint32_t>(length)};
    return true;
}

bool parseExpectation(std::string_view text, MemoryExpectation& expectation,
                      const LabelTable& labels, std::string* problem) {
    std::string why = quotedValue(text) + " is not ADDR=BYTE (address to $FFFF, byte to $FF)";
    std::size_t equals = text.find('=');
    uint16_t address = 0;
    uint64_t value = 0;
    bool ok = equals != std::string_view::npos &&
              parseAddress(text.substr(0, equals), labels, address, why) &&
              parseNumber(text.substr(equals + 1), 0xFF, value);
    if (!ok) {
        if (problem) *problem = why;
        return false;
    }
    expectation = {address, static_cast<uint8_t>(value)};
    return true;
}

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

bool shardFromEnvironment(RunnerOptions& options, const char* (*get)(const char*),
                          std::string& error) {
    const char* total = get(kTotalShardsVariable);
    if (options.shard.given || !total) return true;
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
    options.shard = {from0 + 1, count, true};
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

ParseOutcome parseOptions(const std::vector<std::string_view>& arguments, RunnerOptions& options,
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
    AddressTexts later;
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
        if (!readLabelFile(path, options.labels, error)) return ParseOutcome::Error;
    }
    if (!options.listingFiles.empty() && options.coverageFile.empty() &&
        options.profileFile.empty()) {
        error = "--listing places the counts of --coverage or --profile: give one of them too";
        return ParseOutcome::Error;
    }
    if (!resolveAddresses(later, options, error)) return ParseOutcome::Error;
    if (!options.testFiles.empty() && !testFileOptionsFit(options, error))
        return ParseOutcome::Error;
    if (options.programs.size() > 1) {
        // Several programs run in processes of their own; their per-program outputs would
        // land in one file, so a batch reports through its lines and --junit only.
        for (auto [given, name] : {std::pair{!options.screenTextFile.empty(), "--screen-text"},
                                   std::pair{!options.screenshotFile.empty(), "--screenshot"},
                                   std::pair{!options.summaryFile.empty(), "--summary"},
                                   std::pair{!options.dumps.empty(), "--dump"}}) {
            if (given) {
                error = std::string(name) + " is for one program; with several, use --junit";
                return ParseOutcome::Error;
            }
        }
    }
    for (const std::string& program : options.programs) {
        if (program == kStandardOutput || program.empty()) {
            error = "PROGRAM " + quotedValue(program) + " is not a file name";
            return ParseOutcome::Error;
        }
    }
    if (!outputsDistinct(options, error)) return ParseOutcome::Error;
    return ParseOutcome::Run;
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

std::string helpText() {
    constexpr std::size_t kNamesWidth = 26;
    constexpr std::size_t kHelpWidth = 52;
    RunnerOptions defaults;
    AddressTexts unused;
    CLI::App app;
    describeCommandLine(app, defaults, unused);
    std::string text =
        "usage: breadbin-run [options] [PROGRAM...]\n"
        "       breadbin-run --test FILE.toml|DIR... [--labels FILE] [--filter PATTERN]\n"
        "\n"
        "Runs 6502 test programs on the breadbin Commodore 64 without a display. Each\n"
        "PROGRAM (two-byte load address, then data) is loaded when the firmware first\n"
        "waits for input and runs from its load address; a BASIC upstart (loaded at\n"
        "$0801, its first line SYS N) runs from N. Several PROGRAMs run in parallel, one\n"
        "process each, with one result line per program in the order given. Without\n"
        "PROGRAM the firmware runs alone.\n"
        "With --test, runs the routine tests of test files instead (see the README's\n"
        "\"Testing routines\"): one line per test on standard output.\n"
        "\n"
        "options:\n";
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_positional()) continue;
        std::string names;
        for (const std::string& name : option->get_snames()) names += "-" + name + ", ";
        if (names.empty()) names = "    ";
        names += "--" + option->get_lnames().front();
        if (option->get_type_size() != 0) names += " " + option->get_type_name();
        std::string help = option->get_description();
        if (!option->get_default_str().empty()) help += "; default: " + option->get_default_str();
        std::vector<std::string> lines = wrapped(help, kHelpWidth);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::string left = i == 0 ? names : "";
            if (left.size() >= kNamesWidth - 1 && i == 0) {
                text += "  " + left + "\n";
                left.clear();
            }
            left.resize(kNamesWidth - 1, ' ');
            text += "  " + left + " " + lines[i] + "\n";
        }
    }
    std::string debugRegister = hexWord(kDebugExitRegister);
    std::string romSizes;
    for (const RomImage& rom : kRomImages) {
        if (!romSizes.empty()) romSizes += &rom == &kRomImages[2] ? " and " : ", ";
        romSizes += std::to_string(rom.size);
    }
    text +=
        "\n"
        "Numbers: $C000 or 0xC000 in hex, decimal otherwise; with --labels an ADDR may\n"
        "also be a label or label+N. Options take their value as the next argument,\n"
        "after '=' (--frames=50) or, for -j, attached (-j4); '--' ends the options.\n"
        "\n"
        "A run ends at the first of: a write to " +
        debugRegister +
        " (--debug-exit), a TEXT on the\n"
        "screen, the return to the input loop (--until-input), a limit. --expect is\n"
        "checked at the end. Reaching a limit gives status 2, except when --expect is\n"
        "the only verdict asked for: then the limit is the run's length and the\n"
        "expectations decide. The result line goes to standard error for one program,\n"
        "to standard output for several.\n"
        "Frames come every " +
        std::to_string(kFrameIntervalMs) + " ms, of emulated time (" +
        withThousands(kCyclesPerSecond) +
        " cycles a second) unless\n"
        "--realtime; same inputs and options then give byte-identical outputs.\n"
        "\n"
        "exit status:\n"
        "  0  pass        1  fail        2  a limit reached before any verdict\n"
        "  3  bad usage, an input that cannot be read (only regular files are, and ROM\n"
        "     images under --dir must be exactly " +
        romSizes +
        " bytes), an output\n"
        "     that cannot be written or lost standard output (one line on standard error\n"
        "     names it); outputs are written whole or not at all\n"
        "  with --debug-exit: the byte the program wrote to " +
        debugRegister +
        "\n"
        "  several programs: 0 when all pass, else the largest status of any program;\n"
        "  SIGINT or SIGTERM ends them at once, with a line for each and the JUnit report,\n"
        "  and the batch then ends by that signal\n"
        "  --test: 0 when every test passes, 1 when one fails or ends in an error, 3 when\n"
        "  a test file cannot be read or is wrong or --filter matches no test; SIGINT or\n"
        "  SIGTERM ends the tests as a batch, with a line for each test\n";
    return text;
}
