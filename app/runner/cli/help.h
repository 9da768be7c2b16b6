// breadbin-run --help: usage, every option with its default and the runs it applies to,
// how a run ends, where the docs are, and the exit statuses.
#pragma once

#include <string>
#include <vector>

std::string helpText();
// Every option's long name ("--frames"), in the order the help lists them.
std::vector<std::string> optionNames();
