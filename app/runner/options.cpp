#include "app/runner/options.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace {

enum class OptionId : uint8_t {
    Help,
    Version,
    Dir,
    Frames,
    Cycles,
    UntilText,
    FailText,
    DebugExit,
    UntilInput,
    Realtime,
    Seed,
    ScreenText,
    Screenshot,
    Summary,
    Trace,
    Dump,
    Expect,
    Junit,
    Jobs,
};

// One row per option: its names, the value it takes ("" for none) and its help line.
struct OptionRow {
    OptionId id;
    std::string_view name;
    char shortName;
    std::string_view value;
    std::string_view help;
};

// clang-format off
constexpr std::array<OptionRow, 19> kOptionRows = {{
    {OptionId::Dir, "--dir", 0, "DIR",
     "read kernal.rom, basic.rom, chargen.rom (and\n"
     "tests/start when no PROGRAM is given) from DIR;\n"
     "default: the open firmware built into this program"},
    {OptionId::Frames, "--frames", 0, "N", "stop after N frames (one per 20 ms emulated)"},
    {OptionId::Cycles, "--cycles", 0, "N",
     "stop once N cycles have run; with neither --frames\n"
     "nor --cycles: after 60 emulated seconds (59114880),\n"
     "or 3000 frames with --realtime"},
    {OptionId::UntilText, "--until-text", 0, "TEXT",
     "pass when TEXT shows on the screen, looked for\n"
     "after each frame (repeatable)"},
    {OptionId::FailText, "--fail-text", 0, "TEXT",
     "fail when TEXT shows on the screen (repeatable)"},
    {OptionId::DebugExit, "--debug-exit", 0, "",
     "a write to $D7FF ends the run: the byte written is\n"
     "the exit status (0 passes)"},
    {OptionId::UntilInput, "--until-input", 0, "",
     "pass when the program is back in the firmware's\n"
     "input loop ($E5CA-$E683)"},
    {OptionId::Realtime, "--realtime", 0, "",
     "frames follow the wall clock; default: emulated\n"
     "time, 985248 cycles a second, the same every run"},
    {OptionId::Seed, "--seed", 0, "N",
     "seed of the keyboard stub's random bits;\n"
     "default 0x6272656164626E21"},
    {OptionId::ScreenText, "--screen-text", 0, "FILE|-",
     "write the final screen as 25 lines of text"},
    {OptionId::Screenshot, "--screenshot", 0, "FILE.png",
     "write the final frame (640 x 480) as a PNG"},
    {OptionId::Summary, "--summary", 0, "FILE|-",
     "write a JSON summary: stop reason, counts,\n"
     "registers, flags, hash of RAM and registers"},
    {OptionId::Trace, "--trace", 0, "N",
     "print the last N instructions when the run fails\n"
     "or reaches a limit"},
    {OptionId::Dump, "--dump", 0, "ADDR:LEN",
     "print LEN bytes of RAM from ADDR at the end, in hex"},
    {OptionId::Expect, "--expect", 0, "ADDR=BYTE",
     "fail unless RAM at ADDR holds BYTE at the end\n"
     "(repeatable)"},
    {OptionId::Junit, "--junit", 0, "FILE", "write a JUnit XML report, one testcase per program"},
    {OptionId::Jobs, "--jobs", 'j', "N", "programs run at once; default: one per processor"},
    {OptionId::Help, "--help", 'h', "", "show this help and exit"},
    {OptionId::Version, "--version", 0, "", "show the version and exit"},
}};
// clang-format on

const OptionRow* findOption(std::string_view name) {
    for (const OptionRow& row : kOptionRows) {
        if (row.name == name) return &row;
        if (row.shortName != 0 && name.size() == 2 && name[0] == '-' && name[1] == row.shortName)
            return &row;
    }
    return nullptr;
}

std::string quoted(std::string_view text) {
    std::string out = "'";
    out.append(text);
    out.append("'");
    return out;
}

// Reads a number option's value, or says what is wrong with it.
bool readNumber(const OptionRow& row, std::string_view text, uint64_t min, uint64_t max,
                uint64_t& value, std::string& error) {
    if (!parseNumber(text, UINT64_MAX, value)) {
        error = std::string(row.name) + ": " + quoted(text) +
                " is not a number (decimal, $hex or 0xhex)";
        return false;
    }
    if (value < min || value > max) {
        error = std::string(row.name) + ": " + quoted(text) + " is out of range (" +
                std::to_string(min) + " to " + std::to_string(max) + ")";
        return false;
    }
    return true;
}

bool applyOption(const OptionRow& row, std::string_view value, RunnerOptions& options,
                 std::string& error) {
    uint64_t number = 0;
    switch (row.id) {
        case OptionId::Help:
        case OptionId::Version: return true;
        case OptionId::Dir: options.romDir = value; return true;
        case OptionId::Frames:
            if (!readNumber(row, value, 1, kMaxFrameLimit, number, error)) return false;
            options.frameLimit = number;
            return true;
        case OptionId::Cycles:
            if (!readNumber(row, value, 1, kMaxCycleLimit, number, error)) return false;
            options.cycleLimit = number;
            return true;
        case OptionId::UntilText:
        case OptionId::FailText:
            if (value.empty()) {
                error = std::string(row.name) + " needs a text that is not empty";
                return false;
            }
            (row.id == OptionId::UntilText ? options.untilTexts : options.failTexts)
                .emplace_back(value);
            return true;
        case OptionId::DebugExit: options.debugExit = true; return true;
        case OptionId::UntilInput: options.untilInput = true; return true;
        case OptionId::Realtime: options.realtime = true; return true;
        case OptionId::Seed:
            if (!readNumber(row, value, 0, UINT64_MAX, number, error)) return false;
            options.seed = number;
            return true;
        case OptionId::ScreenText: options.screenTextFile = value; break;
        case OptionId::Screenshot:
            if (value == kStandardOutput) {
                error = "--screenshot needs a file name, not standard output";
                return false;
            }
            options.screenshotFile = value;
            break;
        case OptionId::Summary: options.summaryFile = value; break;
        case OptionId::Junit: options.junitFile = value; break;
        case OptionId::Trace:
            if (!readNumber(row, value, 1, kMaxTraceLength, number, error)) return false;
            options.traceLength = number;
            return true;
        case OptionId::Dump: {
            MemoryRange range{};
            if (!parseMemoryRange(value, range)) {
                error = "--dump: " + quoted(value) + " is not ADDR:LEN within $0000-$FFFF";
                return false;
            }
            options.dumps.push_back(range);
            return true;
        }
        case OptionId::Expect: {
            MemoryExpectation expectation{};
            if (!parseExpectation(value, expectation)) {
                error = "--expect: " + quoted(value) +
                        " is not ADDR=BYTE (address to $FFFF, byte to $FF)";
                return false;
            }
            options.expectations.push_back(expectation);
            return true;
        }
        case OptionId::Jobs:
            if (!readNumber(row, value, 1, kMaxJobs, number, error)) return false;
            options.jobs = number;
            return true;
    }
    // The file outputs end here: a name is needed.
    if (value.empty()) {
        error = std::string(row.name) + " needs a file name";
        return false;
    }
    return true;
}

bool readHexDigits(std::string_view digits, uint64_t& value) {
    if (digits.empty()) return false;
    auto [end, problem] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    return problem == std::errc{} && end == digits.data() + digits.size();
}

}  // namespace

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

bool parseMemoryRange(std::string_view text, MemoryRange& range) {
    std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    uint64_t address = 0;
    uint64_t length = 0;
    if (!parseNumber(text.substr(0, colon), 0xFFFF, address)) return false;
    if (!parseNumber(text.substr(colon + 1), 0x10000, length) || length == 0) return false;
    if (address + length > 0x10000) return false;
    range = {static_cast<uint16_t>(address), static_cast<uint32_t>(length)};
    return true;
}

bool parseExpectation(std::string_view text, MemoryExpectation& expectation) {
    std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return false;
    uint64_t address = 0;
    uint64_t value = 0;
    if (!parseNumber(text.substr(0, equals), 0xFFFF, address)) return false;
    if (!parseNumber(text.substr(equals + 1), 0xFF, value)) return false;
    expectation = {static_cast<uint16_t>(address), static_cast<uint8_t>(value)};
    return true;
}

ParseOutcome parseOptions(const std::vector<std::string_view>& arguments, RunnerOptions& options,
                          std::string& error) {
    bool optionsEnded = false;
    bool help = false;
    bool version = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        if (optionsEnded || argument == kStandardOutput || !argument.starts_with('-')) {
            options.programs.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        // --name=value, or --name value.
        std::string_view name = argument;
        std::optional<std::string_view> value;
        if (std::size_t equals = argument.find('=');
            argument.starts_with("--") && equals != std::string_view::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        const OptionRow* row = findOption(name);
        if (!row) {
            error = "unknown option " + quoted(name) + " (see --help)";
            return ParseOutcome::Error;
        }
        if (row->value.empty()) {
            if (value) {
                error = std::string(row->name) + " takes no value";
                return ParseOutcome::Error;
            }
        } else if (!value) {
            if (i + 1 >= arguments.size()) {
                error = std::string(row->name) + " needs a value: " + std::string(row->value);
                return ParseOutcome::Error;
            }
            value = arguments[++i];
        }
        if (row->id == OptionId::Help) help = true;
        if (row->id == OptionId::Version) version = true;
        if (!applyOption(*row, value.value_or(""), options, error)) return ParseOutcome::Error;
    }
    if (help) return ParseOutcome::Help;
    if (version) return ParseOutcome::Version;
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
            error = "PROGRAM " + quoted(program) + " is not a file name";
            return ParseOutcome::Error;
        }
    }
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
    std::string text =
        "usage: breadbin-run [options] [PROGRAM...]\n"
        "\n"
        "Runs 6502 test programs on the breadbin Commodore 64 without a display. Each\n"
        "PROGRAM (two-byte load address, then data) is loaded when the firmware first\n"
        "waits for input and runs from its load address. Several PROGRAMs run in\n"
        "parallel, one process each, with one result line per program in the order\n"
        "given. Without PROGRAM the firmware runs alone.\n"
        "\n"
        "options:\n";
    for (const OptionRow& row : kOptionRows) {
        std::string names = "    ";
        if (row.shortName) names = {'-', row.shortName, ',', ' '};
        names += row.name;
        if (!row.value.empty()) {
            names += ' ';
            names += row.value;
        }
        std::string_view help = row.help;
        char line[160];
        std::size_t end = help.find('\n');
        std::snprintf(line, sizeof line, "  %-25s %.*s\n", names.c_str(),
                      static_cast<int>(help.substr(0, end).size()), help.data());
        text += line;
        while (end != std::string_view::npos) {
            help = help.substr(end + 1);
            end = help.find('\n');
            std::snprintf(line, sizeof line, "  %-25s %.*s\n", "",
                          static_cast<int>(help.substr(0, end).size()), help.data());
            text += line;
        }
    }
    text +=
        "\n"
        "Numbers: $C000 or 0xC000 in hex, decimal otherwise. Options take their value as\n"
        "the next argument or after '=' (--frames=50); '--' ends the options.\n"
        "\n"
        "A run ends at the first of: a write to $D7FF (--debug-exit), a TEXT on the\n"
        "screen, the return to the input loop (--until-input), a limit. --expect is\n"
        "checked at the end. Reaching a limit gives status 2, except when --expect is\n"
        "the only verdict asked for: then the limit is the run's length and the\n"
        "expectations decide. The result line goes to standard error for one program,\n"
        "to standard output for several.\n"
        "Same inputs and options give byte-identical outputs (unless --realtime).\n"
        "\n"
        "exit status:\n"
        "  0  pass        1  fail        2  a limit reached before any verdict\n"
        "  3  bad usage or an unreadable file (one line on standard error names it)\n"
        "  with --debug-exit: the byte the program wrote to $D7FF\n"
        "  several programs: 0 when all pass, else the largest status of any program\n";
    return text;
}
