#include "app/runner/cli/command_line.h"

#include <cstdio>
#include <functional>

#include "app/runner/cli/input_script.h"
#include "app/runner/io/output_file.h"
#include "app/runner/io/text.h"
#include "cpu/undocumented.h"
#include "machine/c64.h"
#include "machine/drive.h"

// The command line is described once, in describeCommandLine: CLI11 reads the arguments
// with it, and the help lists its options, their values and their defaults from it.
// CLI11 reads --opt value and --opt=value, short options with their value attached (-j4),
// repeated options and '--'; the values themselves are read here, so that numbers take
// $hex and 0xhex and every complaint names its option in one line.

namespace {

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

// Marks `option` as one for the runs `kinds` alone.
CLI::Option* onlyFor(CommandLine& later, CLI::Option* option, unsigned kinds) {
    later.runs.emplace_back(option, kinds);
    return option;
}

// The options that say how a program runs and when its run ends.
void describeRunOptions(CLI::App& app, RunnerOptions& options, CommandLine& later) {
    onlyFor(later,
            valueOption(
                app, "--dir", "DIR",
                "read kernal.rom, basic.rom, chargen.rom (and tests/start when no PROGRAM is "
                "given) from DIR",
                [&](const std::string& v) { options.romDir = notEmpty("--dir", v, "a folder"); })
                ->default_str("the open firmware built into this program"),
            kPrograms);
    onlyFor(later,
            numberOption(app, "--frames",
                         "stop after N frames (one per " + std::to_string(kFrameIntervalMs) +
                             " ms of emulated time; on the C64 the VIC's, one per " +
                             std::to_string(rasterGeometry(VideoStandard::Pal).frameCycles()) +
                             " cycles on PAL, " +
                             std::to_string(rasterGeometry(VideoStandard::Ntsc).frameCycles()) +
                             " on NTSC)",
                         1, kMaxFrameLimit, [&](uint64_t n) { options.frameLimit = n; }),
            kPrograms);
    onlyFor(later,
            numberOption(app, "--cycles", "stop once N cycles have run", 1, kMaxCycleLimit,
                         [&](uint64_t n) { options.cycleLimit = n; })
                ->default_str(
                    "with neither --frames nor --cycles: " + std::to_string(kDefaultLimitSeconds) +
                    " emulated seconds (" + std::to_string(kDefaultCycleLimit) + " cycles), or " +
                    std::to_string(kDefaultRealtimeFrameLimit) + " frames with --realtime"),
            kPrograms);
    onlyFor(later,
            repeatedOption(
                app, "--until-text", "TEXT",
                "pass when TEXT shows on the screen, looked for after each frame (repeatable)",
                [&](const std::string& v) {
                    options.untilTexts.push_back(notEmpty("--until-text", v, "a text"));
                }),
            kPrograms);
    onlyFor(later,
            repeatedOption(app, "--fail-text", "TEXT",
                           "fail when TEXT shows on the screen (repeatable)",
                           [&](const std::string& v) {
                               options.failTexts.push_back(notEmpty("--fail-text", v, "a text"));
                           }),
            kPrograms);
    onlyFor(later,
            flagOption(app, "--debug-exit", options.debugExit,
                       "a write to " + hexWord(kDebugExitRegister) +
                           " ends the run: the byte written is the exit status (0 passes)"),
            kPrograms);
    onlyFor(later,
            flagOption(app, "--until-input", options.untilInput,
                       "pass when the program is back in the firmware's input loop (" +
                           hexWord(kTestHookFirst) + "-" + hexWord(kTestHookLast) + ")"),
            kPrograms);
    onlyFor(later,
            flagOption(app, "--realtime", options.realtime, "frames follow the wall clock")
                ->default_str("emulated time, " + std::to_string(kCyclesPerSecond) +
                              " cycles a second, the same every run"),
            kPrograms);
    char seed[32];
    std::snprintf(seed, sizeof seed, "0x%016llX", static_cast<unsigned long long>(options.seed));
    numberOption(app, "--seed", "seed of the keyboard stub's random bits", 0, UINT64_MAX,
                 [&](uint64_t n) { options.seed = n; })
        ->default_str(seed);
}

// The options that say what a run writes.
void describeOutputOptions(CLI::App& app, RunnerOptions& options, CommandLine& later) {
    onlyFor(
        later,
        valueOption(app, "--screen-text", "FILE|-", "write the final screen as 25 lines of text",
                    [&](const std::string& v) {
                        options.screenTextFile = notEmpty("--screen-text", v, "a file name");
                    }),
        kOneProgram);
    onlyFor(
        later,
        valueOption(app, "--screenshot", "FILE.png", "write the final frame (640 x 480) as a PNG",
                    [&](const std::string& v) {
                        if (v == kStandardOutput)
                            throw CLI::ValidationError("--screenshot",
                                                       "needs a file name, not standard output");
                        options.screenshotFile = notEmpty("--screenshot", v, "a file name");
                    }),
        kOneProgram);
    onlyFor(
        later,
        valueOption(app, "--summary", "FILE|-",
                    "write a JSON summary: stop reason, counts, registers, flags, hash of RAM and "
                    "registers",
                    [&](const std::string& v) {
                        options.summaryFile = notEmpty("--summary", v, "a file name");
                    }),
        kOneProgram | kTests);
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
    onlyFor(later,
            valueOption(app, "--sid-log", "FILE|-",
                        "with --machine c64, write every write to the SID's registers: a line "
                        "each with its cycle, the register's address and the byte "
                        "(1234567 D418 0F)",
                        [&](const std::string& v) {
                            options.sidLogFile = notEmpty("--sid-log", v, "a file name");
                        }),
            kOneProgram);
    repeatedOption(app, "--listing", "FILE",
                   "a 64tass listing (--list=FILE --line-numbers) that places the counts of "
                   "--coverage and --profile on source lines (repeatable)",
                   [&](const std::string& v) {
                       options.listingFiles.push_back(notEmpty("--listing", v, "a file name"));
                   });
    numberOption(app, "--trace",
                 "print the last N instructions when the run fails or reaches a limit", 1,
                 kMaxTraceLength, [&](uint64_t n) { options.traceLength = n; });
    onlyFor(later,
            repeatedOption(app, "--dump", "ADDR:LEN",
                           "print LEN bytes of RAM from ADDR at the end, in hex (repeatable)",
                           [&](const std::string& v) { later.dumps.push_back(v); }),
            kOneProgram);
}

// Reads --drive's or --drive-writable's [N=]PATH (readDriveMount).
DriveMount readDrive(const std::string& name, const std::string& text, bool writable,
                     const std::vector<DriveMount>& earlier) {
    DriveMount mount;
    std::string problem = readDriveMount(text, writable, earlier, mount);
    if (!problem.empty()) throw CLI::ValidationError(name, problem);
    return mount;
}

// The options that say what runs and on what machine.
void describeWhatRuns(CLI::App& app, RunnerOptions& options, CommandLine& later) {
    onlyFor(later,
            repeatedOption(app, "--expect", "ADDR=BYTE",
                           "fail unless RAM at ADDR holds BYTE at the end (repeatable)",
                           [&](const std::string& v) { later.expectations.push_back(v); }),
            kPrograms);
    onlyFor(
        later,
        valueOption(
            app, "--start", "ADDR|load",
            "start the program at ADDR, or with 'load' at its load address",
            [&](const std::string& v) { later.start = notEmpty("--start", v, "an address"); })
            ->default_str("a BASIC upstart (a program at $0801 whose first line is SYS N) at N, "
                          "any other program at its load address"),
        kPrograms);
    repeatedOption(app, "--labels", "FILE",
                   "read labels (al C:0837 .name, or name = $0837) for any ADDR and for "
                   "traces and summaries (repeatable)",
                   [&](const std::string& v) {
                       options.labelFiles.push_back(notEmpty("--labels", v, "a file name"));
                   });
    repeatedOption(app, "--debug-info", "FILE",
                   "read where the program's code came from (source lines) and its labels "
                   "with their scopes, for any ADDR, traces, --coverage and --profile, from " +
                       debugInfoFormatList() + ", told apart by their content (repeatable)",
                   [&](const std::string& v) {
                       options.debugInfoFiles.push_back(notEmpty("--debug-info", v, "a file name"));
                   });
    onlyFor(
        later,
        repeatedOption(app, "--drive", "[N=]PATH",
                       "drive N (8 to 11, decimal; 8 unless given) reads the folder or "
                       "disk image (D64, D81) at PATH, which no run changes (repeatable)",
                       [&](const std::string& v) {
                           options.drives.push_back(readDrive("--drive", v, false, options.drives));
                       }),
        kPrograms);
    onlyFor(later,
            repeatedOption(app, "--drive-writable", "[N=]PATH",
                           "as --drive, and the programs may write there: SAVE, files "
                           "written, scratch, rename; each file or image written whole or "
                           "not at all (repeatable)",
                           [&](const std::string& v) {
                               options.drives.push_back(
                                   readDrive("--drive-writable", v, true, options.drives));
                           }),
            kPrograms);
    onlyFor(later,
            valueOption(app, "--autostart", "NAME",
                        "with a disk image (D64, D81) as PROGRAM, which is then drive 8: start "
                        "its file NAME (letters of either case, the drive's * and ?) as "
                        "LOAD\"NAME\",8,1 and RUN would",
                        [&](const std::string& v) {
                            std::vector<uint8_t> petscii;
                            if (!petsciiText(notEmpty("--autostart", v, "a file name"), petscii))
                                throw CLI::ValidationError(
                                    "--autostart",
                                    quotedValue(v) + " holds a character that no key types");
                            options.autostart = v;
                        })
                ->default_str("the image's first program (PRG), as LOAD\"*\",8,1 and RUN"),
            kPrograms);
    repeatedOption(app, "--test", "FILE.toml|DIR",
                   "run the routine tests of a test file, or of every *.toml in DIR "
                   "(repeatable)",
                   [&](const std::string& v) {
                       options.testFiles.push_back(notEmpty("--test", v, "a file or folder"));
                   });
    onlyFor(later,
            valueOption(app, "--filter", "PATTERN",
                        "only the tests whose names match PATTERN (* and ? as in the shell)",
                        [&](const std::string& v) {
                            options.filter = notEmpty("--filter", v, "a pattern");
                        }),
            kTests);
    valueOption(
        app, "--junit", "FILE", "write a JUnit XML report, one testcase per program or test",
        [&](const std::string& v) { options.junitFile = notEmpty("--junit", v, "a file name"); });
    choiceOption(app, "--machine", "MACHINE", "the machine:", "a machine", kMachineKinds,
                 options.machine.kind);
    choiceOption(app, "--cpu", "MODEL", "the processor model:", "a processor model", kCpuModels,
                 options.machine.cpu)
        ->description(choiceHelp("the processor model:", kCpuModels) + unstableConstantHelp());
    choiceOption(app, "--cia", "MODEL", "with --machine c64, the CIAs' generation:", "a CIA model",
                 kCiaModels, options.machine.cia);
    choiceOption(app, "--video", "STANDARD",
                 "with --machine c64, the VIC-II's standard:", "a video standard", kVideoStandards,
                 options.machine.video);
    onlyFor(later,
            valueOption(app, "--type", "TEXT",
                        "with --machine c64, type TEXT on the keyboard from the program's start, "
                        "a key every " +
                            std::to_string(kTypeHoldFrames + kTypeGapFrames) +
                            " frames: letters unshifted, a line end as RETURN, {NAME} or "
                            "{NAME+NAME} for keys by name ({RETURN}, {F1}, {UP}, {SHIFT+A}, "
                            "{C=+A}, {CTRL+9}, {STOP}, {RESTORE})",
                        [&](const std::string& v) { later.typed = v; }),
            kPrograms);
    onlyFor(later,
            repeatedOption(app, "--input", "FILE",
                           "with --machine c64, follow the input script FILE: keys, joysticks and "
                           "RESTORE at frames or cycles from the program's start (repeatable; the "
                           "README gives the format)",
                           [&](const std::string& v) {
                               later.inputFiles.push_back(notEmpty("--input", v, "a file name"));
                           }),
            kPrograms);
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
    onlyFor(
        later,
        app.add_option("PROGRAM", options.programs, "program files to run")->type_name("PROGRAM"),
        kPrograms);
}

}  // namespace

std::string_view runKindsText(unsigned kinds) {
    return kinds == kOneProgram              ? "one PROGRAM only"
           : kinds == kPrograms              ? "PROGRAMs only, not --test"
           : kinds == (kOneProgram | kTests) ? "one PROGRAM or --test"
           : kinds == kTests                 ? "--test only"
                                             : "";
}

void describeCommandLine(CLI::App& app, RunnerOptions& options, CommandLine& later) {
    app.set_help_flag();  // --help and --version are ours (describeWhatRuns)
    describeRunOptions(app, options, later);
    describeOutputOptions(app, options, later);
    describeWhatRuns(app, options, later);
}
