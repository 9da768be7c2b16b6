// The command line, described once: every option with its value, its help, its default
// and the runs it applies to. parse.cpp reads the arguments with it, help.cpp lists it.
// Only the files of cli/ include this header (it brings CLI11 along).
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/runner/cli/options.h"

// The runs an option applies to, a flag on its row: with one PROGRAM, with several, with
// --test. An option given to a run it does not apply to is refused.
enum RunKinds : unsigned {
    kOneProgram = 1,
    kSeveralPrograms = 2,
    kTests = 4,
    kPrograms = kOneProgram | kSeveralPrograms,
    kAnyRun = kPrograms | kTests,
};

// What the description leaves for after CLI11 has read the line: the address options as
// given (they are read once the label files are), and the options that do not apply to
// every run, with the runs they do.
struct CommandLine {
    std::vector<std::string> dumps;
    std::vector<std::string> expectations;
    std::string start;
    std::optional<std::string> typed;     // --type
    std::vector<std::string> inputFiles;  // --input
    std::vector<std::pair<const CLI::Option*, unsigned>> runs;
};

// How the help says which runs an option applies to: "one PROGRAM only", "" for any run.
std::string_view runKindsText(unsigned kinds);

// Describes every option of the command line to `app`, reading into `options` and `later`.
void describeCommandLine(CLI::App& app, RunnerOptions& options, CommandLine& later);
