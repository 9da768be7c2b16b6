// breadbin-run --help: usage, every option with its default and the runs it applies to,
// how a run ends, where the docs are, and the exit statuses.
#pragma once

#include <string>

std::string helpText();
