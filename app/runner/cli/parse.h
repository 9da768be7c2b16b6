// Reading the command line into the options: the values, the label files they need, the
// addresses given as labels, and the rules between options (the runs each applies to, no
// two outputs to one file).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/cli/options.h"

enum class ParseOutcome : uint8_t { Run, Help, Version, Error };

// Reads the command line (without the program name); on Error, `error` names the culprit.
ParseOutcome parseOptions(const std::vector<std::string_view>& arguments, RunnerOptions& options,
                          std::string& error);
