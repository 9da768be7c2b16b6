#include "app/runner/cli/help.h"

#include "app/runner/cli/command_line.h"
#include "app/runner/io/text.h"

namespace {

std::string withThousands(uint64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
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

// Every option, its names and value on the left, its help and default on the right.
std::string optionList() {
    constexpr std::size_t kNamesWidth = 26;
    constexpr std::size_t kHelpWidth = 52;
    RunnerOptions defaults;
    CommandLine described;
    CLI::App app;
    describeCommandLine(app, defaults, described);
    std::string text;
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_positional()) continue;
        std::string names;
        for (const std::string& name : option->get_snames()) names += "-" + name + ", ";
        if (names.empty()) names = "    ";
        names += "--" + option->get_lnames().front();
        if (option->get_type_size() != 0) names += " " + option->get_type_name();
        std::string help = option->get_description();
        if (!option->get_default_str().empty()) help += "; default: " + option->get_default_str();
        for (auto [ruled, kinds] : described.runs) {
            if (ruled == option) help.append("; ").append(runKindsText(kinds));
        }
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
    return text;
}

// How a run ends and reports, the debug cells, and where the rest is written down.
std::string howRunsEnd() {
    return "\n"
           "Numbers: $C000 or 0xC000 in hex, decimal otherwise; with --labels an ADDR may\n"
           "also be a label or label+N. Options take their value as the next argument,\n"
           "after '=' (--frames=50) or, for -j, attached (-j4); '--' ends the options.\n"
           "\n"
           "A run ends at the first of: a write to " +
           hexWord(kDebugExitRegister) +
           " (--debug-exit), a TEXT on the\n"
           "screen, the return to the input loop (--until-input), a limit. --expect is\n"
           "checked at the end. Reaching a limit gives status 2, except when --expect is\n"
           "the only verdict asked for: then the limit is the run's length and the\n"
           "expectations decide. Result lines go to standard output, or to standard error\n"
           "when an output claims standard output (one given as -, or --dump).\n"
           "Frames come every " +
           std::to_string(kFrameIntervalMs) + " ms, of emulated time (" +
           withThousands(kCyclesPerSecond) +
           " cycles a second) unless\n"
           "--realtime; same inputs and options then give byte-identical outputs.\n"
           "With --debug-exit (and in routine tests) a store to " +
           hexWord(kStopwatchStart) +
           " starts a stopwatch,\n"
           "one to " +
           hexWord(kStopwatchStop) + " stops it under the byte stored, and bytes stored to " +
           hexWord(kDebugConsole) +
           "\n"
           "are console text, a line to each carriage return or line feed.\n"
           "\n"
           "Test files, the debug cells, coverage and profiles are described in the README,\n"
           "installed as share/doc/breadbin/README.md (/usr/share/doc/breadbin/README.md\n"
           "from the Debian package).\n";
}

// The exit statuses, one entry each, so that the manual page made from the help shows
// each as a paragraph of its own.
std::string exitStatuses() {
    std::string romSizes;
    for (const RomImage& rom : kRomImages) {
        if (!romSizes.empty()) romSizes += &rom == &kRomImages[2] ? " and " : ", ";
        romSizes += std::to_string(rom.size);
    }
    return "\n"
           "exit status:\n"
           "  0       pass: the program passed, or every test did\n"
           "  1       fail: a program failed, or a test failed or ended in an error\n"
           "  2       a limit was reached before any verdict\n"
           "  3       bad usage, an input that cannot be read (only regular files are, and\n"
           "          ROM images under --dir must be exactly " +
           romSizes +
           " bytes), an output that\n"
           "          cannot be written or lost standard output (one line on standard error\n"
           "          names it); outputs are written whole or not at all; --test: a test\n"
           "          file that cannot be read or is wrong, or a --filter that matches no test\n"
           "  BYTE    with --debug-exit, the byte the program wrote to " +
           hexWord(kDebugExitRegister) +
           "\n"
           "  batch   several programs or --test: the largest status of any result (0 when\n"
           "          all pass); SIGINT or SIGTERM ends the batch at once, with a line for\n"
           "          each program or test and the JUnit report, and the batch then ends by\n"
           "          that signal\n";
}

}  // namespace

std::string helpText() {
    return "usage: breadbin-run [options] [PROGRAM...]\n"
           "       breadbin-run --test FILE.toml|DIR... [--labels FILE] [--filter PATTERN]\n"
           "\n"
           "Runs 6502 test programs on the breadbin Commodore 64 without a display. Each\n"
           "PROGRAM (two-byte load address, then data) is loaded when the firmware first\n"
           "waits for input and runs from its load address; a BASIC upstart (loaded at\n"
           "$0801, its first line SYS N) runs from N. Several PROGRAMs run in parallel, one\n"
           "process each, with one result line per program in the order given. Without\n"
           "PROGRAM the firmware runs alone.\n"
           "With --test, runs the routine tests of test files instead: each TOML file names\n"
           "a program (program = \"FILE\") and its [[test]]s, each calling a routine\n"
           "(call = \"LABEL\") with registers and memory set and checking what it left\n"
           "(expect = { a = 0x47, \"result\" = 1, cycles = 31 }); one line per test.\n"
           "\n"
           "options:\n" +
           optionList() + howRunsEnd() + exitStatuses();
}

std::vector<std::string> optionNames() {
    RunnerOptions defaults;
    CommandLine described;
    CLI::App app;
    describeCommandLine(app, defaults, described);
    std::vector<std::string> names;
    for (const CLI::Option* option : app.get_options()) {
        if (!option->get_positional()) names.push_back("--" + option->get_lnames().front());
    }
    return names;
}
